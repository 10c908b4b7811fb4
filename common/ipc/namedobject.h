#pragma once
// Internal to common_ipc: one /dev/shm object held the way a Windows handle
// holds a kernel object (see ipcfunc.h for the rules).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <sys/types.h>

namespace ipc::detail {

// Which process an object or mapping belongs to: a number that changes in
// the child of every fork(), read without a system call.
unsigned ProcessGeneration();

// A shared read-write mapping of the first bytes of a descriptor's object.
// It is not passed on to a child of fork(): there it reads as empty (data()
// null, size() 0), and freeing it there leaves the address range alone.
class Mapping {
 public:
  Mapping() = default;
  // Empty when the object holds fewer than length bytes or mmap fails.
  static Mapping map(int fd, std::size_t length);
  ~Mapping();
  Mapping(Mapping&& other) noexcept;
  Mapping& operator=(Mapping&& other) noexcept;

  void* data() const { return mine() ? data_ : nullptr; }
  std::size_t size() const { return mine() ? size_ : 0; }

 private:
  bool mine() const { return generation_ == ProcessGeneration(); }
  void release();

  void* data_ = nullptr;
  std::size_t size_ = 0;
  unsigned generation_ = 0;
};

// The size of the object behind fd; -1 when it cannot be read.
std::int64_t objectSize(int fd);

class NamedObject {
 public:
  // Sizes and fills a new object before it gets its name; false drops it.
  using Initialise = std::function<bool(int fd)>;

  struct Opened {
    std::shared_ptr<NamedObject> object;  // null on failure
    bool createdNew = false;
  };

  // Only plain objects of this process's effective user are ever used.
  // /dev/shm is shared by all users, so anyone may put an object, a link, a
  // folder or a FIFO under our name: such an entry counts as absent. It cannot
  // be removed either, so our own object of that name is then made under the
  // next free name in line ("<name>~1" .. "<name>~8"); opening looks for ours
  // under all of them. With all nine taken there is no object.

  // The existing object of that name; null when there is none.
  static std::shared_ptr<NamedObject> open(const std::string& posixName);
  // The existing object, or a new one made by initialise.
  static Opened createOrOpen(const std::string& posixName, const Initialise& initialise);
  // True when the name is held by a live process.
  static bool exists(const std::string& posixName);

  // In a child of fork() the object is the parent's: freeing it there only
  // closes the child's copy of the descriptor and leaves the name and the
  // parent's lock alone.
  ~NamedObject();
  NamedObject(const NamedObject&) = delete;
  NamedObject& operator=(const NamedObject&) = delete;

  // The descriptor this object was opened with (never below 3), also after
  // closeDescriptor.
  int handle() const { return handle_; }
  // Closes the descriptor; mappings stay valid, and each keeps holding the
  // object (a mapping keeps the descriptor's lock) until it is unmapped.
  void closeDescriptor();
  // Calls use with a descriptor of the object: the one held, or after
  // closeDescriptor the name opened again for the call, while it still names
  // this object. False when there is no such descriptor.
  bool withDescriptor(const std::function<void(int fd)>& use) const;
  // A mapping of the object's first bytes that lives as long as the object
  // (the shared state of a mutex or an event); null when it cannot be mapped.
  void* mapBlock(std::size_t length);
  void* block() const { return block_.data(); }

 private:
  NamedObject(int fd, std::string posixName)
      : fd_(fd), handle_(fd), name_(std::move(posixName)), generation_(ProcessGeneration()) {}

  int fd_;  // -1 after closeDescriptor
  int handle_;
  std::string name_;  // the name it was found or made under
  dev_t device_ = 0;  // which object it is, kept by closeDescriptor
  ino_t inode_ = 0;
  unsigned generation_;  // the process that opened it
  Mapping block_;
};

// Fills a new object of length bytes through a temporary mapping.
bool initialiseBlock(int fd, std::size_t length, const std::function<bool(void*)>& fill);

}  // namespace ipc::detail
