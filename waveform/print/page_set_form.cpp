#include "waveform/print/page_set_form.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "common/lang/translateform.h"

namespace wave {

TPrintPageSetForm::TPrintPageSetForm(DisplaySettings& settings, PrintFormServices& services, QWidget* parent,
                                     const lang::MultiLangEngine& engine)
    : QDialog(parent),
      settings_(settings),
      services_(services),
      engine_(engine),
      group_(new QGroupBox(QStringLiteral("页面范围   "), this)),
      radio1_(new QRadioButton(QStringLiteral("全部"), group_)),
      radio2_(new QRadioButton(QStringLiteral("当前页"), group_)),
      radio3_(new QRadioButton(QStringLiteral("页面范围 "), group_)),
      edit1_(new QLineEdit(group_)),
      label1_(new QLabel(QStringLiteral("请键入页码和/或用逗号分隔的页码范围"), group_)),
      label2_(new QLabel(QStringLiteral("（例如：1，3，5-12）"), group_)),
      ok_(new QPushButton(QStringLiteral("确定"), this)),
      cancel_(new QPushButton(QStringLiteral("取消"), this)) {
  lang::setFormClass(*this, "TPrintPageSetForm");
  setObjectName(QStringLiteral("PrintPageSetForm"));
  setWindowTitle(QStringLiteral("页面设置"));
  group_->setObjectName(QStringLiteral("GroupBox1"));
  radio1_->setObjectName(QStringLiteral("RadioButton1"));
  radio2_->setObjectName(QStringLiteral("RadioButton2"));
  radio3_->setObjectName(QStringLiteral("RadioButton3"));
  edit1_->setObjectName(QStringLiteral("Edit1"));
  label1_->setObjectName(QStringLiteral("Label1"));
  label2_->setObjectName(QStringLiteral("Label2"));
  ok_->setObjectName(QStringLiteral("BitBtn1"));
  cancel_->setObjectName(QStringLiteral("BitBtn2"));

  auto* grid = new QGridLayout(group_);
  grid->addWidget(radio1_, 0, 0, 1, 2);
  grid->addWidget(radio2_, 1, 0, 1, 2);
  grid->addWidget(radio3_, 2, 0);
  grid->addWidget(edit1_, 2, 1);
  grid->addWidget(label1_, 3, 0, 1, 2);
  grid->addWidget(label2_, 4, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group_);
  layout->addLayout(buttons);

  ok_->setDefault(true);  // Enter; Esc rejects the dialog
  ok_->setAutoDefault(true);
  connect(radio1_, &QRadioButton::clicked, this, [this] { RadioButton1Click(); });
  connect(radio2_, &QRadioButton::clicked, this, [this] { RadioButton2Click(); });
  connect(radio3_, &QRadioButton::clicked, this, [this] { RadioButton3Click(); });
  connect(ok_, &QPushButton::clicked, this, [this] { forms::GuardedHandler(services_, this, [this] { BitBtn1Click(); }); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TPrintPageSetForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  forms::GuardedHandler(services_, this, [this] {
    FormShow();
    FormActivate();
  });
}

void TPrintPageSetForm::FormShow() { lang::TranslateForm(*this, engine_); }

void TPrintPageSetForm::setEditEnabled(bool on) {
  edit1_->setEnabled(on);
  // clWindow when it takes input, clMenu when it does not.
  QPalette palette = edit1_->palette();
  palette.setColor(QPalette::Base, this->palette().color(on ? QPalette::Base : QPalette::Button));
  edit1_->setPalette(palette);
}

void TPrintPageSetForm::FormActivate() {
  edit1_->clear();
  setEditEnabled(false);
  settings_.PrintPageFlags.fill(0);
  radio1_->setChecked(true);
}

void TPrintPageSetForm::RadioButton1Click() { setEditEnabled(false); }
void TPrintPageSetForm::RadioButton2Click() { setEditEnabled(false); }
void TPrintPageSetForm::RadioButton3Click() { setEditEnabled(true); }

void TPrintPageSetForm::BitBtn1Click() {
  const PageChoice choice =
      radio1_->isChecked() ? PageChoice::All : radio2_->isChecked() ? PageChoice::Current : PageChoice::Ranges;
  const QByteArray text = edit1_->text().toUtf8();
  const PageSetResult result =
      ConfirmPageChoice(choice, std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                        settings_.PrintPageFlags);
  printMode_ = result.PrintMode;
  parseError_ = result.ParseError;
  if (result.accepted) {
    accept();
    return;
  }
  services_.showMessage(this, PageRangeErrorMessage());
}

}  // namespace wave
