#pragma once
// What the library takes from its surroundings: folders, the computer name,
// the clock, sleeping and starting programs. Tests replace all of it.

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "clientif/velklog2.h"

namespace velk {

// The waits of the attach sequence and of the readers, in milliseconds.
struct Timing {
  std::uint32_t shutdownStepMs = 1000;    // poll of a client that is shutting down
  std::uint32_t shutdownLimitMs = 60000;  // ... given up after this
  std::uint32_t startPauseMs = 1000;      // after starting the client
  std::uint32_t startSliceMs = 300;       // one wait for its start signal
  std::uint32_t silenceLimitMs = 60000;   // no start signal and no new message for this long
  std::uint32_t readerPollMs = 20;        // a reader waiting for a station's writer
  std::uint32_t mutexWaitMs = 1000;       // control queue and event ring
};

// Environment variables: the host folder (else the running program's folder)
// and the operator client's program (else <host folder>/deskterm).
inline constexpr const char* kHomeVariable = "VELKLOG2_HOME";
inline constexpr const char* kDesktermVariable = "VELKLOG2_DESKTERM";

struct Config {
  std::string hostFolder;       // ends in "/"
  std::string computerName;     // at most 99 characters
  std::string desktermProgram;  // empty: hostFolder + "deskterm"
  Timing timing;
  std::function<void(std::uint32_t)> sleep;          // null: sleep for real
  std::function<SYSTEMTIME()> localTime;             // null: the clock, local time
  std::function<void(const std::string&)> progress;  // texts shown while waiting; may be null
};

// The configuration of a loaded library: folders from the environment or the
// running program, the host name, real time.
Config DefaultConfig();

// The folder of the running program, or $VELKLOG2_HOME, ending in "/".
std::string HostFolder();
// gethostname, cut to 99 characters.
std::string ComputerName();
// The local time now with its milliseconds (day of week filled too).
SYSTEMTIME LocalTimeNow();

// A program the library started: once started it runs on by itself (and a
// Reaper waits for it).
class ChildProcess {
 public:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  pid_t pid() const { return pid_; }
  // Empty while the process runs. Once it has ended:
  // its exit status read as a signed byte (exit(-2) gives -2), 128 + the
  // signal when a signal ended it, 256 when its status is lost.
  std::optional<int> exitCode();

 private:
  pid_t pid_;
  std::optional<int> exitCode_;
};

// Waits for the programs the library started and left running, so that
// none stays a zombie once it ends: one thread per program, blocked in
// waitpid. Freeing the reaper stops the threads of the programs still
// running (these are then not waited for). In a child of fork() the threads
// of the parent are not the child's: there they are never joined, only
// forgotten.
class Reaper {
 public:
  Reaper() = default;
  ~Reaper();
  Reaper(const Reaper&) = delete;
  Reaper& operator=(const Reaper&) = delete;

  void reap(pid_t pid);

  // For its owner's fork handlers: the lock is held while fork() runs (it is
  // held only to start a thread or join one that has finished).
  void holdForFork() { lock_.lock(); }
  void releaseAfterFork() { lock_.unlock(); }

 private:
  struct Waiter {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
    pid_t owner;  // the process the thread belongs to
  };
  std::mutex lock_;
  std::vector<Waiter> waiters_;
};

// Starts a system program of the automation system from folder: kind 0
// "hubprime", 1 "hubspare", 2 "deskterm" (or program, when given). No
// arguments, no inherited descriptors, the folder as working directory.
// Empty on failure or for any other kind.
std::optional<ChildProcess> StartSystemProgram(int kind, const std::string& folder,
                                               const std::string& program = std::string());

}  // namespace velk
