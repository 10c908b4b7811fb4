#include "commtool/ui/checksetdlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <fmt/format.h>

#include "commtool/core/hexcode.h"
#include "commtool/core/texts.h"

namespace tavrix {

CCheckSetDlg::CCheckSetDlg(CheckSetting initial, std::function<void(QWidget*, const QString&)> message,
                           QWidget* parent)
    : QDialog(parent), setting_(initial), message_(std::move(message)) {
  setObjectName(QStringLiteral("103"));
  setWindowTitle(QStringLiteral("冗余校验设置"));
  QFont songti = font();
  songti.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun")});
  setFont(songti);

  start_ = new QLineEdit(Qs(fmt::format("{}", initial.start)), this);
  start_->setObjectName(QStringLiteral("1028"));
  method_ = new QComboBox(this);
  method_->setObjectName(QStringLiteral("1032"));
  for (int method = kCheckCrcModbus; method <= kCheckCrcCcitt; ++method) method_->addItem(Qs(CheckMethodName(method)));
  method_->setCurrentIndex(initial.method);
  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CCheckSetDlg::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("起始字节："), this), 0, 0);
  layout->addWidget(start_, 0, 1);
  layout->addWidget(new QLabel(QStringLiteral("校验方式："), this), 1, 0);
  layout->addWidget(method_, 1, 1);
  layout->addWidget(ok, 0, 2);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CCheckSetDlg::accept() {
  const auto start = ParseCheckStart(start_->text().toStdString());
  if (!start) {  // the dialog stays open
    if (message_) message_(this, Qs(texts::kBadCheckStart));
    start_->setFocus();
    start_->selectAll();
    return;
  }
  setting_ = {method_->currentIndex(), *start};
  QDialog::accept();
}

}  // namespace tavrix
