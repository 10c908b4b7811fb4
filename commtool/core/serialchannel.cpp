#include "commtool/core/serialchannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
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
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return fail(fmt::format("COM{}{}", port, openErrorText(errno)));
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
