// Speed of the stability measures: on a day (M = 8 640), ten days (86 400),
// 10^6 samples and 2^18 ... 2^22 samples (the growth of the whole run), and
// varnex-stability on a year of 10 s data read from 52 weekly files.
//
// Measured on the 2-core build machine while it was shared (load average 9 to
// 13, so wall times run 2 to 4 times the CPU time):
//   all nine, 10^6 samples, Theo1 term by term   253 926 ms wall
// and with the machine otherwise idle, the previous version and this one one
// after the other (medians of three, ms wall):
//                                   before      now
//   all nine, 86 400 samples            85       54
//   all nine, 10^6 samples           1 287      793
//   all nine, 2^18 / 2^20 / 2^22    219 / 1 265 / 6 506    154 / 886 / 4 094
//   growth exponent 2^18 ... 2^22   log2(6506/219)/4 = 1.22    log2(4094/154)/4 = 1.18
//   varnex-stability, a year        8 118 (611 MB)    4 206 (peak RSS 542 MB)
// Theo1 alone at one m on 2^18 samples (ms, wall): term by term (two threads)
// m = 256: 16, m = 512: 36, m = 1280: 75; by the expansion (one thread, block
// factor 2) m = 320: 63, m = 640: 52, m = 1280: 58. So the expansion wins from
// m = 640 on with both threads busy, which is kTheo1FastFrom.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BenchPhase.h"
#include "analysis/Stability.h"
#include "analysis/StabilityTool.h"
#include "analysis/Theo1Fast.h"
#include "frontend/DataFile.h"

namespace {

// Theo1 term by term at every factor, as the deviation was computed before
// the expansion: the "before" figure in the same run.
std::size_t Theo1TermByTerm(std::span<const double> x) {
  std::size_t points = 0;
  for (std::int64_t m = 10; m < static_cast<std::int64_t>(x.size()); m *= 2) {
    const double tau = kSampleInterval * static_cast<double>(m);
    const double s = Theo1DirectSum(x, m);
    const double value = std::sqrt(s / (0.75 * static_cast<double>(x.size() - m) * tau * tau));
    if (!(value > 0.0)) break;
    benchmark::DoNotOptimize(value);
    ++points;
  }
  return points;
}

// range(1) = 1: Theo1 term by term.
void BM_AllNineMeasures(benchmark::State& state) {
  const auto x = MakePhase(static_cast<std::size_t>(state.range(0)));
  const bool termByTerm = state.range(1) != 0;
  state.SetLabel(termByTerm ? "Theo1 term by term" : "");
  for (auto _ : state) {
    std::size_t points = 0;
    for (const MeasureInfo& info : kMeasureCatalogue) {
      if (termByTerm && info.measure == StabilityMeasure::Theo1) {
        points += Theo1TermByTerm(x);
        continue;
      }
      MeasurePoints source(info.measure, x);
      StabilityPoint p;
      while (source.Next(p)) {
        benchmark::DoNotOptimize(p);
        ++points;
      }
    }
    benchmark::DoNotOptimize(points);
  }
}
BENCHMARK(BM_AllNineMeasures)
    ->Args({8640, 0})
    ->Args({86400, 0})
    ->Args({1000000, 0})
    ->Args({1 << 18, 0})
    ->Args({1 << 20, 0})
    ->Args({1 << 22, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// The term-by-term Theo1 at 10^6 takes tens of seconds: once.
BENCHMARK(BM_AllNineMeasures)
    ->Args({86400, 1})
    ->Args({1000000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A year of 10 s lines (365 x 8 640) in 52 weekly data files, as the logger
// writes them, and varnex-stability over them: reading, all nine measures
// and the CSV.
class YearOfFiles {
 public:
  YearOfFiles() {
    folder_ = std::filesystem::temp_directory_path() / ("varnex-bench-year-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
    const std::size_t total = 365 * 8640;
    const auto x = MakePhase(total);
    std::mt19937_64 rng(99);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::size_t next = 0;
    for (int week = 1; week <= 52; ++week) {
      char name[64];
      std::snprintf(name, sizeof name, "VarnexData2025CW%02d.Txt", week);
      paths_.push_back((folder_ / name).string());
      std::ofstream file(paths_.back(), std::ios::binary);
      const std::size_t end = total * static_cast<std::size_t>(week) / 52;
      for (; next < end; ++next) {
        DataRecord r;
        r.Time = 45658.0 + static_cast<double>(next) * 10.0 / 86400.0;
        r.PpsTi = x[next];
        r.Efc = 31000.0 + 5.0 * noise(rng);
        r.Hup = 0.0;
        r.Tracked = 8.0;
        file << FormatDataLine(r) << "\r\n";
      }
    }
  }
  ~YearOfFiles() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  std::filesystem::path folder_;
  std::vector<std::string> paths_;
};

void BM_StabilityToolOnAYear(benchmark::State& state) {
  static const YearOfFiles files;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    if (RunStabilityTool(files.Paths(), out, err) != 0) state.SkipWithError(err.str().c_str());
    bytes = out.str().size();
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["csv_bytes"] = static_cast<double>(bytes);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_StabilityToolOnAYear)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OneMeasure(benchmark::State& state) {
  const auto x = MakePhase(static_cast<std::size_t>(state.range(1)));
  const auto measure = static_cast<StabilityMeasure>(state.range(0));
  state.SetLabel(std::string(MeasureInfoOf(measure).shortName));
  for (auto _ : state) benchmark::DoNotOptimize(AllMeasurePoints(measure, x));
}
BENCHMARK(BM_OneMeasure)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 8, 1), {86400, 1 << 18, 1 << 20, 1 << 22}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Theo1's sum at one factor m on 2^18 samples, term by term and by the
// expansion (block factor 2), one thread: the ratio per term sets kTheo1FastFrom.
void BM_Theo1Direct(benchmark::State& state) {
  const auto x = MakePhase(1 << 18);
  const std::int64_t m = state.range(0);
  for (auto _ : state) benchmark::DoNotOptimize(Theo1DirectSum(x, m));
  state.counters["ns_per_term"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>((x.size() - m) * (m / 2)) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Theo1Direct)->RangeMultiplier(2)->Range(80, 1280)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Theo1Fast(benchmark::State& state) {
  const auto x = MakePhase(1 << 18);
  const std::int64_t m = state.range(0);
  for (auto _ : state) benchmark::DoNotOptimize(Theo1FastSums(x, m, state.range(1), 1));
  state.counters["ns_per_i"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(x.size() - m) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Theo1Fast)
    ->ArgsProduct({{80, 160, 320, 640, 1280, 10240, 81920}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
