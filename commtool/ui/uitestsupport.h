#pragma once
// What the dialog tests share: an application object, recorded hooks, and
// waiting while the event loop runs.

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "commtool/core/testsupport.h"
#include "commtool/ui/uihooks.h"

namespace tavrix::test {

// Message boxes are recorded, the check-code dialog answers what the test set, links are not opened.
struct FakeHooks {
  std::vector<QString> messages;
  std::optional<CheckSetting> checkAnswer;
  int checkAsked = 0;
  std::vector<QUrl> opened;
  bool openSucceeds = true;

  UiHooks hooks() {
    UiHooks h;
    h.message = [this](QWidget*, const QString& text) { messages.push_back(text); };
    h.askCheck = [this](QWidget*) {
      ++checkAsked;
      return checkAnswer;
    };
    h.clock = [] { return LocalTime{2024, 1, 2, 3, 4, 5, 6}; };
    h.localAddress = [] { return std::string("192.0.2.7"); };
    h.openUrl = [this](const QUrl& url) {
      opened.push_back(url);
      return openSucceeds;
    };
    return h;
  }
};

// Runs the event loop until pred holds; false when the guard ran out.
inline bool WaitUntil(const std::function<bool()>& pred) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > std::chrono::milliseconds(kGuard).count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

template <typename T>
T* Child(QObject* parent, const char* name) {
  T* found = parent->findChild<T*>(QString::fromLatin1(name));
  if (!found) ADD_FAILURE() << "no control " << name;
  return found;
}

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "comm_ui_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

// One application object for the whole test program.
inline ::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace tavrix::test
