#pragma once
// The poll thread: waits for the start gate, identifies the receiver and runs
// one poll cycle every 10 s of UTC.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class SharedReceiverState;
class T_AdvCom32;
class Clock;
class LinkEvents;

class TComThread {
 public:
  TComThread(SharedReceiverState& state, T_AdvCom32& port, Clock& clock, LinkEvents* events);
  ~TComThread();  // requests the stop and joins
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  void Start();
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  // Waits up to timeoutMs for the thread to end; true when it has ended.
  bool Join(int timeoutMs);
  bool Running() const { return running_.load(); }

 private:
  void Run();
  void Execute();

  SharedReceiverState& state_;
  T_AdvCom32& port_;
  Clock& clock_;
  LinkEvents* events_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::mutex doneMutex_;
  std::condition_variable doneCv_;
  bool done_ = false;
};
