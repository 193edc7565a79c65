#pragma once
// What the serial port component needs of the thing that carries its bytes: a serial
// device, or a connection to a serial device server on the network. Not thread-safe;
// the port serialises every call under its lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct SerialLineSettings {
  std::uint32_t baud = 9600;
  std::uint8_t databits = 8;
  char parity = 'N';          // 'E' even, 'O' odd, anything else none
  std::uint8_t stopbits = 1;  // 2 two stop bits, anything else one
};

class LineTransport {
 public:
  virtual ~LineTransport() = default;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Applies the line settings; false when they cannot be applied (rateRefused then says
  // why when the line must not be used at all).
  virtual bool Configure(const SerialLineSettings& s, std::string* rateRefused) = 0;
  // True when the line has gone away (device unplugged, connection refused, reset or
  // dead); why says which. The line stays open until Close.
  virtual bool Lost(std::string& why) = 0;
  virtual bool SetDtr(bool on) = 0;
  virtual bool SetRts(bool on) = 0;
  virtual bool SetBreak(bool on) = 0;
  // Bytes waiting to be read / still to be sent; 0 when closed or unknown.
  virtual int InQueue() = 0;
  virtual int OutQueue() = 0;
  // Reads up to size bytes that are already waiting; never blocks.
  virtual std::size_t ReadAvailable(char* buffer, std::size_t size) = 0;
  // Writes all bytes, waiting at most timeoutMs, and giving up sooner when for stallMs
  // (when given) the line took nothing, or when another thread waits for the line (see
  // SetWaiters); returns the number written.
  virtual std::size_t WriteAll(const char* data, std::size_t size, int timeoutMs, int stallMs = -1) = 0;
  // A line still being opened (a network connection under way) blocks here, without
  // any lock of the caller's, until it is up or has failed; at most timeoutMs.
  virtual void WaitOpened(int /*timeoutMs*/) {}
  // The owner's count of threads waiting for its lock: while it is above zero, a write
  // that has to wait for the line gives up at its next look, so that closing or
  // re-opening the line never waits behind it.
  void SetWaiters(const std::atomic<int>* waiters) { waiters_ = waiters; }

 protected:
  bool Wanted() const { return waiters_ && waiters_->load() > 0; }

 private:
  const std::atomic<int>* waiters_ = nullptr;
};
