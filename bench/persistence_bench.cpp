// Speed of the persistence layer: refilling the charts from ten days of data files,
// appending one data line, and loading plus saving the settings file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "charting/ChartSeries.h"
#include "frontend/BigIni.h"
#include "frontend/DataFile.h"
#include "frontend/Settings.h"
#include "link/AdvCom32.h"
#include "platform/Clock.h"

namespace {

std::string MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnex-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  return pattern;
}

const TDateTime Now = EncodeDateTime({2013, 8, 7, 12, 0, 0, 0});

// 86 400 lines, one every 10 s up to now: ten days in two or three weekly files.
// With a clock set back, the lines of the sixth day are stamped two hours early.
void WriteTenDays(const std::string& folder, bool clockSetBack = false) {
  for (int i = 86400; i > 0; --i) {
    TDateTime t = Now - i * 10 * OneSecond;
    if (clockSetBack && i <= 5 * 8640 && i > 4 * 8640) t -= 2.0 / 24.0;
    AppendDataLine(folder, {t, -1.5e-9 + i * 1e-13, 32768.25 + i * 0.01, 2e-6, 8});
  }
}

void BM_LoadTenDaySpan(benchmark::State& state) {
  const std::string folder = MakeFolder();
  WriteTenDays(folder, state.range(0) != 0);
  VirtualClock clock(Now);
  HistorySource source;
  source.Folder = folder;
  source.clock = &clock;
  source.SpanMinutes = 14400;
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) ++files, (void)e;
  std::size_t points = 0;
  for (auto _ : state) {
    ChartSeries pps("PPS TI"), efc("EFC");
    LoadChartHistory(source, pps, efc);
    points = pps.Count();
    benchmark::DoNotOptimize(points);
    state.PauseTiming();
    for (std::size_t i = 1; i < pps.Count(); ++i)
      if (pps.X(i) < pps.X(i - 1)) state.SkipWithError("the series lost its time order");
    state.ResumeTiming();
  }
  state.counters["files"] = files;
  state.counters["points"] = static_cast<double>(points);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadTenDaySpan)->Arg(0)->Arg(1)->ArgName("clockSetBack")->Unit(benchmark::kMillisecond);

void BM_AppendDataLine(benchmark::State& state) {
  const std::string folder = MakeFolder();
  TDateTime t = Now;
  for (auto _ : state) {
    benchmark::DoNotOptimize(AppendDataLine(folder, {t, -1.5e-9, 32768.25, 2e-6, 8}));
    t += 10 * OneSecond;
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AppendDataLine)->Unit(benchmark::kMicrosecond);

// Load the settings file with its 360 horizon keys and save it; `changed` makes every
// save find one horizon value changed, so the file is really written (with its sync).
void BM_SettingsLoadSave(benchmark::State& state) {
  const bool changed = state.range(0) != 0;
  const std::string folder = MakeFolder();
  {
    TAppIniFile ini(folder);
    T_AdvCom32 port;
    VarnexSettings settings;
    SaveSettings(ini, port, settings);
  }
  int n = 0;
  for (auto _ : state) {
    TAppIniFile ini(folder);
    T_AdvCom32 port;
    VarnexSettings settings;
    LoadSettings(ini, port, settings);
    if (changed) settings.HorizonTable[n % 360] = static_cast<std::uint8_t>(settings.HorizonTable[n % 360] ^ 1);
    ++n;
    benchmark::DoNotOptimize(SaveSettings(ini, port, settings));
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SettingsLoadSave)->Arg(0)->Arg(1)->ArgName("changed")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
