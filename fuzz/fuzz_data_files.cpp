// The loaders of what Varnex wrote earlier and may find damaged: the weekly data
// files into the four charts, and the status history and error log. The first
// byte picks which; the rest is the file.
#include <cmath>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzFiles.h"
#include "charting/ChartSeries.h"
#include "frontend/DataFile.h"
#include "frontend/StatusLog.h"
#include "platform/Clock.h"

namespace {

// 2026-12-09 12:00 UTC; the seed lines lie in the day before.
constexpr TDateTime kNow = 46365.5;

void CheckSeries(const ChartSeries& series, std::size_t maxPoints) {
  FUZZ_CHECK(series.Count() <= maxPoints);
  double last = -INFINITY;
  for (const ChartPoint& p : series.Points()) {
    FUZZ_CHECK(std::isfinite(p.x));
    FUZZ_CHECK(std::isfinite(p.y));
    // The charts hold their points in time order, whatever order the file had.
    FUZZ_CHECK(p.x >= last);
    last = p.x;
  }
}

// The lines as the loaders must see them: a line ends at CR, LF or CR LF, a
// last line without an end counts, overlong lines are cut.
std::vector<std::string> ReferenceLines(std::string_view text, std::size_t maxLine) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.emplace_back(text.substr(i, std::min(end - i, maxLine)));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    i = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t mode = in.Byte();
  const std::string_view body = in.Rest();
  const std::string& folder = ScratchFolder();

  if (mode % 2 == 0) {
    const std::string undated = folder + "/" + UndatedDataFileName;
    const std::string week = folder + "/" + DataFileName(kNow);
    WriteScratchFile(undated, body);
    WriteScratchFile(week, body);
    VirtualClock clock(kNow);
    HistorySource source;
    source.Folder = folder;
    source.clock = &clock;
    source.SpanMinutes = mode % 4 == 0 ? 1440 : 14400;
    std::size_t lines = 1;
    for (char c : body) lines += (c == '\n' || c == '\r');
    // Every line of both files at most once, plus a closing null point per file.
    const std::size_t maxPoints = 2 * (lines + 1);
    ChartSeries ppsTi, efc, hud, sats;
    LoadChartHistory(source, ppsTi, efc);
    LoadHoldoverHistory(source, hud, sats);
    for (const ChartSeries* s : {&ppsTi, &efc, &hud, &sats}) CheckSeries(*s, maxPoints);
    FUZZ_CHECK(ppsTi.Count() == efc.Count() && hud.Count() == sats.Count());
    unlink(undated.c_str());
    unlink(week.c_str());
    return 0;
  }

  // The logs. With mode bit 1 the text is placed across the reader's 256 KiB
  // buffer end, after lines of filler, so a line end split between two reads is
  // seen too.
  std::string file;
  if (mode & 2) {
    const std::size_t boundary = 1u << 18;
    const std::size_t before = std::min<std::size_t>(body.size(), mode >> 2);
    while (file.size() + 64 < boundary - before) file += std::string(63, 'f') + '\n';
    file.append(boundary - before - file.size(), 'g');
  }
  file.append(body);
  WriteScratchFile(folder + "/" + StatusHistoryFileName, file);
  WriteScratchFile(folder + "/" + ErrorLogFileName, file);
  const std::vector<std::string> expected = ReferenceLines(file, MaxLogLineLength);

  const StatusHistory history = LoadStatusHistory(folder);
  FUZZ_CHECK(history.Lines == expected);
  std::uint8_t code = 0;
  for (const std::string& line : expected)
    if (const std::uint8_t c = StatusCodeInLine(line)) code = c;
  FUZZ_CHECK(history.LastStatusCode == code);
  FUZZ_CHECK(LoadErrorLog(folder) == expected);
  return 0;
}
