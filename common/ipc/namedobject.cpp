#include "common/ipc/namedobject.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include <fmt/format.h>

namespace ipc::detail {
namespace {

// Bounds the loops that start again when a name changed under us (its last
// holder removed it, or another process created it first).
constexpr int kAttempts = 64;

// Where shm_open keeps its objects; link() needs the real path.
std::string shmPath(const std::string& posixName) { return "/dev/shm" + posixName; }

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// A descriptor of 3 or above, so that a handle never reads as 0 ("none").
// Links are never followed, and nothing planted under the name (a FIFO, a
// device) can make the open wait.
Fd shmOpen(const std::string& posixName, int flags) {
  Fd fd(::shm_open(posixName.c_str(), flags | O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, S_IRUSR | S_IWUSR));
  if (!fd.valid() || fd.get() > 2) return fd;
  return Fd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
}

bool isLinked(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_nlink > 0;
}

// A plain file of our own: anything else under the name (another user's
// file, a FIFO, a device) is not an object we may use.
bool ownedByUs(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

// Failures of the system rather than of what lies under a name: they end the
// search instead of passing the name over.
bool systemShortage(int error) { return error == EMFILE || error == ENFILE || error == ENOMEM || error == EINTR; }

// How many names in line are tried before giving up: the name itself and
// "~1".."~8" (each taken by something that is not ours).
constexpr int kNamesInLine = 9;

std::string nameInLine(const std::string& posixName, int place) {
  return place == 0 ? posixName : fmt::format("{}~{}", posixName, place);
}

int lockShared(int fd) {
  int rc = 0;
  do {
    rc = ::flock(fd, LOCK_SH);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

enum class Attach { Held, Again, Failed };

// Joins the holders of an object just opened by name. An object that nobody
// holds was left by holders that died: it is removed, and the caller opens the
// name again (and finds nothing, or what another process made meanwhile).
Attach attach(int fd, const std::string& posixName) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    if (isLinked(fd)) ::shm_unlink(posixName.c_str());
    return Attach::Again;
  }
  if (errno != EWOULDBLOCK || lockShared(fd) != 0) return Attach::Failed;
  // The last holder may have removed the name while we waited for the lock.
  return isLinked(fd) ? Attach::Held : Attach::Again;
}

std::string temporaryName(const std::string& posixName) {
  static std::atomic<unsigned long long> counter{0};
  return fmt::format("{}.new.{}.{}", posixName, ::getpid(), counter.fetch_add(1));
}

enum class Made { Linked, NameTaken, Failed };

// Makes the object under a temporary name and links it to the real one, so
// that nobody opens it half made.
Made makeObject(const std::string& posixName, const NamedObject::Initialise& initialise, Fd& result) {
  const std::string temporary = temporaryName(posixName);
  Fd fd = shmOpen(temporary, O_CREAT | O_EXCL);
  if (!fd.valid()) return errno == EEXIST ? Made::NameTaken : Made::Failed;
  const bool ready = initialise(fd.get()) && lockShared(fd.get()) == 0;
  const bool linked = ready && ::link(shmPath(temporary).c_str(), shmPath(posixName).c_str()) == 0;
  const int linkError = errno;
  ::shm_unlink(temporary.c_str());
  if (linked) {
    result = std::move(fd);
    return Made::Linked;
  }
  return ready && linkError == EEXIST ? Made::NameTaken : Made::Failed;
}

}  // namespace

namespace {

std::atomic<unsigned> processGeneration{0};

void enterForkedChild() { processGeneration.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

unsigned ProcessGeneration() {
  static const bool registered = ::pthread_atfork(nullptr, nullptr, enterForkedChild) == 0;
  (void)registered;
  return processGeneration.load(std::memory_order_relaxed);
}

Mapping Mapping::map(int fd, std::size_t length) {
  Mapping mapping;
  const std::int64_t size = objectSize(fd);
  if (length == 0 || size < 0 || static_cast<std::uint64_t>(size) < length) return mapping;
  void* data = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) return mapping;
  // A mapping holds the object (it keeps the lock of the descriptor it was
  // made through); a child of fork() opens its own objects and must not hold
  // ours on after we have freed them.
  ::madvise(data, length, MADV_DONTFORK);
  mapping.data_ = data;
  mapping.size_ = length;
  mapping.generation_ = ProcessGeneration();
  return mapping;
}

// In a child of fork() the range is not mapped (MADV_DONTFORK) and may hold
// something else of the child's by now: it is left alone.
void Mapping::release() {
  if (data_ != nullptr && mine()) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

Mapping::~Mapping() { release(); }

Mapping::Mapping(Mapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      generation_(other.generation_) {}

Mapping& Mapping::operator=(Mapping&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    generation_ = other.generation_;
  }
  return *this;
}

std::int64_t objectSize(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  return st.st_size;
}

namespace {

enum class Lookup { Held, Absent, Foreign, Failed };

// Opens and joins our object of exactly this name. Foreign: the name is taken
// by something we may not use: another user's object, a link, a folder, a
// FIFO, or anything else that cannot be opened as our own plain object.
Lookup lookUp(const std::string& name, Fd& result) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    Fd fd = shmOpen(name, 0);
    if (!fd.valid()) return errno == ENOENT ? Lookup::Absent : systemShortage(errno) ? Lookup::Failed : Lookup::Foreign;
    if (!ownedByUs(fd.get())) return Lookup::Foreign;
    switch (attach(fd.get(), name)) {
      case Attach::Held:
        result = std::move(fd);
        return Lookup::Held;
      case Attach::Failed:
        return Lookup::Failed;
      case Attach::Again:
        break;
    }
  }
  return Lookup::Failed;
}

// Our object under any of the names in line goes into result, its name into
// name. Without one, name is the first free name in line (empty when every
// one is taken by another user). False on a failure.
bool findOurs(const std::string& posixName, Fd& result, std::string& name) {
  name.clear();
  for (int place = 0; place < kNamesInLine; ++place) {
    const std::string candidate = nameInLine(posixName, place);
    switch (lookUp(candidate, result)) {
      case Lookup::Held:
        name = candidate;
        return true;
      case Lookup::Absent:
        if (name.empty()) name = candidate;
        break;
      case Lookup::Foreign:
        break;
      case Lookup::Failed:
        return false;
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<NamedObject> NamedObject::open(const std::string& posixName) {
  Fd fd(-1);
  std::string name;
  if (!findOurs(posixName, fd, name) || !fd.valid()) return nullptr;
  return std::shared_ptr<NamedObject>(new NamedObject(fd.release(), name));
}

NamedObject::Opened NamedObject::createOrOpen(const std::string& posixName, const Initialise& initialise) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    Fd fd(-1);
    std::string name;
    if (!findOurs(posixName, fd, name) || name.empty()) return {};
    if (fd.valid()) return {std::shared_ptr<NamedObject>(new NamedObject(fd.release(), name)), false};
    switch (makeObject(name, initialise, fd)) {
      case Made::Linked:
        return {std::shared_ptr<NamedObject>(new NamedObject(fd.release(), name)), true};
      case Made::Failed:
        return {};
      case Made::NameTaken:
        break;  // made meanwhile by someone: looked for again
    }
  }
  return {};
}

bool NamedObject::exists(const std::string& posixName) { return open(posixName) != nullptr; }

namespace {

// The name opened again, while it still names the object device:inode.
Fd reopen(const std::string& name, dev_t device, ino_t inode) {
  Fd fd(::shm_open(name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_dev != device || st.st_ino != inode || st.st_nlink == 0)
    return Fd(-1);
  return fd;
}

}  // namespace

NamedObject::~NamedObject() {
  block_ = Mapping();
  if (generation_ != ProcessGeneration()) {
    // The parent's object, in a child of fork(): an exclusive lock taken
    // through the shared descriptor would take the parent's lock away.
    if (fd_ >= 0) ::close(fd_);
    return;
  }
  // After closeDescriptor this process held the object through its mappings
  // (a mapping keeps the descriptor's lock), and they are gone by now.
  Fd fd = fd_ >= 0 ? Fd(fd_) : reopen(name_, device_, inode_);
  // Only the last holder gets the exclusive lock; it removes the name.
  if (fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && isLinked(fd.get())) ::shm_unlink(name_.c_str());
}

void NamedObject::closeDescriptor() {
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    device_ = st.st_dev;
    inode_ = st.st_ino;
  }
  ::close(fd_);
  fd_ = -1;
}

bool NamedObject::withDescriptor(const std::function<void(int fd)>& use) const {
  if (fd_ >= 0) {
    use(fd_);
    return true;
  }
  // The lock goes with the mappings made through this descriptor, so that
  // they hold the object as the first one did.
  Fd fd = reopen(name_, device_, inode_);
  if (!fd.valid() || lockShared(fd.get()) != 0) return false;
  use(fd.get());
  return true;
}

void* NamedObject::mapBlock(std::size_t length) {
  withDescriptor([&](int fd) { block_ = Mapping::map(fd, length); });
  return block_.data();
}

bool initialiseBlock(int fd, std::size_t length, const std::function<bool(void*)>& fill) {
  if (::ftruncate(fd, static_cast<off_t>(length)) != 0) return false;
  Mapping mapping = Mapping::map(fd, length);
  return mapping.data() != nullptr && fill(mapping.data());
}

}  // namespace ipc::detail
