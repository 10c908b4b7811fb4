#pragma once
// Test helpers: a temporary host folder, a name prefix of its own for the
// named objects of each test, and a library configuration without real waits.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "clientif/platform.h"
#include "common/ipc/ipcfunc.h"

namespace velktest {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "velk-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  std::string slashed() const { return path_.string() + "/"; }
  void write(const fs::path& relative, const std::string& bytes) const {
    fs::create_directories((path_ / relative).parent_path());
    std::ofstream out(path_ / relative, std::ios::binary);
    out << bytes;
  }

 private:
  fs::path path_;
};

// Every named object made while this lives gets a prefix of its own; the
// prefix before comes back afterwards.
class ScopedPrefix {
 public:
  ScopedPrefix() {
    static std::atomic<int> counter{0};
    if (const char* before = std::getenv(ipc::kPrefixVariable)) before_ = before;
    const std::string prefix = fmt::format("velk{}-{}", ::getpid(), counter.fetch_add(1));
    ::setenv(ipc::kPrefixVariable, prefix.c_str(), 1);
  }
  ~ScopedPrefix() {
    if (before_.empty()) {
      ::unsetenv(ipc::kPrefixVariable);
    } else {
      ::setenv(ipc::kPrefixVariable, before_.c_str(), 1);
    }
  }
  ScopedPrefix(const ScopedPrefix&) = delete;
  ScopedPrefix& operator=(const ScopedPrefix&) = delete;

 private:
  std::string before_;
};

// Waits of a few milliseconds instead of seconds; sleeping is real but short.
inline velk::Timing FastTiming() {
  velk::Timing t;
  t.shutdownStepMs = 10;
  t.shutdownLimitMs = 200;
  t.startPauseMs = 10;
  t.startSliceMs = 20;
  // Long enough for a stand-in started under the sanitizers on a busy
  // machine to come up (about 0.2 s alone); only a hanging one waits it out.
  t.silenceLimitMs = 2000;
  t.readerPollMs = 1;
  t.mutexWaitMs = 50;
  return t;
}

inline velk::Config TestConfig(const TempFolder& home, const std::string& computer = "velk-test-host") {
  velk::Config config;
  config.hostFolder = home.slashed();
  config.computerName = computer;
  config.timing = FastTiming();
  return config;
}

// Ends a process this test started (directly or through the library), by
// its id, and reaps it.
inline void EndProcess(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

// The exit status of a forked child that must end by itself (128 + the
// signal that ended it); -1, and the child killed, when it has not ended
// within limit, a bound that only a hang reaches.
inline int ExitCodeWithin(pid_t child, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The process id a stand-in wrote into its pid file, waiting a little for it.
inline pid_t ReadPidFile(const fs::path& file) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(file);
    long pid = 0;
    if (in >> pid && pid > 0) return static_cast<pid_t>(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return 0;
}

}  // namespace velktest
