// Painting the console: a full repaint of a view that shows all 500 rows (goal under
// 5 ms), the debug window's own view, and a trace burst written through the widget.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <string>

#include "controls/ui/ConsoleWidget.h"

namespace {

std::string TraceLine(int i) {
  std::string line = "2013-08-01 12:00:10 Received: " + std::to_string(i) + " ";
  while (line.size() < 80) line.push_back(static_cast<char>('A' + (line.size() + static_cast<std::size_t>(i)) % 26));
  line.resize(80);
  return line + "\r\n";
}

void Fill(TConsole& console) {
  for (int i = 0; i < 500; ++i) console.WriteString(TraceLine(i));
  QApplication::processEvents();
}

void RepaintBench(benchmark::State& st, bool wholeGrid, bool toImage) {
  TConsole console;
  console.SetRows(500);
  console.SetCols(80);
  if (wholeGrid) {
    const int bars = console.verticalScrollBar()->sizeHint().width() + 12;
    console.resize(80 * console.CellWidth() + bars, 500 * console.CellHeight() + bars);
  } else {
    console.resize(733, 370);
  }
  console.show();
  Fill(console);
  console.Screen().ScrollTo(0, 0);
  QWidget* view = console.viewport();
  QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
  QApplication::processEvents();
  for (auto _ : st) {
    if (toImage) {
      view->render(&image);
    } else {
      view->repaint();  // through the window's backing store, as on screen
    }
    benchmark::ClobberMemory();
  }
  st.counters["rows"] = console.Screen().VisibleRows();
  st.counters["cols"] = console.Screen().VisibleCols();
}

void BM_RepaintFull500RowView(benchmark::State& st) { RepaintBench(st, true, false); }
BENCHMARK(BM_RepaintFull500RowView)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_RenderFull500RowViewToImage(benchmark::State& st) { RepaintBench(st, true, true); }
BENCHMARK(BM_RenderFull500RowViewToImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_RepaintDebugWindowView(benchmark::State& st) { RepaintBench(st, false, false); }
BENCHMARK(BM_RepaintDebugWindowView)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// 10 000 lines through the widget with lazy writing, then one pass of the event loop that
// performs the merged scrolls and repaints.
void BurstThroughWidget(benchmark::State& st, bool shown) {
  TConsole console;
  console.SetRows(500);
  console.resize(733, 370);
  if (shown) console.show();
  std::string burst;
  for (int i = 0; i < 10000; ++i) burst += TraceLine(i);
  QApplication::processEvents();
  for (auto _ : st) {
    for (std::size_t at = 0; at < burst.size(); at += 82) console.WriteString(std::string_view(burst).substr(at, 82));
    QApplication::processEvents();
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations()) * static_cast<std::int64_t>(burst.size()));
}
void BM_BurstThroughShownWidget(benchmark::State& st) { BurstThroughWidget(st, true); }
BENCHMARK(BM_BurstThroughShownWidget)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The debug window spends most of its life hidden and still drains.
void BM_BurstThroughHiddenWidget(benchmark::State& st) { BurstThroughWidget(st, false); }
BENCHMARK(BM_BurstThroughHiddenWidget)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
