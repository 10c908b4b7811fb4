#pragma once
// What the print-preview window and the page-range dialog reach outside
// themselves for: message boxes, modal dialogs, the printer setup dialog and
// the name of the PDF file that output goes to without a printer. The program
// passes QtPrintFormServices; tests pass their own, so that no dialog ever
// waits in a test.

#include <QString>

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/lang/engine.h"
#include "common/message.h"

class QDialog;
class QPrinter;
class QWidget;

namespace wave {

class PrintFormServices {
 public:
  virtual ~PrintFormServices() = default;
  // A message box with an OK button; args fill the "%d"/"%s" of its text.
  virtual void showMessage(QWidget* parent, const common::UserMessage& message,
                           const std::vector<std::string>& args = {}) = 0;
  // Runs a dialog modally and returns its result (QDialog::exec).
  virtual int execDialog(QDialog& dialog) = 0;
  // The printer setup dialog (printer and orientation); false when cancelled.
  virtual bool setupPrinter(QWidget* parent, QPrinter& printer) = 0;
  // The PDF file to print into when no printer is installed; empty when cancelled.
  virtual std::optional<QString> pdfFileName(QWidget* parent) = 0;
  // The general error box: an error that ended an event handler.
  virtual void showError(QWidget* parent, const QString& text) = 0;
};

class QtPrintFormServices : public PrintFormServices {
 public:
  explicit QtPrintFormServices(const lang::MultiLangEngine& engine = lang::LangEngine()) : engine_(engine) {}
  void showMessage(QWidget* parent, const common::UserMessage& message,
                   const std::vector<std::string>& args = {}) override;
  int execDialog(QDialog& dialog) override;
  bool setupPrinter(QWidget* parent, QPrinter& printer) override;
  std::optional<QString> pdfFileName(QWidget* parent) override;
  void showError(QWidget* parent, const QString& text) override;

 private:
  const lang::MultiLangEngine& engine_;
};

// The text and caption of a message in the engine's language, args filled in.
QString PrintMessageText(const lang::MultiLangEngine& engine, const common::UserMessage& message,
                         const std::vector<std::string>& args = {});
QString PrintMessageCaption(const lang::MultiLangEngine& engine, const common::UserMessage& message);

// Runs an event handler; an exception that escapes it is shown in the general
// error box and the window stays as it was.
template <class Handler>
void GuardedPrintHandler(PrintFormServices& services, QWidget* parent, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    services.showError(parent, QString::fromUtf8(error.what()));
  } catch (...) {
    services.showError(parent, QStringLiteral("Unknown error"));
  }
}

}  // namespace wave
