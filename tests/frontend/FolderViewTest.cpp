// Following a folder that another program writes: what reaches the charts, exactly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "charting/ChartSeries.h"
#include "frontend/DataFile.h"
#include "frontend/FolderView.h"
#include "frontend/Settings.h"
#include "frontend/StatusLog.h"
#include "link/TimeHelpers.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

namespace {
namespace fs = std::filesystem;

const TDateTime Monday = EncodeDateTime({2026, 12, 7, 12, 0, 0, 0});  // ISO week 50

std::string Line(TDateTime t, double ppsTi) {
  return FormatDataLine(DataRecord{t, ppsTi, 32768.0 + ppsTi * 1e9, 1e-6, 8.0}) + "\r\n";
}
TDateTime At(int seconds) { return Monday + seconds / 86400.0; }

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}
void Replace(const std::string& path, const std::string& text) {
  // A new file put in the old one's place, as a copy tool or a rotation does.
  std::ofstream(path + ".new", std::ios::binary) << text;
  fs::rename(path + ".new", path);
}
void Shorten(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

struct Rig {
  explicit Rig(const std::string& prefix) : folder(FreshTestFolder(prefix)) { clock.Set(At(0)); }
  std::string folder;
  VirtualClock clock;
  VarnexSettings settings;
  ChartSeries pps{"PPS TI"}, efc{"EFC"}, hud{"HUD"}, sats{"Sats"};
  std::string Week(TDateTime t) const { return folder + "/" + DataFileName(t); }
  std::vector<double> Times() const {
    std::vector<double> xs;
    for (const ChartPoint& p : pps.Points()) xs.push_back(std::round((p.x - Monday) * 86400.0));
    return xs;
  }
  std::vector<double> Values() const {
    std::vector<double> ys;
    for (const ChartPoint& p : pps.Points()) ys.push_back(p.y);
    return ys;
  }
};

// Each case: what is in the folder at start, then steps of writing and following.
struct Step {
  std::function<void(Rig&)> write;
  std::vector<double> times;   // seconds after Monday 12:00 of every PPS TI point so far
  std::vector<double> values;  // their PPS TI values
};
struct Case {
  const char* name;
  std::function<void(Rig&)> before;
  std::vector<Step> steps;
};

TEST(FolderView, ChartsEachWholeLineOnceAndInOrder) {
  const Case cases[] = {
      {"partial last line held back until its line end arrives",
       [](Rig& r) { Append(r.Week(At(0)), Line(At(-10), 1)); },
       {{[](Rig& r) {
           const std::string l = Line(At(0), 2);
           Append(r.Week(At(0)), l.substr(0, 50));  // cut inside the EFC field
         },
         {},
         {}},
        {[](Rig& r) { Append(r.Week(At(0)), Line(At(0), 2).substr(50)); }, {0}, {2}},
        {[](Rig& r) { Append(r.Week(At(0)), Line(At(10), 3) + Line(At(20), 4).substr(0, 113)); }, {0, 10}, {2, 3}},
        {[](Rig& r) { Append(r.Week(At(0)), Line(At(20), 4).substr(113)); }, {0, 10, 20}, {2, 3, 4}}}},
      {"truncated file read again: old lines not twice, new ones charted",
       [](Rig& r) { Append(r.Week(At(0)), Line(At(-20), 1) + Line(At(-10), 2)); },
       {{[](Rig& r) { Append(r.Week(At(0)), Line(At(0), 3)); }, {0}, {3}},
        {[](Rig& r) { Shorten(r.Week(At(0)), Line(At(-20), 1)); }, {0}, {3}},
        {[](Rig& r) { Append(r.Week(At(0)), Line(At(-10), 2) + Line(At(0), 3) + Line(At(10), 5)); }, {0, 10}, {3, 5}},
        // Shortened and grown past the old length between two passes.
        {[](Rig& r) { Shorten(r.Week(At(0)), Line(At(20), 6) + Line(At(30), 7) + Line(At(40), 8) + Line(At(50), 9)); },
         {0, 10, 20, 30, 40, 50},
         {3, 5, 6, 7, 8, 9}}}},
      {"replaced file and a clock set back: nothing twice or out of order",
       [](Rig& r) { Append(r.Week(At(0)), Line(At(-10), 1)); },
       {{[](Rig& r) { Replace(r.Week(At(0)), Line(At(-10), 1) + Line(At(0), 2)); }, {0}, {2}},
        {[](Rig& r) { Append(r.Week(At(0)), Line(At(-300), 3) + Line(At(5), 4)); }, {0, 5}, {2, 4}}}},
      {"new week's file picked up",
       [](Rig& r) { Append(r.Week(At(0)), Line(At(-10), 1)); },
       {{[](Rig& r) {
           r.clock.Set(At(6 * 86400 + 11 * 3600 + 59 * 60 + 50));  // Sunday 23:59:50
           Append(r.Week(At(0)), Line(r.clock.UtcNow(), 2));
         },
         {6 * 86400 + 43190},
         {2}},
        {[](Rig& r) {
           r.clock.Set(At(6 * 86400 + 43200));  // Monday 00:00:00 of week 51
           Append(r.Week(r.clock.UtcNow()), Line(r.clock.UtcNow(), 3));
         },
         {6 * 86400 + 43190, 6 * 86400 + 43200},
         {2, 3}}}},
      {"junk and lines cut by a crash are not charted",
       [](Rig&) {},
       {{[](Rig& r) {
           Append(r.Week(At(0)), "header line\r\n" + Line(At(0), 1).substr(0, 60) + "\r\n" + Line(At(10), 2));
         },
         {10},
         {2}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r("folder_view");
    c.before(r);
    FolderView view(r.folder, r.clock, r.settings);
    view.SetSeries({&r.pps, &r.efc, &r.hud, &r.sats});
    view.Start();
    view.Loaded();  // nothing loaded: the lines at start are the loaders' business
    int n = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE("step " + std::to_string(++n));
      s.write(r);
      view.Follow();
      EXPECT_EQ(r.Times(), s.times);
      EXPECT_EQ(r.Values(), s.values);
      EXPECT_EQ(r.hud.Count(), r.pps.Count());
      EXPECT_EQ(r.sats.Count(), r.pps.Count());
    }
  }
}

TEST(FolderView, FollowsAReadOnlyFolderAndLeavesItAsItWas) {
  Rig r("folder_view_ro");
  Append(r.Week(At(0)), Line(At(-10), 1));
  Append(r.folder + "/" + StatusHistoryFileName, "2026-12-07 11:59:00: Starting with status LOCK\r\n");
  FolderView view(r.folder, r.clock, r.settings);
  view.SetSeries({&r.pps, &r.efc, &r.hud, &r.sats});
  view.Start();
  ASSERT_TRUE(view.HaveNewest());
  EXPECT_EQ(view.Newest().PpsTi, 1);

  // The writer appends; then the folder and its files become read-only to us.
  Append(r.Week(At(0)), Line(At(0), 2));
  Append(r.folder + "/" + StatusHistoryFileName, "2026-12-07 12:00:00: The Smartclock Status has changed to HOLD\r\n");
  for (const auto& e : fs::directory_iterator(r.folder)) fs::permissions(e.path(), fs::perms::owner_read);
  fs::permissions(r.folder, fs::perms::owner_read | fs::perms::owner_exec);
  std::vector<std::pair<std::string, std::uintmax_t>> before;
  for (const auto& e : fs::directory_iterator(r.folder)) before.emplace_back(e.path().string(), e.file_size());

  const FollowResult got = view.Follow();
  EXPECT_EQ(got.Charted, 1);
  EXPECT_EQ(r.Values(), std::vector<double>{2});
  EXPECT_EQ(got.StatusLines,
            std::vector<std::string>{"2026-12-07 12:00:00: The Smartclock Status has changed to HOLD"});
  EXPECT_EQ(view.Problem(), "");
  std::vector<std::pair<std::string, std::uintmax_t>> after;
  for (const auto& e : fs::directory_iterator(r.folder)) after.emplace_back(e.path().string(), e.file_size());
  EXPECT_EQ(after, before);
  fs::permissions(r.folder, fs::perms::owner_all);
}

TEST(FolderView, MarksAStoppedWriterAndAFolderThatWentAway) {
  Rig r("folder_view_stale");
  const std::string gone = r.folder + "/share";
  fs::create_directories(gone);
  r.folder = gone;
  FolderView view(r.folder, r.clock, r.settings);
  view.SetSeries({&r.pps, &r.efc, nullptr, nullptr});
  view.Start();
  EXPECT_EQ(NewestLineText(view), "No data lines yet");
  Append(r.Week(At(0)), Line(At(0), 1));
  r.clock.Advance(2000);
  FollowResult result;
  ASSERT_TRUE(view.Tick(result));
  EXPECT_EQ(result.Charted, 1);
  EXPECT_EQ(NewestLineText(view), "Newest line 12-07 12:00:00");
  r.clock.Advance(59000);
  EXPECT_FALSE(view.WriterStopped());
  r.clock.Advance(2000);
  EXPECT_TRUE(view.WriterStopped());
  EXPECT_EQ(NewestLineText(view), "Writer stopped 12-07 12:00:00");
  EXPECT_EQ(NewestLineTip(view),
            "Newest data line 2026-12-07 12:00:00 UTC. No new line for more than a minute: the writer has stopped.");

  // The share goes away and comes back with the same file: the view resumes by itself.
  fs::rename(gone, gone + ".away");
  view.Follow();
  EXPECT_EQ(NewestLineText(view), "Folder out of reach, trying again");
  EXPECT_NE(NewestLineTip(view).find("The folder cannot be read just now: " + gone + " does not exist."),
            std::string::npos);
  fs::rename(gone + ".away", gone);
  Append(r.Week(At(0)), Line(At(63), 2));
  view.Follow();
  EXPECT_EQ(r.Values(), (std::vector<double>{1, 2}));
  EXPECT_TRUE(r.pps.IsNull(1));  // 63 s after the previous line: a gap
  EXPECT_FALSE(view.WriterStopped());
  EXPECT_EQ(ViewMarkText("/srv/gps"), "Read-only view of /srv/gps");
}

TEST(FolderView, SaysWhyAFolderCannotBeViewed) {
  const std::string base = FreshTestFolder("folder_view_problem");
  std::ofstream(base + "/file") << "x";
  fs::create_directories(base + "/closed");
  fs::permissions(base + "/closed", fs::perms::none);
  EXPECT_EQ(FollowFolderProblem(base), "");
  EXPECT_EQ(FollowFolderProblem(base + "/missing"), base + "/missing does not exist");
  EXPECT_EQ(FollowFolderProblem(base + "/file"), base + "/file is not a folder");
  if (::geteuid() != 0) {
    EXPECT_EQ(FollowFolderProblem(base + "/closed"), base + "/closed cannot be read");
  }
  fs::permissions(base + "/closed", fs::perms::owner_all);
}

TEST(FolderView, FollowsOnlyTheWeeksTheSpanReaches) {
  Rig r("folder_view_weeks");
  for (int week = 0; week < 52; ++week) Append(r.Week(At(-week * 7 * 86400)), Line(At(-week * 7 * 86400), week));
  FolderView view(r.folder, r.clock, r.settings);
  view.Start();
  EXPECT_EQ(view.Follower().Followed(), 2u);  // span of a day from Monday noon: weeks 49 and 50
}
}  // namespace
