// Writing bursts of trace lines into the console screen model, drained as the debug
// window drains its queue. Goal: at least 20 MB/s into the model.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "controls/Console.h"
#include "controls/DebugLog.h"
#include "link/SharedReceiverState.h"

namespace {

constexpr int BurstLines = 10000;

// 80 printable characters followed by CR LF, varied so no two lines are alike.
std::string TraceLine(int i) {
  std::string line = "2013-08-01 12:00:10 Received: " + std::to_string(i) + " ";
  while (line.size() < 80) line.push_back(static_cast<char>('A' + (line.size() + static_cast<std::size_t>(i)) % 26));
  line.resize(80);
  return line + "\r\n";
}

void FillQueue(SharedReceiverState& state) {
  for (int i = 0; i < BurstLines; ++i) state.QueueTrace(TraceLine(i));
}

void BM_TraceBurstDrain(benchmark::State& st) {
  SharedReceiverState state;
  TConsoleScreen console;
  console.SetRows(500);
  console.SetCols(80);
  std::int64_t bytes = 0;
  for (auto _ : st) {
    st.PauseTiming();
    FillQueue(state);
    st.ResumeTiming();
    DrainTraceLines(state.TraceLock, state.TraceLines, console, nullptr);
    bytes += static_cast<std::int64_t>(BurstLines) * 82;
  }
  benchmark::DoNotOptimize(console.Cell(0, 0));
  st.SetBytesProcessed(bytes);
}
BENCHMARK(BM_TraceBurstDrain)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same burst written straight into the model as one block.
void BM_WriteBlock(benchmark::State& st) {
  std::string burst;
  for (int i = 0; i < BurstLines; ++i) burst += TraceLine(i);
  TConsoleScreen console;
  console.SetRows(500);
  for (auto _ : st) console.WriteString(burst);
  benchmark::DoNotOptimize(console.Cell(0, 0));
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations()) * static_cast<std::int64_t>(burst.size()));
}
BENCHMARK(BM_WriteBlock)->Unit(benchmark::kMillisecond)->UseRealTime();

// The drain with "Log to File" ticked: one open, write and close per line.
void BM_TraceBurstDrainLogged(benchmark::State& st) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("varnex-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string name = folder.string();
  SharedReceiverState state;
  TConsoleScreen console;
  console.SetRows(500);
  std::int64_t bytes = 0;
  for (auto _ : st) {
    st.PauseTiming();
    FillQueue(state);
    std::filesystem::remove(folder / DebugLogFileName);
    st.ResumeTiming();
    DrainTraceLines(state.TraceLock, state.TraceLines, console, &name);
    bytes += static_cast<std::int64_t>(BurstLines) * 82;
  }
  st.SetBytesProcessed(bytes);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_TraceBurstDrainLogged)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
