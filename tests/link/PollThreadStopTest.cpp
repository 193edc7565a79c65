// A poll thread that overruns its stop bound keeps what it uses until it has ended
// (run under the address sanitizer, a use after free here is reported at once).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "FakeReceiver.h"
#include "WaitFor.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"

using namespace std::chrono_literals;

namespace {

// A device whose write does not come back until released, as a driver stuck in the kernel.
class StuckPort final : public LinkPort {
 public:
  bool Write(const std::string& text) override {
    entered = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    last_ = text;  // the port is used after the stop's bound has passed
    return true;
  }
  void Read(std::string& text) override { text = last_.empty() ? "" : "scpi > "; }
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};

 private:
  std::string last_;
};

TEST(PollThreadStop, AThreadPastItsBoundKeepsItsPortAndEventsUntilItEnds) {
  SharedReceiverState state;
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 7, 0}));
  state.StartGate = true;
  auto port = std::make_shared<StuckPort>();
  auto window = std::make_unique<RecordingEvents>();
  auto relay = std::make_shared<LinkEventsRelay>(window.get());
  std::weak_ptr<StuckPort> portWatch = port;
  std::weak_ptr<LinkEventsRelay> relayWatch = relay;

  auto thread = std::make_unique<TComThread>(state, port, clock, relay);
  thread->Start();
  ASSERT_TRUE(WaitFor([&] { return port->entered.load(); }, 5s, 1ms));

  // The main window's stop: detach the events, wait the bound, free everything it owns.
  relay->Detach();
  EXPECT_FALSE(TComThread::StopWithin(std::move(thread), 50));
  port.reset();
  relay.reset();
  window.reset();
  EXPECT_FALSE(portWatch.expired());  // still in the thread's hands
  EXPECT_FALSE(relayWatch.expired());

  // The device comes back; the thread sees the stop, ends and frees its objects.
  if (auto stuck = portWatch.lock()) stuck->release = true;
  EXPECT_TRUE(WaitFor([&] { return portWatch.expired() && relayWatch.expired(); }, 5s, 1ms));
  EXPECT_FALSE(state.PollBusy.load());
}

TEST(PollThreadStop, AThreadWithinItsBoundIsJoined) {
  SharedReceiverState state;
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 7, 0}));
  state.StartGate = true;
  auto port = std::make_shared<StuckPort>();
  port->release = true;
  std::weak_ptr<StuckPort> portWatch = port;
  auto thread = std::make_unique<TComThread>(state, port, clock, nullptr);
  thread->Start();
  port.reset();
  EXPECT_TRUE(TComThread::StopWithin(std::move(thread), 2000));
  EXPECT_TRUE(portWatch.expired());  // joined and freed before StopWithin returned
}

}  // namespace
