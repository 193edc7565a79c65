#pragma once
// The events of one program and what is done with them: the event command, and
// whatever else the program adds (the desktop program's notifications). Both programs
// keep one, call it after each refresh tick and after each file write, and stop it
// before they end.
#include <memory>
#include <string>

#include "frontend/EventCommand.h"
#include "frontend/ReceiverEvents.h"

class TBigIniFile;

// The "Events" section of the settings file.
struct EventSettings {
  std::string Command;  // empty: no command
  // Desktop notifications, one switch per kind of event.
  bool NotifyStatus = true;
  bool NotifyLine = true;
  bool NotifyError = false;
  bool NotifyFile = false;
  bool Notifies(EventKind kind) const;
  bool operator==(const EventSettings&) const = default;
};
EventSettings LoadEventSettings(const TBigIniFile& ini);
// Writes the section; a file that never had it keeps none while every value is the default.
void SaveEventSettings(TBigIniFile& ini, const EventSettings& settings);

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
