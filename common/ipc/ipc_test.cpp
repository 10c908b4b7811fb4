#include "common/ipc/ipcfunc.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fmt/format.h>

#include "common/other_user.h"

namespace ipc {
namespace {

namespace fs = std::filesystem;

class Pipe {
 public:
  Pipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  }
  ~Pipe() {
    closeEnd(0);
    closeEnd(1);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  void send() {
    const char byte = 1;
    if (::write(fds_[1], &byte, 1) != 1) throw std::runtime_error("pipe write failed");
  }
  // False when the other side has gone away.
  bool receive() {
    char byte = 0;
    return ::read(fds_[0], &byte, 1) == 1;
  }
  void closeEnd(int end) {
    if (fds_[end] >= 0) ::close(fds_[end]);
    fds_[end] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
};

// A second process: it runs body and ends with the result as its exit code
// (0 when everything it checked held). Killed if still running at the end.
class Child {
 public:
  explicit Child(const std::function<int(Child&)>& body) {
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      toChild_.closeEnd(1);
      toParent_.closeEnd(0);
      int code = 90;
      try {
        code = body(*this);
      } catch (...) {
        code = 91;
      }
      ::_exit(code);
    }
    toChild_.closeEnd(0);
    toParent_.closeEnd(1);
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // In the child.
  void tellParent() { toParent_.send(); }
  bool awaitParent() { return toChild_.receive(); }
  // In the parent.
  bool awaitChild() { return toParent_.receive(); }
  void tellChild() { toChild_.send(); }
  void kill() { ::kill(pid_, SIGKILL); }
  // The exit code, or -1 when the child ended by a signal.
  int exitCode() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // As exitCode for a child that must end by itself; -2 (and the child
  // killed) when it has not ended within limit, a bound that only a hang
  // reaches.
  int exitCodeWithin(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -2;  // the destructor kills it
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  Pipe toChild_;
  Pipe toParent_;
};

// Every test gets its own name prefix; at its end none of its objects may be
// left in /dev/shm (the last holder removes each one).
class IpcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    prefix_ = fmt::format("test{}x{}", ::getpid(), counter++);
    ::setenv(kPrefixVariable, prefix_.c_str(), 1);
  }
  void TearDown() override {
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
    ::unsetenv(kPrefixVariable);
  }

  std::vector<std::string> leftovers() const {
    std::vector<std::string> names;
    const std::string start = "suite-" + prefix_ + ".";
    for (const auto& entry : fs::directory_iterator("/dev/shm")) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(start)) names.push_back(name);
    }
    return names;
  }

  static bool nameInShm(ObjectKind kind, std::string_view name) {
    return fs::exists("/dev/shm" + PosixObjectName(kind, name).value());
  }

  std::string prefix_;
};

// Whether another process can obtain the mutex now (it releases it again).
bool childCanGet(const std::string& name) {
  Child child([&](Child&) {
    TMutex mutex(name);
    const bool got = mutex.Get(0);
    if (got) mutex.Release();
    return got ? 0 : 1;
  });
  return child.exitCode() == 0;
}

TEST_F(IpcTest, PosixNamesArePerUserAndKindWithThePrefix) {
  const std::string uid = fmt::format("{}", ::getuid());
  struct Case {
    const char* prefix;
    ObjectKind kind;
    std::string name;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"", ObjectKind::Section, "VELK_MAIN_HANDLE", "/suite." + uid + ".shm.VELK_MAIN_HANDLE"},
      {"", ObjectKind::Mutex, "VELK_CTRLPACK_WRITE_MUTEX", "/suite." + uid + ".mtx.VELK_CTRLPACK_WRITE_MUTEX"},
      {"", ObjectKind::Event, "E", "/suite." + uid + ".evt.E"},
      {"run 7/b", ObjectKind::Mutex, "M", "/suite-run_7_b." + uid + ".mtx.M"},
      {"", ObjectKind::Section, "Global\\A/B", "/suite." + uid + ".shm.Global_A_B"},
      {"", ObjectKind::Section, "", std::nullopt},
      {"", ObjectKind::Section, std::string("A\0B", 3), std::nullopt},
      {"", ObjectKind::Section, std::string(200, 'x'), std::nullopt},
  };
  for (const Case& c : cases) {
    ::setenv(kPrefixVariable, c.prefix, 1);
    EXPECT_EQ(PosixObjectName(c.kind, c.name), c.expected) << "prefix '" << c.prefix << "' name " << c.name;
  }
}

TEST_F(IpcTest, OpeningMissingObjectsFailsQuietly) {
  TSharedMem section("MISSING_SECTION", false, 64);
  EXPECT_FALSE(section.Ok());
  EXPECT_EQ(section.Handle(), 0);
  EXPECT_EQ(section.View(), nullptr);
  EXPECT_FALSE(section.CreatedNew());
  EXPECT_EQ(section.Name(), "MISSING_SECTION");
  EXPECT_EQ(section.MappedSize(), 64);

  TEvent event("MISSING_EVENT", false, false, false);
  EXPECT_EQ(event.Handle(), 0);
  EXPECT_FALSE(event.Wait(0));
  EXPECT_FALSE(event.setEvent());

  EXPECT_FALSE(NamedObjectExists(ObjectKind::Mutex, "MISSING_MUTEX"));
}

TEST_F(IpcTest, SectionsThatCannotBeMadeReportNoCreation) {
  TSharedMem empty("EMPTY_SECTION", true, 0);  // a new section needs a size
  EXPECT_EQ(empty.Handle(), 0);
  EXPECT_FALSE(empty.Ok());
  EXPECT_FALSE(empty.CreatedNew());

  TSharedMem unnamed("", true, 64);
  EXPECT_EQ(unnamed.Handle(), 0);
  EXPECT_FALSE(unnamed.CreatedNew());
}

TEST_F(IpcTest, MutexThatCannotBeMadeAbortsSilently) {
  EXPECT_THROW(TMutex(""), common::SilentAbort);
  EXPECT_THROW(TMutex(std::string(300, 'm')), common::SilentAbort);
}

TEST_F(IpcTest, SecondCreateInAnotherProcessSharesTheBytes) {
  TSharedMem first("SHARED", true, 64);
  ASSERT_TRUE(first.Ok());
  EXPECT_TRUE(first.CreatedNew());
  EXPECT_GE(first.Handle(), 3);
  EXPECT_EQ(first.MappedSize(), 64);
  EXPECT_EQ(first.View()[63], 0);  // a new section starts zeroed
  std::memcpy(first.View(), "parent", 7);

  Child child([](Child&) {
    TSharedMem second("SHARED", true, 64);
    if (!second.Ok() || second.CreatedNew()) return 1;
    if (std::memcmp(second.View(), "parent", 7) != 0) return 2;
    std::memcpy(second.View() + 32, "child", 6);
    return 0;
  });
  EXPECT_EQ(child.exitCode(), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(first.View() + 32), "child");
}

TEST_F(IpcTest, ConcurrentCreatorsMakeOneSection) {
  constexpr int kCreators = 8;
  std::vector<std::unique_ptr<Child>> creators;
  for (int i = 0; i < kCreators; ++i) {
    creators.push_back(std::make_unique<Child>([](Child& self) {
      TSharedMem section("RACE", true, 64);
      if (!section.Ok()) return 3;
      std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(section.View())).fetch_add(1);
      self.tellParent();
      self.awaitParent();  // all stay until every one has joined
      return section.CreatedNew() ? 1 : 0;
    }));
  }
  for (auto& creator : creators) ASSERT_TRUE(creator->awaitChild());
  TSharedMem section("RACE", false, 64);
  ASSERT_TRUE(section.Ok());
  EXPECT_EQ(*reinterpret_cast<const std::int32_t*>(section.View()), kCreators);
  int created = 0;
  for (auto& creator : creators) {
    creator->tellChild();
    const int code = creator->exitCode();
    EXPECT_TRUE(code == 0 || code == 1) << code;
    created += code;
  }
  EXPECT_EQ(created, 1);
}

TEST_F(IpcTest, ViewsNeverReachPastTheSection) {
  TSharedMem owner("SIZED", true, 4096);
  ASSERT_TRUE(owner.Ok());
  struct Case {
    const char* what;
    bool create;
    std::uint32_t bytes;
    bool ok;
  };
  const Case cases[] = {
      {"open, larger", false, 8192, false},
      {"create existing, larger", true, 8192, false},
      {"open, one byte more", false, 4097, false},
      {"open, whole", false, 4096, true},
      {"open, part", false, 16, true},
      {"open, size 0 maps all", false, 0, true},
  };
  for (const Case& c : cases) {
    TSharedMem other("SIZED", c.create, c.bytes);
    EXPECT_NE(other.Handle(), 0) << c.what;
    EXPECT_FALSE(other.CreatedNew()) << c.what;
    EXPECT_EQ(other.Ok(), c.ok) << c.what;
    EXPECT_EQ(other.View() != nullptr, c.ok) << c.what;
  }
  TSharedMem whole("SIZED", false, 0);
  ASSERT_TRUE(whole.Ok());
  whole.View()[4095] = 7;  // the last byte of the whole-section view
  EXPECT_EQ(owner.View()[4095], 7);
}

TEST_F(IpcTest, CreateExSizesTheSectionAndTheViewApart) {
  TSharedMem section(TSharedMem::CreateEx, "EX", true, 8192, 0, 16);
  ASSERT_TRUE(section.Ok());
  EXPECT_TRUE(section.CreatedNew());
  EXPECT_EQ(section.MappedSize(), 16);
  EXPECT_TRUE(section.Remap(8192));
  EXPECT_EQ(section.MappedSize(), 8192);
}

TEST_F(IpcTest, FailedRemapLeavesNoView) {
  TSharedMem section("REMAP", true, 4096);
  ASSERT_TRUE(section.Ok());
  std::memcpy(section.View(), "size", 5);

  EXPECT_FALSE(section.Remap(8192));
  EXPECT_EQ(section.View(), nullptr);
  EXPECT_FALSE(section.Ok());
  EXPECT_EQ(section.MappedSize(), 4096);

  EXPECT_TRUE(section.Remap(16));
  ASSERT_TRUE(section.Ok());
  EXPECT_EQ(section.MappedSize(), 16);
  EXPECT_STREQ(reinterpret_cast<const char*>(section.View()), "size");
}

TEST_F(IpcTest, GetFailsAtOnceWhileAnotherProcessHoldsTheMutex) {
  Child child([](Child& self) {
    TMutex mutex("HELD");
    if (!mutex.Get(0)) return 1;
    self.tellParent();
    self.awaitParent();
    return mutex.Release() ? 0 : 2;
  });
  ASSERT_TRUE(child.awaitChild());
  TMutex mutex("HELD");
  EXPECT_FALSE(mutex.Get(0));
  EXPECT_FALSE(mutex.Get(20));  // a timed wait that expires
  child.tellChild();
  EXPECT_EQ(child.exitCode(), 0);
  EXPECT_TRUE(mutex.Get(0));
  EXPECT_TRUE(mutex.Release());
}

// The first wait after the owner died reports "not obtained" and frees the
// mutex; the next one obtains it. Every kind of wait meets the dead owner.
class AbandonedMutexTest : public IpcTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(AbandonedMutexTest, RepairedThenObtainedByTheNextWait) {
  TMutex mutex("ABANDONED");  // keeps the mutex in existence when its owner dies
  Child child([](Child& self) {
    TMutex owned("ABANDONED");
    if (!owned.Get(0)) return 1;
    self.tellParent();
    self.awaitParent();
    return 0;
  });
  ASSERT_TRUE(child.awaitChild());
  child.kill();
  EXPECT_EQ(child.exitCode(), -1);

  EXPECT_FALSE(mutex.Get(GetParam()));
  EXPECT_TRUE(mutex.Get(0));
  EXPECT_TRUE(mutex.Release());
  EXPECT_TRUE(childCanGet("ABANDONED"));
}

INSTANTIATE_TEST_SUITE_P(Waits, AbandonedMutexTest, ::testing::Values(0u, 1000u, kInfinite));

TEST_F(IpcTest, MutexIsRecursiveInOneThread) {
  TMutex mutex("RECURSIVE");
  ASSERT_TRUE(mutex.Get(0));
  ASSERT_TRUE(mutex.Get(1000));
  EXPECT_TRUE(mutex.Release());
  EXPECT_FALSE(childCanGet("RECURSIVE"));  // still held once
  EXPECT_TRUE(mutex.Release());
  EXPECT_TRUE(childCanGet("RECURSIVE"));
  EXPECT_FALSE(mutex.Release());  // not the owner any more
}

TEST_F(IpcTest, FreeingAMutexReleasesWhatItHeld) {
  auto first = std::make_unique<TMutex>("FREED");
  TMutex second("FREED");  // the same mutex, held through two objects
  ASSERT_TRUE(first->Get(0));
  ASSERT_TRUE(second.Get(0));
  first.reset();
  EXPECT_FALSE(childCanGet("FREED"));
  EXPECT_TRUE(second.Release());
  EXPECT_TRUE(childCanGet("FREED"));
}

TEST_F(IpcTest, EventStateAndTimedWaits) {
  TEvent autoReset("AUTO", true, true, false);
  ASSERT_NE(autoReset.Handle(), 0);
  EXPECT_TRUE(autoReset.Wait(0));
  EXPECT_FALSE(autoReset.Wait(0));  // taken by the wait above
  EXPECT_FALSE(autoReset.Wait(20));

  TEvent manual("MANUAL", true, false, true);
  EXPECT_FALSE(manual.Wait(20));
  EXPECT_TRUE(manual.setEvent());
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(kInfinite));  // stays set
  EXPECT_TRUE(manual.resetEvent());
  EXPECT_FALSE(manual.Wait(0));

  TEvent again("MANUAL", true, true, false);  // an existing event keeps its flags
  EXPECT_FALSE(again.Wait(0));
  EXPECT_TRUE(again.setEvent());
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
}

class EventAcrossProcessesTest : public IpcTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EventAcrossProcessesTest, SetInOneProcessWakesAWaitInAnother) {
  const bool manualReset = GetParam();
  TEvent event("WAKE", true, false, manualReset);
  Child child([](Child& self) {
    TEvent opened("WAKE", false, false, false);
    if (opened.Handle() == 0) return 1;
    self.tellParent();
    return opened.Wait(30000) ? 0 : 2;
  });
  ASSERT_TRUE(child.awaitChild());
  EXPECT_TRUE(event.setEvent());
  EXPECT_EQ(child.exitCode(), 0);
  EXPECT_EQ(event.Wait(0), manualReset);  // an auto-reset event was taken by the child
}

INSTANTIATE_TEST_SUITE_P(ResetKinds, EventAcrossProcessesTest, ::testing::Bool());

TEST_F(IpcTest, WaiterKilledInWaitDoesNotStopLaterWakeups) {
  TEvent event("KILLED_WAITERS", true, false, false);
  for (int round = 0; round < 3; ++round) {
    Child waiter([](Child& self) {
      TEvent opened("KILLED_WAITERS", false, false, false);
      self.tellParent();
      return opened.Wait(kInfinite) ? 0 : 1;
    });
    ASSERT_TRUE(waiter.awaitChild());
    waiter.kill();
    EXPECT_EQ(waiter.exitCode(), -1);
    EXPECT_TRUE(event.setEvent());
    EXPECT_TRUE(event.resetEvent());
  }
  Child waiter([](Child& self) {
    TEvent opened("KILLED_WAITERS", false, false, false);
    self.tellParent();
    return opened.Wait(30000) ? 0 : 1;
  });
  ASSERT_TRUE(waiter.awaitChild());
  EXPECT_TRUE(event.setEvent());
  EXPECT_EQ(waiter.exitCode(), 0);
}

using Factory = std::function<std::unique_ptr<THandledObject>(std::string_view)>;

struct KindCase {
  const char* label;
  ObjectKind kind;
  Factory make;
};

const KindCase kKindCases[] = {
    {"Section", ObjectKind::Section, [](std::string_view name) { return std::make_unique<TSharedMem>(name, true, 64); }},
    {"Mutex", ObjectKind::Mutex, [](std::string_view name) { return std::make_unique<TMutex>(name); }},
    {"Event", ObjectKind::Event,
     [](std::string_view name) { return std::make_unique<TEvent>(name, true, false, true); }},
};

class LifetimeTest : public IpcTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(LifetimeTest, LastCloseRemovesTheNameWhileASurvivorKeepsIt) {
  const KindCase& c = GetParam();
  auto mine = c.make("LIFETIME");
  ASSERT_NE(mine->Handle(), 0);
  Child survivor([&](Child& self) {
    auto theirs = c.make("LIFETIME");
    if (theirs->Handle() == 0) return 1;
    self.tellParent();
    self.awaitParent();
    return 0;  // frees theirs: the last holder
  });
  ASSERT_TRUE(survivor.awaitChild());
  mine.reset();
  EXPECT_TRUE(nameInShm(c.kind, "LIFETIME"));
  EXPECT_TRUE(NamedObjectExists(c.kind, "LIFETIME"));
  survivor.tellChild();
  EXPECT_EQ(survivor.exitCode(), 0);
  EXPECT_FALSE(nameInShm(c.kind, "LIFETIME"));
  EXPECT_FALSE(NamedObjectExists(c.kind, "LIFETIME"));
}

TEST_P(LifetimeTest, ObjectOfADeadHolderIsGone) {
  const KindCase& c = GetParam();
  Child holder([&](Child& self) {
    auto theirs = c.make("DEAD_HOLDER");
    if (theirs->Handle() == 0) return 1;
    self.tellParent();
    self.awaitParent();
    return 0;
  });
  ASSERT_TRUE(holder.awaitChild());
  EXPECT_TRUE(NamedObjectExists(c.kind, "DEAD_HOLDER"));
  holder.kill();
  EXPECT_EQ(holder.exitCode(), -1);
  EXPECT_TRUE(nameInShm(c.kind, "DEAD_HOLDER"));  // nobody closed it
  EXPECT_FALSE(NamedObjectExists(c.kind, "DEAD_HOLDER"));
  EXPECT_FALSE(nameInShm(c.kind, "DEAD_HOLDER"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, LifetimeTest, ::testing::ValuesIn(kKindCases),
                         [](const ::testing::TestParamInfo<KindCase>& item) { return std::string(item.param.label); });

int openDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(IpcTest, SectionOpenedByNameKeepsNoDescriptorButHoldsTheSection) {
  Child creator([](Child& self) {
    TSharedMem theirs("HELD_BY_VIEW", true, 8192);
    if (!theirs.Ok()) return 1;
    theirs.View()[100] = 5;
    self.tellParent();
    self.awaitParent();
    return 0;
  });
  ASSERT_TRUE(creator.awaitChild());
  const int before = openDescriptors();
  auto opened = std::make_unique<TSharedMem>("HELD_BY_VIEW", false, 64);
  ASSERT_TRUE(opened->Ok());
  EXPECT_NE(opened->Handle(), 0);
  EXPECT_EQ(openDescriptors(), before);

  // The creator ends; the view still holds the section and its name.
  creator.tellChild();
  EXPECT_EQ(creator.exitCode(), 0);
  EXPECT_TRUE(NamedObjectExists(ObjectKind::Section, "HELD_BY_VIEW"));
  ASSERT_TRUE(opened->Remap(8192));  // through the name, opened again
  EXPECT_EQ(opened->View()[100], 5);
  EXPECT_EQ(openDescriptors(), before);
  EXPECT_TRUE(NamedObjectExists(ObjectKind::Section, "HELD_BY_VIEW"));
  opened.reset();  // the last holder removes the name
  EXPECT_FALSE(nameInShm(ObjectKind::Section, "HELD_BY_VIEW"));
}

TEST_F(IpcTest, MutexesAndEventsKeepNoDescriptor) {
  const int before = openDescriptors();
  std::vector<std::unique_ptr<THandledObject>> objects;
  for (int i = 0; i < 16; ++i) {
    objects.push_back(std::make_unique<TMutex>(fmt::format("MANY_MUTEX{}", i)));
    objects.push_back(std::make_unique<TEvent>(fmt::format("MANY_EVENT{}", i), true, false, true));
  }
  for (const auto& object : objects) EXPECT_GE(object->Handle(), 3);
  EXPECT_EQ(openDescriptors(), before);
  auto& mutex = static_cast<TMutex&>(*objects[0]);
  ASSERT_TRUE(mutex.Get(0));
  EXPECT_FALSE(childCanGet("MANY_MUTEX0"));
  EXPECT_TRUE(mutex.Release());
}

// A child of fork() does not get its parent's views: there the objects read
// as unusable, and freeing them there takes nothing from the parent.
TEST_F(IpcTest, ParentsObjectsInAForkedChildAreUnusableAndFreedHarmlessly) {
  auto section = std::make_unique<TSharedMem>("FORKED", true, 64);
  auto mutex = std::make_unique<TMutex>("FORKED");
  auto event = std::make_unique<TEvent>("FORKED", true, true, true);
  ASSERT_TRUE(section->Ok());
  section->View()[0] = 3;
  Child child([&](Child&) {
    const bool unusable = !section->Ok() && section->View() == nullptr && !mutex->Get(0) && !event->Wait(0);
    section.reset();
    mutex.reset();
    event.reset();
    return unusable ? 0 : 1;
  });
  EXPECT_EQ(child.exitCode(), 0);
  for (const ObjectKind kind : {ObjectKind::Section, ObjectKind::Mutex, ObjectKind::Event})
    EXPECT_TRUE(NamedObjectExists(kind, "FORKED"));
  EXPECT_EQ(section->View()[0], 3);
  EXPECT_TRUE(mutex->Get(0));
  EXPECT_TRUE(mutex->Release());
  EXPECT_TRUE(event->Wait(0));
}

// Whether a thread of this process waits for a lock on the file with this
// inode (an flock request that another holder blocks).
bool LockWaitedFor(ino_t inode) {
  std::ifstream locks("/proc/locks");
  const std::string object = fmt::format(":{} ", inode);
  std::string line;
  while (std::getline(locks, line))
    if (line.find(" -> ") != std::string::npos && line.find(object) != std::string::npos) return true;
  return false;
}

// Runs what is armed in the prepare handler of the next fork(). Registered
// after this module's handlers, it runs before them.
std::atomic<std::function<void()>*> onNextFork{nullptr};

void ArmOnNextFork(std::function<void()>& step) {
  RegisterForkHandlers();
  static const bool registered = ::pthread_atfork(
                                     [] {
                                       if (auto* armed = onNextFork.exchange(nullptr)) (*armed)();
                                     },
                                     nullptr, nullptr) == 0;
  ASSERT_TRUE(registered);
  onNextFork.store(&step);
}

// A thread that opens a mutex holds the lock of the process's open mutexes
// while it waits for the object's file (here for the exclusive flock that
// another holder takes while it removes a name). A fork() meanwhile waits for
// that thread; the child opens mutexes of its own at once.
TEST_F(IpcTest, AChildForkedWhileAThreadOpensAMutexOpensItsOwn) {
  const std::string posixName = PosixObjectName(ObjectKind::Mutex, "OPENING").value();
  const int fd = ::shm_open(posixName.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(::fstat(fd, &st), 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  std::thread opener([] {
    try {
      TMutex opened("OPENING");  // an empty file is no mutex: it fails once it gets in
    } catch (const ObjectUnavailable&) {
    }
  });
  bool waiting = false;
  for (int i = 0; i < 20000 && !waiting; ++i) {
    waiting = LockWaitedFor(st.st_ino);
    if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const auto cleanUp = [&] {
    ::flock(fd, LOCK_UN);
    opener.join();
    ::close(fd);
    ::shm_unlink(posixName.c_str());
  };
  if (!waiting) {
    cleanUp();
    FAIL() << "the opening thread never waited for the file";
  }
  std::function<void()> letIn = [fd] { ::flock(fd, LOCK_UN); };
  ArmOnNextFork(letIn);
  Child child([](Child&) {
    TMutex own("OWN");
    return own.Get(0) && own.Release() ? 0 : 1;
  });
  cleanUp();
  EXPECT_EQ(child.exitCodeWithin(std::chrono::seconds(20)), 0);
}

TEST_F(IpcTest, SectionOfADeadHolderIsCreatedAfresh) {
  Child holder([](Child& self) {
    TSharedMem theirs("FRESH", true, 64);
    if (!theirs.Ok()) return 1;
    theirs.View()[0] = 9;
    self.tellParent();
    self.awaitParent();
    return 0;
  });
  ASSERT_TRUE(holder.awaitChild());
  holder.kill();
  EXPECT_EQ(holder.exitCode(), -1);
  TSharedMem opened("FRESH", false, 64);
  EXPECT_FALSE(opened.Ok());
  TSharedMem created("FRESH", true, 64);
  ASSERT_TRUE(created.Ok());
  EXPECT_TRUE(created.CreatedNew());
  EXPECT_EQ(created.View()[0], 0);
}


// What any local user can do in /dev/shm: make a file under our object's
// name, here as the user nobody, readable and writable by all, filled with
// one byte value, and hold it as our own processes hold theirs.
std::unique_ptr<common::test::NobodyProcess> plantAsNobody(const std::string& posixName, std::size_t size, char fill) {
  return std::make_unique<common::test::NobodyProcess>([&] {
    const int fd = ::shm_open(posixName.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
    const std::string bytes(size, fill);
    return fd >= 0 && ::fchmod(fd, 0666) == 0 &&
           ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
           ::flock(fd, LOCK_SH) == 0;
  });
}

class PlantedObjectTest : public IpcTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(PlantedObjectTest, AnotherUsersObjectCountsAsAbsentAndOursIsMadeBeside) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  const KindCase& c = GetParam();
  const std::string planted = PosixObjectName(c.kind, "PLANTED").value();
  const auto planter = plantAsNobody(planted, 4096, 'F');
  ASSERT_TRUE(planter->succeeded());

  EXPECT_FALSE(NamedObjectExists(c.kind, "PLANTED"));
  {
    auto mine = c.make("PLANTED");
    ASSERT_NE(mine->Handle(), 0);
    EXPECT_TRUE(NamedObjectExists(c.kind, "PLANTED"));
    if (auto* section = dynamic_cast<TSharedMem*>(mine.get())) {
      ASSERT_TRUE(section->Ok());
      EXPECT_TRUE(section->CreatedNew());
      EXPECT_EQ(section->View()[0], 0);  // not the planted bytes
      section->View()[0] = 7;
    }
    // Another process of ours meets the same object, also once the planted
    // one is gone.
    const auto peerMeetsOurs = [&] {
      Child peer([&](Child&) {
        auto theirs = c.make("PLANTED");
        if (theirs->Handle() == 0) return 1;
        if (auto* section = dynamic_cast<TSharedMem*>(theirs.get())) return section->View()[0] == 7 ? 0 : 2;
        return 0;
      });
      return peer.exitCode();
    };
    EXPECT_EQ(peerMeetsOurs(), 0);
    ::shm_unlink(planted.c_str());
    EXPECT_EQ(peerMeetsOurs(), 0);
  }
  EXPECT_FALSE(NamedObjectExists(c.kind, "PLANTED"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedObjectTest, ::testing::ValuesIn(kKindCases),
                         [](const ::testing::TestParamInfo<KindCase>& item) { return std::string(item.param.label); });

// What else another user can leave under our object's name: a link (here to
// a file of theirs), a folder or a FIFO. None of them is ours; each is passed
// over and ours is made under the next name.
struct PlantCase {
  const char* label;
  std::function<bool(const std::string& path)> plant;
};

const PlantCase kPlantCases[] = {
    {"Symlink",
     [](const std::string& path) {
       const std::string target = path + ".target";
       const int fd = ::open(target.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
       return fd >= 0 && ::ftruncate(fd, 4096) == 0 && ::symlink(target.c_str(), path.c_str()) == 0;
     }},
    {"Folder", [](const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }},
    {"Fifo", [](const std::string& path) { return ::mkfifo(path.c_str(), 0666) == 0; }},
};

class PlantedEntryTest : public IpcTest,
                         public ::testing::WithParamInterface<std::tuple<PlantCase, KindCase>> {};

TEST_P(PlantedEntryTest, IsPassedOverAndOursIsMadeBeside) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  const auto& [plant, c] = GetParam();
  const std::string path = "/dev/shm" + PosixObjectName(c.kind, "PLANTED_ENTRY").value();
  ASSERT_TRUE(common::test::RunAsNobody([&] { return plant.plant(path); }));
  {
    auto mine = c.make("PLANTED_ENTRY");
    ASSERT_NE(mine->Handle(), 0);
    EXPECT_TRUE(NamedObjectExists(c.kind, "PLANTED_ENTRY"));
    if (auto* section = dynamic_cast<TSharedMem*>(mine.get())) {
      ASSERT_TRUE(section->Ok());
      EXPECT_TRUE(section->CreatedNew());
      section->View()[0] = 7;
    }
    Child peer([&](Child&) {
      auto theirs = c.make("PLANTED_ENTRY");
      if (theirs->Handle() == 0) return 1;
      if (auto* section = dynamic_cast<TSharedMem*>(theirs.get())) return section->View()[0] == 7 ? 0 : 2;
      return 0;
    });
    EXPECT_EQ(peer.exitCode(), 0);
  }
  fs::remove(path);
  fs::remove(path + ".target");
}

INSTANTIATE_TEST_SUITE_P(Plants, PlantedEntryTest,
                         ::testing::Combine(::testing::ValuesIn(kPlantCases), ::testing::ValuesIn(kKindCases)),
                         [](const auto& item) {
                           return std::string(std::get<0>(item.param).label) + std::get<1>(item.param).label;
                         });

TEST_F(IpcTest, WithEveryNameInLineTakenNothingIsMadeAndTheMutexSaysWhich) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  std::vector<std::string> paths;
  for (const ObjectKind kind : {ObjectKind::Section, ObjectKind::Mutex, ObjectKind::Event}) {
    const std::string base = "/dev/shm" + PosixObjectName(kind, "ALL_TAKEN").value();
    paths.push_back(base);
    for (int place = 1; place <= 8; ++place) paths.push_back(fmt::format("{}~{}", base, place));
  }
  ASSERT_TRUE(common::test::RunAsNobody([&] {
    for (const std::string& path : paths)
      if (::mkdir(path.c_str(), 0777) != 0) return false;
    return true;
  }));
  TSharedMem section("ALL_TAKEN", true, 64);
  EXPECT_FALSE(section.Ok());
  EXPECT_EQ(section.Handle(), 0);
  TEvent event("ALL_TAKEN", true, false, true);
  EXPECT_EQ(event.Handle(), 0);
  try {
    TMutex mutex("ALL_TAKEN");
    ADD_FAILURE() << "a mutex was had";
  } catch (const ObjectUnavailable& unavailable) {
    EXPECT_EQ(unavailable.objectName(), "ALL_TAKEN");
  }
  // One name set free is enough.
  fs::remove(paths[8]);
  TSharedMem beside("ALL_TAKEN", true, 64);
  EXPECT_TRUE(beside.Ok());
  for (const std::string& path : paths) fs::remove(path);
}

TEST_F(IpcTest, PlantedSectionIsNeitherOpenedNorRead) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  const std::string planted = PosixObjectName(ObjectKind::Section, "VELK_PASSWORD").value();
  const auto planter = plantAsNobody(planted, 15204, 'F');
  ASSERT_TRUE(planter->succeeded());
  TSharedMem opened("VELK_PASSWORD", false, 15204);
  EXPECT_FALSE(opened.Ok());
  EXPECT_EQ(opened.Handle(), 0);
  ::shm_unlink(planted.c_str());
}

TEST_F(IpcTest, PlantedMutexFileLeavesOurMutexWorking) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  const std::string planted = PosixObjectName(ObjectKind::Mutex, "QUENLORADODATASETCOMMUTEX_CONFIG").value();
  const auto planter = plantAsNobody(planted, 64, '\0');
  ASSERT_TRUE(planter->succeeded());
  {
    TMutex mutex("QUENLORADODATASETCOMMUTEX_CONFIG");  // raises when it can neither open nor create
    ASSERT_TRUE(mutex.Get(0));
    EXPECT_FALSE(childCanGet("QUENLORADODATASETCOMMUTEX_CONFIG"));
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(childCanGet("QUENLORADODATASETCOMMUTEX_CONFIG"));
  }
  ::shm_unlink(planted.c_str());
}

}  // namespace
}  // namespace ipc
