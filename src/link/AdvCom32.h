#pragma once
// The serial line to the receiver: raw 8-bit, no flow control, non-waiting reads.
// Port n is /dev/ttyS{n-1}; a non-empty DevicePath overrides it, either with a device
// path or with a serial device server's address (socket://HOST:PORT, rfc2217://HOST:PORT).
// One lock guards every operation that touches the handle, so the user-interface
// thread may re-open the line while the poll thread reads or writes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/LineTransport.h"
#include "platform/NetworkLine.h"
#include "platform/SerialDevice.h"

class T_AdvCom32 {
 public:
  enum class DialogResult { Abort, Retry };
  // Shows a warning with Abort and Retry (only while ShowErrors is on).
  using ErrorDialog = std::function<DialogResult(const std::string& text)>;
  // Shows a plain message (only while ShowErrors is on).
  using ErrorMessage = std::function<void(const std::string& text)>;

  T_AdvCom32();
  ~T_AdvCom32();
  T_AdvCom32(const T_AdvCom32&) = delete;
  T_AdvCom32& operator=(const T_AdvCom32&) = delete;

  // A write gives up when the line has taken nothing for this long.
  static constexpr int WriteStallMs = 1000;

  bool Open();
  void Close();
  bool Write(const std::string& text);
  // How long a write of this many bytes may wait for the line: the time it needs for
  // them and for what still waits in its output queue (up to a serial driver's 4 KB),
  // at its speed and character frame, with a quarter to spare, and a second more. A
  // long text is never cut for its length, only when the line stops taking it, or when
  // another thread wants the line (closing or re-opening it): every call but Write
  // raises the port's waiting count while it waits for the lock, and a waiting write
  // then gives up at its next look, so none of them waits behind a stuck line.
  int WriteBoundMs(std::size_t bytes) const;
  void Read(std::string& text);
  std::string Read();

  int InCount();
  int OutCount();
  bool Opened() const;
  // Recovery of a line whose device went away (an adapter pulled, a pseudo-terminal
  // closed). LostCheck: when the open line's device is gone, closes it and gives
  // true once, with the reason in why. RetryOpen: opens the configured device again,
  // never with a dialog; true when the line is open afterwards (also when something
  // else opened it meanwhile). Both hold the line's lock, so a re-open from the
  // parameters dialog runs wholly before or after them; only RetryOpen's wait for a
  // network connection (at most NetworkLine::ConnectTimeoutMs) is made without it.
  // A network address opens without waiting: Open is true while it connects, and a
  // refused connection shows up through LostCheck.
  bool LostCheck(std::string& why);
  bool RetryOpen();
  // Successful opens since construction (each re-open counts).
  int OpenCount() const { return openCount_.load(); }

  int Port() const { return port_; }
  void SetPort(int port);
  std::uint32_t Baud() const { return baud_; }
  void SetBaud(std::uint32_t baud);
  char Parity() const { return parity_; }
  void SetParity(char parity);
  std::uint8_t Databits() const { return databits_; }
  void SetDatabits(std::uint8_t bits);
  std::uint8_t Stopbits() const { return stopbits_; }
  void SetStopbits(std::uint8_t bits);
  bool Dtr() const { return dtr_; }
  void SetDtr(bool on);
  bool Rts() const { return rts_; }
  void SetRts(bool on);
  bool Break() const { return break_; }
  void SetBreak(bool on);

  // A device path that overrides Port (USB adapters, pseudo-terminals); empty = use Port.
  const std::string& DevicePath() const { return devicePath_; }
  void SetDevicePath(const std::string& path);
  // The device Open will use.
  std::string DeviceName() const;
  // True when that is a serial device server's network address.
  bool IsNetworkLine() const;
  // How network addresses are looked up (tests replace the name server).
  void SetResolver(NameResolver resolver);

  // Non-empty selects the waiting read: Read collects until this text arrives or
  // ResponseTime (ms) runs out. The program never uses it; it keeps EndOfResponse empty.
  const std::string& EndOfResponse() const { return endOfResponse_; }
  void SetEndOfResponse(const std::string& s) { endOfResponse_ = s; }
  int ResponseTime() const { return responseTime_; }
  void SetResponseTime(int ms) { responseTime_ = ms; }
  // Called by the waiting read when ResponseTime runs out.
  void DoTimeout();
  bool TimedOut() const { return timedOut_; }
  bool ShowErrors() const { return showErrors_; }
  void SetShowErrors(bool on) { showErrors_ = on; }
  bool InUse() const { return inUse_; }
  // Stored only: the line is always opened without flow control.
  bool HwInFlow() const { return hwInFlow_; }
  void SetHwInFlow(bool on) { hwInFlow_ = on; }
  bool HwOutFlow() const { return hwOutFlow_; }
  void SetHwOutFlow(bool on) { hwOutFlow_ = on; }

  // Receives the reason when Open fails for a reason the user must know (a baud rate
  // the device refuses), once per reason until an Open succeeds. For the debug trace.
  void SetFailureReport(std::function<void(const std::string&)> report) { failureReport_ = std::move(report); }

  void SetErrorDialog(ErrorDialog dialog) { errorDialog_ = std::move(dialog); }
  void SetErrorMessage(ErrorMessage message) { errorMessage_ = std::move(message); }
  std::function<void(T_AdvCom32&)> OnTimeout;

 private:
  bool OpenLocked(std::unique_lock<std::recursive_mutex>& held, bool mayAsk = true);
  void CloseLocked();
  void ReopenIfOpen();
  void ReadQueuedLocked(std::string& text);
  void WaitingRead(std::string& text);
  void ShowMessage(const std::string& text);
  void Report(const std::string& text);
  bool IsOpenLocked() const { return device_ && device_->IsOpen(); }
  std::unique_lock<std::recursive_mutex> LockPromptly() const;

  mutable std::recursive_mutex lock_;
  mutable std::atomic<int> waiters_{0};
  std::shared_ptr<RememberedAddress> remembered_ = std::make_shared<RememberedAddress>();
  std::shared_ptr<LineTransport> device_;
  NameResolver resolver_ = ResolveName;
  std::atomic<int> openCount_{0};
  mutable std::mutex nameLock_;  // port_ and devicePath_ change under both locks
  int port_ = 1;
  std::uint32_t baud_ = 9600;
  char parity_ = 'N';
  std::uint8_t databits_ = 8;
  std::uint8_t stopbits_ = 1;
  bool rts_ = false, dtr_ = false, break_ = false;
  std::string devicePath_;
  std::string endOfResponse_;
  int responseTime_ = 1000;
  std::atomic<bool> timedOut_{false};
  std::atomic<bool> showErrors_{false};
  std::atomic<bool> inUse_{false};
  bool hwInFlow_ = false, hwOutFlow_ = false;
  ErrorDialog errorDialog_;
  ErrorMessage errorMessage_;
  std::function<void(const std::string&)> failureReport_;
  std::string reported_;
};
