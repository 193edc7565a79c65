// The snapshot follows the refresh rules through a life of the link: values appear
// when read, stay only while current, vanish when the link goes and come back only
// when read again after it returned.
#include <gtest/gtest.h>

#include "frontend/MetricsSnapshot.h"
#include "frontend/RefreshCycle.h"
#include "frontend/Settings.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverModel.h"

namespace {

struct Rig {
  Rig() : clock(EncodeDateTime({2013, 8, 1, 12, 0, 5, 0})), refresh(state, clock, settings, view) {
    // Switched on a while ago: tracking satellites by now.
    model.AdvanceTo(clock.UtcNow() - 100 / SecondsPerDay);
  }

  // One poll cycle as the poll thread publishes it; an empty text is an unanswered query.
  struct Answers {
    std::string pps, efc, hup, status, idn, error;
    bool screen = true;
  };
  void Cycle(const Answers& a) {
    const TDateTime start = clock.UtcNow();
    state.BeginCycle(start);
    model.AdvanceTo(start);
    state.Publish(ReceiverValue::PpsTi, a.pps);
    state.Publish(ReceiverValue::Efc, a.efc);
    state.Publish(ReceiverValue::Hup, a.hup);
    state.Publish(ReceiverValue::OscStatus, a.status);
    state.Publish(ReceiverValue::Idn, a.idn);
    state.Publish(ReceiverValue::Error, a.error);
    if (a.screen) {
      state.Publish(ReceiverValue::Tracked, std::to_string(model.TrackedCount()));
      state.Publish(ReceiverValue::Visible, std::to_string(model.VisibleCount()));
      state.ReplaceStatusLines(model.StatusScreen());
    } else {
      state.Publish(ReceiverValue::Tracked, "");
      state.Publish(ReceiverValue::Visible, "");
    }
  }
  // The 100 ms ticks of `seconds`, each ending with the snapshot.
  const MetricsSnapshot& Run(double seconds) {
    for (int i = 0; i < static_cast<int>(seconds * 10); ++i) {
      clock.Advance(100);
      refresh.Tick();
      recorder.Update(refresh, settings, state.Value(ReceiverValue::Idn), clock.UtcNow());
    }
    return recorder.Snapshot();
  }

  SharedReceiverState state;
  VirtualClock clock;
  VarnexSettings settings;
  QuietRefreshView view;
  RefreshCycle refresh;
  MetricsRecorder recorder;
  ReceiverModel model{SimFamily::Z3801, 7};
};

const char* const Idn = "HEWLETT-PACKARD,Z3801A,3542A01234,3535";

}  // namespace

TEST(MetricsSnapshot, ValuesLiveOnlyWhileTheLinkBringsThem) {
  Rig rig;
  rig.settings.EfcMantissa = 2.5;
  rig.settings.EfcExponent = -11;

  // Nothing read yet: no values, the link not known yet, counters at 0.
  MetricsSnapshot s = rig.Run(1);
  EXPECT_FALSE(s.LinkUp);
  EXPECT_FALSE(s.Identified);
  EXPECT_FALSE(s.PpsTiSeconds || s.Efc || s.HoldoverUncertaintySeconds || s.Tracked || s.Status);
  EXPECT_FALSE(s.LastStatusUnixSeconds);
  EXPECT_EQ(s.PollCycles, 0u);

  const TDateTime first = rig.clock.UtcNow();
  rig.Cycle({"1.5E-09", "32768.25", "+2.0E-06,0", "LOCK", Idn, "+0,\"No error\""});
  s = rig.Run(1);
  ASSERT_TRUE(s.LinkUp);
  EXPECT_TRUE(*s.LinkUp);
  EXPECT_EQ(s.PpsTiSeconds, 1.5e-9);
  EXPECT_EQ(s.Efc, 32768.25);
  ASSERT_TRUE(s.EfcFractional);
  EXPECT_DOUBLE_EQ(*s.EfcFractional, 32768.25 * 2.5e-11);
  EXPECT_EQ(s.HoldoverUncertaintySeconds, 2.0e-6);
  EXPECT_EQ(s.Status, StatusLock);
  EXPECT_EQ(s.Tracked, rig.model.TrackedCount());
  EXPECT_EQ(s.Visible, rig.model.VisibleCount());
  EXPECT_EQ(s.LastStatusUnixSeconds, UnixSeconds(first));
  EXPECT_EQ(s.PollCycles, 1u);
  EXPECT_EQ(s.ReceiverErrors, 0u);
  EXPECT_EQ(s.Model, "Z3801A");
  EXPECT_EQ(s.Serial, "3542A01234");
  // The C/N of exactly the satellites tracked now.
  std::vector<SatelliteLevel> tracked;
  for (const SkySatellite& sat : rig.model.Sky())
    if (sat.tracked) tracked.push_back({sat.prn, sat.cn});
  ASSERT_FALSE(tracked.empty());
  EXPECT_EQ(s.Levels, tracked);

  // A cycle whose PPS TI and EFC went unanswered keeps the last ones: read 10 s ago, still current.
  rig.Run(9);
  rig.Cycle({"", "", "+2.1E-06,0", "HOLD", Idn, "-113,\"Undefined header\""});
  s = rig.Run(1);
  EXPECT_EQ(s.PpsTiSeconds, 1.5e-9);
  EXPECT_EQ(s.Status, StatusHold);
  EXPECT_EQ(s.ReceiverErrors, 1u);
  const double lastBefore = *s.LastStatusUnixSeconds;

  // The receiver falls silent: 45 s after the last screen the link is down, every value
  // goes, the time of the last screen stays.
  s = rig.Run(40);
  EXPECT_TRUE(*s.LinkUp);
  s = rig.Run(6);
  EXPECT_FALSE(*s.LinkUp);
  EXPECT_EQ(s.LinkLost, 1u);
  EXPECT_FALSE(s.PpsTiSeconds || s.Efc || s.EfcFractional || s.HoldoverUncertaintySeconds || s.Tracked || s.Visible ||
               s.Status);
  EXPECT_TRUE(s.Levels.empty());
  EXPECT_EQ(s.LastStatusUnixSeconds, lastBefore);
  EXPECT_TRUE(s.Identified);  // who it is does not go stale

  // It comes back with a screen but without PPS TI, EFC and status: the values from
  // before the loss are not shown as current.
  rig.Cycle({"", "", "", "", "", ""});
  s = rig.Run(1);
  EXPECT_TRUE(*s.LinkUp);
  EXPECT_FALSE(s.PpsTiSeconds || s.Efc || s.HoldoverUncertaintySeconds || s.Status);
  EXPECT_TRUE(s.Tracked);
  rig.Run(9);
  rig.Cycle({"-2.5E-09", "32770", "+3.0E-06,0", "REC", "", "-113,\"Undefined header\""});
  s = rig.Run(1);
  EXPECT_EQ(s.PpsTiSeconds, -2.5e-9);
  EXPECT_EQ(s.Efc, 32770.0);
  EXPECT_EQ(s.Status, StatusRec);
  EXPECT_EQ(s.PollCycles, 4u);
  EXPECT_EQ(s.ReceiverErrors, 1u);  // the same text again is the same report
  rig.Run(9);
  rig.Cycle({"-2.5E-09", "32770", "+3.0E-06,0", "REC", "", "+0,\"No error\""});
  rig.Run(10);
  rig.Cycle({"-2.5E-09", "32770", "+3.0E-06,0", "REC", "", "-113,\"Undefined header\""});
  EXPECT_EQ(rig.Run(1).ReceiverErrors, 2u);
}

// A receiver that never answers: the link is told down once the start's grace is over,
// and that is no loss.
TEST(MetricsSnapshot, NeverUpIsDownAfterTheGrace) {
  Rig rig;
  EXPECT_FALSE(rig.Run(44).LinkUp);
  const MetricsSnapshot& s = rig.Run(2);
  ASSERT_TRUE(s.LinkUp);
  EXPECT_FALSE(*s.LinkUp);
  EXPECT_EQ(s.LinkLost, 0u);
}

TEST(MetricsSnapshot, SplitsIdentifications) {
  struct Case {
    const char* idn;
    const char* maker;
    const char* model;
    const char* serial;
    const char* firmware;
  };
  const Case cases[] = {
      {"HEWLETT-PACKARD,Z3801A,3542A01234,3535", "HEWLETT-PACKARD", "Z3801A", "3542A01234", "3535"},
      {"Symmetricom, Z3816 , SN 7 ,Rev 1.0, extra", "Symmetricom", "Z3816", "SN 7", "Rev 1.0, extra"},
      {"ACME", "ACME", "", "", ""},
      {"", "", "", "", ""},
      {",,,", "", "", "", ""},
  };
  for (const Case& c : cases) {
    MetricsSnapshot s;
    s.Model = "old";
    SplitIdentification(c.idn, s);
    EXPECT_EQ(s.Maker, c.maker) << c.idn;
    EXPECT_EQ(s.Model, c.model) << c.idn;
    EXPECT_EQ(s.Serial, c.serial) << c.idn;
    EXPECT_EQ(s.Firmware, c.firmware) << c.idn;
  }
}

// A cycle starts on a whole second; its Unix time must say so exactly, not one step of
// the double below it, or a scrape shows ...59.9999998 for :00.
TEST(MetricsSnapshot, UnixTimeKeepsWholeSecondsAndMilliseconds) {
  struct Case {
    DateTimeParts at;
    double unix;
  };
  const Case cases[] = {
      {{1970, 1, 1, 0, 0, 0, 0}, 0.0},
      {{2013, 8, 1, 12, 0, 10, 0}, 1375358410.0},
      {{2026, 12, 10, 9, 21, 0, 0}, 1796894460.0},
      {{2026, 12, 10, 9, 21, 0, 250}, 1796894460.25},
      {{2038, 1, 19, 3, 14, 8, 0}, 2147483648.0},
  };
  for (const Case& c : cases) EXPECT_EQ(UnixSeconds(EncodeDateTime(c.at)), c.unix) << std::fixed << c.unix;
  // Every second of a day, none a step off.
  int off = 0;
  const TDateTime day = EncodeDateTime({2026, 12, 10, 0, 0, 0, 0});
  for (int s = 0; s < 86400; s += 10)
    off += UnixSeconds(day + s / SecondsPerDay) != 1796860800.0 + s;
  EXPECT_EQ(off, 0);
}
