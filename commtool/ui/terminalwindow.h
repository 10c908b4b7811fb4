#pragma once
// What the main dialog and the connection windows share: the mode buttons,
// the input with send and repeat, the check code, the display, and the
// hand-off that brings a channel's messages into the window in batches.

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <deque>
#include <memory>
#include <string>

#include "commtool/core/channel.h"
#include "commtool/core/mailbox.h"
#include "commtool/core/terminal.h"
#include "commtool/ui/displayview.h"
#include "commtool/ui/uihooks.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;

namespace tavrix {

class CFlatButton;

class TerminalWindow : public QDialog {
  Q_OBJECT

 public:
  // Limits of one pass over waiting messages, so that the window stays responsive.
  static constexpr std::size_t kDrainBytes = 8 * 1024;
  static constexpr int kDrainBudgetMs = 8;
  static constexpr int kFlushIntervalMs = 30;
  static constexpr std::size_t kMaxPendingCharacters = 32 * 1024;

  TerminalModel& Model() { return model_; }
  Mailbox& Owner() { return mailbox_; }
  int RepeatInterval() const { return repeatTimer_.interval(); }
  bool Repeating() const { return repeatTimer_.isActive(); }
  // Frames handed to the channel whose outcome has not come back yet.
  std::size_t FramesGoingOut() const { return goingOut_.size(); }

 protected:
  struct FrameNames {
    const char* mode;
    const char* input;
    int splitterMargin;  // how far below the interval edit the splitter may go
  };
  TerminalWindow(UiHooks hooks, std::size_t displayLimit, FrameNames frames, QWidget* parent);

  virtual CCommChannel* channel() = 0;
  // Whether send may start repeating (the channel is usable).
  virtual bool canRepeat() const = 0;
  virtual void connectionEnded() = 0;
  virtual void clientAccepted(UniqueFd socket, std::string peer);

  QGroupBox* modeFrame() const { return modeFrame_; }
  QSplitter* splitter() const { return splitter_; }
  QStatusBar* statusBar() const { return statusBar_; }
  QLabel* statePane() const { return statePane_; }
  QPlainTextEdit* input() const { return input_; }
  QPushButton* sendButton() const { return send_; }
  const UiHooks& hooks() const { return hooks_; }

  void showMessage(std::string_view text);
  void stopRepeat();
  // After the channel was closed: shows the frames that went out before, and
  // says how many were dropped; what else was waiting belongs to the closed channel.
  void settleAfterClose();
  // Shows what the model has for the display now.
  void flushDisplay();
  // Runs a handler; what escapes it is shown and the window stays as it was.
  template <typename Handler>
  void guarded(Handler handler) {
    try {
      handler();
    } catch (const std::exception& error) {
      showMessage(error.what());
    }
  }

 private:
  void buildModeFrame(const char* name);
  void buildSplitter(const char* inputName, int splitterMargin);
  void connectControls();
  void drain();
  void scheduleDrain();
  bool handle(ChannelMessage& message);
  void frameSent(const ChannelMessage& message);
  void showDropped();
  void sendClicked();
  void sendOnce(bool fromTimer);
  bool startRepeat();
  void repeatClicked();
  void intervalEdited();
  void repeatTick();
  void checkClicked(bool checked);
  void modesChanged();

  UiHooks hooks_;
  TerminalModel model_;
  Mailbox mailbox_;
  QTimer repeatTimer_;
  struct GoingOut {
    SendPlan plan;
    bool fromTimer;
  };
  std::deque<GoingOut> goingOut_;  // in the order the channel writes them
  std::uint64_t droppedSeen_ = 0;   // the kernel's drop count, as last reported
  std::uint64_t droppedShown_ = 0;  // the drop count the display has told of
  QElapsedTimer sinceFlush_;

  QGroupBox* modeFrame_ = nullptr;
  CFlatButton* inputHex_ = nullptr;
  CFlatButton* inputAsc_ = nullptr;
  CFlatButton* displayHex_ = nullptr;
  CFlatButton* displayAsc_ = nullptr;
  CFlatButton* pause_ = nullptr;
  QCheckBox* showTime_ = nullptr;
  QCheckBox* lineBreak_ = nullptr;
  QCheckBox* check_ = nullptr;
  QPushButton* clear_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QPlainTextEdit* input_ = nullptr;
  QPushButton* send_ = nullptr;
  QCheckBox* repeat_ = nullptr;
  QLineEdit* interval_ = nullptr;
  DisplayEdit* display_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QLabel* receivedPane_ = nullptr;
  QLabel* sentPane_ = nullptr;
  QLabel* statePane_ = nullptr;
  std::unique_ptr<DisplayView> view_;
};

}  // namespace tavrix
