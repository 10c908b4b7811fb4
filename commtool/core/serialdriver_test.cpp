// What the user sees when a driver takes, changes or refuses the line
// settings. The drivers are played in memory; the port is a pseudo-terminal.

#include <asm/termbits.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "commtool/core/serialchannel.h"
#include "commtool/core/testsupport.h"

namespace tavrix {
namespace {

// Keeps what it is given after `alter` had its say; alter answers false to refuse.
class PlayedDriver : public SerialDriver {
 public:
  explicit PlayedDriver(std::function<bool(DriverTermios&)> alter) : alter_(std::move(alter)) {}
  bool Get(int, DriverTermios& settings) override {
    settings = held_;
    return true;
  }
  bool Set(int, const DriverTermios& settings) override {
    DriverTermios next = settings;
    if (!alter_(next)) return false;
    held_ = next;
    return true;
  }
  DriverTermios held_;

 private:
  std::function<bool(DriverTermios&)> alter_;
};

bool keeps(DriverTermios&) { return true; }

// A UART whose clock reaches at most 115200 baud, and says so only when asked.
bool clipsSpeed(DriverTermios& t) {
  if (t.ospeed > 115200) {
    t.ospeed = t.ispeed = 115200;
    t.cflag = (t.cflag & ~CBAUD) | B115200;
  }
  return true;
}

// A divisor that lands a little off the rate asked for.
bool roundsSpeed(DriverTermios& t) {
  t.ospeed = t.ispeed = t.ospeed - t.ospeed / 400;
  return true;
}

bool refusesParity(DriverTermios& t) { return !(t.cflag & PARENB); }

bool dropsParity(DriverTermios& t) {
  t.cflag &= ~(PARENB | PARODD | CMSPAR);
  return true;
}

bool keepsOnly8Bits(DriverTermios& t) {
  t.cflag = (t.cflag & ~CSIZE) | CS8;
  return true;
}

bool dropsSecondStopBit(DriverTermios& t) {
  t.cflag &= ~CSTOPB;
  return true;
}

constexpr const char* kSettingsMessage = "COM3设置错误：\n可能不支持所选波特率，或停止位，或数据位";

TEST(SerialDriver, WhatTheUserSeesForEachDriverReply) {
  struct Case {
    const char* what;
    bool (*driver)(DriverTermios&);
    SerialSettings asked;
    bool opens;
  };
  const Case cases[] = {
      {"accepted", keeps, {9600, 0, 8, 0}, true},
      {"accepted 256000", keeps, {256000, 0, 8, 0}, true},
      {"speed clipped 128000", clipsSpeed, {128000, 0, 8, 0}, false},
      {"speed clipped 256000", clipsSpeed, {256000, 0, 8, 0}, false},
      {"speed in reach of the clipping driver", clipsSpeed, {115200, 0, 8, 0}, true},
      {"speed rounded by its divisor", roundsSpeed, {256000, 0, 8, 0}, true},
      {"parity refused", refusesParity, {9600, 2, 8, 0}, false},
      {"no parity on a driver that refuses it", refusesParity, {9600, 0, 8, 0}, true},
      {"parity dropped", dropsParity, {9600, 1, 8, 0}, false},
      {"mark parity dropped", dropsParity, {9600, 3, 8, 0}, false},
      {"data size changed", keepsOnly8Bits, {9600, 0, 7, 0}, false},
      {"second stop bit dropped", dropsSecondStopBit, {9600, 0, 8, 2}, false},
  };
  test::PortsFolder ports;
  test::PtyPair pty;
  ports.link(3, pty.slave);
  test::Recorder recorder;
  for (const auto& c : cases) {
    PlayedDriver driver(c.driver);
    CSerialChannel channel(driver);
    const bool opened = channel.Open(recorder.owner(), "", 0, false, 3, c.asked.baud, c.asked.parity,
                                     c.asked.dataBits, c.asked.stopBits, true, true);
    EXPECT_EQ(opened, c.opens) << c.what;
    EXPECT_EQ(channel.IsOpen(), c.opens) << c.what;
    EXPECT_EQ(channel.OpenError(), c.opens ? "" : kSettingsMessage) << c.what;
  }
}

TEST(SerialDriver, EveryListedDataSizeParityAndStopBitsReachTheDriver) {
  test::PortsFolder ports;
  test::PtyPair pty;
  ports.link(3, pty.slave);
  test::Recorder recorder;
  PlayedDriver driver(keeps);
  for (int parity = 0; parity <= 4; ++parity)
    for (int dataBits = 5; dataBits <= 8; ++dataBits)
      for (const int stopBits : {0, 1, 2}) {
        const SerialSettings asked{19200, parity, dataBits, stopBits};
        if (!ValidSerialSettings(asked)) continue;
        CSerialChannel channel(driver);
        ASSERT_TRUE(channel.Open(recorder.owner(), "", 0, false, 3, 19200, parity, dataBits, stopBits, true, true))
            << parity << dataBits << stopBits;
        EXPECT_EQ(DecodeSerialSettings(driver.held_), asked);
        EXPECT_EQ((driver.held_.iflag & INPCK) != 0, parity != 0);  // parity checked exactly when there is one
        EXPECT_EQ(driver.held_.lflag & (ICANON | ECHO | ISIG), 0u);
      }
  // 1.5 stop bits exist only with 5 data bits.
  EXPECT_TRUE(ValidSerialSettings({9600, 0, 5, 1}));
  EXPECT_FALSE(ValidSerialSettings({9600, 0, 8, 1}));
}

}  // namespace
}  // namespace tavrix
