#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "frontend/BigIni.h"
#include "frontend/EventHub.h"
#include "frontend/ReceiverEvents.h"
#include "frontend/RefreshCycle.h"
#include "frontend/Settings.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

TDateTime At(int hour, int minute, int second) { return EncodeDateTime({2013, 8, 1, hour, minute, second, 0}); }

struct Step {
  int second;                         // seconds after 12:00:00 of this tick
  std::optional<std::string> status;  // a status report in this tick
  std::optional<std::string> error;   // an error queue answer
  bool screen;                        // a status screen in this tick
  std::vector<std::string> expected;  // "name:status:previous"
};

// A night of a reference: the events come from the tick's own state, once each.
TEST(ReceiverEvents, SequenceOfARestlessNight) {
  const Step steps[] = {
      {0, "LOCK", "+0,\"No error\"", true, {}},  // the history said LOCK: no change, no error
      {10, "LOCK", std::nullopt, true, {}},
      {20, "HOLD", std::nullopt, true, {"status-changed:HOLD:LOCK"}},
      {30, "HOLD", "-310,\"System error\"", true, {"receiver-error:HOLD:"}},
      {40, "HOLD", "-310,\"System error\"", true, {}},  // the same text again is no news
      {50, "LOCK", "+0,\"No error\"", true, {"status-changed:LOCK:HOLD"}},
      {60, std::nullopt, std::nullopt, false, {}},
      {110, std::nullopt, std::nullopt, false, {}},  // 60 s without a screen: not yet more
      {111, std::nullopt, std::nullopt, false, {"line-lost:LOCK:"}},
      {200, std::nullopt, std::nullopt, false, {}},  // said once
      {210, "BAD\x1b[2J", std::nullopt, true, {"status-changed:BAD\x1b[2J:LOCK", "line-back:BAD\x1b[2J:"}},
      {220, "WORSE", std::nullopt, true, {"status-changed:WORSE:BAD\x1b[2J"}},
      {230, "WORSE", std::nullopt, true, {}},
  };
  SharedReceiverState state;
  VirtualClock clock(At(12, 0, 0));
  VarnexSettings settings;
  QuietRefreshView view;
  RefreshCycle refresh(state, clock, settings, view);
  refresh.LastStatusCode = StatusLock;
  ReceiverEvents events;
  std::vector<std::string> seen;
  events.AddSink([&](const ReceiverEvent& e) {
    seen.push_back(std::string(EventName(e.Kind)) + ":" + e.Status + ":" + e.PreviousStatus);
    EXPECT_EQ(e.Time, clock.UtcNow());
    EXPECT_EQ(e.Critical(), e.Kind == EventKind::LineLost || (e.Kind == EventKind::StatusChanged && e.Status == "HOLD"))
        << e.Message;
  });
  for (const Step& s : steps) {
    clock.Set(At(12, 0, 0) + s.second / 86400.0);
    state.BeginCycle(clock.UtcNow());
    if (s.status) state.Publish(ReceiverValue::OscStatus, *s.status);
    if (s.error) state.Publish(ReceiverValue::Error, *s.error);
    if (s.screen) state.ReplaceStatusLines({"screen"});
    seen.clear();
    refresh.Tick();
    events.AfterTick(refresh, clock.UtcNow());
    EXPECT_EQ(seen, s.expected) << "at +" << s.second << " s";
  }
  EXPECT_FALSE(events.LineLost());
}

TEST(ReceiverEvents, FileFailureOnceAndItsEnd) {
  ReceiverEvents events;
  std::vector<std::string> seen;
  events.AddSink([&](const ReceiverEvent& e) { seen.push_back(std::string(EventName(e.Kind)) + " " + e.File); });
  const struct {
    const char* file;
    bool ok;
  } writes[] = {{"/d/a", true}, {"/d/a", false}, {"/d/a", false}, {"/d/b", false},
                {"/d/a", true}, {"/d/a", true},  {"/d/a", false}};
  for (const auto& w : writes) events.FileWritten(w.file, w.ok, 1.0);
  EXPECT_EQ(seen, (std::vector<std::string>{"file-failed /d/a", "file-failed /d/b", "file-written /d/a",
                                            "file-failed /d/a"}));
}

TEST(ReceiverEvents, EnvironmentCarriesReceiverTextOnlyAsEscapedData) {
  ReceiverEvent e{EventKind::StatusChanged, At(1, 2, 3), "$(rm -rf ~)`id`;x\r\ny\\z\xff", "LOCK", "m", ""};
  const EventContext c{"/dev/ttyS0", "/var/lib/varnex", "HEWLETT-PACKARD,Z3801A,\x07"};
  const std::vector<std::string> env = EventEnvironment(e, c);
  const std::vector<std::string> expected = {
      "VARNEX_EVENT=status-changed",
      "VARNEX_TIME=2013-08-01T01:02:03Z",
      "VARNEX_STATUS=$(rm -rf ~)`id`;x\\x0D\\x0Ay\\\\z\\xFF",
      "VARNEX_PREVIOUS_STATUS=LOCK",
      "VARNEX_MESSAGE=m",
      "VARNEX_FILE=",
      "VARNEX_DEVICE=/dev/ttyS0",
      "VARNEX_FOLDER=/var/lib/varnex",
      "VARNEX_RECEIVER=HEWLETT-PACKARD,Z3801A,\\x07",
  };
  EXPECT_EQ(env, expected);
  EXPECT_EQ(EscapeReceiverText(std::string(600, 'a')).size(), 515u);
}

TEST(ReceiverEvents, NoErrorAnswers) {
  for (const char* none : {"+0,\"No error\"", "0,\"No error\"", " -0", "+00"})
    EXPECT_TRUE(IsNoErrorAnswer(none)) << none;
  for (const char* some : {"-310,\"System error\"", "+10", "", "No error", "+0x1"})
    EXPECT_FALSE(IsNoErrorAnswer(some)) << some;
}

TEST(ReceiverEvents, SettingsSectionOnlyOnceSet) {
  TBigIniFile ini(FreshTestFolder("events") + "/Varnex.ini");
  SaveEventSettings(ini, EventSettings{});
  std::vector<std::string> lines;
  ini.WriteAllTo(lines);
  EXPECT_TRUE(lines.empty());
  EventSettings s;
  s.Command = "/usr/local/bin/tell me";
  s.NotifyStatus = false;
  s.NotifyFile = true;
  SaveEventSettings(ini, s);
  EXPECT_EQ(LoadEventSettings(ini), s);
  SaveEventSettings(ini, EventSettings{});  // once there, the section stays and follows
  EXPECT_EQ(LoadEventSettings(ini), EventSettings{});
  EXPECT_TRUE(s.Notifies(EventKind::FileFailed));
  EXPECT_FALSE(s.Notifies(EventKind::StatusChanged));
  EXPECT_TRUE(s.Notifies(EventKind::LineBack));
  EXPECT_FALSE(s.Notifies(EventKind::ReceiverError));
}

}  // namespace
