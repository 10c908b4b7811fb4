#pragma once

#include <QDialog>

#include <functional>

namespace tavrix {

class CStaticLink;

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(std::function<bool(const QUrl&)> opener, QWidget* parent = nullptr);
  CStaticLink* Link() const { return link_; }

 private:
  CStaticLink* link_;
};

}  // namespace tavrix
