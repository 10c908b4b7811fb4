#include "commtool/core/serialconfig.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tavrix {
namespace {

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

}  // namespace

bool ValidSerialSettings(const SerialSettings& s) {
  if (s.baud <= 0 || s.dataBits < 5 || s.dataBits > 8 || s.parity < 0 || s.parity > 4) return false;
  if (s.stopBits < 0 || s.stopBits > 2) return false;
  // With 5-bit characters the UART's second stop bit is half a bit long:
  // one and a half stop bits exist only there, and two not at all.
  if (s.stopBits == 1) return s.dataBits == 5;
  return s.stopBits != 2 || s.dataBits != 5;
}

bool ApplySerialSettings(int fd, const SerialSettings& s) {
  if (!ValidSerialSettings(s)) return false;
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;

  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                      IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= CLOCAL | CREAD | speedCode(s.baud);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[s.dataBits - 5];
  switch (s.parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (s.parity != 0) t.c_iflag |= INPCK;
  if (s.stopBits != 0) t.c_cflag |= CSTOPB;
  t.c_ispeed = static_cast<speed_t>(s.baud);
  t.c_ospeed = static_cast<speed_t>(s.baud);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace tavrix
