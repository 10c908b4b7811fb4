#include "common/ipc/ipcfunc.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

#include <fmt/format.h>

namespace ipc {
namespace {

using detail::NamedObject;

// NAME_MAX less room for the suffix of the temporary name used while creating.
constexpr std::size_t kMaxPosixName = 200;

constexpr std::uint32_t kMutexMagic = 0x4D545831;  // "MTX1"
constexpr std::uint32_t kEventMagic = 0x45565431;  // "EVT1"

struct MutexBlock {
  std::uint32_t magic;
  pthread_mutex_t mutex;  // process-shared, robust, recursive
};

// Waiters sleep on the futex word `wakeups`, which every set bumps. (A
// process-shared condition variable cannot be used here: a waiter killed while
// blocked in it leaves a reference behind that makes later signals hang.)
struct EventBlock {
  std::uint32_t magic;
  std::uint32_t manualReset;
  std::uint32_t signalled;
  std::uint32_t wakeups;
  pthread_mutex_t lock;  // process-shared, robust; guards the three words above
};

const char* kindTag(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::Section:
      return "shm";
    case ObjectKind::Mutex:
      return "mtx";
    case ObjectKind::Event:
      return "evt";
  }
  return "obj";
}

bool isPrefixCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

timespec deadlineAfter(std::uint32_t milliseconds) {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  t.tv_sec += static_cast<time_t>(milliseconds / 1000);
  t.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    ++t.tv_sec;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}

bool initialiseMutex(pthread_mutex_t* mutex, int type) {
  pthread_mutexattr_t attributes;
  if (::pthread_mutexattr_init(&attributes) != 0) return false;
  const bool ok = ::pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
                  ::pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                  ::pthread_mutexattr_settype(&attributes, type) == 0 &&
                  ::pthread_mutex_init(mutex, &attributes) == 0;
  ::pthread_mutexattr_destroy(&attributes);
  return ok;
}

// Opens (or creates through fill) an object whose first bytes are a block of
// shared state starting with magic.
std::shared_ptr<NamedObject> openBlock(const std::string& posixName, bool create, std::size_t size,
                                       std::uint32_t magic, const std::function<bool(void*)>& fill) {
  std::shared_ptr<NamedObject> object =
      create ? NamedObject::createOrOpen(posixName,
                                         [&](int fd) { return detail::initialiseBlock(fd, size, fill); })
                   .object
             : NamedObject::open(posixName);
  if (!object) return nullptr;
  const void* block = object->mapBlock(size);
  if (block == nullptr || *static_cast<const std::uint32_t*>(block) != magic) return nullptr;
  // The block stays mapped as long as the object and holds it meanwhile: the
  // descriptor is not needed any more.
  object->closeDescriptor();
  return object;
}

std::shared_ptr<NamedObject> openEvent(std::string_view name, bool create, bool initialState, bool manualReset) {
  const auto posixName = PosixObjectName(ObjectKind::Event, name);
  if (!posixName) return nullptr;
  return openBlock(*posixName, create, sizeof(EventBlock), kEventMagic, [&](void* memory) {
    auto* event = static_cast<EventBlock*>(memory);
    event->manualReset = manualReset ? 1 : 0;
    event->signalled = initialState ? 1 : 0;
    event->wakeups = 0;
    if (!initialiseMutex(&event->lock, PTHREAD_MUTEX_NORMAL)) return false;
    event->magic = kEventMagic;
    return true;
  });
}

// The mutexes this process has open. Its lock is held only while a mutex is
// opened: file work, whose one wait is for a holder of the object that
// removes its name meanwhile. The fork handlers hold it while fork() runs.
struct MutexRegistry {
  std::mutex lock;
  std::map<std::pair<pid_t, std::string>, std::weak_ptr<NamedObject>> objects;
};

MutexRegistry& mutexRegistry() {
  static MutexRegistry registry;
  return registry;
}

void holdRegistryForFork() { mutexRegistry().lock.lock(); }
void releaseRegistryAfterFork() { mutexRegistry().lock.unlock(); }

// One mapping per mutex and process: the robust-list entry that the C library
// keeps for a mutex a thread owns points into that mapping, so it must not go
// away (or differ between two objects of the same name) while owned. The key
// holds the process id so that a child of fork() opens its own.
std::shared_ptr<NamedObject> openMutex(std::string_view name) {
  const auto posixName = PosixObjectName(ObjectKind::Mutex, name);
  if (!posixName) throw ObjectUnavailable(name);
  RegisterForkHandlers();
  MutexRegistry& known = mutexRegistry();
  const std::lock_guard guard(known.lock);
  auto& registry = known.objects;
  const auto key = std::pair(::getpid(), *posixName);
  if (auto open = registry[key].lock()) return open;
  auto object = openBlock(*posixName, true, sizeof(MutexBlock), kMutexMagic, [](void* memory) {
    auto* block = static_cast<MutexBlock*>(memory);
    if (!initialiseMutex(&block->mutex, PTHREAD_MUTEX_RECURSIVE)) return false;
    block->magic = kMutexMagic;
    return true;
  });
  if (!object) throw ObjectUnavailable(name);
  std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
  registry[key] = object;
  return object;
}

std::shared_ptr<NamedObject> openSection(const std::string& posixName, bool create, std::uint64_t size,
                                         bool& createdNew) {
  if (!create) return NamedObject::open(posixName);
  // The whole size is reserved at once, as Windows commits a section when it
  // creates it: a full /dev/shm then fails here and not later with SIGBUS.
  auto opened = NamedObject::createOrOpen(posixName, [size](int fd) {
    return size > 0 && size <= static_cast<std::uint64_t>(LLONG_MAX) &&
           ::posix_fallocate(fd, 0, static_cast<off_t>(size)) == 0;
  });
  createdNew = opened.object != nullptr && opened.createdNew;
  return std::move(opened.object);
}

// Null also in a child of fork(), where the block is not mapped.
pthread_mutex_t* mutexOf(detail::NamedObject* object) {
  auto* block = object == nullptr ? nullptr : static_cast<MutexBlock*>(object->block());
  return block == nullptr ? nullptr : &block->mutex;
}

EventBlock* eventOf(detail::NamedObject* object) {
  return object == nullptr ? nullptr : static_cast<EventBlock*>(object->block());
}

// The event's flags stay whole whatever a dead holder of its lock was doing.
bool lockEvent(EventBlock* event) {
  int rc = ::pthread_mutex_lock(&event->lock);
  if (rc == EOWNERDEAD) rc = ::pthread_mutex_consistent(&event->lock);
  return rc == 0;
}

// Sleeps while the word holds seen, until a wake-up or the deadline (null: no
// limit). False when the deadline has passed (or the wait cannot be made).
bool sleepOnWord(std::uint32_t* word, std::uint32_t seen, const timespec* deadline) {
  const long rc = ::syscall(SYS_futex, word, FUTEX_WAIT_BITSET, seen, deadline, nullptr, FUTEX_BITSET_MATCH_ANY);
  return rc == 0 || errno == EAGAIN || errno == EINTR;
}

void wakeAll(std::uint32_t* word) { ::syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

}  // namespace

void RegisterForkHandlers() {
  static const bool registered =
      ::pthread_atfork(holdRegistryForFork, releaseRegistryAfterFork, releaseRegistryAfterFork) == 0;
  (void)registered;
}

std::optional<std::string> PosixObjectName(ObjectKind kind, std::string_view windowsName) {
  if (windowsName.empty() || windowsName.find('\0') != std::string_view::npos) return std::nullopt;
  std::string space = "suite";
  const char* prefix = std::getenv(kPrefixVariable);
  if (prefix != nullptr && *prefix != '\0') {
    space += '-';
    for (const char c : std::string_view(prefix)) space += isPrefixCharacter(c) ? c : '_';
  }
  std::string name = fmt::format("/{}.{}.{}.", space, ::getuid(), kindTag(kind));
  for (const char c : windowsName) name += (c == '/' || c == '\\') ? '_' : c;
  if (name.size() > kMaxPosixName) return std::nullopt;
  return name;
}

bool NamedObjectExists(ObjectKind kind, std::string_view windowsName) {
  const auto posixName = PosixObjectName(kind, windowsName);
  return posixName && NamedObject::exists(*posixName);
}

// THandledObject

THandledObject::THandledObject() = default;
THandledObject::THandledObject(std::shared_ptr<detail::NamedObject> object) : object_(std::move(object)) {}
THandledObject::~THandledObject() = default;
THandledObject::THandledObject(THandledObject&&) noexcept = default;
THandledObject& THandledObject::operator=(THandledObject&&) noexcept = default;

int THandledObject::Handle() const { return object_ ? object_->handle() : 0; }

// TEvent

TEvent::TEvent(std::string_view name, bool create, bool initialState, bool manualReset)
    : THandledObject(openEvent(name, create, initialState, manualReset)) {}

bool TEvent::Wait(std::uint32_t milliseconds) {
  EventBlock* event = eventOf(object());
  if (event == nullptr) return false;
  const timespec deadline = deadlineAfter(milliseconds);
  const timespec* limit = milliseconds == kInfinite ? nullptr : &deadline;
  for (;;) {
    if (!lockEvent(event)) return false;
    const bool signalled = event->signalled != 0;
    if (signalled && event->manualReset == 0) event->signalled = 0;
    const std::uint32_t seen = event->wakeups;
    ::pthread_mutex_unlock(&event->lock);
    if (signalled) return true;
    if (milliseconds == 0 || !sleepOnWord(&event->wakeups, seen, limit)) return false;
  }
}

bool TEvent::setEvent() {
  EventBlock* event = eventOf(object());
  if (event == nullptr || !lockEvent(event)) return false;
  event->signalled = 1;
  ++event->wakeups;
  ::pthread_mutex_unlock(&event->lock);
  // Every waiter looks again; with auto-reset only the first one takes it.
  wakeAll(&event->wakeups);
  return true;
}

bool TEvent::resetEvent() {
  EventBlock* event = eventOf(object());
  if (event == nullptr || !lockEvent(event)) return false;
  event->signalled = 0;
  ::pthread_mutex_unlock(&event->lock);
  return true;
}

// TMutex

TMutex::TMutex(std::string_view name) : THandledObject(openMutex(name)) {}

TMutex::~TMutex() {
  pthread_mutex_t* mutex = mutexOf(object());
  while (heldCount_ > 0 && mutex != nullptr && ::pthread_mutex_unlock(mutex) == 0) --heldCount_;
}

TMutex::TMutex(TMutex&& other) noexcept
    : THandledObject(std::move(other)), heldCount_(other.heldCount_.exchange(0)) {}

TMutex& TMutex::operator=(TMutex&& other) noexcept {
  if (this != &other) {
    pthread_mutex_t* mutex = mutexOf(object());
    while (heldCount_ > 0 && mutex != nullptr && ::pthread_mutex_unlock(mutex) == 0) --heldCount_;
    THandledObject::operator=(std::move(other));
    heldCount_ = other.heldCount_.exchange(0);
  }
  return *this;
}

bool TMutex::Get(std::uint32_t milliseconds) {
  pthread_mutex_t* mutex = mutexOf(object());
  if (mutex == nullptr) return false;
  int rc = 0;
  if (milliseconds == 0) {
    rc = ::pthread_mutex_trylock(mutex);
  } else if (milliseconds == kInfinite) {
    rc = ::pthread_mutex_lock(mutex);
  } else {
    const timespec deadline = deadlineAfter(milliseconds);
    rc = ::pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
  }
  if (rc == EOWNERDEAD) {
    // Abandoned by its owner: repaired and freed at once, so that it is never
    // kept by this thread unknowingly. "Not obtained"; the next Get obtains it.
    ::pthread_mutex_consistent(mutex);
    ::pthread_mutex_unlock(mutex);
    return false;
  }
  if (rc != 0) return false;
  ++heldCount_;
  return true;
}

bool TMutex::Release() {
  pthread_mutex_t* mutex = mutexOf(object());
  if (mutex == nullptr || ::pthread_mutex_unlock(mutex) != 0) return false;
  int held = heldCount_.load();
  while (held > 0 && !heldCount_.compare_exchange_weak(held, held - 1)) {
  }
  return true;
}

// TSharedMem

TSharedMem::TSharedMem(std::string_view name, bool create, std::uint32_t size)
    : TSharedMem(name, create, std::uint64_t{size}, size) {}

TSharedMem::TSharedMem(CreateExTag, std::string_view name, bool create, std::uint32_t sizeLow,
                       std::uint32_t sizeHigh, std::uint32_t bytesToMap)
    : TSharedMem(name, create, (std::uint64_t{sizeHigh} << 32) | sizeLow, bytesToMap) {}

TSharedMem::TSharedMem(std::string_view name, bool create, std::uint64_t sectionSize, std::uint32_t bytesToMap)
    : name_(name), mappedSize_(static_cast<std::int32_t>(bytesToMap)) {
  const auto posixName = PosixObjectName(ObjectKind::Section, name);
  if (!posixName) return;
  adopt(openSection(*posixName, create, sectionSize, createdNew_));
  // A section opened by name keeps no descriptor, so that a process with
  // hundreds of sections keeps its descriptors for other uses; the view holds
  // the section meanwhile (a later Remap opens the name again).
  if (mapView(bytesToMap) && !create) object()->closeDescriptor();
}

bool TSharedMem::mapView(std::uint32_t bytesToMap) {
  if (object() == nullptr || bytesToMap > static_cast<std::uint32_t>(INT32_MAX)) return false;
  object()->withDescriptor([&](int fd) {
    std::size_t length = bytesToMap;
    if (length == 0) {
      const std::int64_t size = detail::objectSize(fd);
      if (size <= 0) return;
      length = static_cast<std::size_t>(size);
    }
    view_ = detail::Mapping::map(fd, length);
  });
  return Ok();
}

bool TSharedMem::Remap(std::uint32_t bytesToMap) {
  // The old view goes only once the new one is made: without a descriptor,
  // a view is what holds the section.
  const detail::Mapping old = std::move(view_);
  if (!mapView(bytesToMap)) return false;
  mappedSize_ = static_cast<std::int32_t>(bytesToMap);
  return true;
}

}  // namespace ipc
