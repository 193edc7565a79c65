#include "link/ComThread.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

#include "link/AdvCom32.h"
#include "link/LinkEvents.h"
#include "link/LinkPort.h"
#include "link/LinkRules.h"
#include "link/SharedReceiverState.h"
#include "link/TimeHelpers.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

namespace {
constexpr int PlainIdleLimit = 500;    // passes of 10 ms without a new character
constexpr int StatusFirstIdle = 1000;  // before the screen's first character, and after its echo
constexpr int StatusIdleLimit = 100;   // after every chunk of the screen
constexpr int PassMilliseconds = 10;
constexpr const char* StatusCommand = ":SYST:STAT?";
}  // namespace

TComThread::TComThread(SharedReceiverState& state, T_AdvCom32& port, Clock& clock, LinkEvents* events)
    : state_(state),
      ownedPort_(std::make_shared<AdvCom32LinkPort>(port)),
      port_(*ownedPort_),
      clock_(clock),
      events_(events) {}

TComThread::TComThread(SharedReceiverState& state, LinkPort& port, Clock& clock, LinkEvents* events)
    : state_(state), port_(port), clock_(clock), events_(events) {}

TComThread::TComThread(SharedReceiverState& state, std::shared_ptr<LinkPort> port, Clock& clock,
                       std::shared_ptr<LinkEvents> events)
    : state_(state),
      ownedPort_(std::move(port)),
      port_(*ownedPort_),
      clock_(clock),
      ownedEvents_(std::move(events)),
      events_(ownedEvents_.get()) {}

TComThread::~TComThread() {
  RequestStop();
  // Only a thread that has ended may take its object with it; an orphan is detached.
  if (thread_.joinable()) thread_.join();
}

bool TComThread::StopWithin(std::unique_ptr<TComThread> thread, int boundMs) {
  if (!thread) return true;
  thread->RequestStop();
  if (!thread->thread_.joinable()) return true;
  std::unique_lock<std::mutex> lock(thread->doneMutex_);
  if (thread->doneCv_.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return thread->done_; })) {
    lock.unlock();
    thread->thread_.join();
    return true;
  }
  // Still inside a call that does not come back (a device stuck in the driver):
  // the thread keeps its object, and with it the port and the events, until it ends.
  thread->orphan_ = true;
  thread->thread_.detach();
  thread.release();
  return false;
}

void TComThread::Start() {
  if (thread_.joinable()) return;
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void TComThread::RequestStop() { stop_ = true; }

bool TComThread::Join(int timeoutMs) {
  if (!thread_.joinable()) return true;
  std::unique_lock<std::mutex> lock(doneMutex_);
  const bool ended = doneCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; });
  lock.unlock();
  if (ended) thread_.join();
  return ended;
}

void TComThread::Run() {
  try {
    Execute();
  } catch (...) {
    // Nothing may escape the thread; Execute already reports what it can.
  }
  state_.PollBusy = false;
  running_ = false;
  std::unique_lock<std::mutex> lock(doneMutex_);
  done_ = true;
  doneCv_.notify_all();
  if (orphan_) {
    lock.unlock();
    delete this;  // nothing of this object is touched after this line
  }
}

void TComThread::Execute() {
  // Held at the start gate until the debug window exists; a program that closes
  // before that must still be able to end the thread.
  while (!state_.StartGate.load()) {
    if (stop_.load()) return;
    clock_.Sleep(100);
  }
  awaitingAnswer_ = port_.IsOpen() && port_.OpensAtAnswer();
  while (!stop_.load()) {
    ServicePort();
    if (stop_.load()) break;
    if (state_.ManualMode.load()) {
      IsPollTick();  // ticks that pass meanwhile are not made up
      clock_.Sleep(PassMilliseconds);
      if (state_.ManualMode.load()) {
        Guarded("PassManualAnswers", &TComThread::PassManualAnswers);
        tailPasses_ = tailQuietPasses_ = 0;
        Guarded("SendManualCommand", &TComThread::SendManualCommand);
      }
      continue;
    }
    // The window has closed, but its last reply may still be on the way.
    if (tailPasses_ >= 0) {
      Guarded("PassManualAnswers", &TComThread::FollowManualTail);
      continue;
    }
    // The identification at start and after a lost line came back holds the line
    // as a cycle does, so no command typed by hand falls into it.
    if (identifyPending_) {
      if (RunExclusive([this] { Guarded("IdentifyDevice", &TComThread::IdentifyDevice); })) identifyPending_ = false;
      continue;
    }
    if (!IsPollTick()) {
      clock_.Sleep(PassMilliseconds);
      continue;
    }
    RunExclusive([this] {
      switch (state_.DeviceFamily.load()) {
        case FamilyGCRU:
          RunCycle(Cycle::Gcru);
          break;
        case FamilyJackson:
        case FamilyMtron:
          RunCycle(Cycle::Jackson);
          break;
        case FamilyUndefined:
          RunCycle(Cycle::Undefined);
          break;
        default:
          RunCycle(Cycle::Standard);
          break;
      }
    });
  }
}

bool TComThread::RunExclusive(const std::function<void()>& work) {
  // Busy first, then look at ManualMode again: the manual command window sets its
  // flag and then reads ours, so one of the two always sees the other.
  state_.PollBusy = true;
  const bool run = !state_.ManualMode.load();
  if (run) work();
  state_.PollBusy = false;
  return run;
}

bool TComThread::IsPollTick() {
  const TDateTime now = UtcNow(clock_);
  state_.CycleTime = now;
  const int second = DecodeDateTime(now).second;
  if (second != LastTickSecond) {
    LastTickSecond = second;
    if (second % 10 == 0) {
      state_.BeginCycle(now);
      return true;
    }
  }
  return false;
}

void TComThread::RunCycle(Cycle cycle) {
  using S = TComThread;
  switch (cycle) {
    case Cycle::Standard:
      RunSteps({{"QueryTimeInterval", &S::QueryTimeInterval},
                {"QueryTimeCode", &S::QueryTimeCode},
                {"QueryEfc", &S::QueryEfc},
                {"QueryHoldoverUncertainty", &S::QueryHoldoverUncertainty},
                {"QueryLifeCount", &S::QueryLifeCount},
                {"IdentifyDevice", &S::IdentifyDevice},
                {"QueryOscillatorStatus", &S::QueryOscillatorStatus},
                {"QueryTrackedCount", &S::QueryTrackedCount},
                {"QueryVisibleCount", &S::QueryVisibleCount},
                {"QueryErrorQueue", &S::QueryErrorQueue},
                {"QueryStatusScreen", &S::QueryStatusScreen},
                {"ToggleActivityLed", &S::ToggleActivityLed}},
               0);
      break;
    case Cycle::Jackson:
      RunSteps({{"QueryTimeInterval", &S::QueryTimeInterval},
                {"QueryTimeAndDate", &S::QueryTimeAndDate},
                {"QueryEfc", &S::QueryEfc},
                {"QueryHoldoverUncertainty", &S::QueryHoldoverUncertainty},
                {"QueryLifeCount", &S::QueryLifeCount},
                {"IdentifyDevice", &S::IdentifyDevice},
                {"QueryTrackedCount", &S::QueryTrackedCount},
                {"QueryVisibleCount", &S::QueryVisibleCount},
                {"QueryStatusScreen", &S::QueryStatusScreen}},
               0);
      break;
    case Cycle::Gcru:
      RunSteps({{"IdentifyDevice", &S::IdentifyDevice},
                {"QueryEfc", &S::QueryEfc},
                {"QueryErrorQueue", &S::QueryErrorQueue}},
               200);
      if (!stop_.load() && port_.IsOpen()) Guarded("QueryStatusScreenDecoded", &S::QueryStatusScreenDecoded);
      break;
    case Cycle::Undefined:
      Guarded("IdentifyDevice", &S::IdentifyDevice);
      break;
  }
}

void TComThread::RunSteps(const std::vector<std::pair<const char*, Step>>& steps, int pauseAfterMs) {
  for (const auto& [name, step] : steps) {
    if (stop_.load()) return;
    Guarded(name, step);
    if (stop_.load()) return;
    // The rest of the cycle would only wait out its idle limits on a closed line.
    if (NoticeLostPort()) return;
    if (pauseAfterMs > 0) clock_.Sleep(pauseAfterMs);
  }
}

bool TComThread::Guarded(const char* operation, Step step) {
  try {
    (this->*step)();
    return true;
  } catch (...) {
    try {
      AddTrace(true, std::string("A error in \"") + operation + "\" has occurred");
    } catch (...) {
    }
    return false;
  }
}

bool TComThread::NoticeLostPort() {
  std::string why;
  if (!port_.LostCheck(why)) return false;
  if (std::exchange(awaitingAnswer_, false))
    SayFailedOpen(why);
  else
    AddTrace(true, "Serial port " + port_.DeviceName() + " lost (" + why + ")");
  // Nothing answers until the line is back; identification starts afresh then.
  state_.DeviceFamily = FamilyUndefined;
  lastRetry_ = clock_.UtcNow();
  retryPasses_ = 0;
  return true;
}

void TComThread::ServicePort() {
  // A tenth of a second is soon enough to notice a lost line, and spares the calls.
  if (++lostCheckPasses_ >= 10) {
    lostCheckPasses_ = 0;
    NoticeLostPort();
  }
  const TDateTime now = clock_.UtcNow();
  if (lastRetry_ == 0) lastRetry_ = now;  // a line that did not open at start waits its 10 s too
  if (port_.IsOpen() || state_.ManualMode.load()) return;
  // By the clock, or by the passes made should the clock be set back meanwhile.
  const double sinceMs = (now - lastRetry_) * 86400000.0;
  if (++retryPasses_ < RetryMilliseconds / PassMilliseconds && sinceMs >= 0 && sinceMs < RetryMilliseconds) return;
  lastRetry_ = now;
  retryPasses_ = 0;
  if (!port_.Reopen()) return;  // silently: it is tried again in 10 s
  // It may be another receiver, or the same one restarted with its factory settings.
  TimeCodeFormatPending = true;
  SetupPending = true;
  identifyPending_ = true;
  if (port_.OpensAtAnswer())
    awaitingAnswer_ = announceOpen_ = true;
  else
    AddTrace(true, "Serial port " + port_.DeviceName() + " opened");
}

bool TComThread::ConfirmOpened(bool answered) {
  if (!awaitingAnswer_) return true;
  // Words the server hung up after were its own (a refusal), not the receiver's.
  if (NoticeLostPort()) return false;
  if (!answered) return true;
  awaitingAnswer_ = false;
  failedOpen_.clear();
  if (std::exchange(announceOpen_, false)) AddTrace(true, "Serial port " + port_.DeviceName() + " opened");
  return true;
}

void TComThread::SayFailedOpen(const std::string& why) {
  const TDateTime now = clock_.UtcNow();
  const double sinceMinutes = (now - failedOpenAt_) * 1440.0;
  // A clock set back counts as time passed.
  if (why == failedOpen_ && sinceMinutes >= 0 && sinceMinutes < FailedOpenRepeatMinutes) return;
  failedOpen_ = why;
  failedOpenAt_ = now;
  AddTrace(true, "Serial port " + port_.DeviceName() + " not opened (" + why + "); it is tried again every " +
                     std::to_string(RetryMilliseconds / 1000) + " s");
}

void TComThread::Pause(int milliseconds) {
  for (int left = milliseconds; left > 0 && !stop_.load(); left -= PassMilliseconds)
    clock_.Sleep(std::min(left, PassMilliseconds));
}

void TComThread::AddTrace(bool stamped, std::string_view message) { ::AddTrace(state_, clock_, stamped, message); }

// ---- Transactions ----

void TComThread::Send(const std::string& command) {
  // A prompt's trailing characters (the blank of "scpi > ") follow its ">"; give them
  // one pass to arrive, so the discard below takes them and not the next answer.
  const double sincePromptMs = (clock_.UtcNow() - promptAt_) * 86400000.0;
  if (sincePromptMs >= 0 && sincePromptMs < PassMilliseconds)
    clock_.Sleep(PassMilliseconds - static_cast<int>(sincePromptMs));
  port_.Read(chunk_);  // whatever an earlier, abandoned query left behind
  ReceiveBuffer.clear();
  CurrentCommand = command;
  port_.Write(command + "\r");
  AddTrace(false, "");
  AddTrace(false, "");
  AddTrace(true, "Send    : " + command);
}

// Past the limit on the clock, or after as many passes as fit into it should the
// system clock be set back meanwhile.
bool TComThread::OverTime(TDateTime start, int passes, int limitMs) {
  return (clock_.UtcNow() - start) * 86400000.0 >= limitMs || passes >= limitMs / PassMilliseconds;
}

bool TComThread::Collect(int idleLimit) {
  int idle = idleLimit;
  int passes = 0;
  bool prompt = false;
  const TDateTime start = clock_.UtcNow();
  for (;;) {
    port_.Read(chunk_);
    if (!chunk_.empty()) {
      const std::size_t room = MaxCollectedBytes - ReceiveBuffer.size();
      const std::size_t taken = std::min(room, chunk_.size());
      ReceiveBuffer.append(chunk_, 0, taken);
      prompt = prompt || chunk_.find('>', 0) < taken;
      idle = idleLimit;
    }
    // The prompt ends the query at once, so an answer is published within one pass
    // of its arrival; the pause it skips is made up before the next transaction.
    if (prompt) {
      promptAt_ = clock_.UtcNow();
      return !stop_.load();
    }
    clock_.Sleep(PassMilliseconds);
    --idle;
    if (stop_.load()) return false;
    if (idle <= 0) return true;
    if (ReceiveBuffer.size() >= MaxCollectedBytes) return true;
    if (OverTime(start, ++passes, MaxQueryMilliseconds)) return true;
  }
}

std::optional<std::string> TComThread::Query(const std::string& command) {
  Send(command);
  if (!Collect(PlainIdleLimit)) return std::nullopt;
  TrimAnswer(ReceiveBuffer, CurrentCommand);
  AddTrace(true, "Received: " + ReceiveBuffer);
  return ReceiveBuffer;
}

void TComThread::QueryInto(ReceiverValue which, const std::string& command) {
  if (std::optional<std::string> answer = Query(command)) state_.Publish(which, std::move(*answer));
}

bool TComThread::CollectStatusScreen(std::vector<std::string>& lines, std::string& traceText) {
  lines.clear();
  traceText.clear();
  Send(StatusCommand);
  int idle = StatusFirstIdle;
  int passes = 0;
  std::size_t collected = 0;
  const TDateTime start = clock_.UtcNow();
  for (;;) {
    port_.Read(chunk_);
    if (!chunk_.empty()) {
      const std::size_t taken = std::min(MaxCollectedBytes - collected, chunk_.size());
      ReceiveBuffer.append(chunk_, 0, taken);
      collected += taken;
      idle = StatusIdleLimit;
    }
    // Every complete line present, so a fast line (115200 baud) loses none. A line ends
    // at the first CR LF or LF CR, whichever comes first, so a blank line never glues
    // two lines together.
    for (;;) {
      const std::size_t crLf = ReceiveBuffer.find("\r\n");
      const std::size_t lfCr = ReceiveBuffer.find("\n\r");
      const std::size_t end = std::min(crLf, lfCr);
      if (end == std::string::npos) break;
      std::string line = ReceiveBuffer.substr(0, end);
      ReceiveBuffer.erase(0, end + 2);
      if (line.find(CurrentCommand) != std::string::npos) {
        idle = StatusFirstIdle;  // the echo: the screen itself is still to come
      } else {
        traceText += line;
        traceText += "\r\n";
        lines.push_back(std::move(line));
      }
    }
    // The prompt is what is left after the last line end. A GCRU state line begins
    // with ">>" and is no prompt, even while its line end is still on the way.
    const bool prompt = chunk_.find('>') != std::string::npos && ReceiveBuffer.find('>') != std::string::npos &&
                        ReceiveBuffer.compare(0, 2, ">>") != 0;
    if (lines.size() > 10 && prompt) {
      promptAt_ = clock_.UtcNow();
      return !stop_.load();
    }
    clock_.Sleep(PassMilliseconds);
    --idle;
    if (stop_.load()) return false;
    if (idle <= 0) return true;
    if (collected >= MaxCollectedBytes) return true;
    if (OverTime(start, ++passes, MaxStatusMilliseconds)) return true;
  }
}

// ---- Identification and set-up ----

void TComThread::IdentifyDevice() {
  state_.DeviceFamily = FamilyUndefined;
  const TDateTime promptBefore = promptAt_;
  const std::optional<std::string> answer = Query("*IDN?");
  if (!answer) return;
  if (!ConfirmOpened(!answer->empty() || promptAt_ != promptBefore)) return;
  const std::uint8_t family = FamilyFromIdn(*answer);
  state_.DeviceFamily = family;
  AddTrace(true, DetectedDeviceMessage(family));
  state_.Publish(ReceiverValue::Idn, *answer);

  const bool stability = family != FamilyUndefined && family != FamilyGCRU;
  if (events_ && menuEnabled_ != static_cast<int>(stability)) events_->SetStabilityMenuEnabled(stability);
  menuEnabled_ = stability;

  // These units keep their continuous time-code output on unless told once.
  if (SetupPending && (family == FamilyZ3805 || family == FamilyZ3815)) {
    SetupPending = false;
    SendSetupCommands();
  }
}

void TComThread::SendSetupCommands() {
  for (const char* command : {"PTIM:TCOD:CONT 0\r", ":SYST:COMM:SER1:FDUP 0\r", "*CLS\r"}) {
    if (stop_.load()) return;
    port_.Write(command);
    Pause(1000);
  }
  port_.Read(chunk_);
}

// ---- Query handlers ----

void TComThread::QueryTimeInterval() { QueryInto(ReceiverValue::PpsTi, ":PTIM:TINT?"); }
void TComThread::QueryEfc() { QueryInto(ReceiverValue::Efc, ":DIAG:ROSC:EFC:ABS?"); }
void TComThread::QueryHoldoverUncertainty() { QueryInto(ReceiverValue::Hup, ":SYNC:HOLD:TUNC:PRED?"); }
void TComThread::QueryLifeCount() { QueryInto(ReceiverValue::LifeCount, ":DIAG:LIF:COUN?"); }
void TComThread::QueryOscillatorStatus() { QueryInto(ReceiverValue::OscStatus, ":ROSC:STAT?"); }
void TComThread::QueryErrorQueue() { QueryInto(ReceiverValue::Error, ":SYST:ERR?"); }

static bool UsesJacksonCommands(std::uint8_t family) { return family == FamilyJackson || family == FamilyMtron; }

void TComThread::QueryTrackedCount() {
  QueryInto(ReceiverValue::Tracked,
            UsesJacksonCommands(state_.DeviceFamily.load()) ? "GPS:SAT:TRACKING:COUNT?" : ":PTIM:GPS:SAT:TRAC:COUN?");
}

void TComThread::QueryVisibleCount() {
  QueryInto(ReceiverValue::Visible, UsesJacksonCommands(state_.DeviceFamily.load()) ? "GPS:SAT:VISIBLE:COUNT?"
                                                                                    : ":PTIM:GPS:SAT:VIS:PRED:COUN?");
}

void TComThread::QueryTimeCode() {
  if (TimeCodeFormatPending) {
    TimeCodeFormatPending = false;
    Send(":PTIM:TCOD:FORM F2");
    if (!Collect(PlainIdleLimit)) return;
  }
  QueryInto(ReceiverValue::TimeCode, ":PTIM:TCOD?");
}

void TComThread::QueryTimeAndDate() {
  const std::optional<std::string> time = Query("PTIM:TIME?");
  if (!time) return;
  const std::optional<std::string> date = Query("PTIM:DATE?");
  if (!date) return;
  std::string timeCode;
  if (BuildTimeCode(*time, *date, timeCode))
    state_.Publish(ReceiverValue::TimeCode, std::move(timeCode), true);
  else
    state_.Publish(ReceiverValue::TimeCode, "", false);  // no valid date and time: nothing for the clock
}

void TComThread::QueryStatusScreen() {
  std::vector<std::string> lines;
  std::string traceText;
  if (!CollectStatusScreen(lines, traceText)) return;
  AddTrace(true, "Received:");
  AddTrace(false, traceText);
  state_.ReplaceStatusLines(std::move(lines));
}

void TComThread::QueryStatusScreenDecoded() {
  std::vector<std::string> lines;
  std::string traceText;
  if (!CollectStatusScreen(lines, traceText)) return;
  DecodeGcruStatus(lines, state_);
  AddTrace(true, "Received:");
  AddTrace(false, traceText);
  state_.ReplaceStatusLines(std::move(lines));
}

void TComThread::ToggleActivityLed() {
  ActivityLedOn = !ActivityLedOn;
  Send(ActivityLedOn ? ":LED:ACT ON;" : ":LED:ACT OFF;");
  Collect(PlainIdleLimit);
}

void TComThread::PassManualAnswers() {
  port_.Read(chunk_);
  if (!chunk_.empty() && events_) events_->ManualAnswer(chunk_);
}

void TComThread::FollowManualTail() {
  clock_.Sleep(PassMilliseconds);
  ++tailPasses_;
  PassManualAnswers();
  tailQuietPasses_ = chunk_.empty() ? tailQuietPasses_ + 1 : 0;
  // Counted in passes, so a clock set meanwhile neither cuts the tail nor holds it.
  if (tailQuietPasses_ * PassMilliseconds >= ManualTailQuietMilliseconds ||
      tailPasses_ * PassMilliseconds >= ManualTailMaxMilliseconds)
    tailPasses_ = -1;
}

void TComThread::SendManualCommand() {
  std::string text;
  if (!state_.ManualCommand.Take(text)) return;
  ManualSendOutcome outcome{0, text.size()};
  try {
    // No cycle starts meanwhile, also when the window closes: the text goes out whole.
    if (port_.IsOpen())
      outcome.Sent = WriteInPieces(
          port_, text, ManualPieceBytes, [this] { PassManualAnswers(); }, [this] { return stop_.load(); });
  } catch (...) {
    state_.ManualCommand.Finish(outcome);
    throw;
  }
  state_.ManualCommand.Finish(outcome);
}
