#pragma once
// Line settings of a serial device. Kept apart because the kernel's termios2
// (any baud rate) cannot share a file with <termios.h>.

namespace tavrix {

struct SerialSettings {
  int baud = 9600;
  int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int dataBits = 8;  // 5 to 8
  int stopBits = 0;  // 0 one, 1 one and a half (only with 5 data bits), 2 two (not with 5)
};

// Whether the settings can be expressed at all.
bool ValidSerialSettings(const SerialSettings& settings);

// Puts the device into raw mode with the settings; false when they are not
// valid or the device refuses them.
bool ApplySerialSettings(int fd, const SerialSettings& settings);

}  // namespace tavrix
