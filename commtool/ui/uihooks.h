#pragma once
// What the dialogs reach outside themselves through, so that tests replace it:
// message boxes, the check-code settings dialog, the clock, this computer's
// address, and opening links.

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "commtool/core/terminal.h"

class QWidget;

namespace tavrix {

struct CheckSetting {
  int method = 0;
  int start = 1;
};

struct UiHooks {
  std::function<void(QWidget* parent, const QString& text)> message;
  // Asks for a check code (CCheckSetDlg); nothing when the user cancels.
  std::function<std::optional<CheckSetting>(QWidget* parent)> askCheck;
  Clock clock;
  std::function<std::string()> localAddress;
  std::function<bool(const QUrl& url)> openUrl;
};

UiHooks DefaultUiHooks();

inline QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace tavrix
