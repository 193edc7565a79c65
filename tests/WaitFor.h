#pragma once
// A bounded wait for what another thread or process brings about.
#include <chrono>
#include <thread>

// Looks at `done` every `step` until it holds or `bound` has passed; its last answer.
template <class Done>
bool WaitFor(Done done, std::chrono::milliseconds bound,
             std::chrono::milliseconds step = std::chrono::milliseconds(20)) {
  const auto until = std::chrono::steady_clock::now() + bound;
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(step);
  }
  return done();
}
