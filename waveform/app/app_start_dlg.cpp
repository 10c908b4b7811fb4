#include "waveform/app/app_start_dlg.h"

#include <QFrame>
#include <QLabel>
#include <QPalette>

#include "common/lang/translateform.h"
#include "common/forms/form_services.h"

namespace wave {
namespace {

constexpr int kClientWidth = 427;
constexpr int kClientHeight = 41;
const QColor kSkyBlue(166, 202, 240);

}  // namespace

TAppStartDlg::TAppStartDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      label1_(new QLabel(QStringLiteral("程序启动......"), this)) {
  lang::setFormClass(*this, "TAppStartDlg");
  setObjectName(QStringLiteral("AppStartDlg"));
  setFixedSize(kClientWidth, kClientHeight);
  QPalette background = palette();
  background.setColor(QPalette::Window, kSkyBlue);
  setPalette(background);
  setAutoFillBackground(true);

  auto* bevel = new QFrame(this);
  bevel->setObjectName(QStringLiteral("Bevel1"));
  bevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bevel->setGeometry(0, 0, kClientWidth, kClientHeight);

  label1_->setObjectName(QStringLiteral("Label1"));
  // Wider than the window on purpose: a long text is cut at the window's edge.
  label1_->setGeometry(33, 12, 600, label1_->sizeHint().height());
  label1_->raise();
}

void TAppStartDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  forms::CentreOnScreen(*this);
}

}  // namespace wave
