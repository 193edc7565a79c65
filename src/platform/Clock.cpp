#include "platform/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

TDateTime SystemClock::UtcNow() {
  using namespace std::chrono;
  const long long ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return FromUnixMilliseconds(ms);
}

TDateTime SystemClock::LocalNow() {
  using namespace std::chrono;
  const long long ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  return FromUnixMilliseconds(ms + static_cast<long long>(local.tm_gmtoff) * 1000);
}

void SystemClock::Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TDateTime VirtualClock::UtcNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_;
}

TDateTime VirtualClock::LocalNow() { return UtcNow() + localOffsetHours_.load() / 24.0; }

void VirtualClock::Sleep(int milliseconds) {
  const double factor = realTimeFactor_.load();
  if (factor > 0 && milliseconds > 0)
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(milliseconds * factor * 1000)));
  Advance(milliseconds);
  slept_ += milliseconds;
}

void VirtualClock::Set(TDateTime t) {
  std::lock_guard<std::mutex> lock(mutex_);
  now_ = t;
}

void VirtualClock::Advance(double milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  now_ += milliseconds / 86400000.0;
}
