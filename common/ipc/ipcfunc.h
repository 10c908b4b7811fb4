#pragma once
// Named kernel objects shared between processes: sections (shared memory),
// mutexes and events, addressed by the Windows names that the operator client
// and its peers use ("VELK_MAIN_HANDLE", "QUENLORADODATASETCOMMUTEX_CONFIG").
//
// Each name lives under /dev/shm as "/suite[-<prefix>].<uid>.<kind>.<name>"
// (see PosixObjectName): per user, because an unprefixed Windows name is per
// session, and with a kind tag so that a mutex and a section may share a name.
// The environment variable SUITE_IPC_PREFIX, when set and not empty, adds its
// text to every name; parallel test runs use it to keep apart. It is read each
// time a name is built.
//
// Lifetime follows Windows: an object lives while any process holds it. Every
// holder keeps a shared flock on its descriptor (or, when it closed that,
// through its mapping: a mapping keeps the lock of the descriptor it was made
// with); the last one to close removes
// the name, and a name left behind by holders that died counts as absent (and
// is removed by whoever finds it). New objects are sized and initialised under
// a temporary name and then linked to the real one, so nobody ever sees half of
// one.
//
// Only plain objects of the process's effective user are used: anything else
// under the name (another user's object, a link, a folder, a FIFO) counts as
// absent, and our own is made under the next name in line (see
// namedobject.h). Links are never followed.
//
// An object is used from the thread that created it. Objects are not
// inherited: a child made with fork() opens its own. Its parent's read there
// as unusable (no view, no mutex, no event; their memory is not mapped
// there), and freeing them there takes nothing from the parent.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/ipc/namedobject.h"
#include "common/ipc/silentabort.h"

namespace ipc {

enum class ObjectKind { Section, Mutex, Event };

// The environment variable whose text is added to every object name.
inline constexpr const char* kPrefixVariable = "SUITE_IPC_PREFIX";

// Time-out value that waits without limit (Windows' INFINITE).
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// The POSIX shared-memory name for a Windows object name:
// "/suite.<uid>.<tag>.<name>", or "/suite-<prefix>.<uid>.<tag>.<name>" with
// SUITE_IPC_PREFIX set; <tag> is "shm", "mtx" or "evt". "/" and "\" in the name
// become "_", and so does every character of the prefix other than letters,
// digits, "-" and "_". Empty when the name cannot be used: empty, holding a NUL
// character, or too long for a file name.
std::optional<std::string> PosixObjectName(ObjectKind kind, std::string_view windowsName);

// True when the named object exists and a live process holds it: what a
// successful OpenMutexA (or OpenEventA, OpenFileMappingA) tells on Windows.
// Holding the object is enough; the mutex need not be owned. A name whose
// holders all died is removed here and gives false.
bool NamedObjectExists(ObjectKind kind, std::string_view windowsName);

// Registers, once per process, the fork() handlers of this module: fork()
// waits for a thread that is opening a mutex (the lock of the process's open
// mutexes is held for that only), so that a child never finds that lock held
// by a thread it does not have. Prepare handlers run in the reverse order of
// their registration: a module whose own prepare handler takes locks under
// which it opens mutexes calls this before it registers its own, so that its
// locks are taken first. Opening a mutex calls it too.
void RegisterForkHandlers();

// Owns one named object. Handle is its descriptor (never below 3), 0 when the
// object could not be created or opened; freeing the object closes it.
// Mutexes, events and sections opened by name (not created) close their
// descriptor once their memory is mapped, and the mapping holds the object
// from then on; Handle keeps the number the descriptor had. A process may
// thus use hundreds of them without running short of descriptors.
class THandledObject {
 public:
  THandledObject();
  virtual ~THandledObject();
  THandledObject(THandledObject&&) noexcept;
  THandledObject& operator=(THandledObject&&) noexcept;

  int Handle() const;

 protected:
  explicit THandledObject(std::shared_ptr<detail::NamedObject> object);
  detail::NamedObject* object() const { return object_.get(); }
  void adopt(std::shared_ptr<detail::NamedObject> object) { object_ = std::move(object); }

 private:
  std::shared_ptr<detail::NamedObject> object_;
};

// A named event. The constructor is TEvent.Create.
class TEvent : public THandledObject {
 public:
  // With create, opens the event of that name or creates it with the given
  // manual-reset and initial-state flags (an existing event keeps its own);
  // otherwise opens an existing one. A failure leaves Handle 0.
  TEvent(std::string_view name, bool create, bool initialState, bool manualReset);

  // True when the event is (or becomes) signalled within the time-out
  // (kInfinite: no limit); an auto-reset event is then reset. False on
  // time-out or when there is no event.
  bool Wait(std::uint32_t milliseconds);

  // SetEvent and ResetEvent: true on success.
  bool setEvent();
  bool resetEvent();
};

// What TMutex raises when it can neither open nor create its mutex: the
// silent abort, telling also which mutex could not be had (its Windows name),
// for a caller that wants to say so.
class ObjectUnavailable : public common::SilentAbort {
 public:
  explicit ObjectUnavailable(std::string_view name) : name_(name) {}
  const std::string& objectName() const { return name_; }

 private:
  std::string name_;
};

// A named, recursive mutex. The constructor is TMutex.Create. Objects of one
// name in one process share a single descriptor (and Handle).
class TMutex : public THandledObject {
 public:
  // Opens the mutex of that name or creates it, not owned. Raises
  // ObjectUnavailable (a common::SilentAbort) when neither works: every name
  // in line is taken by something that is not ours, or the system is short.
  explicit TMutex(std::string_view name);
  // A mutex this thread still holds through this object is released here:
  // the memory it lives in is unmapped with the object.
  ~TMutex() override;
  TMutex(TMutex&& other) noexcept;
  TMutex& operator=(TMutex&& other) noexcept;

  // True when this thread obtains the mutex within the time-out (0: try once;
  // kInfinite: no limit); a thread that owns it obtains it again. A mutex
  // whose owner ended without releasing it is abandoned: that call repairs
  // and frees it and returns false ("not obtained"); the next call obtains it.
  // Several threads may wait in Get on one object at the same time; each
  // obtains the mutex for itself.
  bool Get(std::uint32_t milliseconds);
  // True when this thread owned the mutex and has released it once.
  bool Release();

 private:
  std::atomic<int> heldCount_{0};  // successful Gets through this object not yet released
};

// A named section of shared memory and one view of it. The constructors are
// TSharedMem.Create and TSharedMem.CreateEx; neither raises: Ok tells whether
// the view is usable, and only then may View be touched.
class TSharedMem : public THandledObject {
 public:
  struct CreateExTag {};
  static constexpr CreateExTag CreateEx{};

  // With create, opens the section of that name or creates it with size bytes
  // (an existing section keeps its size; CreatedNew tells which); otherwise
  // opens an existing one. Then maps size bytes (0: the whole section).
  // Opened without create, the object keeps no descriptor once the view is
  // mapped; the view holds the section as the descriptor did.
  TSharedMem(std::string_view name, bool create, std::uint32_t size);
  // As above, with the section's size sizeHigh:sizeLow and a view of
  // bytesToMap bytes: TSharedMem(TSharedMem::CreateEx, name, ...).
  TSharedMem(CreateExTag, std::string_view name, bool create, std::uint32_t sizeLow, std::uint32_t sizeHigh,
             std::uint32_t bytesToMap);

  // Replaces the view by one of bytesToMap bytes from offset 0 (0: the whole
  // section). On failure View is nil, Ok is false and MappedSize unchanged.
  // A view never reaches past the end of the section.
  bool Remap(std::uint32_t bytesToMap);

  const std::string& Name() const { return name_; }
  // The bytes asked for with the current view (as given: 0 for a whole-section view).
  std::int32_t MappedSize() const { return mappedSize_; }
  bool Ok() const { return view_.data() != nullptr; }
  std::uint8_t* View() const { return static_cast<std::uint8_t*>(view_.data()); }
  bool CreatedNew() const { return createdNew_; }

 private:
  TSharedMem(std::string_view name, bool create, std::uint64_t sectionSize, std::uint32_t bytesToMap);
  bool mapView(std::uint32_t bytesToMap);

  std::string name_;
  std::int32_t mappedSize_ = 0;
  detail::Mapping view_;  // unmapped before the base closes the handle
  bool createdNew_ = false;
};

}  // namespace ipc
