#pragma once
// Varnex's events and what is done with them: the event command and the desktop
// notifications, as the "Events" settings say.
#include <memory>
#include <string>

#include "frontend/EventHub.h"

class QObject;
class DesktopNotifier;
class RefreshCycle;
struct VarnexContext;

class DesktopEvents {
 public:
  // Nothing is run or shown before the first Configure.
  DesktopEvents(VarnexContext& context, QObject* parent);
  ~DesktopEvents();

  // At start and whenever the settings change: says a command that cannot be run.
  void Configure(const std::string& device);
  void AfterTick(const RefreshCycle& refresh);
  void FileWritten(const std::string& fileName, bool ok, TDateTime stamp);
  // Ends every command run; called by the stop sequence.
  void Stop();

  EventHub& Hub() { return hub_; }
  DesktopNotifier& Notifier() { return *notifier_; }

 private:
  VarnexContext& context_;
  EventHub hub_;
  DesktopNotifier* notifier_;
  bool configured_ = false;
};
