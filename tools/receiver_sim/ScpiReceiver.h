#pragma once
// The simulated receiver's command interpreter: SCPI headers in short or long form,
// ";"-separated commands on one line, an error queue, the prompt, and the answer
// forms of each family. It knows nothing of the serial line.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include "receiver_sim/ReceiverModel.h"

class ScpiReceiver {
 public:
  ScpiReceiver(SimFamily family, std::uint32_t seed, ModelTimings timings = {});

  // One command line (without its CR) at time now. Returns what the receiver sends
  // back: the echo of the line (when echo is on), the answer line ended by CR LF (when
  // the line held a query), then the prompt (when withPrompt).
  std::string HandleLine(const std::string& line, TDateTime now, bool withPrompt = true);

  // "scpi > ", or "E-113> " style while errors are queued.
  std::string Prompt() const;
  void SetEcho(bool on) { echo_ = on; }
  bool Echo() const { return echo_; }

  // Answer text for a command, used instead of the simulated one. The command is
  // compared without a leading ":", ignoring case and repeated blanks.
  void SetAnswer(const std::string& command, const std::string& answer);
  void ClearAnswers() { overrides_.clear(); }

  // Queues an error (the queue holds 30; more give -350 "Queue overflow").
  void PushError(int code, const std::string& text);
  std::size_t ErrorCount() const { return errors_.size(); }

  // Continuous time-code output (":PTIM:TCOD:CONT 1").
  bool ContinuousTimeCode() const { return continuous_; }
  void SetContinuousTimeCode(bool on) { continuous_ = on; }
  std::string TimeCodeLine(TDateTime now);

  ReceiverModel& Model() { return model_; }
  const ReceiverModel& Model() const { return model_; }

 private:
  enum class Result { Ok, Undefined, BadParameter, MissingParameter };
  Result Execute(const std::string& command, std::string& answer, bool& hasAnswer);
  std::string Number(double value, int decimals) const;
  std::string Count(long long value) const;

  ReceiverModel model_;
  bool echo_ = false;
  bool continuous_ = false;
  bool timeCodeF2_ = false;
  bool ledOn_ = false;
  std::deque<std::pair<int, std::string>> errors_;
  std::map<std::string, std::string> overrides_;
};
