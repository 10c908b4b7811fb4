#include "waveform/ui/ui_test_support.h"

#include "common/lang/engine.h"
#include "common/forms/offscreen_test_app.h"

namespace wave::uitest {

const std::filesystem::path& TempRoot() {
  static const forms::qttest::TempFolder root("wave_ui_test");
  return root.path();
}

std::filesystem::path FreshFolder(const std::string& name) {
  const auto path = TempRoot() / name;
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

void EnsureApp() { forms::qttest::EnsureOffscreenApp(TempRoot(), "wave_ui_test"); }

void RecordingServices::showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>& args) {
  static const lang::MultiLangEngine builtIn(lang::LangVariant::Quenlor);
  messages.push_back({message, args, forms::MessageText(builtIn, message, args)});
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
