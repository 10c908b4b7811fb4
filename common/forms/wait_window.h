#pragma once
// Long work off the window thread with a small wait window on the window that
// asked for it: a text, a progress bar and a "取消" button. The window thread
// never waits for the work; the wait window keeps the user from starting
// anything else meanwhile (it is application modal) while painting and timers
// go on.

#include <QDialog>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

#include "common/job.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace forms {

// What the wait window says of a job's progress.
using ProgressText = std::function<QString(const common::JobProgress::Snapshot&)>;

class TWaitForm : public QDialog {
  Q_OBJECT

 public:
  TWaitForm(std::shared_ptr<common::JobProgress> progress, ProgressText text, QWidget* parent);

  // Shows the job's progress now (a timer does it while the window is shown).
  void refresh();
  // Called when the user cancels (the button, Escape or the window's close
  // box) while the job runs. The window stays until the job has ended.
  std::function<void()> onCancel;
  // The job has ended: the window closes.
  void jobEnded();

  QLabel* textLabel() const { return label_; }
  QProgressBar* progressBar() const { return bar_; }
  QPushButton* cancelButton() const { return cancel_; }

  void reject() override;

 private:
  std::shared_ptr<common::JobProgress> progress_;
  ProgressText text_;
  QLabel* label_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  QTimer* timer_;
  bool ended_ = false;
};

// Runs work through runner while a wait window on parent shows progress.
// Cancel asks the job to stop; the wait window stays until the job has ended
// and then closes. What runs next is what the job's progress decided
// (JobProgress::complete):
// - completed: finished(error) on the window thread, error being what work
//   threw (null when it returned), so that it is shown as if the window thread
//   had thrown it; a cancel that came after the job completed changes nothing;
// - cancelled: abandoned(); whatever the job did is dropped.
// Neither runs when parent is gone by then.
void RunWithWaitWindow(QWidget* parent, common::JobRunner& runner, std::shared_ptr<common::JobProgress> progress,
                       ProgressText text, std::function<void()> work,
                       std::function<void(std::exception_ptr error)> finished, std::function<void()> abandoned);

// Runs jobs on worker threads of its own and hands their finish to the
// application's event loop.
class ThreadJobRunner final : public common::JobRunner {
 public:
  ThreadJobRunner();
  ~ThreadJobRunner() override;
  void start(std::shared_ptr<common::JobProgress> progress, std::function<void()> work,
             std::function<void()> finished) override;
  // Cancels every job that runs and waits up to bound for the workers to
  // end; false when one still runs then.
  bool stopAll(std::chrono::milliseconds bound);

 private:
  struct Running;
  std::unique_ptr<Running> running_;
};

// The program's worker threads.
ThreadJobRunner& BackgroundRunner();

// How long leaving the program waits for its workers to stop.
inline constexpr std::chrono::milliseconds kWorkerStopBound{1000};

}  // namespace forms
