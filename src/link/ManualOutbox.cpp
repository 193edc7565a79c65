#include "link/ManualOutbox.h"

#include <algorithm>

#include "link/LinkPort.h"

bool ManualOutbox::Post(std::string bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (posted_ || writing_) return false;
  outcome_.reset();
  posted_ = std::move(bytes);
  return true;
}

void ManualOutbox::Discard() {
  std::lock_guard<std::mutex> lock(mutex_);
  posted_.reset();
}

bool ManualOutbox::Busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return posted_.has_value() || writing_;
}

std::optional<ManualSendOutcome> ManualOutbox::TakeOutcome() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<ManualSendOutcome> outcome = outcome_;
  outcome_.reset();
  return outcome;
}

bool ManualOutbox::Take(std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!posted_) return false;
  bytes = std::move(*posted_);
  posted_.reset();
  writing_ = true;
  return true;
}

void ManualOutbox::Finish(ManualSendOutcome outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  writing_ = false;
  outcome_ = outcome;
}

std::size_t WriteInPieces(LinkPort& port, const std::string& text, std::size_t piece,
                          const std::function<void()>& between, const std::function<bool()>& stop) {
  piece = std::max<std::size_t>(piece, 1);
  std::size_t sent = 0;
  while (sent < text.size()) {
    if (stop && stop()) break;
    const std::size_t n = std::min(piece, text.size() - sent);
    if (!port.Write(text.substr(sent, n))) break;
    sent += n;
    if (between) between();
  }
  return sent;
}
