#pragma once
// Chooses the check code appended to HEX input, and the byte it starts at.

#include <QDialog>

#include <functional>

#include "commtool/ui/uihooks.h"

class QComboBox;
class QLineEdit;

namespace tavrix {

class CCheckSetDlg : public QDialog {
  Q_OBJECT

 public:
  CCheckSetDlg(CheckSetting initial, std::function<void(QWidget*, const QString&)> message,
               QWidget* parent = nullptr);

  // What OK accepted.
  CheckSetting Setting() const { return setting_; }

  void accept() override;

 private:
  QLineEdit* start_;
  QComboBox* method_;
  CheckSetting setting_;
  std::function<void(QWidget*, const QString&)> message_;
};

}  // namespace tavrix
