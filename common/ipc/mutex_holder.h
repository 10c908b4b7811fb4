#pragma once
// Test support: another process holding a named mutex, for tests of code that
// must wait for it, time out, or leave it free for others.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string_view>

#include "common/ipc/ipcfunc.h"

namespace ipc::test {

// A forked process that holds a named mutex until it is let go.
class MutexHolder {
 public:
  explicit MutexHolder(std::string_view name) {
    if (::pipe2(toParent_, O_CLOEXEC) != 0 || ::pipe2(toChild_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ipc::TMutex mutex(name);
      char byte = mutex.Get(0) ? 1 : 0;
      (void)!::write(toParent_[1], &byte, 1);
      (void)!::read(toChild_[0], &byte, 1);
      if (byte == 1) mutex.Release();
      ::_exit(0);
    }
    char byte = 0;
    holding_ = ::read(toParent_[0], &byte, 1) == 1 && byte == 1;
  }
  ~MutexHolder() {
    letGo();
    for (int fd : {toParent_[0], toParent_[1], toChild_[0], toChild_[1]}) ::close(fd);
  }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;
  bool holding() const { return holding_; }
  void letGo() {
    if (pid_ <= 0) return;
    const char byte = 1;
    (void)!::write(toChild_[1], &byte, 1);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  int toParent_[2] = {-1, -1};
  int toChild_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool holding_ = false;
};

// Whether another process can take the mutex now (nobody here holds it).
inline bool FreeForOthers(std::string_view name) { return MutexHolder(name).holding(); }

}  // namespace ipc::test
