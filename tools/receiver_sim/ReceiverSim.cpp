#include "receiver_sim/ReceiverSim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/PseudoTerminal.h"

namespace {

// A command line longer than this is thrown away (and answered with an error).
constexpr std::size_t MaxLineLength = 4096;
// What may wait to be sent; beyond it the oldest output is dropped.
constexpr std::size_t MaxPendingOutput = 1 << 20;
// Continuous output is topped up only while less than this is waiting.
constexpr std::size_t ChatterLowWater = 256;
constexpr std::size_t MaxReceivedKept = 1000;
// Continuous faults without a baud rate still send at a bounded rate.
constexpr std::uint32_t UnpacedFaultBaud = 500000;

std::int64_t SteadyMicroseconds() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::uint64_t NextNoise(std::uint64_t& state) {
  state += 0x9E3779B97F4A7C15ull;
  std::uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

bool ParseFault(const std::string& name, SimFault& fault) {
  std::string n;
  for (char c : name)
    if (c != '-' && c != '_') n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::pair<const char*, SimFault> names[] = {
      {"none", SimFault::None},
      {"silent", SimFault::Silent},
      {"noprompt", SimFault::NoPrompt},
      {"chatter", SimFault::Chatter},
      {"garbage", SimFault::Garbage},
      {"trickle", SimFault::Trickle},
      {"disconnect", SimFault::Disconnect},
  };
  for (const auto& [text, value] : names) {
    if (n == text) {
      fault = value;
      return true;
    }
  }
  return false;
}

const char* FaultName(SimFault fault) {
  switch (fault) {
    case SimFault::None:
      return "none";
    case SimFault::Silent:
      return "silent";
    case SimFault::NoPrompt:
      return "noprompt";
    case SimFault::Chatter:
      return "chatter";
    case SimFault::Garbage:
      return "garbage";
    case SimFault::Trickle:
      return "trickle";
    case SimFault::Disconnect:
      return "disconnect";
  }
  return "none";
}

ReceiverSim::ReceiverSim(SimOptions options)
    : options_(options),
      clock_(options.clock ? options.clock : &systemClock_),
      receiver_(options.family, options.seed, options.timings),
      fault_(options.fault),
      noiseState_(options.seed * 0x2545F4914F6CDD1Dull + 1),
      control_(options.controlPath) {
  receiver_.SetEcho(options.echo);
  receiver_.SetContinuousTimeCode(options.continuousTimeCode);
}

ReceiverSim::~ReceiverSim() { Stop(); }

bool ReceiverSim::Start() {
  if (running_) return true;
  // The receiver side keeps a slave descriptor of its own, so the master stays usable
  // while the program closes and re-opens the device.
  if (!OpenRawPseudoTerminal(master_, slave_, slavePath_)) return false;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  if (!options_.linkPath.empty()) {
    unlink(options_.linkPath.c_str());
    if (symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0) {
      CloseLine();
      return false;
    }
  }
  stop_ = false;
  disconnected_ = false;
  disconnectPending_ = false;
  disconnectSinceUs_ = 0;
  running_ = true;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void ReceiverSim::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  CloseLine();
  running_ = false;
}

void ReceiverSim::CloseLine() {
  // The device node goes with the line.
  if (!options_.linkPath.empty() && (master_ >= 0 || slave_ >= 0)) unlink(options_.linkPath.c_str());
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void ReceiverSim::SetFault(SimFault fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  fault_ = fault;
}

void ReceiverSim::SetFamily(SimFamily family) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool echo = receiver_.Echo();
  receiver_ = ScpiReceiver(family, options_.seed, options_.timings);
  receiver_.SetEcho(echo);
  // The new unit is held in the same state as the old one.
  const SimControlState held = controlState_;
  controlState_ = SimControlState::Auto;
  control_ = ControlFile(options_.controlPath);
  if (held != SimControlState::Auto) ApplyControl();
}

void ReceiverSim::SetEcho(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  receiver_.SetEcho(on);
}

void ReceiverSim::SetAnswer(const std::string& command, const std::string& answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  receiver_.SetAnswer(command, answer);
}

void ReceiverSim::ClearAnswers() {
  std::lock_guard<std::mutex> lock(mutex_);
  receiver_.ClearAnswers();
}

std::vector<std::string> ReceiverSim::ReceivedCommands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

SmartClockMode ReceiverSim::Mode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return receiver_.Model().Mode();
}

SimControlState ReceiverSim::ControlState() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controlState_;
}

TDateTime ReceiverSim::Now() { return clock_->UtcNow(); }

void ReceiverSim::ApplyControl() {
  const SimControlState state = control_.Current();
  if (state == controlState_) return;
  controlState_ = state;
  switch (state) {
    case SimControlState::Auto:
    case SimControlState::Silent:
      // A cut line leaves the receiver running on its own behind it.
      receiver_.Model().HoldMode(std::nullopt);
      break;
    case SimControlState::Locked:
      receiver_.Model().HoldMode(SmartClockMode::Locked);
      break;
    case SimControlState::Holdover:
      receiver_.Model().HoldMode(SmartClockMode::Holdover);
      break;
    case SimControlState::Unlocked:
      receiver_.Model().HoldMode(SmartClockMode::Recovery);
      break;
  }
  if (state == SimControlState::Silent) {
    output_.clear();
    outputPos_ = 0;
  }
  if (options_.logCommands)
    std::fprintf(stderr, "varnex-receiver-sim: state %s from %s\n", ControlStateName(state), control_.Path().c_str());
}

void ReceiverSim::Serve() {
  char buffer[4096];
  while (!stop_) {
    int timeoutMs = 20;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (outputPos_ < output_.size() || fault_ == SimFault::Chatter || fault_ == SimFault::Garbage) timeoutMs = 1;
    }
    pollfd p{master_, POLLIN, 0};
    const int ready = poll(&p, 1, timeoutMs);
    if (ready > 0 && (p.revents & POLLIN)) {
      const ssize_t n = read(master_, buffer, sizeof buffer);
      // A line about to go away takes no more commands.
      bool closing;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        closing = disconnectPending_;
      }
      if (n > 0 && !closing) OnInput(buffer, static_cast<std::size_t>(n));
    }
    if (!options_.controlPath.empty()) {
      // Also between commands, so a cut line stops the time codes too.
      const std::int64_t nowUs = SteadyMicroseconds();
      if (nowUs - lastControlCheckUs_ > 100000) {
        lastControlCheckUs_ = nowUs;
        std::lock_guard<std::mutex> lock(mutex_);
        ApplyControl();
      }
    }
    Produce();
    Flush();
    if (disconnected_) break;
  }
}

std::string ReceiverSim::RawInput() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rawInput_;
}

void ReceiverSim::OnInput(const char* data, std::size_t size) {
  {
    constexpr std::size_t RawInputKept = 64 * 1024;
    std::lock_guard<std::mutex> lock(mutex_);
    rawInput_.append(data, size);
    if (rawInput_.size() > RawInputKept) rawInput_.erase(0, rawInput_.size() - RawInputKept);
    rawInputCount_ += size;
  }
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n') continue;
    if (c != '\r') {
      if (line_.size() < MaxLineLength)
        line_ += c;
      else
        lineTooLong_ = true;
      continue;
    }
    std::string line;
    line.swap(line_);
    if (lineTooLong_) {
      // Thrown away whole: answered like an empty line, with the error queued.
      lineTooLong_ = false;
      line.clear();
      std::lock_guard<std::mutex> lock(mutex_);
      receiver_.PushError(-112, "Program mnemonic too long");
    }
    OnLine(line);
  }
}

void ReceiverSim::OnLine(const std::string& line) {
  const TDateTime now = Now();
  std::lock_guard<std::mutex> lock(mutex_);
  received_.push_back(line);
  if (options_.logCommands) std::fprintf(stderr, "varnex-receiver-sim: received \"%s\"\n", line.c_str());
  if (received_.size() > MaxReceivedKept) received_.erase(received_.begin(), received_.begin() + MaxReceivedKept / 2);
  const int count = ++commandCount_;
  ApplyControl();
  // The receiver behind a cut line hears nothing.
  if (controlState_ == SimControlState::Silent) return;
  switch (fault_) {
    case SimFault::Silent:
    case SimFault::Garbage:
      receiver_.HandleLine(line, now, false);  // the receiver still acts on it
      return;
    case SimFault::NoPrompt:
    case SimFault::Chatter:
      output_ += receiver_.HandleLine(line, now, false);
      break;
    case SimFault::Disconnect:
      output_ += receiver_.HandleLine(line, now, true);
      if (count >= options_.disconnectAfter) disconnectPending_ = true;
      break;
    case SimFault::None:
    case SimFault::Trickle:
      output_ += receiver_.HandleLine(line, now, true);
      break;
  }
}

// Continuous output: time codes once a second when switched on, and the chatter and
// garbage faults.
void ReceiverSim::Produce() {
  const TDateTime now = Now();
  std::lock_guard<std::mutex> lock(mutex_);
  if (controlState_ == SimControlState::Silent) return;
  const std::size_t pending = output_.size() - outputPos_;
  if (receiver_.ContinuousTimeCode() || fault_ == SimFault::Chatter) {
    const long long second = static_cast<long long>(std::floor(now * SecondsPerDay));
    const bool due = fault_ == SimFault::Chatter ? pending < ChatterLowWater : second != lastTimeCodeSecond_;
    if (due) {
      lastTimeCodeSecond_ = second;
      output_ += receiver_.TimeCodeLine(now);
    }
  }
  if (fault_ == SimFault::Garbage && pending < ChatterLowWater) {
    for (int i = 0; i < 32; ++i) {
      const std::uint64_t r = NextNoise(noiseState_);
      for (int b = 0; b < 8; ++b) output_ += static_cast<char>((r >> (8 * b)) & 0xFF);
    }
  }
}

void ReceiverSim::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (outputPos_ >= output_.size()) {
    output_.clear();
    outputPos_ = 0;
    pacingStartUs_ = 0;
    if (disconnectPending_) {
      // Go away only once the program has read the last answer (a hang-up discards what
      // it has not read yet), or after a while if it never does.
      int unread = 0;
      ioctl(slave_, FIONREAD, &unread);
      const std::int64_t nowUs = SteadyMicroseconds();
      if (disconnectSinceUs_ == 0) disconnectSinceUs_ = nowUs;
      if (unread <= 0 || nowUs - disconnectSinceUs_ > 2000000) {
        disconnectPending_ = false;
        disconnected_ = true;
        CloseLine();
      }
    }
    return;
  }
  if (output_.size() - outputPos_ > MaxPendingOutput) outputPos_ = output_.size() - MaxPendingOutput;

  const std::int64_t nowUs = SteadyMicroseconds();
  std::size_t allowed = output_.size() - outputPos_;
  if (fault_ == SimFault::Trickle) {
    const std::int64_t intervalUs = static_cast<std::int64_t>(std::max(1, options_.trickleMs)) * 1000;
    if (nowUs - lastTrickleUs_ < intervalUs) return;
    lastTrickleUs_ = nowUs;
    allowed = 1;
  } else {
    std::uint32_t baud = options_.baud;
    if (baud == 0 && (fault_ == SimFault::Chatter || fault_ == SimFault::Garbage)) baud = UnpacedFaultBaud;
    if (baud > 0) {
      if (pacingStartUs_ == 0) {
        pacingStartUs_ = nowUs;
        pacedBytes_ = 0;
      }
      // Ten bits per character on the line.
      const std::uint64_t due = static_cast<std::uint64_t>((nowUs - pacingStartUs_) * (baud / 10.0) / 1e6) + 1;
      allowed = due > pacedBytes_ ? std::min<std::uint64_t>(allowed, due - pacedBytes_) : 0;
    }
  }
  if (allowed == 0) return;
  const ssize_t written = write(master_, output_.data() + outputPos_, allowed);
  if (written > 0) {
    outputPos_ += static_cast<std::size_t>(written);
    pacedBytes_ += static_cast<std::uint64_t>(written);
  } else if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    // Nobody can receive it: drop what is waiting rather than pile it up.
    outputPos_ = output_.size();
  }
  if (outputPos_ > (1u << 16)) {
    output_.erase(0, outputPos_);
    outputPos_ = 0;
  }
}
