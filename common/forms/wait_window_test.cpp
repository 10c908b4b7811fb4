#include "common/forms/wait_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <new>
#include <stdexcept>

#include "common/forms/offscreen_test_app.h"
#include "common/test_job_runner.h"

namespace forms {
namespace {

const qttest::TempFolder& tempRoot() {
  static const qttest::TempFolder root("wave_wait_window_test");
  return root;
}

TWaitForm* shownWaitForm() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<TWaitForm*>(widget); form && form->isVisible()) return form;
  return nullptr;
}

QString describe(const common::JobProgress::Snapshot& s) {
  return QStringLiteral("%1 / %2").arg(s.done).arg(s.total);
}

class WaitWindowTest : public ::testing::Test {
 protected:
  WaitWindowTest() { qttest::EnsureOffscreenApp(tempRoot().path(), "wave_wait_window_test"); }
  ~WaitWindowTest() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  void start(std::function<void()> work) {
    RunWithWaitWindow(&owner, runner, progress, describe, std::move(work),
                      [this](std::exception_ptr thrown) {
                        ++finishedCalls;
                        error = thrown;
                      },
                      [this] { ++abandonedCalls; });
  }

  QWidget owner;
  common::testing::HeldJobRunner runner;
  std::shared_ptr<common::JobProgress> progress = std::make_shared<common::JobProgress>();
  int finishedCalls = 0;
  int abandonedCalls = 0;
  std::exception_ptr error;
};

TEST_F(WaitWindowTest, ShowsProgressWhileTheWorkRunsAndClosesWhenItIsDone) {
  owner.setWindowTitle(QStringLiteral("rec.cfg"));
  owner.show();
  bool worked = false;
  start([&] { worked = true; });
  TWaitForm* form = shownWaitForm();
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isModal());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("rec.cfg"));
  EXPECT_EQ(form->cancelButton()->text(), QStringLiteral("取消"));
  EXPECT_FALSE(worked) << "the work is the runner's, not the window thread's";

  progress->begin(common::JobProgress::Stage::Reading, 400);
  progress->advance(100);
  form->refresh();
  EXPECT_EQ(form->textLabel()->text(), QStringLiteral("100 / 400"));
  EXPECT_EQ(form->progressBar()->value(), form->progressBar()->maximum() / 4);

  runner.runAll();
  EXPECT_TRUE(worked);
  EXPECT_EQ(finishedCalls, 1);
  EXPECT_FALSE(error);
  EXPECT_EQ(abandonedCalls, 0);
  EXPECT_EQ(shownWaitForm(), nullptr);
}

TEST_F(WaitWindowTest, CancelStopsTheJobAtOnceAndDropsItsEnd) {
  owner.show();
  start([] {});
  TWaitForm* form = shownWaitForm();
  ASSERT_NE(form, nullptr);
  form->cancelButton()->click();
  EXPECT_TRUE(progress->cancelled());
  EXPECT_EQ(abandonedCalls, 1);
  EXPECT_EQ(shownWaitForm(), nullptr);

  runner.runAll();  // the worker notices later
  EXPECT_EQ(finishedCalls, 0);
  EXPECT_EQ(abandonedCalls, 1);
}

TEST_F(WaitWindowTest, EscapeCancelsLikeTheButton) {
  owner.show();
  start([] {});
  ASSERT_NE(shownWaitForm(), nullptr);
  shownWaitForm()->reject();
  EXPECT_TRUE(progress->cancelled());
  EXPECT_EQ(abandonedCalls, 1);
}

// A worker's exception (out of memory while reading, say) comes back to the
// window thread to be shown there; it never ends the program.
TEST_F(WaitWindowTest, AnExceptionOfTheWorkIsCarriedToTheWindowThread) {
  owner.show();
  start([] { throw std::bad_alloc(); });
  runner.runAll();
  ASSERT_EQ(finishedCalls, 1);
  ASSERT_TRUE(error);
  EXPECT_THROW(std::rethrow_exception(error), std::bad_alloc);
}

TEST_F(WaitWindowTest, NothingRunsForAWindowThatIsGone) {
  auto* parent = new QWidget;
  parent->show();
  RunWithWaitWindow(parent, runner, progress, describe, [] {}, [this](std::exception_ptr) { ++finishedCalls; },
                    [this] { ++abandonedCalls; });
  delete parent;
  runner.runAll();
  EXPECT_EQ(finishedCalls, 0);
  EXPECT_EQ(abandonedCalls, 0);
}

}  // namespace
}  // namespace forms
