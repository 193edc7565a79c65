#include "link/SharedReceiverState.h"

void SharedReceiverState::BeginCycle(TDateTime start) {
  std::lock_guard<std::mutex> lock(mutex_);
  cycleStart_ = start;
}

void SharedReceiverState::Publish(ReceiverValue which, std::string value) {
  const bool isNew = !value.empty();
  Publish(which, std::move(value), isNew);
}

void SharedReceiverState::Publish(ReceiverValue which, std::string value, bool isNew) {
  std::lock_guard<std::mutex> lock(mutex_);
  Slot& s = slots_[static_cast<int>(which)];
  s.value = std::move(value);
  s.isNew = isNew;
  s.cycleStart = cycleStart_;
}

bool SharedReceiverState::Take(ReceiverValue which, std::string& value, TDateTime* cycleStart) {
  std::lock_guard<std::mutex> lock(mutex_);
  Slot& s = slots_[static_cast<int>(which)];
  if (!s.isNew) return false;
  s.isNew = false;
  value = s.value;
  if (cycleStart) *cycleStart = s.cycleStart;
  return true;
}

bool SharedReceiverState::IsNew(ReceiverValue which) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_[static_cast<int>(which)].isNew;
}

std::string SharedReceiverState::Value(ReceiverValue which) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_[static_cast<int>(which)].value;
}

void SharedReceiverState::ClearStatusLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  statusLines_.clear();
}

void SharedReceiverState::AppendStatusLine(std::string line) {
  std::lock_guard<std::mutex> lock(mutex_);
  statusLines_.push_back(std::move(line));
}

void SharedReceiverState::FinishStatusLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  statusLinesNew_ = !statusLines_.empty();
  statusCycleStart_ = cycleStart_;
}

void SharedReceiverState::ReplaceStatusLines(std::vector<std::string> lines) {
  std::lock_guard<std::mutex> lock(mutex_);
  statusLines_ = std::move(lines);
  statusLinesNew_ = !statusLines_.empty();
  statusCycleStart_ = cycleStart_;
}

bool SharedReceiverState::StatusLinesNew() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statusLinesNew_;
}

bool SharedReceiverState::TakeStatusLines(std::vector<std::string>& lines, TDateTime* cycleStart) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!statusLinesNew_) return false;
  statusLinesNew_ = false;
  lines = statusLines_;
  if (cycleStart) *cycleStart = statusCycleStart_;
  return true;
}

std::vector<std::string> SharedReceiverState::StatusLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statusLines_;
}

void SharedReceiverState::QueueTrace(std::string line) {
  std::lock_guard<std::recursive_mutex> lock(TraceLock);
  TraceLines.push_back(std::move(line));
}

std::deque<std::string> SharedReceiverState::DrainTrace() {
  std::lock_guard<std::recursive_mutex> lock(TraceLock);
  std::deque<std::string> out;
  out.swap(TraceLines);
  return out;
}

std::size_t SharedReceiverState::TraceCount() const {
  std::lock_guard<std::recursive_mutex> lock(TraceLock);
  return TraceLines.size();
}
