#pragma once
// A simulated receiver on a pseudo-terminal: it creates the pair, serves the master
// side on its own thread and leaves the slave path for the program (or a test) to open
// like any serial device. Output is paced at the configured baud rate; fault modes make
// it misbehave the way real lines do.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "receiver_sim/ScpiReceiver.h"
#include "receiver_sim/SimControl.h"

enum class SimFault {
  None,
  Silent,      // reads commands, never answers
  NoPrompt,    // answers, but never prints a prompt
  Chatter,     // talks continuously (time-code lines) and never prompts
  Garbage,     // sends random bytes 0 to 255 continuously, as at a wrong baud rate
  Trickle,     // answers one character every TrickleMs
  Disconnect,  // answers DisconnectAfter commands, then the device goes away
};

// "none", "silent", "noprompt" (or "no-prompt"), "chatter", "garbage", "trickle", "disconnect".
bool ParseFault(const std::string& name, SimFault& fault);
const char* FaultName(SimFault fault);

struct SimOptions {
  SimFamily family = SimFamily::Z3801;
  bool echo = false;
  // Output pacing in bits per second (10 bits per character); 0 sends at once.
  std::uint32_t baud = 9600;
  SimFault fault = SimFault::None;
  int disconnectAfter = 3;
  int trickleMs = 250;
  std::uint32_t seed = 1;
  // The receiver's clock (UTC); null uses the system clock. Must outlive the simulator.
  Clock* clock = nullptr;
  ModelTimings timings;
  // Starts with continuous time-code output on, as Z3805 and Z3815 units do until told
  // "PTIM:TCOD:CONT 0": a time code line every second, between the answers.
  bool continuousTimeCode = false;
  // Writes every command line received to standard error.
  bool logCommands = false;
  // A fixed path for the device, as a symbolic link to the pseudo-terminal that goes
  // with the line and comes back with the next Start (like a USB adapter's by-id name).
  std::string linkPath;
  // A file whose first word sets the receiver's state while it runs ("locked",
  // "holdover", "unlocked", "silent", "auto"); read before every answer when it changed.
  std::string controlPath;
};

class ReceiverSim {
 public:
  explicit ReceiverSim(SimOptions options = {});
  ~ReceiverSim();
  ReceiverSim(const ReceiverSim&) = delete;
  ReceiverSim& operator=(const ReceiverSim&) = delete;

  // Creates the pseudo-terminal and starts serving it; false when no pair can be had.
  bool Start();
  // Stops serving and closes both sides. Safe to call twice.
  void Stop();
  // The device path a serial port opens, e.g. /dev/pts/5; empty before Start.
  std::string SlavePath() const { return slavePath_; }
  // The link path when one is set, otherwise the slave path.
  std::string DevicePath() const { return options_.linkPath.empty() ? slavePath_ : options_.linkPath; }
  bool Running() const { return running_.load(); }
  // True once the "disconnect" fault has closed the line.
  bool Disconnected() const { return disconnected_.load(); }

  // Changes taking effect with the next command (or at once for the output modes).
  void SetFault(SimFault fault);
  // Answers as another family from the next command on (a different unit plugged in).
  void SetFamily(SimFamily family);
  void SetEcho(bool on);
  void SetAnswer(const std::string& command, const std::string& answer);
  void ClearAnswers();

  // The command lines received so far (the latest 1000), and their total count.
  std::vector<std::string> ReceivedCommands() const;
  int CommandCount() const { return commandCount_.load(); }
  // Every byte received so far, as it came (the latest 64 KiB), and the total count.
  std::string RawInput() const;
  std::uint64_t RawInputCount() const { return rawInputCount_.load(); }
  // The simulated SmartClock mode, for tests that compare it with the answers.
  SmartClockMode Mode() const;
  // The state last taken from the control file (Auto without one).
  SimControlState ControlState() const;

 private:
  void Serve();
  void OnInput(const char* data, std::size_t size);
  void OnLine(const std::string& line);
  void Produce();
  void Flush();
  void CloseLine();
  TDateTime Now();
  // Reads the control file when it changed and applies its state; mutex_ held.
  void ApplyControl();

  SimOptions options_;
  SystemClock systemClock_;
  Clock* clock_;
  mutable std::mutex mutex_;  // guards receiver_, fault_, output_, received_, rawInput_
  ScpiReceiver receiver_;
  SimFault fault_;
  std::string output_;  // waiting to be sent
  std::size_t outputPos_ = 0;
  std::string line_;
  bool lineTooLong_ = false;
  std::vector<std::string> received_;
  std::atomic<int> commandCount_{0};
  std::string rawInput_;
  std::atomic<std::uint64_t> rawInputCount_{0};
  std::uint64_t noiseState_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> disconnected_{false};
  bool disconnectPending_ = false;
  std::int64_t disconnectSinceUs_ = 0;
  long long lastTimeCodeSecond_ = -1;
  // Pacing: bytes sent since pacingStart_, the moment the queue last became busy.
  std::uint64_t pacedBytes_ = 0;
  std::int64_t pacingStartUs_ = 0;
  std::int64_t lastTrickleUs_ = 0;
  ControlFile control_;
  SimControlState controlState_ = SimControlState::Auto;
  std::int64_t lastControlCheckUs_ = 0;
};
