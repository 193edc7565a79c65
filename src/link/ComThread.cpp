#include "link/ComThread.h"

#include <chrono>

#include "link/AdvCom32.h"
#include "link/LinkEvents.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

TComThread::TComThread(SharedReceiverState& state, T_AdvCom32& port, Clock& clock, LinkEvents* events)
    : state_(state), port_(port), clock_(clock), events_(events) {}

TComThread::~TComThread() {
  RequestStop();
  if (thread_.joinable()) {
    if (Join(2000))
      thread_.join();
    else
      thread_.detach();  // never block the process end on a stuck device
  }
}

void TComThread::Start() {
  if (thread_.joinable()) return;
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void TComThread::RequestStop() { stop_ = true; }

bool TComThread::Join(int timeoutMs) {
  if (!thread_.joinable()) return true;
  std::unique_lock<std::mutex> lock(doneMutex_);
  const bool ended = doneCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; });
  lock.unlock();
  if (ended) thread_.join();
  return ended;
}

void TComThread::Run() {
  Execute();
  running_ = false;
  std::lock_guard<std::mutex> lock(doneMutex_);
  done_ = true;
  doneCv_.notify_all();
}

void TComThread::Execute() {
  // Held at the start gate until the debug window exists.
  while (!state_.StartGate.load()) {
    if (stop_.load()) return;
    clock_.Sleep(100);
  }
  while (!stop_.load()) clock_.Sleep(10);
}
