#include "commtool/ui/uihooks.h"

#include <QDesktopServices>
#include <QMessageBox>

#include "commtool/core/localaddress.h"
#include "commtool/core/texts.h"
#include "commtool/ui/checksetdlg.h"

namespace tavrix {

UiHooks DefaultUiHooks() {
  UiHooks hooks;
  hooks.message = [](QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, Qs(texts::kProgramName), text);
  };
  hooks.askCheck = [message = hooks.message](QWidget* parent) -> std::optional<CheckSetting> {
    CCheckSetDlg dialog(CheckSetting{}, message, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Setting();
  };
  hooks.clock = SystemLocalTime;
  hooks.localAddress = LocalHostAddress;
  hooks.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  return hooks;
}

}  // namespace tavrix
