#include "commtool/ui/aboutdlg.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "commtool/ui/staticlink.h"

namespace tavrix {

QUrl ReadmeLink() {
  return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/README.md"));
}

CAboutDlg::CAboutDlg(std::function<bool(const QUrl&)> opener, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(QStringLiteral("关于 Tavrix"));
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
  auto* version = new QLabel(QStringLiteral("Tavrix 1.2 版"), this);
  auto* contact = new QLabel(QStringLiteral("联系方式:"), this);
  link_ = new CStaticLink(QStringLiteral("README.md"), ReadmeLink().toString(), std::move(opener), this);
  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  layout->addWidget(version, 0, 1, 1, 2);
  layout->addWidget(contact, 1, 1);
  layout->addWidget(link_, 1, 2);
  layout->addWidget(ok, 0, 3);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tavrix
