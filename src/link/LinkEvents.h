#pragma once
// What the poll thread asks of the user interface. The application implements
// it by posting to the user-interface thread; the poll thread never touches a widget.
#include <mutex>
#include <string>

class LinkEvents {
 public:
  virtual ~LinkEvents() = default;
  // Enable or disable the "&Time Stabililty Measures" menu entry.
  virtual void SetStabilityMenuEnabled(bool enabled) = 0;
  // Text received while ManualMode is set, for the manual command window's console.
  virtual void ManualAnswer(const std::string& text) = 0;
};

// Passes the events on to a target until Detach, after which they are dropped. The
// poll thread holds it, so a thread that outlives its window never reaches the window.
class LinkEventsRelay final : public LinkEvents {
 public:
  explicit LinkEventsRelay(LinkEvents* target) : target_(target) {}
  // Waits for a call in progress, then drops every later one.
  void Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = nullptr;
  }
  void SetStabilityMenuEnabled(bool enabled) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (target_) target_->SetStabilityMenuEnabled(enabled);
  }
  void ManualAnswer(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (target_) target_->ManualAnswer(text);
  }

 private:
  std::mutex mutex_;
  LinkEvents* target_;
};
