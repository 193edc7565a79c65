// A receiver whose device goes away and comes back at the same path is taken up
// again without the user: over a pseudo-terminal behind a fixed link path.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "SimRig.h"

namespace {

struct TempDir {
  TempDir() {
    char name[] = "/tmp/varnex-link-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() {
    unlink((path + "/ttyVarnex").c_str());
    unlink((path + "/ttyVarnex.file").c_str());
    rmdir(path.c_str());
  }
  std::string path;
};

double Seconds(TDateTime from, TDateTime to) { return (to - from) * 86400.0; }

int TraceCount(const SimRig& rig, const std::string& text) {
  return static_cast<int>(std::count_if(rig.trace.begin(), rig.trace.end(),
                                        [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

// When the trace first shows text after a moment (stamps to the second), or 0.
TDateTime FirstTraceAfter(const SimRig& rig, const std::string& text, TDateTime after) {
  for (const std::string& line : rig.trace) {
    if (line.find(text) == std::string::npos) continue;
    DateTimeParts p;
    if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d", &p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second) != 6)
      continue;
    const TDateTime t = EncodeDateTime(p);
    if (t >= after - 1.0 / 86400) return t;
  }
  return 0;
}

struct ReturnCase {
  SimFamily returnsAs;
  std::uint8_t family;
  const char* firstQuery;  // the first query of that family's cycle
};

class Recovery : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(Recovery, TheDeviceVanishesForThirtySecondsAndPollingResumes) {
  TempDir dir;
  const std::string link = dir.path + "/ttyVarnex";
  SimOptions o = Options(SimFamily::Z3801);
  o.linkPath = link;
  SimRig rig(o);
  ASSERT_TRUE(rig.sim->Start());
  rig.port.SetDevicePath(link);
  ASSERT_TRUE(rig.port.Open());

  TDateTime vanishedAt = 0, returnedAt = 0;
  std::vector<TDateTime> screens;  // when each status screen was published
  std::vector<std::string> lines;
  rig.Run(At(12, 2, 0), [&] {
    const TDateTime now = rig.clock.UtcNow();
    if (rig.state.TakeStatusLines(lines)) screens.push_back(now);
    if (vanishedAt == 0 && now >= At(12, 0, 25)) {
      rig.sim->Stop();  // unplugged: the node goes too
      vanishedAt = rig.clock.UtcNow();
    }
    if (vanishedAt != 0 && returnedAt == 0 && Seconds(vanishedAt, now) >= 30) {
      rig.sim->SetFamily(GetParam().returnsAs);
      if (!rig.sim->Start()) return true;
      returnedAt = rig.clock.UtcNow();
    }
    return returnedAt != 0 && !screens.empty() && screens.back() > returnedAt;
  });
  ASSERT_TRUE(rig.joined);
  ASSERT_NE(returnedAt, 0);

  EXPECT_EQ(TraceCount(rig, " Serial port " + link + " lost ("), 1);
  EXPECT_EQ(TraceCount(rig, " Serial port " + link + " opened\r\n"), 1);
  const TDateTime resumed = FirstTraceAfter(rig, "Send    : " + std::string(GetParam().firstQuery), returnedAt);
  ASSERT_NE(resumed, 0);
  EXPECT_LE(Seconds(returnedAt, resumed), 20.0);
  EXPECT_EQ(rig.state.DeviceFamily.load(), GetParam().family);
  // A gap: a screen before the outage, none during it, screens again after it.
  ASSERT_FALSE(screens.empty());
  EXPECT_LT(screens.front(), vanishedAt);
  for (TDateTime t : screens) EXPECT_TRUE(t < vanishedAt + 1.0 / 86400 || t > returnedAt) << Seconds(vanishedAt, t);
  EXPECT_EQ(rig.port.OpenCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Families, Recovery,
                         ::testing::Values(ReturnCase{SimFamily::Z3801, FamilyZ3801, ":PTIM:TINT?"},
                                           ReturnCase{SimFamily::Gcru, FamilyGCRU, ":DIAG:ROSC:EFC:ABS?"}),
                         [](const auto& info) { return info.param.family == FamilyGCRU ? "AsGcru" : "AsZ3801"; });

TEST(Recovery, APathThatIsNoSerialDeviceIsRetriedSilentlyUntilOneIsThere) {
  TempDir dir;
  const std::string path = dir.path + "/ttyVarnex";
  std::ofstream(path).flush();  // exists, but a plain file
  SimRig rig(Options(SimFamily::Z3801));
  rig.port.SetDevicePath(path);
  EXPECT_FALSE(rig.port.Open());

  TDateTime pluggedAt = 0;
  rig.Run(At(12, 3, 0), [&] {
    if (pluggedAt == 0 && rig.clock.UtcNow() >= At(12, 1, 30)) {
      // The adapter is plugged in: its node replaces the file.
      rig.sim->Start();
      unlink(path.c_str());
      if (symlink(rig.sim->SlavePath().c_str(), path.c_str()) != 0) return true;
      pluggedAt = rig.clock.UtcNow();
    }
    return pluggedAt != 0 && rig.state.IsNew(ReceiverValue::PpsTi);
  });
  ASSERT_TRUE(rig.joined);
  ASSERT_NE(pluggedAt, 0);
  // Eight retries on the file said nothing; the one that found the device said so.
  EXPECT_EQ(TraceCount(rig, "Serial port"), 1);
  const TDateTime opened = FirstTraceAfter(rig, " Serial port " + path + " opened", pluggedAt);
  ASSERT_NE(opened, 0);
  EXPECT_LE(Seconds(pluggedAt, opened), 11.0);
  EXPECT_EQ(rig.state.DeviceFamily.load(), FamilyZ3801);
}

// Descriptors of this process open on the device behind path.
int OpenDescriptors(const std::string& path) {
  char target[PATH_MAX];
  if (!realpath(path.c_str(), target)) return 0;
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  while (dirent* e = d ? readdir(d) : nullptr) {
    char link[PATH_MAX] = {};
    const std::string fd = std::string("/proc/self/fd/") + e->d_name;
    if (readlink(fd.c_str(), link, sizeof link - 1) > 0 && std::string(link) == target) ++count;
  }
  if (d) closedir(d);
  return count;
}

TEST(Recovery, ARetryRacingTheDialogsReopenLeavesTheLineOpenOnce) {
  TempDir dir;
  const std::string link = dir.path + "/ttyVarnex";
  SimOptions o = Options(SimFamily::Z3801);
  o.linkPath = link;
  SimRig rig(o, At(12, 0, 7), 0.02);
  ASSERT_TRUE(rig.sim->Start());
  rig.port.SetDevicePath(link);
  // The line is down at start, so the poll thread retries every 10 s meanwhile.
  std::atomic<bool> done{false};
  std::thread dialog([&] {
    // The parameters dialog's Ok: close, change the line, open; again and again.
    for (int i = 0; !done; ++i) {
      rig.port.Close();
      std::this_thread::sleep_for(std::chrono::microseconds(700 + 37 * (i % 11)));
      rig.port.SetBaud(i % 2 ? 19200 : 9600);
      rig.port.Open();
      std::this_thread::sleep_for(std::chrono::microseconds(700 + 53 * (i % 7)));
    }
  });
  rig.Run(At(12, 1, 30), [&] { return false; });
  done = true;
  dialog.join();
  ASSERT_TRUE(rig.joined);
  // The dialog's last open stands, with its settings, on one descriptor (the simulator
  // holds the other).
  EXPECT_TRUE(rig.port.Opened());
  EXPECT_EQ(OpenDescriptors(link), 2);
  const int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_EQ(LineSpeed(fd), rig.port.Baud());
  close(fd);
  EXPECT_GT(rig.port.OpenCount(), 100);
  EXPECT_TRUE(rig.TraceHas("Received: HEWLETT-PACKARD"));  // and it was polled meanwhile
}

}  // namespace
