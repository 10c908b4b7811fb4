#include "common/forms/wait_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

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

// Cancel asks the job to stop; the wait window stays until the job has ended
// and only then is the opening abandoned.
TEST_F(WaitWindowTest, CancelWaitsForTheJobToEndThenAbandonsIt) {
  owner.show();
  start([] {});
  TWaitForm* form = shownWaitForm();
  ASSERT_NE(form, nullptr);
  form->cancelButton()->click();
  EXPECT_TRUE(progress->cancelled());
  EXPECT_EQ(shownWaitForm(), form);
  EXPECT_FALSE(form->cancelButton()->isEnabled());
  EXPECT_EQ(abandonedCalls, 0);

  runner.runAll();  // the worker notices and ends
  EXPECT_EQ(shownWaitForm(), nullptr);
  EXPECT_EQ(finishedCalls, 0);
  EXPECT_EQ(abandonedCalls, 1);
}

// A job that completed before the cancel came (it had put its file in place,
// say) is reported as completed.
TEST_F(WaitWindowTest, ACancelAfterTheJobCompletedChangesNothing) {
  owner.show();
  start([this] { EXPECT_TRUE(progress->complete()); });
  runner.jobs.front().work();
  shownWaitForm()->cancelButton()->click();
  EXPECT_FALSE(progress->cancelled());
  runner.jobs.front().finished();
  runner.jobs.clear();
  EXPECT_EQ(finishedCalls, 1);
  EXPECT_EQ(abandonedCalls, 0);
  EXPECT_EQ(shownWaitForm(), nullptr);
}

TEST_F(WaitWindowTest, EscapeAndTheCloseBoxCancelLikeTheButton) {
  owner.show();
  start([] {});
  ASSERT_NE(shownWaitForm(), nullptr);
  shownWaitForm()->reject();
  EXPECT_TRUE(progress->cancelled());
  shownWaitForm()->close();
  EXPECT_NE(shownWaitForm(), nullptr) << "the window stays until the job has ended";
  runner.runAll();
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

// Leaving the program: every running job is cancelled and its worker ends.
TEST(ThreadJobRunnerTest, StopAllCancelsRunningJobsAndWaitsForTheirWorkers) {
  ThreadJobRunner runner;
  std::vector<std::shared_ptr<common::JobProgress>> jobs;
  std::atomic<int> running{0}, stopped{0};
  for (int i = 0; i < 3; ++i) {
    auto progress = std::make_shared<common::JobProgress>();
    jobs.push_back(progress);
    runner.start(
        progress,
        [progress, &running, &stopped] {
          ++running;
          // Work that looks at its cancel flag, bounded in time should it never come.
          const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
          while (!progress->cancelled() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
          if (progress->cancelled()) ++stopped;
        },
        [] {});
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (running < 3 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
  ASSERT_EQ(running, 3);
  EXPECT_TRUE(runner.stopAll(kWorkerStopBound));
  EXPECT_EQ(stopped, 3);
  for (const auto& progress : jobs) EXPECT_TRUE(progress->cancelled());
}

// The one decision of a job: the first of cancel and complete wins.
TEST(JobProgressTest, CancelAndCompleteDecideOnce) {
  common::JobProgress cancelledFirst;
  EXPECT_TRUE(cancelledFirst.cancel());
  EXPECT_FALSE(cancelledFirst.complete());
  EXPECT_TRUE(cancelledFirst.cancel());
  EXPECT_TRUE(cancelledFirst.cancelled());

  common::JobProgress completedFirst;
  EXPECT_TRUE(completedFirst.complete());
  EXPECT_FALSE(completedFirst.cancel());
  EXPECT_TRUE(completedFirst.complete());
  EXPECT_FALSE(completedFirst.cancelled());
}

}  // namespace
}  // namespace forms
