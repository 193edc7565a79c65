#include "link/AdvCom32.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <thread>

#include "platform/DeviceAddress.h"
#include "platform/SerialDevice.h"

namespace {
// What a write may wait beyond the time its bytes need on the line.
constexpr int WriteSlackMs = 1000;
// Unsent bytes that may lengthen a write: about what a serial driver's output queue
// holds. A socket's count can reach megabytes against a peer that stopped reading.
constexpr int MaxQueuedCounted = 4096;
}  // namespace

std::unique_lock<std::recursive_mutex> T_AdvCom32::LockPromptly() const {
  ++waiters_;
  std::unique_lock<std::recursive_mutex> held(lock_);
  --waiters_;
  return held;
}

T_AdvCom32::T_AdvCom32() = default;

T_AdvCom32::~T_AdvCom32() { Close(); }

// The name has a lock of its own: the window title asks for it at every refresh
// tick, and must neither wait behind a slow write nor cut one short.
std::string T_AdvCom32::DeviceName() const {
  std::lock_guard<std::mutex> guard(nameLock_);
  if (!devicePath_.empty()) return devicePath_;
  return "/dev/ttyS" + std::to_string(port_ - 1);
}

bool T_AdvCom32::IsNetworkLine() const {
  DeviceAddress address;
  std::string why;
  return ParseDeviceAddress(DeviceName(), address, why) && address.kind != DeviceAddress::Kind::Path;
}

bool T_AdvCom32::Open() {
  auto held = LockPromptly();
  return OpenLocked(held);
}

void T_AdvCom32::SetResolver(NameResolver resolver) {
  const auto guard = LockPromptly();
  resolver_ = std::move(resolver);
  remembered_ = std::make_shared<RememberedAddress>();
}

bool T_AdvCom32::OpenLocked(std::unique_lock<std::recursive_mutex>& held, bool mayAsk) {
  CloseLocked();
  DeviceAddress address;
  std::string malformed;
  if (!ParseDeviceAddress(DeviceName(), address, malformed)) {
    Report("Serial port " + ShortAddress(DeviceName()) + " not opened: " + malformed);
    return false;
  }
  for (;;) {
    if (address.kind != DeviceAddress::Kind::Path) {
      auto line = std::make_shared<NetworkLine>(address, resolver_, remembered_);
      line->SetWaiters(&waiters_);
      line->Open();
      device_ = std::move(line);
      break;
    }
    auto serial = std::make_shared<SerialDevice>();
    if (serial->Open(address.path)) {
      serial->SetWaiters(&waiters_);
      device_ = std::move(serial);
      break;
    }
    if (!mayAsk || !showErrors_.load() || !errorDialog_) return false;
    const std::string text = devicePath_.empty() ? "Error opening COM" + std::to_string(port_) + ": "
                                                 : "Error opening " + devicePath_ + ": ";
    // The dialog waits for the user; let the other thread's reads and writes go on meanwhile.
    held.unlock();
    const DialogResult answer = errorDialog_(text);
    held.lock();
    if (answer != DialogResult::Retry) return false;
    CloseLocked();
  }
  SerialLineSettings settings;
  settings.baud = baud_;
  settings.databits = databits_;
  settings.parity = parity_;
  settings.stopbits = stopbits_;
  std::string refused;
  // A device that keeps its own settings (or refuses the modem lines) is still used;
  // one that would run at another baud rate than asked is not, the answers would be noise.
  if (device_->Configure(settings, &refused)) {
    device_->SetDtr(dtr_);
    device_->SetRts(rts_);
  } else if (!refused.empty()) {
    CloseLocked();
    Report("Serial port " + DeviceName() + " not opened: " + refused);
    return false;
  }
  ++openCount_;
  reported_.clear();
  return IsOpenLocked();
}

void T_AdvCom32::Report(const std::string& text) {
  // Said once: a retry meeting the same refusal again stays quiet.
  if (text == reported_) return;
  reported_ = text;
  if (failureReport_) failureReport_(text);
}

bool T_AdvCom32::LostCheck(std::string& why) {
  const auto guard = LockPromptly();
  if (!IsOpenLocked() || !device_->Lost(why)) return false;
  CloseLocked();
  return true;
}

bool T_AdvCom32::RetryOpen() {
  std::shared_ptr<LineTransport> opened;
  {
    auto held = LockPromptly();
    if (IsOpenLocked()) return true;
    if (!OpenLocked(held, false)) return false;
    opened = device_;
  }
  // A connection under way is waited for here, on the poll thread, without the lock:
  // the parameters dialog may close or re-open the line meanwhile.
  opened->WaitOpened(NetworkLine::ConnectTimeoutMs + 200);
  const auto guard = LockPromptly();
  if (device_ != opened) return IsOpenLocked();
  std::string why;
  if (device_->Lost(why)) {  // refused, or nobody there: tried again later, silently
    CloseLocked();
    return false;
  }
  return true;
}

void T_AdvCom32::Close() {
  const auto guard = LockPromptly();
  CloseLocked();
}

void T_AdvCom32::CloseLocked() {
  if (device_) device_->Close();
  device_.reset();
}

bool T_AdvCom32::Opened() const {
  const auto guard = LockPromptly();
  return IsOpenLocked();
}

bool T_AdvCom32::Write(const std::string& text) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!IsOpenLocked()) return false;
  if (text.empty()) return true;
  return device_->WriteAll(text.data(), text.size(), WriteBoundMs(text.size()), WriteStallMs) == text.size();
}

int T_AdvCom32::WriteBoundMs(std::size_t bytes) const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const int parityBits = parity_ == 'E' || parity_ == 'O' ? 1 : 0;
  const int frameBits = 1 + databits_ + parityBits + (stopbits_ == 2 ? 2 : 1);
  const double queued =
      static_cast<double>(bytes) + (IsOpenLocked() ? std::min(device_->OutQueue(), MaxQueuedCounted) : 0);
  const double lineMs = queued * frameBits * 1000.0 / std::max<std::uint32_t>(baud_, 50);
  return static_cast<int>(std::min<double>(INT_MAX, WriteSlackMs + 1.25 * lineMs));
}

int T_AdvCom32::InCount() {
  const auto guard = LockPromptly();
  return IsOpenLocked() ? device_->InQueue() : 0;
}

int T_AdvCom32::OutCount() {
  const auto guard = LockPromptly();
  return IsOpenLocked() ? device_->OutQueue() : 0;
}

std::string T_AdvCom32::Read() {
  std::string text;
  Read(text);
  return text;
}

void T_AdvCom32::Read(std::string& text) {
  text.clear();
  if (inUse_.exchange(true)) {
    ShowMessage("Port is in use -- operation aborted");
    return;
  }
  if (endOfResponse_.empty()) {
    const auto guard = LockPromptly();
    ReadQueuedLocked(text);
  } else {
    WaitingRead(text);
  }
  inUse_ = false;
}

void T_AdvCom32::ReadQueuedLocked(std::string& text) {
  if (!IsOpenLocked()) return;
  const int n = device_->InQueue();
  if (n <= 0) return;
  text.resize(static_cast<std::size_t>(n));
  text.resize(device_->ReadAvailable(text.data(), text.size()));
}

// Collects until EndOfResponse arrives or ResponseTime runs out. The lock is taken per
// chunk, not across the pauses, so a re-open from the other thread is never held up.
void T_AdvCom32::WaitingRead(std::string& text) {
  using SteadyClock = std::chrono::steady_clock;
  for (;;) {
    timedOut_ = false;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(responseTime_);
    for (;;) {
      std::string chunk;
      {
        const auto guard = LockPromptly();
        ReadQueuedLocked(chunk);
      }
      text += chunk;
      if (text.find(endOfResponse_) != std::string::npos) return;
      if (SteadyClock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    DoTimeout();
    if (!showErrors_.load() || !errorDialog_) return;
    if (errorDialog_("Timeout waiting for response.") != DialogResult::Retry) return;
  }
}

void T_AdvCom32::DoTimeout() {
  timedOut_ = true;
  if (OnTimeout) OnTimeout(*this);
}

void T_AdvCom32::ShowMessage(const std::string& text) {
  if (showErrors_.load() && errorMessage_) errorMessage_(text);
}

void T_AdvCom32::ReopenIfOpen() {
  auto held = LockPromptly();
  if (IsOpenLocked()) OpenLocked(held);
}

void T_AdvCom32::SetPort(int port) {
  const auto guard = LockPromptly();
  if (port == port_) return;
  {
    std::lock_guard<std::mutex> name(nameLock_);
    port_ = port;
  }
  ReopenIfOpen();
}

void T_AdvCom32::SetBaud(std::uint32_t baud) {
  const auto guard = LockPromptly();
  if (baud == baud_) return;
  baud_ = baud;
  ReopenIfOpen();
}

void T_AdvCom32::SetParity(char parity) {
  parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parity)));
  const auto guard = LockPromptly();
  if (parity == parity_) return;
  parity_ = parity;
  ReopenIfOpen();
}

void T_AdvCom32::SetDatabits(std::uint8_t bits) {
  const auto guard = LockPromptly();
  if (bits == databits_) return;
  databits_ = bits;
  ReopenIfOpen();
}

void T_AdvCom32::SetStopbits(std::uint8_t bits) {
  const auto guard = LockPromptly();
  if (bits == stopbits_) return;
  stopbits_ = bits;
  ReopenIfOpen();
}

void T_AdvCom32::SetDevicePath(const std::string& path) {
  const auto guard = LockPromptly();
  if (path == devicePath_) return;
  {
    std::lock_guard<std::mutex> name(nameLock_);
    devicePath_ = path;
  }
  remembered_ = std::make_shared<RememberedAddress>();  // another host, other addresses
  ReopenIfOpen();
}

void T_AdvCom32::SetDtr(bool on) {
  const auto guard = LockPromptly();
  dtr_ = on;
  if (IsOpenLocked()) device_->SetDtr(on);
}

void T_AdvCom32::SetRts(bool on) {
  const auto guard = LockPromptly();
  rts_ = on;
  if (IsOpenLocked()) device_->SetRts(on);
}

void T_AdvCom32::SetBreak(bool on) {
  const auto guard = LockPromptly();
  break_ = on;
  if (IsOpenLocked()) device_->SetBreak(on);
}
