#include "commtool/ui/tavrixdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <sys/socket.h>

#include <thread>

#include "commtool/core/hexcode.h"
#include "commtool/ui/sessiondlg.h"
#include "commtool/ui/uitestsupport.h"

namespace tavrix {
namespace {

using test::Bytes;

class MainDialogTest : public ::testing::Test {
 protected:
  MainDialogTest() : dialog(fake.hooks()) { dialog.show(); }

  template <typename T>
  T* child(const char* name) {
    return test::Child<T>(&dialog, name);
  }
  void click(const char* name) { child<QAbstractButton>(name)->click(); }
  QString caption(const char* name) { return child<QAbstractButton>(name)->text(); }
  void setInput(const QString& text) { child<QPlainTextEdit>("1016")->setPlainText(text); }
  QString shown() { return child<QPlainTextEdit>("1027")->toPlainText(); }
  bool shows(const QString& text) {
    return test::WaitUntil([&] { return shown().contains(text); });
  }
  void chooseType(int index) { child<QComboBox>("1022")->setCurrentIndex(index); }

  // Opens a TCP client to a test server and returns the server's side.
  UniqueFd openTcpClient() {
    int port = 0;
    listener = test::ListenLoopback(port);
    chooseType(1);
    child<QLineEdit>("1037")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>("1038")->setText(QString::number(port));
    click("1003");
    EXPECT_EQ(dialog.PortOpen(), 1) << (fake.messages.empty() ? "" : fake.messages[0].toStdString());
    return test::AcceptOne(listener.get());
  }

  // Opens the UDP server on a port that was free a moment ago (port) and
  // returns a loopback socket to send to it from.
  UniqueFd openUdpServer(int& port) {
    test::UdpLoopback(port);
    chooseType(2);
    child<QLineEdit>("1038")->setText(QString::number(port));
    click("1003");
    int senderPort = 0;
    return test::UdpLoopback(senderPort);
  }

  test::FakeHooks fake;
  CTavrixDlg dialog;
  UniqueFd listener;
};

TEST_F(MainDialogTest, StartsAsTcpServerWithTheListedDefaults) {
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tavrix"));
  auto* type = child<QComboBox>("1022");
  EXPECT_EQ(type->count(), 4 + 255);
  EXPECT_EQ(type->currentText(), QStringLiteral("TCP Server"));
  EXPECT_EQ(type->itemText(4), QStringLiteral("COM1"));
  EXPECT_EQ(type->itemText(258), QStringLiteral("COM255"));
  EXPECT_EQ(child<QLineEdit>("1038")->text(), QStringLiteral("502"));
  EXPECT_EQ(child<QLineEdit>("1037")->text(), QStringLiteral("192.0.2.7"));
  EXPECT_EQ(child<QComboBox>("1023")->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(child<QComboBox>("1023")->count(), 16);
  EXPECT_EQ(child<QComboBox>("1025")->currentText(), QStringLiteral("8"));
  EXPECT_EQ(child<QComboBox>("1026")->currentText(), QStringLiteral("N 无"));
  EXPECT_EQ(child<QComboBox>("1024")->currentText(), QStringLiteral("1"));
  EXPECT_EQ(child<QLineEdit>("1033")->text(), QStringLiteral("1000"));
  EXPECT_EQ(caption("1003"), QStringLiteral("打开端口"));
  EXPECT_EQ(caption("1017"), QStringLiteral("发送数据"));
  EXPECT_EQ(caption("1018"), QStringLiteral("冗余校验"));
  EXPECT_FALSE(child<QWidget>("1017")->isEnabled());
  EXPECT_FALSE(child<QWidget>("1023")->isEnabled());
  EXPECT_FALSE(child<QWidget>("1037")->isEnabled());
  EXPECT_TRUE(child<QWidget>("1038")->isEnabled());

  chooseType(1);
  EXPECT_TRUE(child<QWidget>("1037")->isEnabled());
  chooseType(4);
  for (const char* serial : {"1023", "1025", "1026", "1024", "1019", "1021"})
    EXPECT_TRUE(child<QWidget>(serial)->isEnabled()) << serial;
  EXPECT_FALSE(child<QWidget>("1037")->isEnabled());
  EXPECT_FALSE(child<QWidget>("1038")->isEnabled());
}

TEST_F(MainDialogTest, PortMustBeOneToFiveDigitsUpTo65535) {
  for (const char* bad : {"0", "65536", "", "abc", "-1"}) {
    child<QLineEdit>("1038")->setText(QString::fromLatin1(bad));
    click("1003");
    EXPECT_EQ(dialog.PortOpen(), 0) << bad;
  }
  ASSERT_EQ(fake.messages.size(), 5u);
  EXPECT_EQ(fake.messages[0], QStringLiteral("端口必须是 1 到 65535 之间的整数！"));
}

TEST_F(MainDialogTest, OpenSendReceiveAndCloseAsTcpClient) {
  auto peer = openTcpClient();
  ASSERT_TRUE(peer);
  EXPECT_EQ(caption("1003"), QStringLiteral("关闭端口"));
  EXPECT_TRUE(child<QWidget>("1017")->isEnabled());
  for (const char* locked : {"1022", "1037", "1038", "1023"}) EXPECT_FALSE(child<QWidget>(locked)->isEnabled());

  fake.checkAnswer = CheckSetting{kCheckCrcModbus, 1};
  click("1018");
  EXPECT_EQ(caption("1018"), QStringLiteral("CRC Modbus"));
  setInput(QStringLiteral("01 03 00 00 00 01"));
  click("1017");
  EXPECT_EQ(test::ReadExactly(peer.get(), 8), (std::vector<std::uint8_t>{1, 3, 0, 0, 0, 1, 0x84, 0x0A}));
  EXPECT_TRUE(shows(QStringLiteral("01 03 00 00 00 01 84 0A (8 bytes) ")));

  ASSERT_TRUE(test::WriteAll(peer.get(), {0x01, 0x02}));
  EXPECT_TRUE(shows(QStringLiteral("01 02 (2 bytes) ")));
  EXPECT_EQ(dialog.Model().ReceivedBytes(), 2u);
  EXPECT_EQ(dialog.Model().SentBytes(), 8u);

  click("1003");
  EXPECT_EQ(dialog.PortOpen(), 0);
  EXPECT_EQ(caption("1003"), QStringLiteral("打开端口"));
  EXPECT_TRUE(child<QWidget>("1022")->isEnabled());
  EXPECT_TRUE(test::ReadExactly(peer.get(), 1).empty());  // the connection is gone
  EXPECT_TRUE(fake.messages.empty());
}

TEST_F(MainDialogTest, CheckCodeCancelUnchecksAndUncheckClearsTheMethod) {
  fake.checkAnswer = std::nullopt;
  click("1018");
  EXPECT_FALSE(child<QCheckBox>("1018")->isChecked());
  EXPECT_EQ(dialog.Model().CheckMethod(), kCheckNone);
  fake.checkAnswer = CheckSetting{kCheckXor, 2};
  click("1018");
  EXPECT_EQ(caption("1018"), QStringLiteral("XOR"));
  EXPECT_EQ(dialog.Model().CheckStart(), 2);
  click("1018");
  EXPECT_EQ(caption("1018"), QStringLiteral("冗余校验"));
  EXPECT_EQ(dialog.Model().CheckMethod(), kCheckNone);
  EXPECT_EQ(fake.checkAsked, 2);
}

// The box shows the method's name in place of its caption; the window keeps
// its size whichever is chosen.
TEST_F(MainDialogTest, ChoosingACheckCodeKeepsTheWindowSize) {
  dialog.resize(dialog.minimumSizeHint());  // as narrow as it goes
  QApplication::processEvents();
  const QSize before = dialog.size();
  for (const int method : {kCheckCrcModbus, kCheckSum, kCheckXor, kCheckCrcCcitt}) {
    SCOPED_TRACE(method);
    fake.checkAnswer = CheckSetting{method, 1};
    click("1018");
    ASSERT_EQ(caption("1018").toStdString(), CheckMethodName(method));
    QApplication::processEvents();
    EXPECT_EQ(dialog.size(), before);
    click("1018");  // unchecked again
  }
}

TEST_F(MainDialogTest, RefusedSendsPutNothingOnTheWire) {
  auto peer = openTcpClient();
  fake.checkAnswer = CheckSetting{kCheckCrcModbus, 1};
  click("1018");
  setInput(QStringLiteral("zz"));  // no bytes: no lone check code either
  click("1017");
  QString longHex;
  for (int i = 0; i < 8191; ++i) longHex += QStringLiteral("00 ");
  setInput(longHex);  // 8191 bytes and the code are 8193
  click("1017");
  ASSERT_EQ(fake.messages.size(), 1u);
  EXPECT_EQ(fake.messages[0], QStringLiteral("发送数据（含校验码）超过 8192 字节，未发送！"));
  click("1011");  // text input: no check code
  setInput(QString(8193, QLatin1Char('x')));
  click("1017");
  EXPECT_EQ(fake.messages.size(), 2u);

  setInput(QStringLiteral("ok"));
  click("1017");
  EXPECT_EQ(test::ReadExactly(peer.get(), 2), Bytes("ok"));  // the first bytes that went out
  EXPECT_TRUE(shows(QStringLiteral("ok (2 bytes) ")));
}

TEST_F(MainDialogTest, RepeatNeedsAnIntervalOfAtLeast10Ms) {
  auto peer = openTcpClient();
  click("1011");
  setInput(QStringLiteral("R"));
  child<QCheckBox>("1002")->setChecked(true);
  for (const char* bad : {"5", "abc", ""}) {
    child<QLineEdit>("1033")->setText(QString::fromLatin1(bad));
    click("1017");
    EXPECT_FALSE(dialog.Repeating()) << bad;
    EXPECT_EQ(caption("1017"), QStringLiteral("发送数据"));
  }
  ASSERT_EQ(fake.messages.size(), 3u);
  EXPECT_EQ(fake.messages[0], QStringLiteral("重复间隔必须是不小于 10 的整数（毫秒）！"));

  child<QLineEdit>("1033")->setText(QStringLiteral("10"));
  click("1017");
  EXPECT_TRUE(dialog.Repeating());
  EXPECT_EQ(caption("1017"), QStringLiteral("停止发送"));
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Model().SentBytes() >= 3; }));
  EXPECT_FALSE(shown().contains(QStringLiteral("bytes")));  // repeated text shows the input alone
  QTest::keyClicks(child<QLineEdit>("1033"), QStringLiteral("0"));
  EXPECT_EQ(dialog.RepeatInterval(), 100);
  click("1017");
  EXPECT_FALSE(dialog.Repeating());
  EXPECT_EQ(caption("1017"), QStringLiteral("发送数据"));
  const auto sent = dialog.Model().SentBytes();
  EXPECT_EQ(test::ReadExactly(peer.get(), sent), std::vector<std::uint8_t>(sent, 'R'));
}

TEST_F(MainDialogTest, PeerThatClosesResetsTheDialog) {
  auto peer = openTcpClient();
  click("1002");
  ASSERT_TRUE(test::WriteAll(peer.get(), {0x01, 0x02}));
  ASSERT_TRUE(shows(QStringLiteral("01 02 (2 bytes) ")));
  peer.reset();
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.PortOpen() == 0; }));
  EXPECT_EQ(caption("1003"), QStringLiteral("打开端口"));
  EXPECT_TRUE(child<QWidget>("1022")->isEnabled());
  EXPECT_EQ(shown(), QStringLiteral("01 02 (2 bytes) \n断开服务器端(127.0.0.1)\n"));  // the note on a line of its own
}

TEST_F(MainDialogTest, DisplayIsEmptiedAfterMoreThan10240CharactersWhilePauseDropsText) {
  auto peer = openTcpClient();
  ASSERT_TRUE(test::WriteAll(peer.get(), test::Pattern(3413, 1)));  // 10239 + 15 characters of hex
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Model().ReceivedBytes() == 3413; }));
  test::WaitUntil([&] { return dialog.Owner().PendingBytes() == 0; });
  QCoreApplication::processEvents();
  EXPECT_TRUE(shown().endsWith(QStringLiteral(" bytes) ")));  // the last entry is shown whole

  click("1008");  // pause: data still goes out, the display stays as it is
  const QString before = shown();
  setInput(QStringLiteral("AA"));
  click("1017");
  EXPECT_EQ(test::ReadExactly(peer.get(), 1), (std::vector<std::uint8_t>{0xAA}));
  ASSERT_TRUE(test::WriteAll(peer.get(), {0x55}));
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Model().ReceivedBytes() == 3414; }));
  EXPECT_EQ(shown(), before);
  click("1008");
  ASSERT_TRUE(test::WriteAll(peer.get(), {0x66}));
  EXPECT_TRUE(shows(QStringLiteral("66 (1 bytes) ")));
}

TEST_F(MainDialogTest, TcpServerGivesEachClientAWindowOfItsOwn) {
  const int port = test::FreeTcpPort();
  child<QLineEdit>("1038")->setText(QString::number(port));
  click("1003");
  ASSERT_EQ(dialog.PortOpen(), 1) << (fake.messages.empty() ? "" : fake.messages[0].toStdString());
  setInput(QStringLiteral("01"));
  click("1017");  // the listening channel never sends, and says so
  EXPECT_EQ(dialog.Model().SentBytes(), 0u);
  EXPECT_TRUE(shows(QStringLiteral("未发送：TCP Server 只接受连接，请在客户端的连接窗口中发送\n")));

  auto first = test::ConnectLoopback(port);
  auto second = test::ConnectLoopback(port);
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Sessions().size() == 2; }));
  for (CSessionDlg* session : dialog.Sessions()) {
    EXPECT_TRUE(session->isVisible());
    EXPECT_TRUE(session->windowTitle().startsWith(QStringLiteral("127.0.0.1:"))) << session->windowTitle().toStdString();
    EXPECT_TRUE(session->windowTitle().contains(QStringLiteral("  Socket=0x")));
  }
  EXPECT_NE(dialog.Sessions()[0]->windowTitle(), dialog.Sessions()[1]->windowTitle());

  // Find the window of the first client by what it receives.
  ASSERT_TRUE(test::WriteAll(first.get(), {0xF1}));
  ASSERT_TRUE(test::WaitUntil([&] {
    for (CSessionDlg* s : dialog.Sessions())
      if (s->Model().ReceivedBytes() == 1) return true;
    return false;
  }));
  CSessionDlg* firstWindow = dialog.Sessions()[0]->Model().ReceivedBytes() == 1 ? dialog.Sessions()[0]
                                                                                  : dialog.Sessions()[1];
  CSessionDlg* secondWindow = firstWindow == dialog.Sessions()[0] ? dialog.Sessions()[1] : dialog.Sessions()[0];
  EXPECT_TRUE(test::WaitUntil([&] {
    return test::Child<QPlainTextEdit>(firstWindow, "1027")->toPlainText().contains(QStringLiteral("F1 (1 bytes) "));
  }));
  test::Child<QPlainTextEdit>(secondWindow, "1016")->setPlainText(QStringLiteral("02 02"));
  test::Child<QPushButton>(secondWindow, "1017")->click();
  EXPECT_EQ(test::ReadExactly(second.get(), 2), (std::vector<std::uint8_t>{2, 2}));

  // A window never empties its display.
  ASSERT_TRUE(test::WriteAll(first.get(), test::Pattern(4000, 2)));
  ASSERT_TRUE(test::WaitUntil([&] {
    return test::Child<QPlainTextEdit>(firstWindow, "1027")->toPlainText().contains(QStringLiteral("(4000 bytes)"));
  }));

  first.reset();  // that client leaves: its window goes, the server listens on
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Sessions().size() == 1; }));
  EXPECT_EQ(dialog.Sessions()[0], secondWindow);
  EXPECT_EQ(dialog.PortOpen(), 1);
  auto third = test::ConnectLoopback(port);
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Sessions().size() == 2; }));

  secondWindow->close();  // closed by the user: freed as well
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Sessions().size() == 1; }));
  EXPECT_TRUE(test::ReadExactly(second.get(), 1).empty());
}

// Each new connection window opens down and right of the newest one, inside
// the screen, so that none hides another.
TEST_F(MainDialogTest, ConnectionWindowsCascade) {
  const int port = test::FreeTcpPort();
  child<QLineEdit>("1038")->setText(QString::number(port));
  click("1003");
  ASSERT_EQ(dialog.PortOpen(), 1) << (fake.messages.empty() ? "" : fake.messages[0].toStdString());
  std::vector<UniqueFd> clients;
  for (std::size_t n = 1; n <= 3; ++n) {
    clients.push_back(test::ConnectLoopback(port));
    ASSERT_TRUE(test::WaitUntil([&] { return dialog.Sessions().size() == n; }));
  }
  const QRect area = dialog.Sessions()[0]->screen()->availableGeometry();
  const QPoint step = dialog.Sessions()[1]->pos() - dialog.Sessions()[0]->pos();
  EXPECT_GT(step.x(), 0);
  EXPECT_EQ(step.x(), step.y());
  EXPECT_EQ(dialog.Sessions()[2]->pos() - dialog.Sessions()[1]->pos(), step);
  for (CSessionDlg* session : dialog.Sessions())
    EXPECT_TRUE(area.contains(session->frameGeometry())) << session->pos().x() << "," << session->pos().y();
}

// A connection window never empties its display: a long burst is there byte
// for byte, as one line of hex without a break.
TEST(CSessionDlg, LongBurstIsShownWhole) {
  test::FakeHooks fake;
  int port = 0;
  auto listener = test::ListenLoopback(port);
  auto client = test::ConnectLoopback(port);
  CSessionDlg window(fake.hooks(), nullptr);
  window.show();
  ASSERT_TRUE(window.AttachSocket(test::AcceptOne(listener.get()), "127.0.0.1:1"));
  const auto burst = test::Pattern(256 * 1024, 9);
  std::thread peer([&] { test::WriteAll(client.get(), burst); });
  auto* display = window.findChild<DisplayEdit*>(QStringLiteral("1027"));
  ASSERT_NE(display, nullptr);
  const QRegularExpression count(QStringLiteral("\\(\\d+ bytes\\) "));
  ASSERT_TRUE(test::WaitUntil([&] {
    return window.Model().ReceivedBytes() == burst.size() && window.Owner().PendingBytes() == 0 &&
           display->Text().count(count) > 0 && !window.Model().Display().HasUpdate();
  }));
  peer.join();
  QString text = display->Text();
  EXPECT_FALSE(text.contains(QLatin1Char('\n')));
  text.remove(count);
  std::vector<std::uint8_t> shownBytes;
  HexToBytes(text.toStdString(), shownBytes);
  EXPECT_TRUE(shownBytes == burst);
}

// A peer on loopback echoes every frame. Reading the display from the top,
// no echo may come before the frame it echoes.
TEST(CSessionDlg, SentFrameIsShownBeforeItsEcho) {
  test::FakeHooks fake;
  int port = 0;
  auto listener = test::ListenLoopback(port);
  auto client = test::ConnectLoopback(port);
  test::Echo echo(client.get());
  CSessionDlg window(fake.hooks(), nullptr);
  window.show();
  ASSERT_TRUE(window.AttachSocket(test::AcceptOne(listener.get()), "127.0.0.1:1"));
  test::Child<QAbstractButton>(&window, "1011")->click();  // text in
  test::Child<QAbstractButton>(&window, "1012")->click();  // text shown
  auto* input = test::Child<QPlainTextEdit>(&window, "1016");
  auto* send = test::Child<QPushButton>(&window, "1017");
  constexpr int kFrames = 2000;
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(test::WaitUntil([&] { return window.FramesGoingOut() < 16; }));
    input->setPlainText(QStringLiteral("f%1").arg(i, 4, 10, QLatin1Char('0')));
    send->click();
  }
  ASSERT_TRUE(test::WaitUntil([&] {
    return window.Model().ReceivedBytes() == kFrames * 5u && window.FramesGoingOut() == 0 &&
           window.Owner().PendingBytes() == 0 && !window.Model().Display().HasUpdate();
  }));
  int sent = 0, echoed = 0, early = 0;
  const QColor green(kSentColour.r, kSentColour.g, kSentColour.b);
  for (QTextBlock block = test::Child<QPlainTextEdit>(&window, "1027")->document()->begin(); block.isValid();
       block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const int frames = static_cast<int>(it.fragment().text().count(QLatin1Char('f')));
      if (it.fragment().charFormat().foreground().color() == green) {
        sent += frames;
      } else {
        echoed += frames;
        early += echoed > sent;
      }
    }
  EXPECT_EQ(sent, kFrames);
  EXPECT_EQ(echoed, kFrames);
  EXPECT_EQ(early, 0);
}

// One large chunk from the peer, then slow traffic: the user never scrolled,
// so each display stays at its end, whatever the size of the chunk.
TEST(Display, FollowsNewTextAfterALargeChunk) {
  for (const bool session : {false, true}) {
    for (const std::size_t size : {std::size_t{20} << 10, std::size_t{1} << 20}) {
      SCOPED_TRACE(testing::Message() << size << " bytes into " << (session ? "a connection window" : "the main dialog"));
      test::FakeHooks fake;
      int port = 0;
      auto listener = test::ListenLoopback(port);
      std::unique_ptr<TerminalWindow> window;
      UniqueFd peer;
      if (session) {
        auto client = test::ConnectLoopback(port);
        auto* connection = new CSessionDlg(fake.hooks(), nullptr);
        window.reset(connection);
        connection->setAttribute(Qt::WA_DeleteOnClose, false);
        ASSERT_TRUE(connection->AttachSocket(test::AcceptOne(listener.get()), "127.0.0.1:1"));
        peer = std::move(client);
      } else {
        auto* dialog = new CTavrixDlg(fake.hooks());
        window.reset(dialog);
        test::Child<QComboBox>(dialog, "1022")->setCurrentIndex(1);
        test::Child<QLineEdit>(dialog, "1037")->setText(QStringLiteral("127.0.0.1"));
        test::Child<QLineEdit>(dialog, "1038")->setText(QString::number(port));
        test::Child<QPushButton>(dialog, "1003")->click();
        peer = test::AcceptOne(listener.get());
      }
      window->show();
      QScrollBar* bar = test::Child<QPlainTextEdit>(window.get(), "1027")->verticalScrollBar();
      std::uint64_t expected = size;
      std::thread burst([&] { test::WriteAll(peer.get(), test::Pattern(size, 5)); });
      ASSERT_TRUE(test::WaitUntil([&] { return window->Model().ReceivedBytes() == expected; }));
      burst.join();
      for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(test::WriteAll(peer.get(), {0x0A}));
        ++expected;
        ASSERT_TRUE(test::WaitUntil([&] { return window->Model().ReceivedBytes() == expected; }));
        test::WaitUntil([&] { return !window->Model().Display().HasUpdate(); });
        QApplication::processEvents();
      }
      EXPECT_EQ(bar->value(), bar->maximum());
    }
  }
}

TEST(CSessionDlg, RefusesASocketWithoutPeer) {
  test::FakeHooks fake;
  CSessionDlg window(fake.hooks(), nullptr);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tavrix"));
  EXPECT_FALSE(window.AttachSocket(UniqueFd(::socket(AF_INET, SOCK_STREAM, 0)), "127.0.0.1:9"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tavrix"));
  EXPECT_EQ(SessionTitle("127.0.0.1:4000", 0x1c), "127.0.0.1:4000  Socket=0x1C");
}

TEST_F(MainDialogTest, UdpServerAnswersTheLastSenderAndSurvivesAnEmptyDatagram) {
  int port = 0;
  auto sender = openUdpServer(port);
  ASSERT_EQ(dialog.PortOpen(), 1);
  ASSERT_TRUE(test::SendDatagram(sender.get(), port, {}));
  ASSERT_TRUE(test::SendDatagram(sender.get(), port, {0x31}));
  EXPECT_TRUE(shows(QStringLiteral("31 (1 bytes) ")));
  EXPECT_EQ(dialog.PortOpen(), 1);
  setInput(QStringLiteral("32"));
  click("1017");
  EXPECT_EQ(test::ReceiveDatagram(sender.get()), (std::vector<std::uint8_t>{0x32}));
}

// A burst while the window is busy overflows the socket's buffer: the display
// says how many datagrams the kernel dropped, and those and the ones that came
// make up the burst. The burst's second half is sent only once the reader is
// held by a full mailbox, so the last drops come after every datagram that got
// in and only the closing datagram can carry their count.
TEST_F(MainDialogTest, DatagramsTheKernelDroppedAreShown) {
  int port = 0;
  auto sender = openUdpServer(port);
  ASSERT_EQ(dialog.PortOpen(), 1);
  const auto datagram = test::Pattern(1000, 4);
  std::uint64_t sent = 0;
  // The event loop does not run from here on until the closing datagram, so nothing empties the mailbox.
  const auto readerHeld = [&] { return dialog.Owner().PendingBytes() > Mailbox::kDefaultLimit; };
  // In steps the reader can keep up with, however busy the machine.
  for (int step = 0; step < 200 && !readerHeld(); ++step) {
    for (int i = 0; i < 500; ++i, ++sent) ASSERT_TRUE(test::SendDatagram(sender.get(), port, datagram));
    for (int wait = 0; wait < 50 && !readerHeld(); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(readerHeld());
  constexpr int kOverflow = 30000;  // 30 MB, more than any receive buffer the channel asks for holds
  for (int i = 0; i < kOverflow; ++i, ++sent) ASSERT_TRUE(test::SendDatagram(sender.get(), port, datagram));
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Owner().PendingBytes() < 1000000; }));
  ASSERT_TRUE(test::SendDatagram(sender.get(), port, Bytes("end")));  // carries the count of all dropped
  const QRegularExpression line(QStringLiteral("\n接收缓冲区已满，系统丢弃了 (\\d+) 个数据报\n$"));
  ASSERT_TRUE(test::WaitUntil([&] {
    return dialog.Model().ReceivedBytes() % 1000 == 3 && line.match(shown()).hasMatch();
  })) << shown().right(200).toStdString();
  const auto lastShown = line.match(shown()).captured(1).toULongLong();  // since the line before
  const auto dropped = dialog.SocketChannel().DatagramsDropped();
  EXPECT_GT(lastShown, 0u);
  EXPECT_LE(lastShown, dropped);
  EXPECT_EQ(dialog.Model().ReceivedBytes() / 1000 + dropped, sent);
}

// A datagram that would take the display past 10240 characters empties it
// first and is shown, however long the entry before it was.
TEST_F(MainDialogTest, EntryThatEmptiesTheDisplayIsShown) {
  int port = 0;
  auto sender = openUdpServer(port);
  ASSERT_EQ(dialog.PortOpen(), 1);
  const auto first = test::Pattern(3413, 7);  // 10252 characters of hex: longer than the limit alone
  ASSERT_TRUE(test::SendDatagram(sender.get(), port, first));
  ASSERT_TRUE(shows(Qs(BytesToHexText(first))));
  const auto second = Bytes("fourteen bytes");
  ASSERT_TRUE(test::SendDatagram(sender.get(), port, second));
  ASSERT_TRUE(test::WaitUntil([&] { return shown() == Qs(BytesToHexText(second)); }));
  EXPECT_EQ(dialog.Model().ReceivedBytes(), 3413u + 14u);
}

TEST_F(MainDialogTest, ReceivedTextWithoutLineBreaksStaysOneLine) {
  auto peer = openTcpClient();
  click("1012");
  ASSERT_TRUE(test::WriteAll(peer.get(), std::vector<std::uint8_t>(3000, 'A')));
  ASSERT_TRUE(test::WaitUntil([&] { return shown().count(QLatin1Char('A')) == 3000; }));
  EXPECT_EQ(child<QPlainTextEdit>("1027")->blockCount(), 1);
  EXPECT_FALSE(shown().contains(QLatin1Char('\n')));
}

class MainDialogSerialTest : public MainDialogTest {
 protected:
  void SetUp() override { ports.link(3, pty.slave); }
  test::PortsFolder ports;
  test::PtyPair pty;
};

TEST_F(MainDialogSerialTest, TextBothWaysAndHangUp) {
  chooseType(3 + 3);  // COM3
  click("1021");
  click("1003");
  ASSERT_EQ(dialog.PortOpen(), 1) << (fake.messages.empty() ? "" : fake.messages[0].toStdString());
  EXPECT_TRUE(child<QWidget>("1021")->isEnabled());
  EXPECT_FALSE(child<QWidget>("1023")->isEnabled());

  click("1011");
  click("1012");
  setInput(QStringLiteral("AT\n中"));
  click("1017");
  EXPECT_EQ(test::ReadExactly(pty.master.get(), 6), (std::vector<std::uint8_t>{'A', 'T', '\r', '\n', 0xD6, 0xD0}));
  EXPECT_TRUE(shows(QStringLiteral("AT\n中 (6 bytes) ")));

  // "文" is CE C4; the lead byte arrives alone.
  ASSERT_TRUE(test::WriteAll(pty.master.get(), {'o', 'k', 0x00, 0xCE}));
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.Model().ReceivedBytes() == 4; }));
  ASSERT_TRUE(test::WriteAll(pty.master.get(), {0xC4}));
  EXPECT_TRUE(shows(QStringLiteral("文 (1 bytes) ")));
  EXPECT_TRUE(shown().contains(QStringLiteral("ok\u2400 (4 bytes) ")));

  pty.master.reset();  // the device goes away
  ASSERT_TRUE(test::WaitUntil([&] { return dialog.PortOpen() == 0; }));
  EXPECT_EQ(caption("1003"), QStringLiteral("打开端口"));
  EXPECT_TRUE(child<QWidget>("1023")->isEnabled());
}

// Nobody reads the other end: the line fills up. Only frames that went out
// whole are counted and shown, repeating never queues a second frame behind
// the one that waits, and closing says that frame was dropped.
TEST_F(MainDialogSerialTest, FramesOnAStalledLineAreCountedWholeAndRepeatDoesNotPileUp) {
  chooseType(3 + 3);
  click("1003");
  ASSERT_EQ(dialog.PortOpen(), 1);
  click("1011");
  const QString frame(4000, QLatin1Char('R'));
  setInput(frame);
  child<QLineEdit>("1033")->setText(QStringLiteral("10"));
  child<QCheckBox>("1002")->setChecked(true);
  click("1017");
  ASSERT_TRUE(dialog.Repeating());
  std::size_t mostGoingOut = 0;
  std::uint64_t lastSent = 0;
  QElapsedTimer unchanged;
  unchanged.start();
  ASSERT_TRUE(test::WaitUntil([&] {  // until the count stopped growing for 30 ticks: the line is full
    mostGoingOut = std::max(mostGoingOut, dialog.FramesGoingOut());
    const auto sent = dialog.Model().SentBytes();
    if (sent != lastSent) unchanged.restart();
    lastSent = sent;
    return sent > 0 && unchanged.elapsed() > 300;
  }));
  EXPECT_EQ(mostGoingOut, 1u);
  EXPECT_EQ(dialog.FramesGoingOut(), 1u);
  EXPECT_EQ(lastSent % 4000, 0u);  // whole frames only

  click("1003");
  EXPECT_TRUE(shown().endsWith(QStringLiteral("R\n连接已关闭，1 帧未发送完，已丢弃\n")));
  EXPECT_EQ(dialog.FramesGoingOut(), 0u);
  const auto onTheLine = test::ReadAvailable(pty.master.get(), 50);
  EXPECT_GE(onTheLine.size(), lastSent);
  EXPECT_EQ(onTheLine, std::vector<std::uint8_t>(onTheLine.size(), 'R'));
}

// Nobody reads the other end; sends pile up until 16 frames wait behind the
// one going out. The next send puts nothing on the line and says why.
TEST_F(MainDialogSerialTest, SendThatFindsTheQueueFullSaysSo) {
  chooseType(3 + 3);
  click("1003");
  ASSERT_EQ(dialog.PortOpen(), 1);
  click("1011");
  setInput(QString(8000, QLatin1Char('Q')));
  for (int i = 0; i < 40; ++i) click("1017");
  EXPECT_TRUE(shows(QStringLiteral("未发送：已有 16 帧等待发送\n")));
}

TEST_F(MainDialogSerialTest, OpenFailureShowsTheChannelsMessageAndChangesNothing) {
  ports.link(5, ports.path() / "gone");
  chooseType(3 + 5);
  click("1003");
  EXPECT_EQ(dialog.PortOpen(), 0);
  ASSERT_EQ(fake.messages.size(), 1u);
  EXPECT_EQ(fake.messages[0], QStringLiteral("COM5无效端口，打开失败！"));
  EXPECT_EQ(caption("1003"), QStringLiteral("打开端口"));
  EXPECT_TRUE(child<QWidget>("1022")->isEnabled());
}

TEST_F(MainDialogTest, AboutBoxFromTheContextMenuEntry) {
  QAction* about = dialog.findChild<QAction*>(QStringLiteral("16"));
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->text(), QStringLiteral("关于 Tavrix(&A)..."));
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QStringLiteral("100") && w->isVisible()) static_cast<QDialog*>(w)->accept();
  });
  about->trigger();
}

}  // namespace
}  // namespace tavrix
