#include "clientif/platform.h"

#include "clientif/layout.h"

#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

extern char** environ;

namespace velk {

std::string HostFolder() {
  std::string folder;
  const char* home = std::getenv(kHomeVariable);
  if (home != nullptr && *home != '\0') {
    folder = home;
  } else {
    std::error_code ec;
    folder = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
  }
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  std::string text(name);
  if (text.size() > 99) text.resize(99);
  return text;
}

SYSTEMTIME LocalTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  SYSTEMTIME t{};
  t.wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
  t.wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
  t.wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
  t.wDay = static_cast<std::uint16_t>(local.tm_mday);
  t.wHour = static_cast<std::uint16_t>(local.tm_hour);
  t.wMinute = static_cast<std::uint16_t>(local.tm_min);
  t.wSecond = static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  t.wMilliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
  return t;
}

Config DefaultConfig() {
  Config config;
  config.hostFolder = HostFolder();
  config.computerName = ComputerName();
  const char* program = std::getenv(kDesktermVariable);
  if (program != nullptr) config.desktermProgram = program;
  return config;
}

std::optional<int> ChildProcess::exitCode() {
  if (exitCode_) return exitCode_;
  int status = 0;
  pid_t rc = 0;
  do {
    rc = ::waitpid(pid_, &status, WNOHANG);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) return std::nullopt;
  if (rc < 0) {
    exitCode_ = 256;  // reaped elsewhere (SIGCHLD ignored): ended, code unknown
  } else if (WIFEXITED(status)) {
    exitCode_ = static_cast<std::int8_t>(static_cast<std::uint8_t>(WEXITSTATUS(status)));
  } else if (WIFSIGNALED(status)) {
    exitCode_ = 128 + WTERMSIG(status);
  } else {
    return std::nullopt;  // stopped or continued: still there
  }
  return exitCode_;
}

void Reaper::reap(pid_t pid) {
  const std::lock_guard guard(lock_);
  const pid_t self = ::getpid();
  std::erase_if(waiters_, [self](Waiter& waiter) {
    if (waiter.owner != self || !*waiter.done) return false;
    waiter.thread.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  waiters_.push_back({std::thread([pid, done] {
                        int status = 0;
                        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                        }
                        *done = true;
                      }),
                      done, self});
}

Reaper::~Reaper() {
  for (Waiter& waiter : waiters_) {
    if (waiter.owner != ::getpid()) {
      waiter.thread.detach();
      continue;
    }
    if (!*waiter.done) ::pthread_cancel(waiter.thread.native_handle());  // waitpid is a cancellation point
    waiter.thread.join();
  }
}

namespace {

class SpawnActions {
 public:
  SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  bool prepare(const std::string& folder) {
    return ok_ && ::posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str()) == 0 &&
           ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

const char* systemProgramName(int kind) {
  switch (kind) {
    case kKindMainServer:
      return "hubprime";
    case kKindStandbyServer:
      return "hubspare";
    case kKindClient:
      return "deskterm";
    default:
      return nullptr;
  }
}

}  // namespace

std::optional<ChildProcess> StartSystemProgram(int kind, const std::string& folder, const std::string& program) {
  const char* name = systemProgramName(kind);
  if (name == nullptr) return std::nullopt;
  const std::string path = (kind == kKindClient && !program.empty()) ? program : folder + name;
  if (path.size() > 260) return std::nullopt;
  SpawnActions actions;
  if (!actions.prepare(folder)) return std::nullopt;
  std::vector<char> file(path.begin(), path.end());
  file.push_back('\0');
  char* argv[] = {file.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, file.data(), actions.get(), nullptr, argv, environ) != 0) return std::nullopt;
  return ChildProcess(pid);
}

}  // namespace velk
