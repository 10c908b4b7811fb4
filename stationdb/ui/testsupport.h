#pragma once
// Shared by the dialog tests: an offscreen application whose folders lie in a
// temporary folder, and form services that record what the dialogs show.

#include <QDialog>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/forms/form_services.h"
#include "common/forms/offscreen_test_app.h"

namespace stationdb::uitest {

// The temporary folder of the test run, removed at its end.
inline const std::filesystem::path& TempRoot() {
  static const forms::qttest::TempFolder root("station_ui");
  return root.path();
}

// Every folder variable points into the temporary folder before the application starts.
inline void EnsureApp() { forms::qttest::EnsureOffscreenApp(TempRoot(), "station_ui_test"); }

// Records messages and errors; a modal dialog is shown without a modal loop,
// the script plays the user, and the dialog's result is handed back.
class RecordingServices : public forms::FormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>&) override {
    messages.push_back(message);
    keys.push_back(message.textKeys());
  }
  void showError(QWidget*, const QString& text) override { errors.push_back(text); }
  int execDialog(QDialog& dialog) override {
    dialog.show();
    if (script) script(dialog);
    const int result = dialog.isVisible() ? QDialog::Rejected : dialog.result();
    dialog.hide();
    return result;
  }

  std::function<void(QDialog&)> script;
  std::vector<common::UserMessage> messages;
  std::vector<std::vector<std::string>> keys;  // the text keys of each message
  std::vector<QString> errors;
};

}  // namespace stationdb::uitest
