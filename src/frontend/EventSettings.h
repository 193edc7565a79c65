#pragma once
// The "Events" section of the settings file: the event command and which events
// the desktop program shows as notifications.
#include <string>

#include "frontend/ReceiverEvents.h"

class TBigIniFile;

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
