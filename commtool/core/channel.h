#pragma once
// What the windows open, write to and close, whichever kind of channel the
// user chose. Received data, accepted clients, ended connections and the
// outcome of each frame written go to the owner's mailbox; a failed Open
// leaves the text to show in OpenError().

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "commtool/core/mailbox.h"

namespace tavrix {

inline constexpr int kProtocolTcp = 1;
inline constexpr int kProtocolUdp = 2;

class CCommChannel {
 public:
  CCommChannel() = default;
  CCommChannel(const CCommChannel&) = delete;
  CCommChannel& operator=(const CCommChannel&) = delete;
  virtual ~CCommChannel() = default;

  virtual bool IsOpen() const = 0;
  virtual bool Close() = 0;
  // Each kind uses the arguments that concern it: a socket the address,
  // protocol, client and port; a serial port the port (n of COMn), baud
  // rate, parity (0 none, 1 odd, 2 even, 3 mark, 4 space), data bits (5-8)
  // and stop bits (0 one, 1 one and a half, 2 two).
  virtual bool Open(Mailbox* owner, const std::string& address, int protocol, bool client, int port, int baud,
                    int parity, int dataBits, int stopBits, bool configure, bool startReader) = 0;
  // The number of bytes taken: sent, or queued as one frame for the channel's
  // writer (the owner then hears of the frame once it went out). The window
  // never waits on the line.
  virtual int Write(const std::uint8_t* bytes, int count) = 0;

  Mailbox* Owner() const { return owner_.load(); }
  // The message for the user when the last Open failed; empty otherwise.
  const std::string& OpenError() const { return openError_; }
  // Why the last Write took nothing, for the user; empty when it took the bytes.
  const std::string& WriteError() const { return writeError_; }

 protected:
  void setOwner(Mailbox* owner) { owner_.store(owner); }
  void setOpenError(std::string text) { openError_ = std::move(text); }
  void setWriteError(std::string_view text) { writeError_ = std::string(text); }

 private:
  std::atomic<Mailbox*> owner_{nullptr};
  std::string openError_;
  std::string writeError_;
};

}  // namespace tavrix
