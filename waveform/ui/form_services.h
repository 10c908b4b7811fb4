#pragma once
// What the record window and the options dialog reach outside themselves for:
// message boxes, the general error box, modal dialogs. The program passes
// QtFormServices; tests pass their own, so no modal box ever runs in a test.

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/lang/engine.h"
#include "common/message.h"

class QDialog;
class QWidget;

namespace wave {

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

 private:
  const lang::MultiLangEngine& engine_;
};

// The texts of a message in the engine's language, its args filled in.
QString MessageText(const lang::MultiLangEngine& engine, const common::UserMessage& message,
                    const std::vector<std::string>& args);
QString MessageCaption(const lang::MultiLangEngine& engine, const common::UserMessage& message);

QString Utf8(std::string_view text);

// Runs an event handler; an exception that escapes it is shown in the general
// error box and the window stays as it was.
template <class Handler>
void GuardedHandler(FormServices& services, QWidget* parent, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    services.showError(parent, QString::fromUtf8(error.what()));
  } catch (...) {
    services.showError(parent, QStringLiteral("Unknown error"));
  }
}

}  // namespace wave
