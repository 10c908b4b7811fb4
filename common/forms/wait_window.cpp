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
  if (onCancel) std::exchange(onCancel, nullptr)();
  QDialog::reject();
}

void RunWithWaitWindow(QWidget* parent, common::JobRunner& runner, std::shared_ptr<common::JobProgress> progress,
                       ProgressText text, std::function<void()> work,
                       std::function<void(std::exception_ptr)> finished, std::function<void()> abandoned) {
  // Whichever comes first, the end of the work or the user's cancel, ends the
  // wait; the other then does nothing.
  struct Wait {
    QPointer<QWidget> owner;
    QPointer<TWaitForm> form;
    bool over = false;
    std::exception_ptr error;
  };
  auto wait = std::make_shared<Wait>();
  wait->owner = parent;
  auto* form = new TWaitForm(progress, std::move(text), parent);
  wait->form = form;
  form->onCancel = [wait, progress, abandoned = std::move(abandoned)] {
    if (wait->over) return;
    wait->over = true;
    progress->cancel();
    if (wait->owner && abandoned) abandoned();
  };
  form->show();
  runner.start(
      [wait, work = std::move(work)] {
        try {
          work();
        } catch (...) {
          wait->error = std::current_exception();
        }
      },
      [wait, finished = std::move(finished)] {
        if (wait->over) return;
        wait->over = true;
        if (wait->form) {
          wait->form->onCancel = nullptr;
          wait->form->close();
        }
        if (wait->owner && finished) finished(wait->error);
      });
}

void ThreadJobRunner::start(std::function<void()> work, std::function<void()> finished) {
  QThreadPool::globalInstance()->start([work = std::move(work), finished = std::move(finished)]() mutable {
    work();
    // The finish runs in the event loop; when the program is ending there is none.
    if (QCoreApplication* application = QCoreApplication::instance())
      QMetaObject::invokeMethod(application, std::move(finished), Qt::QueuedConnection);
  });
}

common::JobRunner& BackgroundRunner() {
  static ThreadJobRunner runner;
  return runner;
}

}  // namespace forms
