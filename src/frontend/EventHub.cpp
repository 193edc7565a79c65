#include "frontend/EventHub.h"

#include "frontend/BigIni.h"
#include "frontend/RefreshCycle.h"

namespace {
constexpr const char* EventsSection = "Events";
struct BoolKey {
  const char* key;
  bool EventSettings::*value;
};
constexpr BoolKey NotifyKeys[] = {{"NotifyStatus", &EventSettings::NotifyStatus},
                                  {"NotifyLine", &EventSettings::NotifyLine},
                                  {"NotifyError", &EventSettings::NotifyError},
                                  {"NotifyFile", &EventSettings::NotifyFile}};
}  // namespace

bool EventSettings::Notifies(EventKind kind) const {
  switch (kind) {
    case EventKind::StatusChanged:
      return NotifyStatus;
    case EventKind::LineLost:
    case EventKind::LineBack:
      return NotifyLine;
    case EventKind::ReceiverError:
      return NotifyError;
    case EventKind::FileFailed:
    case EventKind::FileWritten:
      return NotifyFile;
  }
  return false;
}

EventSettings LoadEventSettings(const TBigIniFile& ini) {
  EventSettings s;
  s.Command = ini.ReadString(EventsSection, "Command", "");
  for (const BoolKey& k : NotifyKeys) s.*k.value = ini.ReadBool(EventsSection, k.key, s.*k.value);
  return s;
}

void SaveEventSettings(TBigIniFile& ini, const EventSettings& s) {
  std::vector<std::string> keys;
  ini.ReadSectionKeys(EventsSection, keys);
  if (keys.empty() && s == EventSettings{}) return;
  ini.WriteString(EventsSection, "Command", s.Command);
  for (const BoolKey& k : NotifyKeys) ini.WriteBool(EventsSection, k.key, s.*k.value);
}

EventHub::EventHub(EventCommand::Reporter report, int limitMs) : command_(std::move(report), limitMs) {
  events_.AddSink([this](const ReceiverEvent& e) { command_.Post(EventName(e.Kind), EventEnvironment(e, context_)); });
}

void EventHub::Configure(const EventSettings& settings, const std::string& device, const std::string& folder) {
  context_.Device = device;
  context_.Folder = folder;
  command_.Configure(settings.Command);
}

void EventHub::AfterTick(const RefreshCycle& refresh, TDateTime now) {
  context_.Receiver = refresh.IdnText;
  events_.AfterTick(refresh, now);
}
