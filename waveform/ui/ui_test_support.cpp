#include "waveform/ui/ui_test_support.h"

#include <QApplication>

#include <cstdlib>
#include <random>

#include "common/lang/engine.h"

namespace wave::uitest {

const std::filesystem::path& TempRoot() {
  static const std::filesystem::path root = [] {
    std::random_device seed;
    auto path = std::filesystem::temp_directory_path() / ("wave_ui_test_" + std::to_string(seed()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return root;
}

std::filesystem::path FreshFolder(const std::string& name) {
  const auto path = TempRoot() / name;
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

void EnsureApp() {
  if (QApplication::instance()) return;
  for (const char* variable : {"QUENLOR_SETTINGS_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                               "XDG_RUNTIME_DIR", "HOME"}) {
    const auto folder = TempRoot() / variable;
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    setenv(variable, folder.c_str(), 1);
  }
  static int argc = 1;
  static char arg0[] = "wave_ui_test";
  static char* argv[] = {arg0, nullptr};
  new QApplication(argc, argv);
}

void RecordingServices::showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>& args) {
  static const lang::MultiLangEngine builtIn(lang::LangVariant::Quenlor);
  messages.push_back({message, args, MessageText(builtIn, message, args)});
}

void RecordingServices::showError(QWidget*, const QString& text) { errors.push_back(text); }

int RecordingServices::execDialog(QDialog& dialog) {
  if (!onDialog) return QDialog::Rejected;
  return onDialog(dialog);
}

std::optional<QString> RecordingServices::saveFileName(QWidget*, const QStringList& nameFilters,
                                                       const QString& defaultSuffix) {
  saveRequests.push_back({nameFilters, defaultSuffix});
  return saveFile;
}

}  // namespace wave::uitest
