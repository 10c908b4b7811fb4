#pragma once
// Line settings of a serial device. Kept apart because the kernel's termios2
// (any baud rate) cannot share a file with <termios.h>.

#include <cstdint>

namespace tavrix {

struct SerialSettings {
  int baud = 9600;
  int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int dataBits = 8;  // 5 to 8
  int stopBits = 0;  // 0 one, 1 one and a half (only with 5 data bits), 2 two (not with 5)
  bool operator==(const SerialSettings&) const = default;
};

// The kernel's termios2 field by field, so that this header needs neither
// <termios.h> nor <asm/termbits.h>.
struct DriverTermios {
  std::uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
  std::uint8_t line = 0;
  std::uint8_t cc[19] = {};
  std::uint32_t ispeed = 0, ospeed = 0;
};

// The driver's settings calls (TCGETS2 and TCSETS2). A driver may accept
// settings and put others in place (a speed it cannot reach clipped to one it
// can); only reading them back tells.
class SerialDriver {
 public:
  virtual ~SerialDriver() = default;
  virtual bool Get(int fd, DriverTermios& settings) = 0;
  virtual bool Set(int fd, const DriverTermios& settings) = 0;
};
SerialDriver& KernelSerialDriver();

// Whether the settings can be expressed at all.
bool ValidSerialSettings(const SerialSettings& settings);

// What a driver's settings mean as line settings.
SerialSettings DecodeSerialSettings(const DriverTermios& settings);

// Puts the device into raw mode with the settings; false when they are not
// valid, the driver refuses them, or what it put in place differs from them.
bool ApplySerialSettings(int fd, const SerialSettings& settings, SerialDriver& driver = KernelSerialDriver());

}  // namespace tavrix
