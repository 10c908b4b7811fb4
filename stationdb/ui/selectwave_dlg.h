#pragma once
// TSelectWaveDlg: the modal dialog in which a logged-in user finds one stored
// waveform record. A click on a node of the station tree runs the record
// query for that node (all times, or the range of the two pickers) and lists
// the records found; a double click on a record converts it and ends the
// dialog. The caller then reads CfgInfo: a non-empty CfgPath means a record
// was chosen and converted.
//
// Works in the two database modes (12 and 21); in any other mode the tree
// and the list stay empty and nothing happens.

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/datetime.h"
#include "common/lang/engine.h"
#include "stationdb/ui/dbdialogs.h"
#include "recordmodel/record.h"
#include "common/forms/form_services.h"

class QDateTimeEdit;
class QLabel;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace stationdb {

class TSelectWaveDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kModalOk = 1;
  static constexpr int kModalCancel = 2;
  static constexpr int kListImage = 3;

  TSelectWaveDlg(const SelectWaveContext& context, forms::FormServices& services, QWidget* parent = nullptr,
                 const lang::MultiLangEngine& engine = lang::LangEngine());
  ~TSelectWaveDlg() override;

  QTreeWidget* Select_Meter_TreeView() const { return treeView_; }
  QTreeWidget* Select_Wave_ListView() const { return listView_; }
  QRadioButton* All_RadioBtn() const { return allRadioBtn_; }
  QRadioButton* Define_RadioBtn() const { return defineRadioBtn_; }
  QDateTimeEdit* Start_dpk() const { return startDpk_; }
  QDateTimeEdit* End_dpk() const { return endDpk_; }
  QLabel* Meter_Panel() const { return meterPanel_; }
  QLabel* Label1() const { return label1_; }

  // The chosen record; CfgPath stays empty until a record was converted.
  wave::TcfgInfo CfgInfo;

  void FormShow();
  void All_RadioBtnClick();
  void Define_RadioBtnClick();
  void Select_Meter_TreeViewClick();
  void Select_Wave_ListViewDblClick();
  // Rebuilds the list from the rows of the last query.
  void Update_Wave_ListView_Ex(std::uint32_t meterType);

  // The close box and Esc: Cancel.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class TreeAdapter;

  void buildTopBar();
  void buildPanes();
  void runQuery(const CSetObj& node, common::TDateTime begin, common::TDateTime end);
  QString text(std::string_view key, std::string_view builtIn) const;

  SelectWaveContext context_;
  forms::FormServices& services_;
  const lang::MultiLangEngine& engine_;
  QRadioButton* allRadioBtn_ = nullptr;
  QRadioButton* defineRadioBtn_ = nullptr;
  QDateTimeEdit* startDpk_ = nullptr;
  QDateTimeEdit* endDpk_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* meterPanel_ = nullptr;
  QTreeWidget* treeView_ = nullptr;
  QTreeWidget* listView_ = nullptr;
};

// QDateTime (local time) and TDateTime, to the millisecond.
common::TDateTime ToTDateTime(const QDateTime& value);
QDateTime FromTDateTime(common::TDateTime value);

}  // namespace stationdb
