#include "waveform/print/print_services.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "common/safeformat.h"

namespace wave {

namespace {

QString utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QMessageBox::Icon boxIcon(common::MessageIcon icon) {
  switch (icon) {
    case common::MessageIcon::Warning: return QMessageBox::Warning;
    case common::MessageIcon::Information: return QMessageBox::Information;
    case common::MessageIcon::Error: return QMessageBox::Critical;
    case common::MessageIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString PrintMessageText(const lang::MultiLangEngine& engine, const common::UserMessage& message,
                         const std::vector<std::string>& args) {
  const std::string text = common::ResolveText(message, lang::makeLangLookup(engine));
  if (args.empty()) return utf8(text);
  return utf8(common::FormatLangText(text, common::ResolveText(message, &common::BuiltInText), args));
}

QString PrintMessageCaption(const lang::MultiLangEngine& engine, const common::UserMessage& message) {
  return utf8(common::ResolveCaption(message, lang::makeLangLookup(engine)));
}

void QtPrintFormServices::showMessage(QWidget* parent, const common::UserMessage& message,
                                      const std::vector<std::string>& args) {
  QMessageBox box(boxIcon(message.icon), PrintMessageCaption(engine_, message),
                  PrintMessageText(engine_, message, args), QMessageBox::Ok, parent);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.exec();
}

int QtPrintFormServices::execDialog(QDialog& dialog) { return dialog.exec(); }

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

void QtPrintFormServices::showError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Quenlor"), text, QMessageBox::Ok, parent);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.exec();
}

}  // namespace wave
