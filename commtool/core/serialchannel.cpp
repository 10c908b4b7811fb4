#include "commtool/core/serialchannel.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "commtool/core/comports.h"
#include "commtool/core/texts.h"

namespace tavrix {
namespace {

enum class Wait { Ready, Timeout, Stop, Error };

// Waits until fd has input (or hangs up) or stopFd is signalled.
Wait waitInput(int fd, int stopFd, int timeoutMs) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  const int rc = RetryOnEintr([&] { return ::poll(fds, 2, timeoutMs); });
  if (rc < 0) return Wait::Error;
  if (fds[1].revents != 0) return Wait::Stop;
  if (rc == 0) return Wait::Timeout;
  return Wait::Ready;
}

std::string_view openErrorText(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
      return texts::kPortMissing;
    case EBUSY:
    case EWOULDBLOCK:
      return texts::kPortBusy;
    default:
      return texts::kPortUnknownError;
  }
}

// The number N of a pseudo-terminal's /dev/pts/N, or -1 for other devices.
int ptyIndex(dev_t device) {
  constexpr unsigned kFirstSlaveMajor = 136, kLastSlaveMajor = 143;
  const unsigned majorNumber = major(device);
  if (majorNumber < kFirstSlaveMajor || majorNumber > kLastSlaveMajor) return -1;
  return static_cast<int>((majorNumber - kFirstSlaveMajor) * 256 + minor(device));
}

// Whether descriptor name of the process is the master side of pseudo-terminal index.
bool isPtyMaster(const std::string& process, const char* name, const struct stat& held, int index) {
  if (index < 0 || major(held.st_rdev) != 5 || minor(held.st_rdev) != 2) return false;  // /dev/ptmx
  std::ifstream info("/proc/" + process + "/fdinfo/" + name);
  for (std::string key; info >> key;)
    if (key == "tty-index:") {
      int heldIndex = -1;
      info >> heldIndex;
      return heldIndex == index;
    }
  return false;
}

// Whether a process other than this one holds the device open. Programs that
// neither lock the port nor put it in exclusive mode (a terminal opened by
// hand) show only here; processes of other users are seen by root. A process
// that holds the master side of a pseudo-terminal provides the port (a bridge
// such as socat) and does not count.
bool openedByAnotherProcess(int fd) {
  struct stat device{};
  if (::fstat(fd, &device) != 0 || !S_ISCHR(device.st_mode)) return false;
  const int index = ptyIndex(device.st_rdev);
  DIR* processes = ::opendir("/proc");
  if (!processes) return false;
  const std::string self = std::to_string(::getpid());
  bool found = false;
  while (const dirent* process = ::readdir(processes)) {
    if (found) break;
    const std::string pid = process->d_name;
    if (!std::isdigit(static_cast<unsigned char>(pid[0])) || pid == self) continue;
    DIR* fds = ::opendir(("/proc/" + pid + "/fd").c_str());
    if (!fds) continue;  // gone, or not ours to look at
    bool holdsPort = false, providesPort = false;
    while (const dirent* entry = ::readdir(fds)) {
      struct stat held{};
      if (entry->d_name[0] == '.' || ::fstatat(::dirfd(fds), entry->d_name, &held, 0) != 0) continue;
      if (!S_ISCHR(held.st_mode)) continue;
      holdsPort |= held.st_rdev == device.st_rdev;
      providesPort |= isPtyMaster(pid, entry->d_name, held, index);
    }
    ::closedir(fds);
    found = holdsPort && !providesPort;
  }
  ::closedir(processes);
  return found;
}

}  // namespace

CSerialChannel::~CSerialChannel() { Close(); }

bool CSerialChannel::fail(std::string message) {
  setOpenError(std::move(message));
  Close();
  return false;
}

bool CSerialChannel::Open(Mailbox* owner, const std::string&, int, bool, int port, int baud, int parity, int dataBits,
                          int stopBits, bool configure, bool startReader) {
  settings_ = {baud, parity, dataBits, stopBits};
  portNo_ = port;
  setOpenError({});
  if (handle_ || readerRunning_.load()) return false;

  const auto path = ComPortPath(port);
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return fail(fmt::format("COM{}{}", port, openErrorText(errno)));
  // Exclusive: another program's lock (flock) or open descriptor makes the
  // port busy; exclusive mode then keeps later openers out (root excepted).
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return fail(fmt::format("COM{}{}", port, openErrorText(errno)));
  if (openedByAnotherProcess(fd.get())) return fail(fmt::format("COM{}{}", port, texts::kPortBusy));
  ::ioctl(fd.get(), TIOCEXCL);
  handle_ = std::move(fd);
  setOwner(owner);

  stopEvent_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!stopEvent_) return fail(fmt::format("COM{}{}", port, texts::kPortUnknownError));
  if (configure && !ApplySerialSettings(handle_.get(), settings_, driver_))
    return fail(fmt::format("COM{}{}", port, texts::kPortSettings));
  if (startReader && !this->startReader()) return fail(fmt::format("COM{}{}", port, texts::kPortUnknownError));
  if (!startWriter()) return fail(fmt::format("COM{}{}", port, texts::kPortUnknownError));
  return true;
}

bool CSerialChannel::startReader() {
  ::tcflush(handle_.get(), TCIOFLUSH);  // here, not in the thread: what arrives after Open is kept
  try {
    readerRunning_.store(true);
    readerThread_ = std::thread([this] { readerLoop(); });
    return true;
  } catch (const std::system_error&) {
    readerRunning_.store(false);
    return false;
  }
}

void CSerialChannel::readerLoop() {
  const int fd = handle_.get();
  const int stopFd = stopEvent_.get();
  std::vector<std::uint8_t> buffer(kReadChunk);
  bool failed = false;
  for (;;) {
    const Wait wait = waitInput(fd, stopFd, -1);
    if (wait == Wait::Stop) break;
    if (wait == Wait::Error) {
      failed = true;
      break;
    }
    const ssize_t n = readSome(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) {  // EIO on a hang-up: the device is gone
      failed = true;
      break;
    }
    const int total = readBurst(buffer.data(), static_cast<int>(n));
    if (Mailbox* owner = Owner())
      owner->PostDataWaiting(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + total), stopping_);
  }
  readerRunning_.store(false);
  if (failed && !stopping_.load())
    if (Mailbox* owner = Owner()) owner->PostEnded();
}

// Gathers what follows within the read interval, up to one chunk.
ssize_t CSerialChannel::readSome(int fd, std::uint8_t* buffer, std::size_t size) {
  std::lock_guard line(lineMutex_);
  return RetryOnEintr([&] { return ::read(fd, buffer, size); });
}

int CSerialChannel::readBurst(std::uint8_t* buffer, int first) {
  int total = first;
  while (total < kReadChunk) {
    if (waitInput(handle_.get(), stopEvent_.get(), readInterval_.load()) != Wait::Ready) break;
    const ssize_t n = readSome(handle_.get(), buffer + total, static_cast<std::size_t>(kReadChunk - total));
    if (n <= 0) break;  // an error shows again at the next wait
    total += static_cast<int>(n);
  }
  return total;
}

bool CSerialChannel::startWriter() {
  const int fd = handle_.get();
  return writer_.Start(
      fd, stopEvent_.get(), lineMutex_,
      [fd](const std::uint8_t* bytes, std::size_t count) -> ssize_t {
        const ssize_t n = RetryOnEintr([&] { return ::write(fd, bytes, count); });
        if (n < 0 && errno == EAGAIN) return 0;
        return n;
      },
      [this](std::size_t written, bool whole) {
        if (Mailbox* owner = Owner()) owner->PostSent(written, whole);
      });
}

int CSerialChannel::Write(const std::uint8_t* bytes, int count) {
  setWriteError({});
  if (!handle_) setWriteError(texts::kNotOpen);
  if (count <= 0 || !bytes || !handle_) return 0;
  if (!writer_.Queue(std::vector<std::uint8_t>(bytes, bytes + count))) {
    setWriteError(texts::kQueueFull);
    return 0;
  }
  return count;
}

// The writer's stop signals the event the reader waits on too; stopping_ tells
// the reader that the program closes the port.
bool CSerialChannel::Close() {
  stopping_.store(true);
  writer_.Stop();
  if (readerThread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t rc = ::write(stopEvent_.get(), &one, sizeof one);
    if (Mailbox* owner = Owner()) owner->Interrupt();
    readerThread_.join();
  }
  stopping_.store(false);
  readerRunning_.store(false);
  stopEvent_.reset();
  // The exclusive mode belongs to the terminal, not to this descriptor: a
  // pseudo-terminal (or a port another program still holds) would stay
  // closed to everyone but root after we let it go.
  if (handle_) ::ioctl(handle_.get(), TIOCNXCL);
  handle_.reset();
  return true;
}

bool CSerialChannel::setModemLine(int line, bool on) {
  if (!handle_) return false;
  return ::ioctl(handle_.get(), on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

bool CSerialChannel::SetDTR(bool on) { return setModemLine(TIOCM_DTR, on); }
bool CSerialChannel::SetRTS(bool on) { return setModemLine(TIOCM_RTS, on); }

bool CSerialChannel::SetBreak(bool on) {
  if (!handle_) return false;
  return ::ioctl(handle_.get(), on ? TIOCSBRK : TIOCCBRK) == 0;
}

bool CSerialChannel::SetTimeouts(const CommTimeouts& timeouts) {
  if (!handle_) return false;
  timeouts_ = timeouts;
  readInterval_.store(std::max(timeouts.ReadIntervalTimeout, 0));
  return true;
}

// The kernel sizes its own queues.
bool CSerialChannel::SetQueues(int inSize, int outSize) { return handle_ && inSize > 0 && outSize > 0; }

}  // namespace tavrix
