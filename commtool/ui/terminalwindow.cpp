#include "commtool/ui/terminalwindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <chrono>

#include <fmt/format.h>

#include "commtool/core/descriptors.h"
#include "commtool/core/hexcode.h"
#include "commtool/core/texts.h"
#include "commtool/ui/flatbutton.h"

namespace tavrix {
namespace {

QPushButton* pushButton(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QCheckBox* checkBox(const char* name, const QString& text, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

// The check code box shows the method chosen in place of its caption: it is
// made wide enough for each of them, so that choosing one leaves the window's
// size alone.
void fitEveryCaption(QCheckBox& box) {
  const QString caption = box.text();
  int widest = box.sizeHint().width();
  for (int method = kCheckCrcModbus; method <= kCheckCrcCcitt; ++method) {
    box.setText(Qs(CheckMethodName(method)));
    widest = std::max(widest, box.sizeHint().width());
  }
  box.setText(caption);
  box.setMinimumWidth(widest);
}

CFlatButton* flatButton(const char* name, bool pressed, const QString& text, QWidget* parent) {
  auto* button = new CFlatButton(pressed, text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

void setupRichEdit(QPlainTextEdit* edit, const char* name) {
  edit->setObjectName(QString::fromLatin1(name));
  QPalette colours = edit->palette();
  colours.setColor(QPalette::Text, QColor(kSentColour.r, kSentColour.g, kSentColour.b));
  edit->setPalette(colours);
}

QPlainTextEdit* richEdit(const char* name, QWidget* parent) {
  auto* edit = new QPlainTextEdit(parent);
  setupRichEdit(edit, name);
  return edit;
}

}  // namespace

TerminalWindow::TerminalWindow(UiHooks hooks, std::size_t displayLimit, FrameNames frames, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)), model_(displayLimit, hooks_.clock) {
  setWindowTitle(Qs(texts::kProgramName));
  QFont songti = font();
  songti.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun")});
  setFont(songti);
  buildModeFrame(frames.mode);
  buildSplitter(frames.input, frames.splitterMargin);

  statusBar_ = new QStatusBar(this);
  statusBar_->setSizeGripEnabled(true);
  statePane_ = new QLabel(statusBar_);
  receivedPane_ = new QLabel(statusBar_);
  sentPane_ = new QLabel(statusBar_);
  statusBar_->addWidget(statePane_, 2);
  statusBar_->addWidget(receivedPane_, 1);
  statusBar_->addWidget(sentPane_, 1);
  statusBar_->addWidget(new QLabel(statusBar_), 1);

  // A display that is never emptied holds long lines in several paragraphs (see DisplayView).
  view_ = std::make_unique<DisplayView>(display_, displayLimit == 0 ? DisplayView::kSoftLineLength : 0);
  repeatTimer_.setTimerType(Qt::PreciseTimer);
  connectControls();
  mailbox_.SetWake([this] { scheduleDrain(); });
  sinceFlush_.start();
  flushDisplay();
}

void TerminalWindow::buildModeFrame(const char* name) {
  modeFrame_ = new QGroupBox(this);
  modeFrame_->setObjectName(QString::fromLatin1(name));
  inputHex_ = flatButton("1009", true, QStringLiteral("输入HEX"), modeFrame_);
  inputAsc_ = flatButton("1011", false, QStringLiteral("输入ASC"), modeFrame_);
  displayHex_ = flatButton("1010", true, QStringLiteral("显示HEX"), modeFrame_);
  displayAsc_ = flatButton("1012", false, QStringLiteral("显示ASC"), modeFrame_);
  pause_ = flatButton("1008", false, QStringLiteral("暂停显示"), modeFrame_);
  inputHex_->AddPartners(std::array{inputAsc_});
  inputAsc_->AddPartners(std::array{inputHex_});
  displayHex_->AddPartners(std::array{displayAsc_});
  displayAsc_->AddPartners(std::array{displayHex_});
  showTime_ = checkBox("1014", QStringLiteral("显示时间"), modeFrame_);
  lineBreak_ = checkBox("1020", QStringLiteral("自动换行"), modeFrame_);
  check_ = checkBox("1018", Qs(texts::kCheckCaption), modeFrame_);
  fitEveryCaption(*check_);
  clear_ = pushButton("1015", QStringLiteral("清除显示"), modeFrame_);

  auto* layout = new QHBoxLayout(modeFrame_);
  for (QWidget* w : std::initializer_list<QWidget*>{inputHex_, inputAsc_}) layout->addWidget(w);
  layout->addSpacing(12);
  for (QWidget* w : std::initializer_list<QWidget*>{displayHex_, displayAsc_}) layout->addWidget(w);
  layout->addSpacing(12);
  for (QWidget* w : std::initializer_list<QWidget*>{pause_, showTime_, lineBreak_, check_}) layout->addWidget(w);
  layout->addStretch(1);
  layout->addWidget(clear_);
}

void TerminalWindow::buildSplitter(const char* inputName, int splitterMargin) {
  auto* inputFrame = new QGroupBox(this);
  inputFrame->setObjectName(QString::fromLatin1(inputName));
  input_ = richEdit("1016", inputFrame);
  send_ = pushButton("1017", Qs(texts::kSendData), inputFrame);
  repeat_ = checkBox("1002", QStringLiteral("重复"), inputFrame);
  interval_ = new QLineEdit(QStringLiteral("1000"), inputFrame);
  interval_->setObjectName(QStringLiteral("1033"));
  interval_->setMaximumWidth(80);
  auto* column = new QVBoxLayout;
  column->addWidget(send_);
  column->addWidget(repeat_);
  auto* intervalRow = new QHBoxLayout;
  intervalRow->addWidget(interval_);
  intervalRow->addWidget(new QLabel(QStringLiteral("ms"), inputFrame));
  column->addLayout(intervalRow);
  column->addStretch(1);
  auto* inputLayout = new QHBoxLayout(inputFrame);
  inputLayout->addWidget(input_, 1);
  inputLayout->addLayout(column);
  inputFrame->setMinimumHeight(inputFrame->minimumSizeHint().height() + splitterMargin);

  auto* displayFrame = new QGroupBox(this);
  displayFrame->setObjectName(QStringLiteral("1035"));
  display_ = new DisplayEdit(displayFrame);
  setupRichEdit(display_, "1027");
  display_->setReadOnly(true);
  display_->setUndoRedoEnabled(false);
  display_->setMinimumHeight(50);
  auto* displayLayout = new QVBoxLayout(displayFrame);
  displayLayout->addWidget(display_);

  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->addWidget(inputFrame);
  splitter_->addWidget(displayFrame);
  splitter_->setChildrenCollapsible(false);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({inputFrame->minimumHeight() + 20, 300});
}

void TerminalWindow::connectControls() {
  for (CFlatButton* button : {inputHex_, inputAsc_, displayHex_, displayAsc_, pause_})
    connect(button, &QPushButton::clicked, this, [this] { guarded([this] { modesChanged(); }); });
  for (QCheckBox* box : {showTime_, lineBreak_})
    connect(box, &QCheckBox::toggled, this, [this] { guarded([this] { modesChanged(); }); });
  connect(check_, &QCheckBox::clicked, this, [this](bool checked) { guarded([&] { checkClicked(checked); }); });
  connect(clear_, &QPushButton::clicked, this, [this] {
    guarded([this] {
      model_.ClearDisplay();
      model_.ResetCounters();
      flushDisplay();
    });
  });
  connect(send_, &QPushButton::clicked, this, [this] { guarded([this] { sendClicked(); }); });
  connect(repeat_, &QCheckBox::clicked, this, [this] { guarded([this] { repeatClicked(); }); });
  connect(interval_, &QLineEdit::textEdited, this, [this] { guarded([this] { intervalEdited(); }); });
  connect(&repeatTimer_, &QTimer::timeout, this, [this] { guarded([this] { repeatTick(); }); });
}

void TerminalWindow::modesChanged() {
  TerminalModes& modes = model_.Modes();
  modes.inputHex = inputHex_->Pressed();
  model_.SetDisplayHex(displayHex_->Pressed());
  modes.paused = pause_->Pressed();
  modes.showTime = showTime_->isChecked();
  modes.lineBreak = lineBreak_->isChecked();
}

void TerminalWindow::checkClicked(bool checked) {
  if (!checked) {
    check_->setText(Qs(texts::kCheckCaption));
    model_.SetCheck(kCheckNone, model_.CheckStart());
    return;
  }
  const auto setting = hooks_.askCheck ? hooks_.askCheck(this) : std::nullopt;
  if (!setting) {
    check_->setChecked(false);
    return;
  }
  model_.SetCheck(setting->method, setting->start);
  check_->setText(Qs(CheckMethodName(setting->method)));
}

void TerminalWindow::showMessage(std::string_view text) {
  if (hooks_.message) hooks_.message(this, Qs(text));
}

void TerminalWindow::sendClicked() {
  if (input_->toPlainText().isEmpty()) return;
  if (Repeating() || send_->text() == Qs(texts::kStopSending)) {
    stopRepeat();
    return;
  }
  if (!repeat_->isChecked()) {
    sendOnce(false);
    return;
  }
  if (canRepeat()) startRepeat();
}

void TerminalWindow::sendOnce(bool fromTimer) {
  const SendPlan plan = model_.PlanSend(input_->toPlainText().toStdString());
  if (!plan.refusal.empty()) {
    if (fromTimer) stopRepeat();
    showMessage(plan.refusal);
    return;
  }
  if (plan.bytes.empty()) return;
  CCommChannel* target = channel();
  const int queued = target ? target->Write(plan.bytes.data(), static_cast<int>(plan.bytes.size())) : 0;
  if (queued > 0) {
    goingOut_.push_back({plan, fromTimer});  // shown once it is on the line
    return;
  }
  const std::string_view why = target ? std::string_view(target->WriteError()) : texts::kNotOpen;
  if (why.empty()) return;
  model_.ShowNote(why);
  flushDisplay();
}

void TerminalWindow::frameSent(const ChannelMessage& message) {
  if (goingOut_.empty()) return;
  const GoingOut frame = std::move(goingOut_.front());
  goingOut_.pop_front();
  if (message.whole) model_.ShowSent(frame.plan, static_cast<int>(message.written), frame.fromTimer);
}

void TerminalWindow::settleAfterClose() {
  bool more = true;
  while (more)
    for (auto& message : mailbox_.Take(SIZE_MAX, more))
      if (message.kind == ChannelMessage::Kind::Sent) frameSent(message);
  if (!goingOut_.empty()) {
    model_.ShowNote(fmt::format(fmt::runtime(texts::kFramesDropped), goingOut_.size()));
    goingOut_.clear();
  }
  droppedSeen_ = droppedShown_ = 0;  // the next channel counts from 0
  flushDisplay();
}

bool TerminalWindow::startRepeat() {
  const auto interval = ParseRepeatInterval(interval_->text().toStdString());
  if (!interval) {
    showMessage(texts::kBadInterval);
    return false;
  }
  repeatTimer_.start(*interval);
  send_->setText(Qs(texts::kStopSending));
  return true;
}

void TerminalWindow::stopRepeat() {
  repeatTimer_.stop();
  send_->setText(Qs(texts::kSendData));
}

void TerminalWindow::repeatClicked() {
  if (!canRepeat() || input_->toPlainText().isEmpty()) return;
  if (send_->text() == Qs(texts::kSendData)) {
    if (repeat_->isChecked()) startRepeat();
  } else if (send_->text() == Qs(texts::kStopSending)) {
    if (repeat_->isChecked())
      startRepeat();
    else
      stopRepeat();
  } else {
    repeatTimer_.stop();
  }
}

// A value that is not valid yet (the user is still typing) leaves the timer as it runs.
void TerminalWindow::intervalEdited() {
  if (!repeatTimer_.isActive()) return;
  if (const auto interval = ParseRepeatInterval(interval_->text().toStdString())) repeatTimer_.start(*interval);
}

// A tick while the last frame is still going out is skipped: frames never pile up behind a slow line.
void TerminalWindow::repeatTick() {
  if (!goingOut_.empty()) return;
  if (!input_->toPlainText().isEmpty() && send_->text() == Qs(texts::kStopSending) && repeat_->isChecked())
    sendOnce(true);
}

void TerminalWindow::clientAccepted(UniqueFd, std::string) {}

void TerminalWindow::scheduleDrain() {
  QMetaObject::invokeMethod(this, [this] { guarded([this] { drain(); }); }, Qt::QueuedConnection);
}

void TerminalWindow::drain() {
  const auto start = std::chrono::steady_clock::now();
  const auto budget = std::chrono::milliseconds(kDrainBudgetMs);
  bool more = true;
  bool ended = false;
  while (more && !ended) {
    auto messages = mailbox_.Take(kDrainBytes, more);
    for (auto& message : messages) {
      if (!handle(message)) {
        ended = true;
        break;
      }
    }
    if (std::chrono::steady_clock::now() - start > budget) break;
    if (model_.Display().PendingLength() > kMaxPendingCharacters) break;
  }
  if (ended) return;
  showDropped();
  if (more) scheduleDrain();  // after the events that wait, so the window keeps answering
  if (!more || sinceFlush_.elapsed() >= kFlushIntervalMs ||
      model_.Display().PendingLength() > kMaxPendingCharacters)
    flushDisplay();
}

// False when the connection ended: what is left belongs to the closed channel.
bool TerminalWindow::handle(ChannelMessage& message) {
  switch (message.kind) {
    case ChannelMessage::Kind::Received:
      model_.ShowReceived(message.bytes);
      return true;
    case ChannelMessage::Kind::Accepted:
      clientAccepted(std::move(message.socket), std::move(message.peer));
      return true;
    case ChannelMessage::Kind::Sent:
      frameSent(message);
      return true;
    case ChannelMessage::Kind::Refused:
      model_.ShowNote(fmt::format(fmt::runtime(texts::kClientRefused), message.peer, DescriptorLimit()));
      return true;
    case ChannelMessage::Kind::Dropped:
      droppedSeen_ = std::max(droppedSeen_, message.dropped);
      return true;
    case ChannelMessage::Kind::Ended:
      showDropped();
      flushDisplay();
      connectionEnded();
      return false;
  }
  return true;
}

// One line per pass over the waiting messages, however many batches reported drops.
void TerminalWindow::showDropped() {
  if (droppedSeen_ <= droppedShown_) return;
  model_.ShowNote(fmt::format(fmt::runtime(texts::kDatagramsDropped), droppedSeen_ - droppedShown_));
  droppedShown_ = droppedSeen_;
}

void TerminalWindow::flushDisplay() {
  if (model_.Display().HasUpdate()) view_->Apply(model_.Display().TakeUpdate());
  receivedPane_->setText(Qs(fmt::format("接收: {} 字节", model_.ReceivedBytes())));
  sentPane_->setText(Qs(fmt::format("发送: {} 字节", model_.SentBytes())));
  sinceFlush_.restart();
}

}  // namespace tavrix
