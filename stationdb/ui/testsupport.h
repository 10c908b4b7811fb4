#pragma once
// Shared by the dialog tests: an offscreen application whose folders lie in a
// temporary folder, and form services that record what the dialogs show.

#include <stdlib.h>

#include <QApplication>
#include <QDialog>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "waveform/ui/form_services.h"

namespace stationdb::uitest {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "station_ui_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Every folder variable points into a temporary folder before the application starts.
inline void EnsureApp() {
  if (QApplication::instance() != nullptr) return;
  static const TempFolder root;
  for (const char* variable : {"QUENLOR_SETTINGS_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                               "XDG_RUNTIME_DIR", "HOME"}) {
    const std::filesystem::path folder = root.path() / variable;
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    setenv(variable, folder.c_str(), 1);
  }
  static int argc = 1;
  static char name[] = "station_ui_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives as long as the program
}

// Records messages and errors; a modal dialog is shown without a modal loop,
// the script plays the user, and the dialog's result is handed back.
class RecordingServices : public wave::FormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>&) override {
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
  std::vector<std::vector<std::string>> keys;
  std::vector<QString> errors;
};

}  // namespace stationdb::uitest
