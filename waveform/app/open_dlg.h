#pragma once
// TOpenDlg: lists the .cfg files of one folder and returns the name the user
// picks. The caller adds one item per file name to ListView1, runs the dialog
// and reads ChosenFileName when it returns Accepted.

#include <QDialog>
#include <QString>

#include "waveform/app/ui_services.h"

class QListWidget;
class QPushButton;

namespace wave {

inline constexpr std::string_view kOpenDlgSection = "Strings_Open_Dlg";

class TOpenDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOpenDlg(UiServices& ui, QWidget* parent = nullptr);

  QListWidget* ListView1() const { return listView1_; }
  QPushButton* BitBtnOK() const { return bitBtnOK_; }
  QPushButton* BitBtnCancel() const { return bitBtnCancel_; }

  // The chosen file's name without folder; empty until something is chosen.
  QString ChosenFileName;

  // A click anywhere in the list: takes the selected item, if any.
  void ListView1Click();
  // Closes with Accepted when a file is chosen, else asks for one and stays open.
  void BitBtnOKClick();
  void ListView1DblClick();

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void takeSelection();

  UiServices& ui_;
  QListWidget* listView1_;
  QPushButton* bitBtnOK_;
  QPushButton* bitBtnCancel_;
};

}  // namespace wave
