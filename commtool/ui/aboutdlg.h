#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

namespace tavrix {

class CStaticLink;

// The program's description, shipped beside it as README.md: what the about
// box's contact opens.
QUrl ReadmeLink();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(std::function<bool(const QUrl&)> opener, QWidget* parent = nullptr);
  CStaticLink* Link() const { return link_; }

 private:
  CStaticLink* link_;
};

}  // namespace tavrix
