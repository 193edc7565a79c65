#pragma once
// The poll thread on a real serial port (a pseudo-terminal) against the simulated
// receiver, in virtual time that runs faster than real time.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeReceiver.h"
#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

inline TDateTime At(int hour, int minute, int second, int ms = 0) {
  return EncodeDateTime({2013, 8, 1, hour, minute, second, ms});
}

class SimRig {
 public:
  // factor: real milliseconds per virtual millisecond of the poll thread's pauses.
  SimRig(SimOptions options, TDateTime start = At(12, 0, 7), double factor = 0.05) : clock(start) {
    clock.SetRealTimeFactor(factor);
    options.clock = &clock;
    sim = std::make_unique<ReceiverSim>(options);
  }
  ~SimRig() {
    if (thread) {
      thread->RequestStop();
      thread->Join(5000);
    }
  }

  bool Open() {
    if (!sim->Start()) return false;
    port.SetDevicePath(sim->SlavePath());
    return port.Open();
  }

  // Runs the poll thread until done() holds or the virtual clock reaches `until`.
  void Run(TDateTime until, const std::function<bool()>& done = {}) {
    thread = std::make_unique<TComThread>(state, port, clock, &events);
    state.StartGate = true;
    thread->Start();
    const auto realLimit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (clock.UtcNow() < until && std::chrono::steady_clock::now() < realLimit) {
      Drain();
      if (done && done()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stopRequestedAt = clock.UtcNow();
    thread->RequestStop();
    joined = thread->Join(2000);
    Drain();
  }

  void Drain() {
    for (std::string& line : state.DrainTrace()) trace.push_back(std::move(line));
  }
  bool TraceHas(const std::string& text) const {
    for (const std::string& line : trace)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  bool SimReceived(const std::string& command) const {
    for (const std::string& c : sim->ReceivedCommands())
      if (c == command) return true;
    return false;
  }
  std::string Value(ReceiverValue v) const { return state.Value(v); }

  VirtualClock clock;
  std::unique_ptr<ReceiverSim> sim;
  T_AdvCom32 port;
  SharedReceiverState state;
  RecordingEvents events;
  std::unique_ptr<TComThread> thread;
  std::vector<std::string> trace;
  TDateTime stopRequestedAt = 0;
  bool joined = false;
};

inline SimOptions Options(SimFamily family, bool echo = false, std::uint32_t baud = 0) {
  SimOptions o;
  o.family = family;
  o.echo = echo;
  o.baud = baud;
  return o;
}
