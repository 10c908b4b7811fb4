#include "commtool/core/serialconfig.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace tavrix {
namespace {

static_assert(sizeof(DriverTermios) == sizeof(termios2));
static_assert(offsetof(DriverTermios, cflag) == offsetof(termios2, c_cflag));
static_assert(offsetof(DriverTermios, line) == offsetof(termios2, c_line));
static_assert(offsetof(DriverTermios, cc) == offsetof(termios2, c_cc));
static_assert(sizeof(DriverTermios::cc) == sizeof(termios2::c_cc));
static_assert(offsetof(DriverTermios, ispeed) == offsetof(termios2, c_ispeed));
static_assert(offsetof(DriverTermios, ospeed) == offsetof(termios2, c_ospeed));

class KernelDriver : public SerialDriver {
 public:
  bool Get(int fd, DriverTermios& settings) override {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    std::memcpy(static_cast<void*>(&settings), &t, sizeof t);
    return true;
  }
  bool Set(int fd, const DriverTermios& settings) override {
    termios2 t{};
    std::memcpy(&t, &settings, sizeof t);
    return ::ioctl(fd, TCSETS2, &t) == 0;
  }
};

// Rates with a constant of their own are set by it, so that every tool
// reading the port sees them; any other rate is set by number.
tcflag_t speedCode(int baud) {
  struct Entry {
    int baud;
    tcflag_t code;
  };
  static constexpr Entry kCodes[] = {{110, B110},       {300, B300},       {600, B600},       {1200, B1200},
                                     {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
                                     {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
                                     {460800, B460800}, {921600, B921600}};
  for (const auto& entry : kCodes)
    if (entry.baud == baud) return entry.code;
  return BOTHER;
}

// A driver may report the rate its divisor reaches rather than the one asked
// for. Within 2 % the two ends of a line still agree on every bit, so that is
// the rate asked for; anything further off (a rate clipped to the driver's
// highest) is another rate.
bool sameBaud(int asked, int actual) {
  return std::llabs(static_cast<long long>(actual) - asked) * 50 <= static_cast<long long>(asked);
}

}  // namespace

SerialDriver& KernelSerialDriver() {
  static KernelDriver driver;
  return driver;
}

bool ValidSerialSettings(const SerialSettings& s) {
  if (s.baud <= 0 || s.dataBits < 5 || s.dataBits > 8 || s.parity < 0 || s.parity > 4) return false;
  if (s.stopBits < 0 || s.stopBits > 2) return false;
  // With 5-bit characters the UART's second stop bit is half a bit long:
  // one and a half stop bits exist only there, and two not at all.
  if (s.stopBits == 1) return s.dataBits == 5;
  return s.stopBits != 2 || s.dataBits != 5;
}

SerialSettings DecodeSerialSettings(const DriverTermios& t) {
  SerialSettings s;
  s.baud = static_cast<int>(t.ospeed);
  switch (t.cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
  }
  if (!(t.cflag & PARENB))
    s.parity = 0;
  else if (t.cflag & CMSPAR)
    s.parity = (t.cflag & PARODD) ? 3 : 4;
  else
    s.parity = (t.cflag & PARODD) ? 1 : 2;
  s.stopBits = !(t.cflag & CSTOPB) ? 0 : s.dataBits == 5 ? 1 : 2;
  return s;
}

bool ApplySerialSettings(int fd, const SerialSettings& s, SerialDriver& driver) {
  if (!ValidSerialSettings(s)) return false;
  DriverTermios t;
  if (!driver.Get(fd, t)) return false;

  t.iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                    IXANY | INPCK | IGNPAR);
  t.oflag &= ~static_cast<tcflag_t>(OPOST);
  t.lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
  t.cflag |= CLOCAL | CREAD | speedCode(s.baud);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.cflag |= kSizes[s.dataBits - 5];
  switch (s.parity) {
    case 1: t.cflag |= PARENB | PARODD; break;
    case 2: t.cflag |= PARENB; break;
    case 3: t.cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (s.parity != 0) t.iflag |= INPCK;
  if (s.stopBits != 0) t.cflag |= CSTOPB;
  t.ispeed = static_cast<speed_t>(s.baud);
  t.ospeed = static_cast<speed_t>(s.baud);
  t.cc[VMIN] = 0;
  t.cc[VTIME] = 0;
  if (!driver.Set(fd, t)) return false;

  // Drivers accept what they cannot do and put something else in place.
  DriverTermios applied;
  if (!driver.Get(fd, applied)) return false;
  const SerialSettings actual = DecodeSerialSettings(applied);
  return sameBaud(s.baud, actual.baud) && actual.dataBits == s.dataBits && actual.parity == s.parity &&
         actual.stopBits == s.stopBits;
}

}  // namespace tavrix
