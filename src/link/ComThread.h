#pragma once
// The poll thread: waits for the start gate, identifies the receiver and runs
// one poll cycle every 10 s of UTC. It talks to the user interface only through
// SharedReceiverState and LinkEvents.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/DateTime.h"

class SharedReceiverState;
class T_AdvCom32;
class Clock;
class LinkEvents;
class LinkPort;
enum class ReceiverValue : int;

class TComThread {
 public:
  TComThread(SharedReceiverState& state, T_AdvCom32& port, Clock& clock, LinkEvents* events);
  // Same thread over any port (tests put a scripted receiver here).
  TComThread(SharedReceiverState& state, LinkPort& port, Clock& clock, LinkEvents* events);
  // Holds the port and the events for as long as the thread runs, which may be longer
  // than its owner waits for it (see StopWithin). State and clock must outlive it.
  TComThread(SharedReceiverState& state, std::shared_ptr<LinkPort> port, Clock& clock,
             std::shared_ptr<LinkEvents> events);
  ~TComThread();  // requests the stop and joins

  // Requests the stop and waits up to boundMs for the thread to end. True when it
  // ended; otherwise the thread is let go and frees itself (and what it holds) when it
  // ends, so nothing it still uses is freed under it.
  static bool StopWithin(std::unique_ptr<TComThread> thread, int boundMs);
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  void Start();
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  // Waits up to timeoutMs for the thread to end; true when it has ended.
  bool Join(int timeoutMs);
  bool Running() const { return running_.load(); }

  // Limits that keep a talking but never prompting receiver (time-code output left
  // on, a wrong baud rate producing noise) from holding a query or growing memory.
  static constexpr std::size_t MaxCollectedBytes = 64 * 1024;
  static constexpr int MaxQueryMilliseconds = 30000;
  static constexpr int MaxStatusMilliseconds = 60000;
  // A lost or unopened line is tried again this often, between cycles.
  static constexpr int RetryMilliseconds = 10000;
  // A failed open with an unchanged reason is said again after this long at the soonest.
  static constexpr int FailedOpenRepeatMinutes = 60;
  // After the manual command window closes, what the receiver still sends goes to it
  // until the line has been quiet this long, or for this long at most; only then may
  // a transaction of ours discard pending input or read its answer.
  static constexpr int ManualTailQuietMilliseconds = 500;
  static constexpr int ManualTailMaxMilliseconds = 3000;

 private:
  enum class Cycle { Standard, Jackson, Gcru, Undefined };
  using Step = void (TComThread::*)();

  void Run();
  void Execute();
  bool IsPollTick();
  // Runs work with PollBusy raised, unless ManualMode is set; false when it did not run.
  bool RunExclusive(const std::function<void()>& work);
  void RunCycle(Cycle cycle);
  void RunSteps(const std::vector<std::pair<const char*, Step>>& steps, int pauseAfterMs);
  bool Guarded(const char* operation, Step step);
  // Between cycles: notices a lost line and tries to open a closed one again.
  void ServicePort();
  bool NoticeLostPort();
  // A line that opens at the receiver's answer: the answer to the identification
  // confirms it; false when the line ended instead.
  bool ConfirmOpened(bool answered);
  void SayFailedOpen(const std::string& why);
  void Pause(int milliseconds);

  // Transactions. Each returns false (or nothing) when the stop request ended it.
  void Send(const std::string& command);
  bool Collect(int idleLimit);
  bool OverTime(TDateTime start, int passes, int limitMs);
  std::optional<std::string> Query(const std::string& command);
  bool CollectStatusScreen(std::vector<std::string>& lines, std::string& traceText);
  void AddTrace(bool stamped, std::string_view message);
  void QueryInto(ReceiverValue which, const std::string& command);

  // Handlers.
  void IdentifyDevice();
  void SendSetupCommands();
  void QueryTimeInterval();
  void QueryTimeCode();
  void QueryTimeAndDate();
  void QueryEfc();
  void QueryHoldoverUncertainty();
  void QueryLifeCount();
  void QueryOscillatorStatus();
  void QueryTrackedCount();
  void QueryVisibleCount();
  void QueryErrorQueue();
  void QueryStatusScreen();
  void QueryStatusScreenDecoded();
  void ToggleActivityLed();
  void PassManualAnswers();
  void FollowManualTail();
  void SendManualCommand();

  SharedReceiverState& state_;
  std::shared_ptr<LinkPort> ownedPort_;
  LinkPort& port_;
  Clock& clock_;
  std::shared_ptr<LinkEvents> ownedEvents_;
  LinkEvents* events_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::mutex doneMutex_;
  std::condition_variable doneCv_;
  bool done_ = false;
  bool orphan_ = false;  // let go by StopWithin: deletes itself at its end

  // Poll thread only.
  std::string ReceiveBuffer;
  std::string CurrentCommand;
  int LastTickSecond = 0;
  bool TimeCodeFormatPending = true;
  bool ActivityLedOn = false;
  bool SetupPending = true;
  bool identifyPending_ = true;  // at start and after the line came back
  int tailPasses_ = -1;          // passes since the manual window closed; -1: none followed
  int tailQuietPasses_ = 0;
  TDateTime promptAt_ = -1e9;  // when the last query ended at its prompt
  int menuEnabled_ = -1;       // last state posted to the user interface, -1 before the first
  std::string chunk_;
  TDateTime lastRetry_ = 0;  // 0 before the first look at the line
  int retryPasses_ = 0;      // idle passes since the last retry
  int lostCheckPasses_ = 0;
  // A network line counts as opened once the receiver has answered on it; one that ends
  // before (a server refusing a second client) failed to open, which is said once, and
  // again at most hourly while the reason stays the same.
  bool awaitingAnswer_ = false;
  bool announceOpen_ = false;  // the answer is said as "opened": a re-open, not the start
  std::string failedOpen_;
  TDateTime failedOpenAt_ = 0;
};
