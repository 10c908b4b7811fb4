#pragma once
// A serial port (termios): COMn opened exclusively, its settings read back
// from the driver, a reader thread that hands received bursts to the owner,
// and a writer thread that puts every frame on the line whole while the
// window goes on.

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "commtool/core/channel.h"
#include "commtool/core/fd.h"
#include "commtool/core/framewriter.h"
#include "commtool/core/serialconfig.h"

namespace tavrix {

// The time-outs of a port in ms. A read interval gathers the bytes of one
// burst into one delivery. Frames are never cut, so the write totals are kept
// and not used.
struct CommTimeouts {
  int ReadIntervalTimeout = 20;
  int ReadTotalTimeoutMultiplier = 0;
  int ReadTotalTimeoutConstant = 0;
  int WriteTotalTimeoutMultiplier = 0;
  int WriteTotalTimeoutConstant = 0;
};

class CSerialChannel : public CCommChannel {
 public:
  static constexpr int kReadChunk = 8192;

  explicit CSerialChannel(SerialDriver& driver = KernelSerialDriver()) : driver_(driver) {}
  ~CSerialChannel() override;

  bool IsOpen() const override { return static_cast<bool>(handle_); }
  bool Close() override;
  bool Open(Mailbox* owner, const std::string& address, int protocol, bool client, int port, int baud, int parity,
            int dataBits, int stopBits, bool configure, bool startReader) override;
  // Queues the bytes as one frame for the writer: count when queued, 0 when
  // the port is closed or the queue is full. The owner hears of the frame
  // (Sent) once it is on the line whole or the line failed.
  int Write(const std::uint8_t* bytes, int count) override;
  // Whether a frame is still waiting or going out.
  bool Sending() const { return writer_.Busy(); }

  bool SetDTR(bool on);
  bool SetRTS(bool on);
  bool SetBreak(bool on);
  bool SetTimeouts(const CommTimeouts& timeouts);
  bool SetQueues(int inSize, int outSize);

  int PortNo() const { return portNo_; }
  int BaudRate() const { return settings_.baud; }
  int Parity() const { return settings_.parity; }
  int StopBits() const { return settings_.stopBits; }
  int ByteSize() const { return settings_.dataBits; }
  int ReadInterval() const { return readInterval_.load(); }
  bool ReaderRunning() const { return readerRunning_.load(); }

 private:
  bool fail(std::string message);
  bool startReader();
  void readerLoop();
  int readBurst(std::uint8_t* buffer, int first);
  ssize_t readSome(int fd, std::uint8_t* buffer, std::size_t size);
  bool startWriter();
  bool setModemLine(int line, bool on);

  SerialDriver& driver_;
  UniqueFd handle_;
  FrameWriter writer_;
  UniqueFd stopEvent_;   // eventfd: Close wakes the reader and the writer
  std::mutex lineMutex_;  // around each read, and each write with its report (FrameWriter)
  std::thread readerThread_;
  std::atomic<bool> readerRunning_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<int> readInterval_{20};
  int portNo_ = 0;
  SerialSettings settings_;
  CommTimeouts timeouts_;
};

}  // namespace tavrix
