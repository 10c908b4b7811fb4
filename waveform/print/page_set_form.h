#pragma once
// TPrintPageSetForm, the page-range dialog: all pages, the current page or
// page ranges typed as 1,3,5-12. It writes the chosen pages into the display
// settings' PrintPageFlags; the preview window reads PrintMode and ParseError
// after it closed with OK.

#include <QDialog>

#include "common/lang/engine.h"
#include "waveform/model/settings.h"
#include "waveform/print/page_range.h"
#include "waveform/print/print_services.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace wave {

class TPrintPageSetForm : public QDialog {
  Q_OBJECT
 public:
  TPrintPageSetForm(DisplaySettings& settings, PrintFormServices& services, QWidget* parent = nullptr,
                    const lang::MultiLangEngine& engine = lang::LangEngine());

  int PrintMode() const { return printMode_; }
  bool ParseError() const { return parseError_; }

  void FormShow();
  void FormActivate();
  void RadioButton1Click();
  void RadioButton2Click();
  void RadioButton3Click();
  void BitBtn1Click();

  QRadioButton* RadioButton1() const { return radio1_; }
  QRadioButton* RadioButton2() const { return radio2_; }
  QRadioButton* RadioButton3() const { return radio3_; }
  QLineEdit* Edit1() const { return edit1_; }
  QPushButton* BitBtn1() const { return ok_; }
  QPushButton* BitBtn2() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void setEditEnabled(bool on);

  DisplaySettings& settings_;
  PrintFormServices& services_;
  const lang::MultiLangEngine& engine_;
  int printMode_ = 0;
  bool parseError_ = false;

  QGroupBox* group_;
  QRadioButton* radio1_;
  QRadioButton* radio2_;
  QRadioButton* radio3_;
  QLineEdit* edit1_;
  QLabel* label1_;
  QLabel* label2_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace wave
