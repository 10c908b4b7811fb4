#pragma once
// Long work off the window thread with a small wait window on the window that
// asked for it: a text, a progress bar and a "取消" button. The window thread
// never waits for the work; the wait window keeps the user from starting
// anything else meanwhile (it is application modal) while painting and timers
// go on.

#include <QDialog>
#include <QString>

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
  // Called once when the user cancels: the button, Escape or the window's close box.
  std::function<void()> onCancel;

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
};

// Runs work through runner while a wait window on parent shows progress.
// - Done: the wait window closes, then finished(error) runs on the window
//   thread, error being what work threw (null when it returned), so that it is
//   shown as if the window thread had thrown it.
// - Cancelled: the job is told to stop, the wait window closes and abandoned()
//   runs at once; whatever the job still does is dropped.
// Neither runs when parent is gone by then.
void RunWithWaitWindow(QWidget* parent, common::JobRunner& runner, std::shared_ptr<common::JobProgress> progress,
                       ProgressText text, std::function<void()> work,
                       std::function<void(std::exception_ptr error)> finished, std::function<void()> abandoned);

// Runs jobs on a pool of worker threads and hands their finish to the
// application's event loop.
class ThreadJobRunner final : public common::JobRunner {
 public:
  void start(std::function<void()> work, std::function<void()> finished) override;
};

// The program's worker threads.
common::JobRunner& BackgroundRunner();

}  // namespace forms
