// varnex-soak: days of polling in virtual time. The real poll thread, refresh cycle
// and data-file writer run against the simulated receiver on a pseudo-terminal; every
// simulated hour one fault mode is injected for a few cycles and once a day the device
// goes away for a few minutes. At the end the data files, the bounds and the memory
// are checked; the exit code is 0 only when every check holds.
//
// With --logger, varnex-logger's own main loop runs instead of the bare refresh cycle:
// it reads the settings file the soak writes, opens the port, writes every file and
// says what happens on its reporter; two hours of the first day its data file sits
// on a full disk. Its stop, its reports and the saved settings are checked too.
//
//   varnex-soak [--days N] [--folder DIR] [--seed S] [--logger]
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "HeadlessLogger.h"
#include "charting/ChartSeries.h"
#include "frontend/BigIni.h"
#include "frontend/DataFile.h"
#include "frontend/RefreshCycle.h"
#include "frontend/Settings.h"
#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "link/LinkPort.h"
#include "link/ScanNumbers.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

namespace {

constexpr double MsPerDay = 86400000.0;

// Virtual time that waits a little real time only inside a poll cycle, where the
// receiver must get the chance to answer; between cycles it runs ahead freely, but
// never more than a few refresh ticks ahead of the refresh cycle (which, on a busy
// machine, may not get the processor for a while).
class SoakClock final : public Clock {
 public:
  SoakClock(TDateTime start, const SharedReceiverState& state) : virtual_(start), state_(state), ticked_(start) {}
  TDateTime UtcNow() override { return virtual_.UtcNow(); }
  TDateTime LocalNow() override { return virtual_.UtcNow(); }
  void Sleep(int milliseconds) override {
    if (state_.PollBusy.load())
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    else
      std::this_thread::yield();
    while (!released_.load() && (virtual_.UtcNow() - ticked_.load()) * 86400000.0 > 300)
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    virtual_.Advance(milliseconds);
  }
  // The refresh cycle has run at t.
  void Ticked(TDateTime t) { ticked_ = t; }
  // Stops holding the poll thread back (at the end, when no more ticks come).
  void Release() { released_ = true; }

 private:
  VirtualClock virtual_;
  const SharedReceiverState& state_;
  std::atomic<TDateTime> ticked_;
  std::atomic<bool> released_{false};
};

// The stamp of a trace line ("yyyy-mm-dd hh:nn:ss ..."), 0 when it has none.
TDateTime StampOf(const std::string& line) {
  DateTimeParts p;
  if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d", &p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second) != 6)
    return 0;
  return EncodeDateTime(p);
}

class CountingView final : public QuietRefreshView {
 public:
  void ShowStatusLines(const std::vector<std::string>& lines) override {
    ++screens;
    longestScreen = std::max(longestScreen, lines.size());
  }
  // Called after a screen's data line would have been written: count the screens whose
  // four values were all valid, each of which must have given one line.
  void ChartsChanged() override {
    if (refresh && refresh->PpsTiValid && refresh->EfcValid && refresh->HupValid && refresh->TrackedValid) ++eligible;
  }
  const RefreshCycle* refresh = nullptr;
  long eligible = 0;
  long screens = 0;
  std::size_t longestScreen = 0;
};

long ResidentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> DataFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("VarnexData", 0) == 0) files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

struct Check {
  const char* what;
  bool ok;
  std::string detail;
};

}  // namespace

int main(int argc, char** argv) {
  double days = 7;
  std::string folder;
  std::uint32_t seed = 1;
  bool loggerMode = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (a == "--logger") {
      loggerMode = true;
      continue;
    }
    if (a == "--days") days = std::atof(value);
    if (a == "--folder") folder = value;
    if (a == "--seed") seed = static_cast<std::uint32_t>(std::atoi(value));
    ++i;
  }
  if (folder.empty()) {
    char name[] = "/tmp/varnex-soak-XXXXXX";
    folder = mkdtemp(name);
  }
  const std::string link = folder + "/ttyVarnex";
  const auto wallStart = std::chrono::steady_clock::now();
  prctl(PR_SET_TIMERSLACK, 1UL);  // short pauses really short

  SharedReceiverState state;
  state.StartGate = true;
  const TDateTime start = EncodeDateTime({2013, 8, 5, 0, 0, 5, 0});  // a Monday
  const TDateTime end = start + days;
  SoakClock clock(start, state);

  SimOptions options;
  options.family = SimFamily::Z3801;
  options.baud = 0;  // unpaced
  options.clock = &clock;
  options.seed = seed;
  options.linkPath = link;
  ReceiverSim sim(options);
  if (!sim.Start()) {
    std::fprintf(stderr, "varnex-soak: no pseudo-terminal\n");
    return 2;
  }
  VarnexSettings settings;
  CountingView view;
  ChartSeries ppsTi("PPS TI"), efc("EFC"), hud("HUD"), sats("Sats");
  long dataLines = 0, failedLines = 0;
  RefreshLogs logs;
  logs.AppendStatusHistory = [](TDateTime, const std::string&) {};
  logs.AppendErrorLog = [](TDateTime, const std::string&) {};
  logs.AppendDataLine = [&](const MeasurementRecord& r) {
    if (AppendDataLine(folder, DataRecord{r.Time, r.PpsTi, r.Efc, r.Hup, static_cast<double>(r.Tracked)}))
      ++dataLines;
    else
      ++failedLines;
  };
  RefreshCycle refresh(state, clock, settings, view, RefreshSeries{&ppsTi, &efc, &hud, &sats}, logs);
  view.refresh = &refresh;

  // What the logger says, by kind; it must never say something every cycle.
  std::vector<std::string> said;
  HeadlessLogger logger(folder, state, clock, [&said](const std::string& line) { said.push_back(line); });
  std::unique_ptr<TComThread> thread;
  if (loggerMode) {
    std::ofstream(folder + "/Varnex.ini", std::ios::binary) << "[Serial]\r\nDevice=" << link << "\r\n";
    std::string error;
    if (!logger.Start(&error)) {
      std::fprintf(stderr, "varnex-soak: %s\n", error.c_str());
      return 2;
    }
  } else {
    auto port = std::make_shared<T_AdvCom32>();
    port->SetDevicePath(link);
    port->Open();
    thread = std::make_unique<TComThread>(state, std::make_shared<AdvCom32LinkPort>(port), clock, nullptr);
    thread->Start();
  }

  const SimFault modes[] = {SimFault::Silent,  SimFault::NoPrompt, SimFault::Chatter,
                            SimFault::Garbage, SimFault::Trickle,  SimFault::None /* echo on */};
  const char* modeNames[] = {"silent", "noprompt", "chatter", "garbage", "trickle", "echo"};
  std::map<std::string, int> faults;
  int outages = 0;
  long lastHour = -1, lastDay = 0, lastOutageDay = -1;
  TDateTime faultUntil = 0, outageUntil = 0, nextTick = start;
  std::size_t maxTrace = 0, maxSeries = 0;
  long sends = 0;
  TDateTime lastSend = start;
  double longestSendGapMs = 0;
  std::vector<std::pair<double, long>> memory;  // (simulated day, resident kB)
  // Size and hash of each data file at the end of every day: the prefix must not change.
  std::vector<std::tuple<std::string, std::size_t, std::size_t>> snapshots;
  std::string gapBefore, gapAfter;
  TDateTime gapAt = 0;
  std::string lastSendLine;

  auto traced = [&](const std::string& line) {
    if (line.find(" Send    : ") == std::string::npos) return;
    ++sends;
    const TDateTime sent = StampOf(line);
    if ((sent - lastSend) * MsPerDay > longestSendGapMs) {
      longestSendGapMs = (sent - lastSend) * MsPerDay;
      gapBefore = lastSendLine;
      gapAfter = line;
      gapAt = sent;
    }
    lastSend = sent;
    lastSendLine = line;
  };
  logger.OnTrace = traced;
  auto ticked = [&](TDateTime now) {
    clock.Ticked(now);
    nextTick = now + 100 / MsPerDay;
    maxSeries = std::max({maxSeries, ppsTi.Count(), efc.Count(), hud.Count(), sats.Count()});
  };
  // Two hours of the first day the data file is on a full disk (its name leads to
  // /dev/full); the lines of that time are lost, the rest must be whole.
  const TDateTime fullFrom = start + 0.25, fullUntil = fullFrom + 2.0 / 24;
  std::string fullFile;
  auto diskFull = [&](TDateTime now) {
    if (!loggerMode || days < 0.5) return;
    if (fullFile.empty() && now >= fullFrom && now < fullUntil) {
      fullFile = folder + "/" + DataFileName(now);
      std::error_code e;
      std::filesystem::rename(fullFile, fullFile + ".aside", e);
      std::filesystem::create_symlink("/dev/full", fullFile, e);
    } else if (!fullFile.empty() && now >= fullUntil && std::filesystem::is_symlink(fullFile)) {
      std::error_code e;
      std::filesystem::remove(fullFile, e);
      std::filesystem::rename(fullFile + ".aside", fullFile, e);
    }
  };

  // Faults, outages and snapshots between the refresh ticks.
  auto between = [&](TDateTime now) {
    maxTrace = std::max(maxTrace, state.TraceCount());
    diskFull(now);

    const long hour = static_cast<long>((now - start) * 24);
    if (hour != lastHour) {
      lastHour = hour;
      const int m = static_cast<int>(hour % 6);
      if (modes[m] == SimFault::None)
        sim.SetEcho(true);
      else
        sim.SetFault(modes[m]);
      ++faults[modeNames[m]];
      faultUntil = now + 35000 / MsPerDay;  // three or four cycles
      memory.emplace_back((now - start), ResidentKilobytes());
    }
    if (faultUntil != 0 && now >= faultUntil) {
      faultUntil = 0;
      sim.SetFault(SimFault::None);
      sim.SetEcho(false);
    }
    const long day = static_cast<long>(now - start);
    if (day != lastDay) {
      lastDay = day;
      for (const std::string& f : DataFiles(folder)) {
        const std::string text = ReadAll(f);
        snapshots.emplace_back(f, text.size(), std::hash<std::string>{}(text));
      }
    }
    // Once a day, at half past noon, the device is gone for three minutes.
    const double dayFraction = (now - start) - day;
    if (lastOutageDay != day && dayFraction >= 0.52) {
      lastOutageDay = day;
      sim.Stop();
      ++outages;
      outageUntil = now + 180000 / MsPerDay;
    }
    if (outageUntil != 0 && now >= outageUntil) {
      outageUntil = 0;
      sim.Start();
    }
  };

  bool stopped = false;
  if (loggerMode) {
    LoggerControl control;
    RunLogger(logger, control, [&] {
      ticked(clock.UtcNow());
      for (;;) {
        const TDateTime now = clock.UtcNow();
        if (now >= end) {
          control.Stop = true;
          return;
        }
        between(now);
        if (now >= nextTick) return;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
    });
    clock.Release();
    stopped = logger.Stop(5000);
    dataLines = logger.Counts().DataLines;
    failedLines = logger.Counts().FailedLines;
    view.eligible = logger.Counts().Eligible;
    view.screens = logger.Counts().Screens;
  } else {
    while (clock.UtcNow() < end) {
      const TDateTime now = clock.UtcNow();
      if (now >= nextTick) {
        refresh.Tick();
        ticked(now);
        for (const std::string& line : state.DrainTrace()) traced(line);
      }
      between(now);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    clock.Release();
    stopped = TComThread::StopWithin(std::move(thread), 5000);
    refresh.Tick();
  }
  memory.emplace_back(days, ResidentKilobytes());
  const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  // The files: every line five numbers, stamps in strict time order, nothing rewritten.
  long fileLines = 0, malformed = 0, disorder = 0;
  double lastMjd = 0;
  bool rewritten = false;
  for (const auto& [f, size, hash] : snapshots) {
    const std::string text = ReadAll(f);
    if (text.size() < size || std::hash<std::string>{}(text.substr(0, size)) != hash) rewritten = true;
  }
  for (const std::string& f : DataFiles(folder)) {
    const std::string text = ReadAll(f);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ++fileLines;
      NumberList n;
      if (!ScanNumbers(line, n) || n.Count != 5 || std::count(line.begin(), line.end(), '\t') != 4) {
        ++malformed;
        continue;
      }
      if (n[1] <= lastMjd) ++disorder;
      lastMjd = n[1];
    }
  }
  long growthKb = 0;
  if (days > 1) {
    long firstDayKb = 0;
    for (const auto& [d, kb] : memory)
      if (d <= 1.0) firstDayKb = kb;
    growthKb = memory.back().second - firstDayKb;
  }

  const long cycles = static_cast<long>(std::floor((end - start) * 8640));
  std::vector<Check> checks = {
      {"every status screen with its four values valid gave one data line", dataLines + failedLines == view.eligible,
       std::to_string(view.screens) + " screens, " + std::to_string(view.eligible) + " with valid values, " +
           std::to_string(dataLines) + " lines"},
      {"the files hold exactly the lines written", fileLines == dataLines, std::to_string(fileLines) + " in files"},
      {"every line well formed", malformed == 0, std::to_string(malformed) + " malformed"},
      {"lines in time order", disorder == 0, std::to_string(disorder) + " out of order"},
      {"no line rewritten", !rewritten, ""},
      {"trace queue bounded", maxTrace < 5000, "at most " + std::to_string(maxTrace) + " queued"},
      {"chart series bounded by the span", maxSeries <= 8640 * 2, "at most " + std::to_string(maxSeries) + " points"},
      {"the thread never stalled (a query at least every 62 s)", longestSendGapMs <= 62000,
       "longest gap " + std::to_string(static_cast<long>(longestSendGapMs)) + " ms"},
      {"resident memory after the first day grew < 5 MB", growthKb < 5 * 1024, std::to_string(growthKb) + " kB"},
      {"the thread stopped within its bound", stopped, ""},
  };

  if (loggerMode) {
    auto count = [&said](const std::string& text) {
      return std::count_if(said.begin(), said.end(),
                           [&text](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    const LoggerCounts& c = logger.Counts();
    const long hours = static_cast<long>(std::floor(days * 24 + 1e-9));
    TAppIniFile saved(folder);
    int learned = 0;
    for (int az = 0; az < 360; ++az) learned += saved.ReadInteger("Horizont", HorizonKey(az), 90) < 90;
    const bool diskWasFull = !fullFile.empty();
    const long fullSaid = count("Cannot write " + fullFile), againSaid = count(fullFile + " is written again");
    checks.push_back({"one summary an hour", c.Summaries >= hours - 1 && c.Summaries <= hours,
                      std::to_string(c.Summaries) + " summaries"});
    checks.push_back({"every outage said: port lost and opened again",
                      c.PortLost >= outages && c.PortOpened >= outages && count(" lost (") == c.PortLost,
                      std::to_string(c.PortLost) + " lost, " + std::to_string(c.PortOpened) + " opened"});
    checks.push_back({"nothing said per poll cycle", static_cast<long>(said.size()) < hours * 6 + 20,
                      std::to_string(said.size()) + " lines said"});
    checks.push_back({"the full disk said once an hour, and its end once",
                      !diskWasFull || (fullSaid == 2 && againSaid == 1 && c.FailedLines > 600),
                      std::to_string(fullSaid) + " said, " + std::to_string(againSaid) + " again, " +
                          std::to_string(c.FailedLines) + " lines lost"});
    checks.push_back({"the settings saved at the stop, with the learned horizon", learned > 0,
                      std::to_string(learned) + " azimuths learned"});
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double cpuSeconds =
      usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;

  std::printf("varnex-soak: %.2f simulated days in %.1f s wall time, folder %s\n", days, wallSeconds, folder.c_str());
  std::printf("  tick slots %ld, status screens %ld (longest %zu lines), data lines %ld, queries sent %ld\n", cycles,
              view.screens, view.longestScreen, dataLines, sends);
  std::printf("  faults injected:");
  for (const auto& [name, count] : faults) std::printf(" %s %d", name.c_str(), count);
  std::printf("; outages %d\n  resident memory (day: kB):", outages);
  for (std::size_t i = 0; i < memory.size(); i += std::max<std::size_t>(1, memory.size() / 8))
    std::printf(" %.2f: %ld", memory[i].first, memory[i].second);
  std::printf(" %.2f: %ld\n", memory.back().first, memory.back().second);
  std::printf("  %s: CPU time %.1f s, peak resident memory %ld kB (the simulated receiver included)\n",
              loggerMode ? "logger main loop" : "refresh cycle", cpuSeconds, usage.ru_maxrss);
  if (longestSendGapMs > 62000)
    std::printf("  longest gap ends at day %.4f: before \"%s\", after \"%s\"\n", gapAt - start,
                gapBefore.substr(0, gapBefore.size() - 2).c_str(), gapAfter.substr(0, gapAfter.size() - 2).c_str());
  if (loggerMode) {
    std::printf("  the logger said %zu lines, among them:\n", said.size());
    for (std::size_t i = 0; i < said.size() && i < 12; ++i) std::printf("    %s\n", said[i].c_str());
  }
  bool all = true;
  for (const Check& c : checks) {
    std::printf("  [%s] %s%s%s\n", c.ok ? " ok " : "FAIL", c.what, c.detail.empty() ? "" : ": ", c.detail.c_str());
    all = all && c.ok;
  }
  return all ? 0 : 1;
}
