#pragma once
// Every "now" and every pause goes through a Clock, so tests can run the
// poll thread's timing rules in virtual time.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/DateTime.h"

class Clock {
 public:
  virtual ~Clock() = default;
  // UTC now, millisecond resolution.
  virtual TDateTime UtcNow() = 0;
  // Local wall-clock time now (only the clock window's second change uses it).
  virtual TDateTime LocalNow() = 0;
  virtual void Sleep(int milliseconds) = 0;
};

class SystemClock final : public Clock {
 public:
  TDateTime UtcNow() override;
  TDateTime LocalNow() override;
  void Sleep(int milliseconds) override;
};

// Time moves only when told to: Sleep advances it by the pause asked for.
// Optionally each Sleep also waits a little real time (so a peer on a real
// pseudo-terminal has time to answer), scaled by RealTimeFactor.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(TDateTime start = 0.0) : now_(start) {}
  TDateTime UtcNow() override;
  TDateTime LocalNow() override;
  void Sleep(int milliseconds) override;

  void Set(TDateTime t);
  void Advance(double milliseconds);
  // Local time = UTC + offset (hours).
  void SetLocalOffsetHours(double hours) { localOffsetHours_ = hours; }
  // Real milliseconds slept per virtual millisecond (0 = none).
  void SetRealTimeFactor(double f) { realTimeFactor_ = f; }
  // Total virtual milliseconds slept so far.
  long long SleptMilliseconds() const { return slept_.load(); }

 private:
  mutable std::mutex mutex_;
  TDateTime now_;
  std::atomic<double> localOffsetHours_{0.0};
  std::atomic<double> realTimeFactor_{0.0};
  std::atomic<long long> slept_{0};
};
