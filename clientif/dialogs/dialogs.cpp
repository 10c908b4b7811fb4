// The dialog exports: each runs its form modally on the host's GUI thread.

#include "clientif/dialogs/dialogs.h"

#include <QApplication>
#include <QThread>
#include <QWindow>

#include <cstring>
#include <memory>

#include "clientif/dialogs/forms.h"
#include "common/forms/qt_translations.h"
#include "common/gbk.h"

namespace velk::dialogs {
namespace {

ShowHook& showHook() {
  static ShowHook hook;
  return hook;
}

// Qt's own texts of the dialogs (their standard buttons) in Chinese, unless
// the host has translated them already.
QApplication* withQtTexts(QApplication* app) {
  if (app != nullptr && !forms::QtTextsTranslated()) forms::InstallQtChineseTexts(*app);
  return app;
}

// The host's QApplication, or one made here for a host without Qt. That one
// is kept to the end of the process and never destroyed: destroying it
// after main has returned would come after Qt's own clean-up. Null when
// widgets cannot be shown from this thread.
QApplication* application() {
  static int argc = 1;
  static char name[] = "velklog2";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) {
    static QApplication* const kept = withQtTexts(std::make_unique<QApplication>(argc, argv).release());
    return kept;
  }
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (app == nullptr || QThread::currentThread() != app->thread()) return nullptr;
  return withQtTexts(app);
}

// Runs the form modally, over the caller's window when it names one.
int runModal(QDialog& form, std::uintptr_t parent) {
  std::unique_ptr<QWindow> owner;
  if (parent != 0) owner.reset(QWindow::fromWinId(static_cast<WId>(parent)));
  if (owner) {
    form.winId();
    if (QWindow* window = form.windowHandle()) window->setTransientParent(owner.get());
  }
  if (showHook()) showHook()(form);
  return form.exec();
}

// The name as the operator table holds it, cut to limit bytes without
// splitting a two-byte character.
void copyName(char* buffer, const std::string& gbk, std::size_t limit) {
  if (buffer == nullptr) return;
  const std::size_t length = GbkCutLength(gbk, limit);
  std::memcpy(buffer, gbk.data(), length);
  buffer[length] = '\0';
}

template <class Form>
std::int32_t logIn(ClientLibrary& library, std::uintptr_t parent, char* name, std::int32_t* rights,
                   std::size_t nameLimit, const char* caption) {
  if (library.state() <= 0 || application() == nullptr) return 0;
  Form form(library);
  form.requiredMask = rights != nullptr ? *rights : 0;
  if (caption != nullptr) form.setWindowTitle(fromUtf8(common::GbkToUtf8(caption)));
  if (runModal(form, parent) != QDialog::Accepted) return 0;
  const LoginOutcome again = CheckLogin(library, form.enteredName(), form.enteredPassword(), 0);
  if (!again.accepted) return 0;
  copyName(name, form.enteredName(), nameLimit);
  if (rights != nullptr) *rights = again.dtype;
  return -1;
}

void store(std::int32_t* target, std::int32_t value) {
  if (target != nullptr) *target = value;
}

}  // namespace

void setShowHook(ShowHook hook) { showHook() = std::move(hook); }

std::int32_t CheckUserPassword(ClientLibrary& library, std::uintptr_t parent, char* name, std::int32_t* rights) {
  return logIn<TPasswordDlg>(library, parent, name, rights, kShortNameBytes, nullptr);
}

std::int32_t CheckUserPassword2(ClientLibrary& library, std::uintptr_t parent, char* name, std::int32_t* rights,
                                const char* caption) {
  return logIn<TPasswordDlg2>(library, parent, name, rights, kLongNameBytes, caption);
}

std::int32_t ChooseParaTree(ClientLibrary& library, PointChoice choice, std::uintptr_t parent, std::int32_t* stationId,
                            std::int32_t* channelId, std::int32_t* meterId, std::int32_t* pointId, std::int32_t* kind) {
  if (!library.attached() || application() == nullptr) return 0;
  PointKinds kinds;
  if (kind != nullptr && choice == PointChoice::Measured && *kind == 2) *kind = 1;
  if (kind != nullptr && choice == PointChoice::Status && *kind != 1) *kind = 2;
  if (choice == PointChoice::Measured) kinds = {true, true, false};
  if (choice == PointChoice::Status) kinds = {false, false, true};
  auto value = [](const std::int32_t* p) { return p != nullptr ? *p : 0; };
  const PointValues preset{value(stationId), value(channelId), value(meterId), value(pointId), value(kind)};
  TChRealPara_form form(library, kinds, preset);
  if (runModal(form, parent) != QDialog::Accepted) return 0;
  const PointValues& chosen = form.values();
  store(stationId, chosen.stationId);
  if (chosen.kind != 0) {  // a calculated item is given by its station and its own id
    store(channelId, chosen.channelId);
    store(meterId, chosen.meterId);
  }
  store(pointId, chosen.pointId);
  store(kind, chosen.kind);
  return -1;
}

std::int32_t ChooseCtrl(ClientLibrary& library, std::uintptr_t parent, std::int32_t* stationId,
                        std::int32_t* controlId) {
  if (!library.attached() || application() == nullptr) return 0;
  TChCtrl_form form(library, stationId != nullptr ? *stationId : 0, controlId != nullptr ? *controlId : 0);
  if (runModal(form, parent) != QDialog::Accepted) return 0;
  store(stationId, form.stationId());
  store(controlId, form.controlId());
  return -1;
}

std::int32_t ChooseNodeStatusTree(ClientLibrary& library, std::uintptr_t parent, std::int32_t* nodeId,
                                  std::int32_t* selector, std::int32_t* third) {
  if (!library.attached() || application() == nullptr) return 0;
  const auto value = [](const std::int32_t* p) { return p != nullptr ? *p : 0; };
  TChooseNodeStatusDlg form(library, {value(nodeId), value(selector), value(third)});
  if (runModal(form, parent) == QDialog::Accepted) {
    store(nodeId, form.choice().nodeId);
    store(selector, form.choice().selector);
    store(third, form.choice().third);
  }
  return 0;  // the answer is in the values
}

}  // namespace velk::dialogs
