#pragma once
// Shared pieces of the form tests: the application object, temporary folders
// for every settings variable, and services that record instead of showing.

#include <QDialog>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/forms/form_services.h"

namespace wave::uitest {

// Creates the QApplication once, after pointing every folder variable at a
// temporary folder.
void EnsureApp();
// The temporary folder of this test run.
const std::filesystem::path& TempRoot();
// A fresh, empty folder below TempRoot.
std::filesystem::path FreshFolder(const std::string& name);

struct ShownMessage {
  common::UserMessage message;
  std::vector<std::string> args;
  QString text;  // resolved with the built-in texts
};

class RecordingServices : public forms::FormServices {
 public:
  void showMessage(QWidget* parent, const common::UserMessage& message,
                   const std::vector<std::string>& args = {}) override;
  void showError(QWidget* parent, const QString& text) override;
  int execDialog(QDialog& dialog) override;
  std::optional<QString> saveFileName(QWidget* parent, const QStringList& nameFilters,
                                      const QString& defaultSuffix) override;
  common::JobRunner& jobRunner() override { return runner ? *runner : common::ImmediateRunner(); }

  std::vector<ShownMessage> messages;
  std::vector<QString> errors;
  // Plays the user's part in a modal dialog; without it the dialog is rejected.
  std::function<int(QDialog&)> onDialog;
  // The save dialog's answer (empty: cancelled), and what it was asked with.
  std::optional<QString> saveFile;
  struct SaveRequest {
    QStringList nameFilters;
    QString defaultSuffix;
  };
  std::vector<SaveRequest> saveRequests;
  // Runs long work; without it, at once.
  common::JobRunner* runner = nullptr;
};

}  // namespace wave::uitest
