#include "frontend/DataFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <vector>

#include "charting/ChartSeries.h"
#include "frontend/RefreshRules.h"
#include "frontend/TextFiles.h"
#include "link/ScanNumbers.h"
#include "link/TimeHelpers.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"

namespace {

constexpr int LinesPerEventRun = 1000;
// A line stamped further ahead than this comes from a clock that was wrong; it stays
// in its file but is not charted, or it would hold the live points back.
constexpr double MaxAheadSeconds = 60.0;

// The points one loader read, handed to the series in one go at its end.
struct LoadBuffer {
  TDateTime previous = 0.0;  // stamp of the previous line charted
  std::vector<ChartPoint> first, second;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The data files' own number form: sign, digit, ".", 15 digits, "E", sign, two or
// more exponent digits. A crash can cut a line anywhere, and a cut field still
// scans as a number ("+3.27" of "+3.276825000000000E+04"), so the last field of a
// line counts only in this full form; every other field is whole because a later
// one follows it.
bool IsFullDataField(std::string_view field) {
  if (field.size() < 22) return false;
  if ((field[0] != '+' && field[0] != '-') || !IsDigit(field[1]) || field[2] != '.') return false;
  for (std::size_t i = 3; i < 18; ++i)
    if (!IsDigit(field[i])) return false;
  if (field[18] != 'E' || (field[19] != '+' && field[19] != '-')) return false;
  for (std::size_t i = 20; i < field.size(); ++i)
    if (!IsDigit(field[i])) return false;
  return true;
}

bool IsLineEndJunk(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

bool LastFieldIsWhole(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && IsLineEndJunk(line[end - 1])) --end;
  std::size_t begin = end;
  while (begin > 0 && line[begin - 1] != ' ' && line[begin - 1] != '\t') --begin;
  return IsFullDataField(line.substr(begin, end - begin));
}

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
  ChartPoint lastFirst, lastSecond;  // the latest line of the file in time
  const double spanDays = source.SpanMinutes / 1440.0;
  while (reader.Next(line)) {
    if (++counter % LinesPerEventRun == 0 && source.ProcessEvents) source.ProcessEvents();
    if (!ScanNumbers(line, numbers) || numbers.Count < fields.MinCount) continue;
    // A field the line ends in may have been cut short.
    const int last = std::max(fields.First, fields.Second);
    if (numbers.Count == last && !LastFieldIsWhole(line)) continue;
    const double m = numbers[1];
    const double a = numbers[fields.First];
    const double b = numbers[fields.Second];
    if (!std::isfinite(m) || !std::isfinite(a) || !std::isfinite(b)) continue;
    const TDateTime t = m - MjdOffset;
    const TDateTime now = UtcNow(*source.clock);
    if (t <= now - spanDays) continue;
    if ((t - now) * SecondsPerDay > MaxAheadSeconds) continue;
    const bool gap = IsChartGap(buffer.previous, t);
    buffer.first.push_back({t, a, gap});
    buffer.second.push_back({t, b, gap});
    if (!charted || t >= lastFirst.x) {
      lastFirst = buffer.first.back();
      lastSecond = buffer.second.back();
    }
    buffer.previous = t;
    charted = true;
  }
  // Live points that follow are never joined to the loaded ones by a line.
  if (charted) {
    buffer.first.push_back({lastFirst.x, lastFirst.y, true});
    buffer.second.push_back({lastSecond.x, lastSecond.y, true});
  }
}

// A clock once set back leaves lines out of time order in the files; the series
// must hold them in order. Lines of equal time keep their file order, so a file's
// closing null point stays after its last line.
void SortByTime(std::vector<ChartPoint>& points) {
  const auto earlier = [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; };
  if (!std::is_sorted(points.begin(), points.end(), earlier)) std::stable_sort(points.begin(), points.end(), earlier);
}

// A file that fails while it is read (memory running out on a huge one) is left out
// whole; what the other files gave stays.
void LoadFileOrNothing(const std::string& path, const HistorySource& source, const HistoryFields& fields,
                       LoadBuffer& buffer) {
  const std::size_t first = buffer.first.size(), second = buffer.second.size();
  const TDateTime previous = buffer.previous;
  try {
    LoadFile(path, source, fields, buffer);
  } catch (...) {
    buffer.first.resize(first);
    buffer.second.resize(second);
    buffer.previous = previous;
  }
}

// The series stay in bulk update for one loader, however it is left: a series left
// updating would never be drawn again.
class BulkUpdate {
 public:
  BulkUpdate(ChartSeries& first, ChartSeries& second) : first_(first), second_(second) {
    first_.BeginUpdate();
    second_.BeginUpdate();
  }
  ~BulkUpdate() {
    first_.EndUpdate();
    second_.EndUpdate();
  }
  BulkUpdate(const BulkUpdate&) = delete;
  BulkUpdate& operator=(const BulkUpdate&) = delete;

 private:
  ChartSeries& first_;
  ChartSeries& second_;
};

void Deliver(ChartSeries& series, std::vector<ChartPoint>& loaded) {
  if (loaded.empty()) return;
  SortByTime(loaded);
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

bool ParseDataLine(std::string_view line, DataRecord& r) {
  NumberList numbers;
  if (!ScanNumbers(line, numbers) || numbers.Count < 5) return false;
  if (numbers.Count == 5 && !LastFieldIsWhole(line)) return false;
  r = DataRecord{numbers[1] - MjdOffset, numbers[2], numbers[3], numbers[4], numbers[5]};
  return std::isfinite(r.Time) && std::isfinite(r.PpsTi) && std::isfinite(r.Efc) && std::isfinite(r.Hup) &&
         std::isfinite(r.Tracked);
}

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
  const BulkUpdate update(first, second);
  LoadBuffer buffer;
  LoadFileOrNothing(InFolder(source.Folder, UndatedDataFileName), source, fields, buffer);
  Deliver(first, buffer.first);
  Deliver(second, buffer.second);
}

void LoadWeekFiles(const HistorySource& source, const HistoryFields& fields, ChartSeries& first, ChartSeries& second) {
  const BulkUpdate update(first, second);
  LoadBuffer buffer;
  TDateTime d = UtcNow(*source.clock) - source.SpanMinutes / 1440.0;
  do {
    const std::string path = InFolder(source.Folder, DataFileName(d));
    if (Exists(path)) LoadFileOrNothing(path, source, fields, buffer);
    d += 7;
  } while (d - UtcNow(*source.clock) <= 14);
  Deliver(first, buffer.first);
  Deliver(second, buffer.second);
}

void LoadChartHistory(const HistorySource& source, ChartSeries& ppsTi, ChartSeries& efc) {
  LoadUndatedFile(source, ChartFields, ppsTi, efc);
  LoadWeekFiles(source, ChartFields, ppsTi, efc);
}

void LoadHoldoverHistory(const HistorySource& source, ChartSeries& hud, ChartSeries& sats) {
  LoadUndatedFile(source, HoldoverFields, hud, sats);
  LoadWeekFiles(source, HoldoverFields, hud, sats);
}
