// Cost of following a folder another program writes: one pass over a year of weekly
// files when nothing is new, and one pass that takes in one new data line.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "charting/ChartSeries.h"
#include "frontend/DataFile.h"
#include "frontend/FolderView.h"
#include "frontend/Settings.h"
#include "platform/Clock.h"

namespace {

std::string MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnex-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  return pattern;
}

const TDateTime Now = EncodeDateTime({2013, 8, 7, 12, 0, 0, 0});
constexpr double Ten = 10.0 / 86400.0;

// 52 weekly files back from now: the last two weeks full (a line every 10 s), the
// older ones with 1000 lines each; a status history and an error log beside them.
void WriteYear(const std::string& folder) {
  for (int week = 0; week < 52; ++week) {
    const TDateTime weekEnd = Now - week * 7.0;
    std::ofstream out(folder + "/" + DataFileName(weekEnd), std::ios::binary | std::ios::app);
    const int lines = week < 2 ? 60480 : 1000;
    for (int i = lines; i > 0; --i)
      out << FormatDataLine({weekEnd - i * Ten, -1.5e-9 + i * 1e-13, 32768.25 + i * 0.01, 2e-6, 8}) << "\r\n";
  }
  std::ofstream(folder + "/VarnexStatus.Txt", std::ios::binary) << "2013-08-01 12:00:00: Starting with status LOCK\r\n";
  std::ofstream(folder + "/VarnexError.Txt", std::ios::binary) << "2013-08-01 12:00:00: +0,\"No error\"\r\n";
}

struct Viewed {
  explicit Viewed(std::int32_t span) : folder(MakeFolder()), clock(Now) {
    WriteYear(folder);
    settings.SpanMinutes = span;
    view = std::make_unique<FolderView>(folder, clock, settings);
    view->SetSeries({&pps, &efc, &hud, &sats});
    view->Start();
    view->Loaded();
  }
  ~Viewed() { std::filesystem::remove_all(folder); }
  std::string folder;
  VirtualClock clock;
  VarnexSettings settings;
  ChartSeries pps{"PPS TI"}, efc{"EFC"}, hud{"HUD"}, sats{"Sats"};
  std::unique_ptr<FolderView> view;
};

void BM_FollowPassNothingNew(benchmark::State& state) {
  Viewed v(static_cast<std::int32_t>(state.range(0)));
  for (auto _ : state) {
    const FollowResult r = v.view->Follow();
    if (r.Charted != 0 || r.Skipped != 0) state.SkipWithError("a pass with nothing new took lines in");
    benchmark::DoNotOptimize(r);
  }
  state.counters["files_followed"] = static_cast<double>(v.view->Follower().Followed());
}
BENCHMARK(BM_FollowPassNothingNew)->Arg(1440)->Arg(14400)->Unit(benchmark::kMicrosecond);

void BM_FollowPassOneNewLine(benchmark::State& state) {
  Viewed v(static_cast<std::int32_t>(state.range(0)));
  TDateTime t = Now;
  const std::string path = v.folder + "/" + DataFileName(Now);
  for (auto _ : state) {
    state.PauseTiming();
    t += Ten;
    v.clock.Set(t);
    std::ofstream(path, std::ios::binary | std::ios::app) << FormatDataLine({t, -1.5e-9, 32768.25, 2e-6, 8}) << "\r\n";
    state.ResumeTiming();
    const FollowResult r = v.view->Follow();
    if (r.Charted != 1) state.SkipWithError("the new line was not charted once");
  }
  state.counters["points"] = static_cast<double>(v.pps.Count());
}
BENCHMARK(BM_FollowPassOneNewLine)->Arg(1440)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
