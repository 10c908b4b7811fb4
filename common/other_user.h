#pragma once
// Test support: a step run as another local user, for tests of what that user
// can leave in folders shared by all users (/dev/shm, the temp folder). Only
// root can become another user; tests skip without it.

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace common::test {

// Why a test of another user's objects cannot run here; null when it can.
inline const char* OtherUserUnavailable() {
  if (::geteuid() != 0) return "needs root to act as the user nobody (tests run as root in CI)";
  if (::getpwnam("nobody") == nullptr) return "there is no user nobody";
  return nullptr;
}

// A forked child that has become the user nobody and ran step. When the step
// succeeded the child stays alive, keeping whatever it opened, until this
// object ends. The child uses only plain system calls.
class NobodyProcess {
 public:
  explicit NobodyProcess(const std::function<bool()>& step) {
    const passwd* nobody = ::getpwnam("nobody");
    int report[2] = {-1, -1};
    if (nobody == nullptr || ::pipe(report) != 0) return;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(report[0]);
      const char ok = ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0 && step() ? 1 : 0;
      (void)!::write(report[1], &ok, 1);
      if (ok == 1) ::pause();
      ::_exit(0);
    }
    ::close(report[1]);
    char ok = 0;
    succeeded_ = pid_ > 0 && ::read(report[0], &ok, 1) == 1 && ok == 1;
    ::close(report[0]);
  }
  ~NobodyProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  NobodyProcess(const NobodyProcess&) = delete;
  NobodyProcess& operator=(const NobodyProcess&) = delete;

  bool succeeded() const { return succeeded_; }

 private:
  pid_t pid_ = -1;
  bool succeeded_ = false;
};

// Runs step as the user nobody; true when it succeeded.
inline bool RunAsNobody(const std::function<bool()>& step) { return NobodyProcess(step).succeeded(); }

}  // namespace common::test
