#include "waveform/print/print_services.h"

#include <QDialog>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace wave {

void QtPrintFormServices::showMessage(QWidget* parent, const common::UserMessage& message,
                                      const std::vector<std::string>& args) {
  forms_.showMessage(parent, message, args);
}

void QtPrintFormServices::showError(QWidget* parent, const QString& text) { forms_.showError(parent, text); }

int QtPrintFormServices::execDialog(QDialog& dialog) { return forms_.execDialog(dialog); }

std::optional<QString> QtPrintFormServices::saveFileName(QWidget* parent, const QStringList& nameFilters,
                                                         const QString& defaultSuffix) {
  return forms_.saveFileName(parent, nameFilters, defaultSuffix);
}

bool QtPrintFormServices::setupPrinter(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  // Only the printer and its orientation: the pages are chosen by the page-range dialog.
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  return dialog.exec() == QDialog::Accepted;
}

std::optional<QString> QtPrintFormServices::pdfFileName(QWidget* parent) {
  QString name = QFileDialog::getSaveFileName(parent, QString(), QString(), QStringLiteral("PDF (*.pdf)"));
  if (name.isEmpty()) return std::nullopt;
  if (!name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) name += QStringLiteral(".pdf");
  return name;
}

}  // namespace wave
