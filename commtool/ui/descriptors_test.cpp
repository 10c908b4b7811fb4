// The main dialog as a TCP server under a low descriptor limit. The limit
// binds only a child process: this test program again, started with the
// control socket and the port in kChildFlag, which runs the dialog and
// answers "status" with what it shows. The parent plays the clients.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "commtool/core/descriptors.h"
#include "commtool/ui/sessiondlg.h"
#include "commtool/ui/tavrixdlg.h"
#include "commtool/ui/uitestsupport.h"

extern char** environ;

namespace tavrix {
namespace {

constexpr char kChildFlag[] = "TAVRIX_DESCRIPTOR_CHILD";  // "<control fd> <port>"
constexpr rlim_t kChildLimit = 160;  // room for a few dozen clients above the reserve
constexpr int kClients = 100;        // more than fit
constexpr auto kAnswerBound = std::chrono::seconds(5);

struct Status {
  int sessions = -1;
  int refused = -1;
  long long received = -1;
};

// The parent's side of the control socket.
class Child {
 public:
  explicit Child(int port) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
    control_.reset(pair[0]);
    ::fcntl(pair[0], F_SETFD, FD_CLOEXEC);
    // Everything exec needs is made before fork: the child only sets its limit and execs.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back(std::string(kChildFlag) + "=" + std::to_string(pair[1]) + " " + std::to_string(port));
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe", name = "comm_ui_test", filter = "--gtest_filter=DescriptorShortageChild.*";
    char* argv[] = {name.data(), filter.data(), nullptr};
    const rlimit limit{kChildLimit, kChildLimit};
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setrlimit(RLIMIT_NOFILE, &limit);
      ::execve(self.c_str(), argv, envp.data());
      ::_exit(127);
    }
    ::close(pair[1]);
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // The next line from the child; empty when none came within the bound.
  std::string line(std::chrono::milliseconds bound = kAnswerBound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
      if (const auto end = buffer_.find('\n'); end != std::string::npos) {
        std::string found = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return found;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{control_.get(), POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
      char chunk[256];
      const ssize_t n = ::read(control_.get(), chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  void say(const std::string& text) {
    const std::string line = text + "\n";
    [[maybe_unused]] const ssize_t n = ::write(control_.get(), line.data(), line.size());
  }
  // Asks; an answer that does not come within the bound fails the test.
  Status status() {
    say("status");
    std::istringstream answer(line());
    Status s;
    answer >> s.sessions >> s.refused >> s.received;
    EXPECT_GE(s.sessions, 0) << "the program did not answer within " << kAnswerBound.count() << " s";
    return s;
  }
  // Asks until pred holds; false when it did not within the guard or the program stopped answering.
  bool waitFor(const std::function<bool(const Status&)>& pred) {
    const auto deadline = std::chrono::steady_clock::now() + test::kGuard;
    while (std::chrono::steady_clock::now() < deadline) {
      const Status s = status();
      if (s.sessions < 0) return false;
      if (pred(s)) return true;
      ::usleep(20'000);
    }
    return false;
  }
  // The child's exit status, -1 when it did not end within the guard.
  int finish() {
    say("quit");
    const auto deadline = std::chrono::steady_clock::now() + test::kGuard;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ::usleep(20'000);
    }
    return -1;
  }

 private:
  UniqueFd control_;
  pid_t pid_ = -1;
  bool exited_ = false;
  std::string buffer_;
};

// A refused client is closed at once: it reads the end of the stream.
bool closedByPeer(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  char byte = 0;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

TEST(DescriptorShortage, ClientsBeyondTheReserveAreRefusedAloudAndServedAgainOnceOthersLeave) {
  const int port = test::FreeTcpPort();
  Child child(port);
  const std::string ready = child.line(test::kGuard);
  ASSERT_EQ(ready.rfind("ready", 0), 0u) << "the child did not start: " << ready;

  std::vector<UniqueFd> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(test::ConnectLoopback(port));
    ASSERT_TRUE(clients.back()) << i;
    if (i % 10 == 0) child.status();  // answers while clients pour in
  }
  Status served;
  ASSERT_TRUE(child.waitFor([&](const Status& s) {
    served = s;
    return s.sessions + s.refused == kClients;
  })) << served.sessions << " windows, " << served.refused << " refused";
  EXPECT_GT(served.sessions, 0);
  EXPECT_GT(served.refused, 0);
  std::printf("limit %d: %d clients served, %d refused (%s)\n", static_cast<int>(kChildLimit), served.sessions,
              served.refused, ready.c_str());
  int closed = 0;
  for (const auto& client : clients) closed += closedByPeer(client.get());
  EXPECT_EQ(closed, served.refused);

  clients.clear();  // every client leaves: every window closes
  EXPECT_TRUE(child.waitFor([](const Status& s) { return s.sessions == 0; }));

  for (int i = 0; i < 3; ++i) {  // served again
    clients.push_back(test::ConnectLoopback(port));
    ASSERT_TRUE(test::WriteAll(clients.back().get(), test::Bytes("hi")));
  }
  EXPECT_TRUE(child.waitFor([](const Status& s) { return s.sessions == 3 && s.received == 6; }));
  EXPECT_EQ(child.status().refused, served.refused);
  EXPECT_EQ(child.finish(), 0);
}

// The child's side: the dialog as a TCP server, and the answers to the parent.
TEST(DescriptorShortageChild, ServesUnderALowLimit) {
  const char* flag = std::getenv(kChildFlag);
  if (!flag) GTEST_SKIP() << "runs only as the child of DescriptorShortage";
  int control = -1, port = 0;
  ASSERT_EQ(std::sscanf(flag, "%d %d", &control, &port), 2);
  test::FakeHooks fake;
  CTavrixDlg dialog(fake.hooks());
  dialog.show();
  test::Child<QLineEdit>(&dialog, "1038")->setText(QString::number(port));
  test::Child<QPushButton>(&dialog, "1003")->click();
  ASSERT_EQ(dialog.PortOpen(), 1);

  auto reply = [control](const std::string& text) {
    const std::string line = text + "\n";
    [[maybe_unused]] const ssize_t n = ::write(control, line.data(), line.size());
  };
  reply("ready " + std::to_string(FreeDescriptors()));
  bool quit = false;
  QEventLoop loop;
  std::string pending;
  QSocketNotifier notifier(control, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    char chunk[256];
    const ssize_t n = ::read(control, chunk, sizeof chunk);
    if (n <= 0) {
      loop.quit();
      return;
    }
    pending.append(chunk, static_cast<std::size_t>(n));
    for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      const std::string command = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (command == "quit") {
        quit = true;
        loop.quit();
      }
      if (command != "status") continue;
      long long received = 0;
      for (CSessionDlg* session : dialog.Sessions()) received += static_cast<long long>(session->Model().ReceivedBytes());
      const QString shown = test::Child<QPlainTextEdit>(&dialog, "1027")->toPlainText();
      reply(std::to_string(dialog.Sessions().size()) + " " +
            std::to_string(shown.count(QStringLiteral("拒绝客户端"))) + " " + std::to_string(received));
    }
  });
  QTimer::singleShot(3 * test::kGuard, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_TRUE(quit);
  EXPECT_TRUE(fake.messages.empty());
}

}  // namespace
}  // namespace tavrix
