#include "common/forms/wait_window.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace forms {
namespace {

constexpr int kRefreshMs = 100;
constexpr int kBarSteps = 1000;

}  // namespace

TWaitForm::TWaitForm(std::shared_ptr<common::JobProgress> progress, ProgressText text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      progress_(std::move(progress)),
      text_(std::move(text)),
      label_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("取消"), this)),
      timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("WaitForm"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowModality(Qt::ApplicationModal);
  if (parent != nullptr) setWindowTitle(parent->window()->windowTitle());
  label_->setObjectName(QStringLiteral("Label1"));
  bar_->setObjectName(QStringLiteral("ProgressBar1"));
  bar_->setRange(0, kBarSteps);
  bar_->setMinimumWidth(label_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 48);
  cancel_->setObjectName(QStringLiteral("CancelBtn"));
  cancel_->setAutoDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(bar_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cancel_);
  buttons->addStretch();
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(cancel_, &QPushButton::clicked, this, &TWaitForm::reject);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, &TWaitForm::refresh);
  timer_->start();
  refresh();
}

void TWaitForm::refresh() {
  const common::JobProgress::Snapshot snapshot = progress_->snapshot();
  label_->setText(text_ ? text_(snapshot) : QString());
  if (snapshot.total == 0) {
    bar_->setValue(0);
    return;
  }
  const double share = static_cast<double>(snapshot.done) / static_cast<double>(snapshot.total);
  bar_->setValue(static_cast<int>(share * kBarSteps));
}

void TWaitForm::reject() {
  // Closing ends nothing: the job decides when it has stopped.
  if (!ended_) {
    if (onCancel) onCancel();
    cancel_->setEnabled(false);
    return;
  }
  QDialog::reject();
}

void TWaitForm::jobEnded() {
  ended_ = true;
  onCancel = nullptr;
  timer_->stop();
  close();
}

void RunWithWaitWindow(QWidget* parent, common::JobRunner& runner, std::shared_ptr<common::JobProgress> progress,
                       ProgressText text, std::function<void()> work,
                       std::function<void(std::exception_ptr)> finished, std::function<void()> abandoned) {
  struct Wait {
    QPointer<QWidget> owner;
    QPointer<TWaitForm> form;
    std::exception_ptr error;
  };
  auto wait = std::make_shared<Wait>();
  wait->owner = parent;
  auto* form = new TWaitForm(progress, std::move(text), parent);
  wait->form = form;
  form->onCancel = [progress] { progress->cancel(); };
  form->show();
  runner.start(
      progress,
      [wait, work = std::move(work)] {
        try {
          work();
        } catch (...) {
          wait->error = std::current_exception();
        }
      },
      [wait, progress, finished = std::move(finished), abandoned = std::move(abandoned)] {
        if (wait->form) wait->form->jobEnded();
        if (!wait->owner) return;
        if (progress->complete()) {
          if (finished) finished(wait->error);
        } else if (abandoned) {
          abandoned();
        }
      });
}

struct ThreadJobRunner::Running {
  std::mutex guard;
  std::uint64_t nextId = 0;
  std::map<std::uint64_t, std::weak_ptr<common::JobProgress>> jobs;
  QThreadPool pool;  // last: it waits for its jobs, which use the above, before they go
};

ThreadJobRunner::ThreadJobRunner() : running_(std::make_unique<Running>()) {}

ThreadJobRunner::~ThreadJobRunner() = default;

void ThreadJobRunner::start(std::shared_ptr<common::JobProgress> progress, std::function<void()> work,
                            std::function<void()> finished) {
  std::uint64_t id = 0;
  {
    const std::lock_guard lock(running_->guard);
    id = running_->nextId++;
    running_->jobs.emplace(id, progress);
  }
  Running* running = running_.get();
  running_->pool.start([running, id, work = std::move(work), finished = std::move(finished)]() mutable {
    work();
    {
      const std::lock_guard lock(running->guard);
      running->jobs.erase(id);
    }
    // The finish runs in the event loop; when the program is ending there is none.
    if (QCoreApplication* application = QCoreApplication::instance())
      QMetaObject::invokeMethod(application, std::move(finished), Qt::QueuedConnection);
  });
}

bool ThreadJobRunner::stopAll(std::chrono::milliseconds bound) {
  {
    const std::lock_guard lock(running_->guard);
    for (const auto& [id, job] : running_->jobs)
      if (const std::shared_ptr<common::JobProgress> progress = job.lock()) progress->cancel();
  }
  return running_->pool.waitForDone(static_cast<int>(bound.count()));
}

ThreadJobRunner& BackgroundRunner() {
  static ThreadJobRunner runner;
  return runner;
}

}  // namespace forms
