#include "common/forms/form_services.h"

#include "common/forms/wait_window.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "common/safeformat.h"

namespace forms {

namespace {

QString okText() { return QStringLiteral("确定"); }

}  // namespace

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString MessageText(const lang::MultiLangEngine& engine, const common::UserMessage& message,
                    const std::vector<std::string>& args) {
  const std::string text = common::ResolveText(message, lang::makeLangLookup(engine));
  if (args.empty()) return Utf8(text);
  const std::string builtIn = common::ResolveText(message, &common::BuiltInText);
  return Utf8(common::FormatLangText(text, builtIn, args));
}

QString MessageCaption(const lang::MultiLangEngine& engine, const common::UserMessage& message) {
  return Utf8(common::ResolveCaption(message, lang::makeLangLookup(engine)));
}

QMessageBox::Icon BoxIcon(common::MessageIcon icon) {
  switch (icon) {
    case common::MessageIcon::None: return QMessageBox::NoIcon;
    case common::MessageIcon::Warning: return QMessageBox::Warning;
    case common::MessageIcon::Information: return QMessageBox::Information;
    case common::MessageIcon::Error: return QMessageBox::Critical;
    case common::MessageIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

void ShowErrorBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Quenlor"), text, QMessageBox::Ok, parent);
  box.button(QMessageBox::Ok)->setText(okText());
  box.exec();
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

void QtFormServices::showMessage(QWidget* parent, const common::UserMessage& message,
                                 const std::vector<std::string>& args) {
  QMessageBox box(BoxIcon(message.icon), MessageCaption(engine_, message), MessageText(engine_, message, args),
                  QMessageBox::Ok, parent);
  box.button(QMessageBox::Ok)->setText(okText());
  box.exec();
}

void QtFormServices::showError(QWidget* parent, const QString& text) { ShowErrorBox(parent, text); }

int QtFormServices::execDialog(QDialog& dialog) { return dialog.exec(); }

std::optional<QString> FormServices::saveFileName(QWidget*, const QStringList&, const QString&) {
  return std::nullopt;
}

std::optional<QString> QtFormServices::saveFileName(QWidget* parent, const QStringList& nameFilters,
                                                    const QString& defaultSuffix) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(nameFilters);
  dialog.setDefaultSuffix(defaultSuffix);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

common::JobRunner& QtFormServices::jobRunner() { return BackgroundRunner(); }

}  // namespace forms
