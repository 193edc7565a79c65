#pragma once
// A scripted receiver behind the poll thread's port calls, and a clock that moves
// only when the thread pauses, so the timing rules run in virtual time.
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "link/LinkEvents.h"
#include "link/LinkPort.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

class TestClock final : public Clock {
 public:
  explicit TestClock(TDateTime start) : start_(start) {}
  TDateTime UtcNow() override { return start_ + ms_.load() / 86400000.0; }
  TDateTime LocalNow() override { return UtcNow(); }
  void Sleep(int milliseconds) override {
    ms_ += milliseconds;
    slept_ += milliseconds;
    if (OnSleep) OnSleep();
  }
  // The system clock being set: moves now without any pause.
  void Jump(long long milliseconds) { ms_ += milliseconds; }
  long long SleptMilliseconds() const { return slept_.load(); }
  long long Milliseconds() const { return ms_.load(); }
  TDateTime Start() const { return start_; }
  // Called on the sleeping thread after every pause.
  std::function<void()> OnSleep;

 private:
  const TDateTime start_;
  std::atomic<long long> ms_{0};
  std::atomic<long long> slept_{0};
};

struct WrittenCommand {
  long long atMs;       // virtual time of the write
  std::string command;  // without its CR
};

class FakeReceiver final : public LinkPort {
 public:
  explicit FakeReceiver(TestClock& clock) : clock_(clock) {}

  // Answers by command; a command without entry gets the prompt alone.
  std::map<std::string, std::string> Answers;
  std::vector<std::string> StatusScreen;
  std::string Prompt = "scpi > ";
  std::string LineEnd = "\r\n";
  bool Echo = false;
  bool Silent = false;
  double MsPerChar = 0;                           // 0: the whole answer arrives at once
  long long DelayMs = 0;                          // before the first character of every answer
  std::map<std::string, long long> ExtraDelayMs;  // per command
  // Produces unrequested text at every read (continuous output, noise).
  std::function<std::string(long long nowMs)> Chatter;
  // Called on the writing thread after each write.
  std::function<void(const std::string& command)> OnWrite;

  bool Write(const std::string& text) override {
    if (closed_) return false;  // a lost line takes nothing
    std::string command = text;
    if (!command.empty() && command.back() == '\r') command.pop_back();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const long long now = clock_.Milliseconds();
      written_.push_back({now, command});
      if (!Silent) {
        std::string reply = Echo ? command + LineEnd : std::string();
        if (command == ":SYST:STAT?") {
          for (const std::string& line : StatusScreen) reply += line + LineEnd;
        } else if (auto it = Answers.find(command); it != Answers.end()) {
          reply += it->second + LineEnd;
        }
        reply += Prompt;
        auto extra = ExtraDelayMs.find(command);
        pending_.push_back({reply, now + DelayMs + (extra == ExtraDelayMs.end() ? 0 : extra->second), 0});
      }
    }
    if (OnWrite) OnWrite(command);
    return true;
  }

  void Read(std::string& text) override {
    text.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    const long long now = clock_.Milliseconds();
    while (!pending_.empty()) {
      Segment& s = pending_.front();
      if (now < s.startMs) break;
      std::size_t due = s.text.size();
      if (MsPerChar > 0) due = std::min(due, static_cast<std::size_t>((now - s.startMs) / MsPerChar) + 1);
      text.append(s.text, s.sent, due - s.sent);
      s.sent = due;
      if (s.sent < s.text.size()) break;
      pending_.erase(pending_.begin());
    }
    if (Chatter) text += Chatter(now);
  }

  // Queues unrequested text, as the receiver printing on its own.
  void Inject(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({text, clock_.Milliseconds(), 0});
  }

  // The device going away (true) and coming back (false), as an unplugged adapter.
  std::atomic<bool> Unplugged{false};
  bool LostCheck(std::string& why) override {
    if (!Unplugged.load() || closed_) return false;
    closed_ = true;
    why = "unplugged";
    return true;
  }
  bool IsOpen() override { return !closed_; }
  bool Reopen() override {
    if (Unplugged.load()) return false;
    closed_ = false;
    return true;
  }

  std::vector<WrittenCommand> Written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
  }

 private:
  struct Segment {
    std::string text;
    long long startMs;
    std::size_t sent;
  };
  TestClock& clock_;
  bool closed_ = false;  // poll thread only
  mutable std::mutex mutex_;
  std::vector<Segment> pending_;
  std::vector<WrittenCommand> written_;
};

class RecordingEvents final : public LinkEvents {
 public:
  void SetStabilityMenuEnabled(bool enabled) override {
    std::lock_guard<std::mutex> lock(mutex_);
    menu.push_back(enabled);
  }
  void ManualAnswer(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    manual += text;
  }
  std::vector<bool> Menu() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return menu;
  }
  std::string Manual() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return manual;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<bool> menu;
  std::string manual;
};
