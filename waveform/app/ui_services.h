#pragma once
// Everything the main window and its dialogs reach outside themselves for:
// message boxes, the folder browser, modal dialogs and the clock. The program
// uses QtUiServices; tests script their own, so no modal box ever runs there.

#include <QString>

#include <optional>
#include <string>

#include "common/datetime.h"
#include "common/job.h"
#include "common/ipc/silentabort.h"
#include "common/message.h"
#include "waveform/app/message_answer.h"
#include "common/forms/form_services.h"

class QDialog;
class QWidget;

namespace wave {

class UiServices {
 public:
  virtual ~UiServices() = default;

  // Shows a message box; its texts are looked up in the language file.
  virtual MessageAnswer showMessage(QWidget* parent, const common::UserMessage& message,
                                    MessageButtons buttons) = 0;
  // The general error box: an error that ended an event handler.
  virtual void showError(QWidget* parent, const QString& text) = 0;
  // The folder browser, starting at startFolder; the chosen folder, or empty
  // when it was cancelled. Both paths are the bytes the file system holds.
  virtual std::optional<std::string> browseFolder(QWidget* parent, const QString& title,
                                                  const std::string& startFolder) = 0;
  // Runs a dialog modally and returns its result (QDialog::exec).
  virtual int execDialog(QDialog& dialog) = 0;
  virtual common::TDateTime now() = 0;
  // Where long work runs: the program's worker threads; services without
  // them run it at once on the calling thread.
  virtual common::JobRunner& jobRunner() { return common::ImmediateRunner(); }
};

class QtUiServices : public UiServices {
 public:
  MessageAnswer showMessage(QWidget* parent, const common::UserMessage& message,
                            MessageButtons buttons) override;
  void showError(QWidget* parent, const QString& text) override;
  std::optional<std::string> browseFolder(QWidget* parent, const QString& title,
                                          const std::string& startFolder) override;
  int execDialog(QDialog& dialog) override;
  common::TDateTime now() override;
  common::JobRunner& jobRunner() override;
};

std::string ToUtf8(const QString& text);

// Runs an event handler as GuardedHandler does; the silent abort ends the
// handler without a word.
template <class Handler>
void Guarded(UiServices& ui, QWidget* parent, Handler&& handler) {
  forms::GuardedHandler(ui, parent, [&] {
    try {
      handler();
    } catch (const common::SilentAbort&) {
    }
  });
}

}  // namespace wave
