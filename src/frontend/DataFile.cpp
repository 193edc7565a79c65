#include "frontend/DataFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <vector>

#include "charting/ChartSeries.h"
#include "frontend/TextFiles.h"
#include "link/ScanNumbers.h"
#include "link/TimeHelpers.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"

namespace {

constexpr double GapSeconds = 15.0;
constexpr int LinesPerEventRun = 1000;

// The points one loader read, handed to the series in one go at its end.
struct LoadBuffer {
  double previous = 0.0;  // MJD of the previous line charted
  std::vector<ChartPoint> first, second;
};

void LoadFile(const std::string& path, const HistorySource& source, const HistoryFields& fields, LoadBuffer& buffer) {
  LineReader reader;
  if (!reader.Open(path)) return;
  // A data line is 116 bytes; room for all of them spares the growing copies.
  const std::size_t expected = reader.FileSize() / 100 + 1;
  buffer.first.reserve(buffer.first.size() + expected);
  buffer.second.reserve(buffer.second.size() + expected);
  std::string line;
  NumberList numbers;
  long counter = 0;
  bool charted = false;
  ChartPoint lastFirst, lastSecond;
  const double spanDays = source.SpanMinutes / 1440.0;
  while (reader.Next(line)) {
    if (++counter % LinesPerEventRun == 0 && source.ProcessEvents) source.ProcessEvents();
    if (!ScanNumbers(line, numbers) || numbers.Count < fields.MinCount) continue;
    const double m = numbers[1];
    const double a = numbers[fields.First];
    const double b = numbers[fields.Second];
    if (!std::isfinite(m) || !std::isfinite(a) || !std::isfinite(b)) continue;
    const TDateTime t = m - MjdOffset;
    if (t <= UtcNow(*source.clock) - spanDays) continue;
    // Stamps are whole milliseconds; rounding keeps a gap of exactly 15 s from reading as 15.0000004 s.
    const bool gap = std::round((m - buffer.previous) * SecondsPerDay * 1000.0) / 1000.0 > GapSeconds;
    lastFirst = {t, a, gap};
    lastSecond = {t, b, gap};
    buffer.first.push_back(lastFirst);
    buffer.second.push_back(lastSecond);
    buffer.previous = m;
    charted = true;
  }
  // Live points that follow are never joined to the loaded ones by a line.
  if (charted) {
    buffer.first.push_back({lastFirst.x, lastFirst.y, true});
    buffer.second.push_back({lastSecond.x, lastSecond.y, true});
  }
}

void Deliver(ChartSeries& series, const std::vector<ChartPoint>& loaded) {
  if (loaded.empty()) return;
  if (series.Empty() || series.Last().x <= loaded.front().x) {
    for (const ChartPoint& p : loaded) series.Append(p);
    return;
  }
  // Live points arrived during the load: put the loaded ones before them in time order.
  std::vector<ChartPoint> merged;
  merged.reserve(loaded.size() + series.Count());
  std::merge(loaded.begin(), loaded.end(), series.Points().begin(), series.Points().end(), std::back_inserter(merged),
             [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
  series.Clear();
  for (const ChartPoint& p : merged) series.Append(p);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

std::string DataFileName(TDateTime t) { return "VarnexData" + WeekTag(t) + ".Txt"; }

std::string FormatDataField(double value) {
  char digits[64];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, std::fabs(value), std::chars_format::scientific, 15);
  std::string field;
  field.reserve(24);
  field += value < 0 ? '-' : '+';
  for (const char* p = digits; p != result.ptr; ++p) field += *p == 'e' ? 'E' : *p;
  return field;
}

std::string FormatDataLine(const DataRecord& r) {
  std::string line = FormatDataField(r.Time + MjdOffset);
  for (double v : {r.PpsTi, r.Efc, r.Hup, r.Tracked}) line.append("\t").append(FormatDataField(v));
  return line;
}

bool AppendDataLine(const std::string& folder, const DataRecord& r, SharedReceiverState* trace) {
  const bool finite = std::isfinite(r.Time) && std::isfinite(r.PpsTi) && std::isfinite(r.Efc) && std::isfinite(r.Hup) &&
                      std::isfinite(r.Tracked);
  // A value that is not a number would make a line no loader can read.
  if (!finite || !AppendTextLine(InFolder(folder, DataFileName(r.Time)), FormatDataLine(r) + "\r\n")) {
    QueueErrorNote(trace, "AppendDataLine");
    return false;
  }
  return true;
}

void LoadUndatedFile(const HistorySource& source, const HistoryFields& fields, ChartSeries& first,
                     ChartSeries& second) {
  first.BeginUpdate();
  second.BeginUpdate();
  LoadBuffer buffer;
  LoadFile(InFolder(source.Folder, UndatedDataFileName), source, fields, buffer);
  Deliver(first, buffer.first);
  Deliver(second, buffer.second);
  first.EndUpdate();
  second.EndUpdate();
}

void LoadWeekFiles(const HistorySource& source, const HistoryFields& fields, ChartSeries& first, ChartSeries& second) {
  first.BeginUpdate();
  second.BeginUpdate();
  LoadBuffer buffer;
  TDateTime d = UtcNow(*source.clock) - source.SpanMinutes / 1440.0;
  do {
    const std::string path = InFolder(source.Folder, DataFileName(d));
    if (Exists(path)) LoadFile(path, source, fields, buffer);
    d += 7;
  } while (d - UtcNow(*source.clock) <= 14);
  Deliver(first, buffer.first);
  Deliver(second, buffer.second);
  first.EndUpdate();
  second.EndUpdate();
}

void LoadChartHistory(const HistorySource& source, ChartSeries& ppsTi, ChartSeries& efc) {
  LoadUndatedFile(source, ChartFields, ppsTi, efc);
  LoadWeekFiles(source, ChartFields, ppsTi, efc);
}

void LoadHoldoverHistory(const HistorySource& source, ChartSeries& hud, ChartSeries& sats) {
  LoadUndatedFile(source, HoldoverFields, hud, sats);
  LoadWeekFiles(source, HoldoverFields, hud, sats);
}
