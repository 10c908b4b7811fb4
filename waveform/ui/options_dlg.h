#pragma once
// TOptionsDlg, the display options dialog "选择波形通道": analogue channels
// dragged onto 8 axes, digital channels onto their list, grid and line
// switches, the preview, and the 24 display colours. It edits the
// process-wide display settings through ChannelGroupsEditor.

#include <QDialog>
#include <QPoint>

#include <array>
#include <filesystem>
#include <memory>

#include "common/lang/engine.h"
#include "recordmodel/record.h"
#include "waveform/model/settings.h"
#include "waveform/view/channel_groups.h"
#include "common/forms/form_services.h"

class QColorDialog;
class QFrame;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QPushButton;
class QTabWidget;
class QWidget;

namespace wave {

class TOptionsDlg : public QDialog {
  Q_OBJECT

 public:
  TOptionsDlg(DisplaySettings& settings, forms::FormServices& services, QWidget* parent = nullptr,
              std::filesystem::path iniPath = ZavovivIniPath(),
              const lang::MultiLangEngine& engine = lang::LangEngine());
  ~TOptionsDlg() override;

  // The record whose channels the dialog lists (the main window's record).
  void setRecord(const TcfgInfo& record);
  const TcfgInfo& record() const { return record_; }

  // 1 when the dialog was closed with OK.
  std::uint8_t ChannelsChosen() const { return editor_.ChannelsChosen; }
  ChannelGroupsEditor& editor() { return editor_; }

  // What a drag of item row of list box source ends in when dropped on target.
  void dropItem(QListWidget* source, int row, QListWidget* target);

  // The handlers of the form (the buttons and panels call them).
  void SelectAllDigitalBtnClick();
  void ClearAllDigitalBtnClick();
  void Panel_Chnl2Click(int colourIndex);
  void CustomColorBtnClick();
  void DefaultColorBtnClick();
  void Button1Click();
  void OKBtnClick();
  void CancelBtnClick();

  int selectedPanel() const { return selectedPanel_; }
  QListWidget* axisList(int axis) const { return axisLists_[static_cast<std::size_t>(axis)]; }
  QFrame* panel(int colourIndex) const { return panels_[static_cast<std::size_t>(colourIndex)]; }

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildChannelPage(QWidget* page);
  void buildColourPage(QWidget* page);
  void fitToScreen();
  void FormShow();
  void FormActivate();
  void WaveChannelTabSheetShow();
  void WaveColorTabSheetShow();
  void fillAnalogList();
  void fillAxisLists();
  void ShowDigital();
  void setRadiosFromSettings();
  void Set_Color();
  void Panel_In(int i);
  void Panel_Out(int i);
  void Find_And_Drop(QListWidget* source, int row, QListWidget* target);
  int Find_Object_Index(const QObject* list) const;  // axis 0..7, or -1
  int Find_PanelObject_Index(const QObject* panel) const;  // 0..23, or -1
  QListWidget* listAt(int index) const;
  int listIndex(const QObject* list) const;
  void startDrag(QListWidget* list, int row);
  void redrawPreview();
  std::string channelName(int channel) const;

  DisplaySettings& settings_;
  forms::FormServices& services_;
  std::filesystem::path iniPath_;
  const lang::MultiLangEngine& engine_;
  ChannelGroupsEditor editor_;
  TcfgInfo record_;

  QTabWidget* pages_ = nullptr;
  QWidget* channelPage_ = nullptr;
  QWidget* colourPage_ = nullptr;
  QListWidget* analogList_ = nullptr;
  std::array<QListWidget*, kGroupRowCount> axisLists_{};
  QListWidget* digitalList_ = nullptr;
  QListWidget* digitalAxisList_ = nullptr;
  QRadioButton* xyGrid_ = nullptr;
  QRadioButton* xGrid_ = nullptr;
  QRadioButton* yGrid_ = nullptr;
  QRadioButton* noGrid_ = nullptr;
  QRadioButton* pointsAndLines_ = nullptr;
  QRadioButton* linesOnly_ = nullptr;
  QWidget* preview_ = nullptr;
  QPlainTextEdit* memo1_ = nullptr;
  QPlainTextEdit* memo2_ = nullptr;
  std::array<QFrame*, kColorCount> panels_{};
  QColorDialog* colorDialog_ = nullptr;
  int selectedPanel_ = 0;

  // A press on a list item that may become a drag.
  QListWidget* pressList_ = nullptr;
  int pressRow_ = -1;
  QPoint pressPos_;
};

}  // namespace wave
