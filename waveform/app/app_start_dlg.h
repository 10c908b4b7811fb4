#pragma once
// TAppStartDlg: the borderless wait window shown while a long load runs. It is
// shown non-modally and freed by whoever showed it; Label1 carries the text.

#include <QDialog>

class QLabel;

namespace wave {

class TAppStartDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TAppStartDlg(QWidget* parent = nullptr);

  QLabel* Label1() const { return label1_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* label1_;
};

}  // namespace wave
