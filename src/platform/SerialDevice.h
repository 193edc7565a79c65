#pragma once
// A thin POSIX termios layer for a serial device: raw 8-bit line, no flow control,
// modem lines and break through their ioctls, queue counts through FIONREAD/TIOCOUTQ.
// Not thread-safe by itself; its owner serialises the calls.
#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/LineTransport.h"

// Fills the line fields of t for a raw line without flow control. Returns false when
// the baud rate has no termios speed (the speed is then left as it was).
bool ApplyLineSettings(termios& t, const SerialLineSettings& s);
// The termios speed constant for a baud rate, or B0 when there is none.
speed_t BaudToSpeed(std::uint32_t baud);
// Any rate, through the kernel's arbitrary-rate interface; false when refused.
bool SetLineSpeed(int fd, std::uint32_t baud);
// The output speed the line really runs at, in bits per second; 0 when unknown.
std::uint32_t LineSpeed(int fd);

class SerialDevice final : public LineTransport {
 public:
  SerialDevice() = default;
  ~SerialDevice() override { Close(); }
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens for reading and writing, not as controlling terminal, not shared with
  // another process that opened it the same way. False when it cannot be opened or
  // is no terminal (a plain file would take the commands as text); Error() says why.
  // A symbolic link (a by-id name) is followed afresh at every open.
  bool Open(const std::string& path);
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // Reads the current line settings and writes s over them; false when either fails
  // (the line then keeps what it had). A baud rate the device does not take, or runs
  // more than 3 % off, also gives false, with the reason in rateRefused.
  bool Configure(const SerialLineSettings& s, std::string* rateRefused = nullptr) override;
  // What the last failing Open or Configure met, as text.
  const std::string& Error() const { return error_; }
  // True when the device has gone away: a read, write or queue query met EIO, ENXIO
  // or ENODEV, the line was hung up, or the node at the path is gone or another
  // device now. why says which. The descriptor stays open until Close.
  bool Lost(std::string& why) override;

  // Modem lines and break; false when the device refuses (pseudo-terminals do).
  bool SetDtr(bool on) override;
  bool SetRts(bool on) override;
  bool SetBreak(bool on) override;

  // Bytes waiting to be read / still to be sent; 0 when closed or unknown.
  int InQueue() override;
  int OutQueue() override;
  // Reads up to size bytes that are already waiting; never blocks. Returns the count (0 if none).
  std::size_t ReadAvailable(char* buffer, std::size_t size) override;
  // Writes all bytes, waiting at most timeoutMs in all, and giving up sooner when for
  // stallMs (when given) the line took no byte and its output queue did not shrink, or
  // when the owner's waiting count says another thread wants the line.
  // Returns the number of bytes written.
  std::size_t WriteAll(const char* data, std::size_t size, int timeoutMs, int stallMs = -1) override;

 private:
  bool ModemLine(int bit, bool on);
  void NoteError(int error) const;
  int fd_ = -1;
  std::string path_;
  std::string error_;
  mutable int lostErrno_ = 0;
};
