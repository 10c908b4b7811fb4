#include "waveform/app/test_support.h"

#include <stdexcept>

#include <QApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <fstream>

#include "common/forms/offscreen_test_app.h"

namespace wave::test {
namespace {

// Removed when the test program ends.
struct Scratch {
  forms::qttest::TempFolder folder{"wave_app_test"};
  Scratch() { forms::qttest::PointFoldersAt(folder.path()); }
};

Scratch& scratch() {
  static Scratch folder;
  return folder;
}

}  // namespace

const std::filesystem::path& ScratchFolder() { return scratch().folder.path(); }

namespace {

// The application ends with the tests, before static objects are destroyed:
// by then Qt's own globals (the input devices of the test events) are gone.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  QApplication& application() {
    if (!application_) {
      ScratchFolder();
      application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    return *application_;
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[14] = "wave_app_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

ApplicationEnvironment* const environment = static_cast<ApplicationEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

}  // namespace

QApplication& Application() { return environment->application(); }

std::filesystem::path NewFolder(const std::string& name) {
  static int serial = 0;
  const std::filesystem::path folder = ScratchFolder() / "cases" / (std::to_string(++serial) + "_" + name);
  std::filesystem::create_directories(folder);
  return folder;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool ProcessEventsUntil(const std::function<bool()>& done) {
  QDeadlineTimer limit(10000);
  while (!done()) {
    if (limit.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

MessageAnswer FakeUi::showMessage(QWidget*, const common::UserMessage& message, MessageButtons buttons) {
  messages.push_back({message, buttons});
  if (answers.empty()) return MessageAnswer::Ok;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakeUi::showError(QWidget*, const QString& text) { errors.push_back(text); }

std::optional<std::string> FakeUi::browseFolder(QWidget*, const QString& title, const std::string& startFolder) {
  browses.push_back({title, startFolder});
  return folderAnswer;
}

int FakeUi::execDialog(QDialog& dialog) { return onExec ? onExec(dialog) : QDialog::Rejected; }

void FakeRecordWindow::closeEvent(QCloseEvent* event) {
  const bool mainOpen = mainWindow_ != nullptr && mainWindow_->isVisible();
  log_.push_back("closed " + windowTitle().toStdString() + (mainOpen ? " main open" : " main closed"));
  QWidget::closeEvent(event);
}

OptionsDialogResult FakeKit::showOptionsDialog(QWidget*, const TcfgInfo& record) {
  ++optionsShown;
  optionsRecord = record.CfgPath;
  return optionsAnswer;
}

std::unique_ptr<QWidget> FakeKit::createRecordWindow(const RecordWindowRequest& request) {
  log.push_back("create " + request.caption.toStdString() +
                " new=" + std::to_string(request.settings.NewRecordOpened));
  lastOwnsRecordFiles = request.recordFiles != nullptr && !request.recordFiles->empty();
  lastWaveChannels = request.waveChannels.size();
  if (throwOnCreate) throw std::runtime_error("the window could not be made");
  if (refuseRecords) return nullptr;
  auto window = std::make_unique<FakeRecordWindow>(log, mainWindow);
  if (request.recordFiles) window->files = std::move(*request.recordFiles);
  return window;
}

void FakeKit::setClockText(QWidget& recordWindow, const QString& text) {
  ++clockCalls;
  static_cast<FakeRecordWindow&>(recordWindow).clockTexts.append(text);
}

}  // namespace wave::test
