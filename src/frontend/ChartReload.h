#pragma once
// One chart reload at a time. A reload lets pending events run, so the parameters
// dialog can be confirmed again with a larger span while one is under way; a second
// reload started then would load into the series the first one is still filling and
// every point would be there twice.
#include <functional>

class ChartReloadGate {
 public:
  // Runs reload, unless one is running: then that one runs reload once more when it
  // has finished (a reload empties the series first, so the last run alone counts).
  void Run(const std::function<void()>& reload);
  bool Running() const { return running_; }

 private:
  bool running_ = false;
  bool again_ = false;
};
