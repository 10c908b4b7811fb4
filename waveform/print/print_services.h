#pragma once
// What the print-preview window and the page-range dialog reach outside
// themselves for: the form services every window has (boxes, modal dialogs),
// the printer setup dialog and the name of the PDF file that output goes to
// without a printer. The program passes QtPrintFormServices; tests pass their
// own, so that no dialog ever waits in a test.

#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "common/lang/engine.h"
#include "common/message.h"
#include "common/forms/form_services.h"

class QDialog;
class QPrinter;
class QWidget;

namespace wave {

class PrintFormServices : public forms::FormServices {
 public:
  // The printer setup dialog (printer and orientation); false when cancelled.
  virtual bool setupPrinter(QWidget* parent, QPrinter& printer) = 0;
  // The PDF file to print into when no printer is installed; empty when cancelled.
  virtual std::optional<QString> pdfFileName(QWidget* parent) = 0;
};

class QtPrintFormServices : public PrintFormServices {
 public:
  explicit QtPrintFormServices(const lang::MultiLangEngine& engine = lang::LangEngine()) : forms_(engine) {}
  void showMessage(QWidget* parent, const common::UserMessage& message,
                   const std::vector<std::string>& args = {}) override;
  void showError(QWidget* parent, const QString& text) override;
  int execDialog(QDialog& dialog) override;
  std::optional<QString> saveFileName(QWidget* parent, const QStringList& nameFilters,
                                      const QString& defaultSuffix) override;
  bool setupPrinter(QWidget* parent, QPrinter& printer) override;
  std::optional<QString> pdfFileName(QWidget* parent) override;

 private:
  forms::QtFormServices forms_;  // the boxes and dialogs, as every other window shows them
};

}  // namespace wave
