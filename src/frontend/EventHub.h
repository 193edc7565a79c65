#pragma once
// The events of one program and what is done with them: the event command, and
// whatever else the program adds (the desktop program's notifications). Both programs
// keep one, call it after each refresh tick and after each file write, and stop it
// before they end.
#include <memory>
#include <string>

#include "frontend/EventCommand.h"
#include "frontend/EventSettings.h"
#include "frontend/ReceiverEvents.h"

class EventHub {
 public:
  explicit EventHub(EventCommand::Reporter report, int limitMs = EventCommand::DefaultLimitMs);

  // At start and at each reload; says a command that cannot be run.
  void Configure(const EventSettings& settings, const std::string& device, const std::string& folder);
  void AfterTick(const RefreshCycle& refresh, TDateTime now);
  void FileWritten(const std::string& path, bool ok, TDateTime now) { events_.FileWritten(path, ok, now); }
  // Ends every command run; nothing is run after.
  void Stop() { command_.Stop(); }

  ReceiverEvents& Events() { return events_; }
  const EventCommand& Command() const { return command_; }

 private:
  EventContext context_;
  ReceiverEvents events_;
  EventCommand command_;
};
