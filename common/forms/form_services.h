#pragma once
// What the forms reach outside themselves for: message boxes, the general
// error box, modal dialogs and the save dialog. The program passes
// QtFormServices; tests pass their own, so no modal box ever runs in a test.
// The pieces below the classes are the one implementation of the boxes that
// every window's services (record, print and main window) share.

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/job.h"
#include "common/lang/engine.h"
#include "common/message.h"

class QDialog;
class QWidget;

namespace forms {

class FormServices {
 public:
  virtual ~FormServices() = default;
  // A message box with an OK button; args fill the "%d"/"%s" of its text.
  virtual void showMessage(QWidget* parent, const common::UserMessage& message,
                           const std::vector<std::string>& args = {}) = 0;
  // The general error box: an error that ended an event handler.
  virtual void showError(QWidget* parent, const QString& text) = 0;
  // Runs a dialog modally and returns its result (QDialog::exec).
  virtual int execDialog(QDialog& dialog) = 0;
  // The save dialog: the name of the file to write, empty when cancelled. It
  // offers nameFilters, adds defaultSuffix to a name without one and asks
  // before a file is replaced. Services that show no dialog answer as
  // cancelled.
  virtual std::optional<QString> saveFileName(QWidget* parent, const QStringList& nameFilters,
                                              const QString& defaultSuffix);
  // Where long work runs: the program's worker threads; services without
  // them run it at once on the calling thread.
  virtual common::JobRunner& jobRunner() { return common::ImmediateRunner(); }
};

class QtFormServices : public FormServices {
 public:
  explicit QtFormServices(const lang::MultiLangEngine& engine = lang::LangEngine()) : engine_(engine) {}
  void showMessage(QWidget* parent, const common::UserMessage& message,
                   const std::vector<std::string>& args = {}) override;
  void showError(QWidget* parent, const QString& text) override;
  int execDialog(QDialog& dialog) override;
  std::optional<QString> saveFileName(QWidget* parent, const QStringList& nameFilters,
                                      const QString& defaultSuffix) override;
  common::JobRunner& jobRunner() override;

 private:
  const lang::MultiLangEngine& engine_;
};

// The texts of a message in the engine's language, its args filled in.
QString MessageText(const lang::MultiLangEngine& engine, const common::UserMessage& message,
                    const std::vector<std::string>& args);
QString MessageCaption(const lang::MultiLangEngine& engine, const common::UserMessage& message);

QString Utf8(std::string_view text);

// The box icon that shows a message's icon.
QMessageBox::Icon BoxIcon(common::MessageIcon icon);

// The general error box: the program's name as caption, a critical icon and
// an OK button. Shown modally.
void ShowErrorBox(QWidget* parent, const QString& text);

// Moves a window so that its frame sits in the middle of its screen (the
// primary screen while it has none).
void CentreOnScreen(QWidget& window);

// Runs an event handler; an exception that escapes it is shown in the general
// error box of services (anything with showError(QWidget*, const QString&))
// and the window stays as it was.
template <class Services, class Handler>
void GuardedHandler(Services& services, QWidget* parent, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    services.showError(parent, QString::fromUtf8(error.what()));
  } catch (...) {
    services.showError(parent, QStringLiteral("Unknown error"));
  }
}

}  // namespace forms
