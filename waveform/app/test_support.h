#pragma once
// Fakes and fixtures shared by the tests of the main window and its dialogs.

#include <QCloseEvent>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "waveform/app/record_windows.h"
#include "waveform/app/ui_services.h"

class QApplication;

namespace wave::test {

// The test program's application. Before it is made, every folder the program
// reads or writes is pointed at a temporary folder.
QApplication& Application();
const std::filesystem::path& ScratchFolder();

// A first base of test fixtures whose members are widgets.
struct WithApplication {
  WithApplication() { Application(); }
};

// A fresh empty folder under the scratch folder.
std::filesystem::path NewFolder(const std::string& name);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// Lets queued events run until done() or a generous safety limit.
bool ProcessEventsUntil(const std::function<bool()>& done);

struct ShownMessage {
  common::UserMessage message;
  MessageButtons buttons;
};

class FakeUi : public UiServices {
 public:
  MessageAnswer showMessage(QWidget* parent, const common::UserMessage& message, MessageButtons buttons) override;
  void showError(QWidget* parent, const QString& text) override;
  std::optional<std::string> browseFolder(QWidget* parent, const QString& title,
                                          const std::string& startFolder) override;
  int execDialog(QDialog& dialog) override;
  common::TDateTime now() override { return clock; }
  common::JobRunner& jobRunner() override { return runner ? *runner : common::ImmediateRunner(); }

  std::vector<ShownMessage> messages;
  std::deque<MessageAnswer> answers;  // given in turn; Ok when none is left
  std::vector<QString> errors;
  struct Browse {
    QString title;
    std::string startFolder;
  };
  std::vector<Browse> browses;
  std::optional<std::string> folderAnswer;
  // Plays the user in a modal dialog; without it every dialog is rejected.
  std::function<int(QDialog&)> onExec;
  common::TDateTime clock = 0;
  // Runs long work; without it, at once.
  common::JobRunner* runner = nullptr;
};

// A record window that notes its clock texts and when it was closed.
class FakeRecordWindow : public QWidget {
 public:
  FakeRecordWindow(std::vector<std::string>& log, QWidget* mainWindow)
      : log_(log), mainWindow_(mainWindow) {}
  QStringList clockTexts;
  RecordFiles files;  // the pair written for it, as the real window holds it

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::vector<std::string>& log_;
  QWidget* mainWindow_;
};

class FakeKit : public RecordWindowKit {
 public:
  void createOptionsDialog(QWidget*, RecordOpener&) override {}
  OptionsDialogResult showOptionsDialog(QWidget* parent, const TcfgInfo& record) override;
  std::unique_ptr<QWidget> createRecordWindow(const RecordWindowRequest& request) override;
  void setClockText(QWidget& recordWindow, const QString& text) override;

  OptionsDialogResult optionsAnswer{true, true};
  int optionsShown = 0;
  std::string optionsRecord;  // CfgPath of the record the dialog listed last
  bool refuseRecords = false;
  bool throwOnCreate = false;  // making the window fails with an error
  QWidget* mainWindow = nullptr;
  std::vector<std::string> log;  // "create <caption> new=<NewRecordOpened>", "closed <caption> ..."
  int clockCalls = 0;
  // What the last request handed over besides the record.
  bool lastOwnsRecordFiles = false;
  std::size_t lastWaveChannels = 0;
};

}  // namespace wave::test
