#include "waveform/app/ui_services.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include "common/lang/engine.h"
#include "common/forms/form_services.h"
#include "common/forms/wait_window.h"
#include "waveform/app/folder_browser.h"

namespace wave {
namespace {

struct ButtonText {
  QMessageBox::StandardButton button;
  const char16_t* text;
  MessageAnswer answer;
};

constexpr ButtonText kOk{QMessageBox::Ok, u"确定", MessageAnswer::Ok};
constexpr ButtonText kCancel{QMessageBox::Cancel, u"取消", MessageAnswer::Cancel};
constexpr ButtonText kYes{QMessageBox::Yes, u"是(&Y)", MessageAnswer::Yes};
constexpr ButtonText kNo{QMessageBox::No, u"否(&N)", MessageAnswer::No};

}  // namespace

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

MessageAnswer QtUiServices::showMessage(QWidget* parent, const common::UserMessage& message,
                                        MessageButtons buttons) {
  const lang::MultiLangEngine& engine = lang::LangEngine();
  QMessageBox box(forms::BoxIcon(message.icon), forms::MessageCaption(engine, message), forms::MessageText(engine, message, {}),
                  QMessageBox::NoButton, parent);
  std::vector<ButtonText> offered;
  switch (buttons) {
    case MessageButtons::Ok:
      offered = {kOk};
      break;
    case MessageButtons::OkCancel:
      offered = {kOk, kCancel};
      break;
    case MessageButtons::YesNo:
      offered = {kYes, kNo};
      break;
  }
  for (const ButtonText& b : offered) box.addButton(b.button)->setText(QString::fromUtf16(b.text));
  box.setDefaultButton(offered.front().button);
  const int pressed = box.exec();
  for (const ButtonText& b : offered)
    if (pressed == b.button) return b.answer;
  // Closed without a button (Escape, the title bar): the last button's answer.
  return offered.back().answer;
}

void QtUiServices::showError(QWidget* parent, const QString& text) { forms::ShowErrorBox(parent, text); }

std::optional<std::string> QtUiServices::browseFolder(QWidget* parent, const QString& title,
                                                      const std::string& startFolder) {
  TFolderBrowser browser(title, startFolder, parent);
  if (browser.exec() != QDialog::Accepted) return std::nullopt;
  std::string folder = browser.chosenFolder();
  if (folder.empty()) return std::nullopt;
  return folder;
}

int QtUiServices::execDialog(QDialog& dialog) { return dialog.exec(); }

common::TDateTime QtUiServices::now() { return common::NowLocal(); }

common::JobRunner& QtUiServices::jobRunner() { return forms::BackgroundRunner(); }

}  // namespace wave
