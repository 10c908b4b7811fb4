#pragma once
// TOpenDlg: lists the .cfg files of one folder and returns the name the user
// picks. The caller adds one item per file name (AddFileName), runs the dialog
// and reads ChosenFileName, or the name to open from ChosenFileSystemName,
// when it returns Accepted.

#include <QDialog>
#include <QString>

#include <string>

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

  // Adds one file to ListView1, shown as caption. name is the file's name as
  // the file system stores it: two names can show alike (one in UTF-8, one in
  // GBK), so the choice is opened by its item, never by its caption.
  void AddFileName(const QString& caption, const std::string& name);

  // The chosen file's name without folder, as shown; empty until something is chosen.
  QString ChosenFileName;
  // The chosen file's name as the file system stores it. An item added without
  // one is taken by its caption in the file-name encoding.
  const std::string& ChosenFileSystemName() const { return chosenFileSystemName_; }

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
  void fitItemWidths();

  UiServices& ui_;
  std::string chosenFileSystemName_;
  QListWidget* listView1_;
  QPushButton* bitBtnOK_;
  QPushButton* bitBtnCancel_;
};

}  // namespace wave
