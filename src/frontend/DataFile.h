#pragma once
// The weekly measurement data files: one line per handled status screen, read back
// into the charts at start and when the chart span grows.
//
// Line: five fields separated by a tab, ended by CR LF. Each field is a sign ("+" for
// 0 or more), one digit, ".", 15 digits, "E", the exponent's sign and at least two
// exponent digits. Field 1 is the time stamp as a Modified Julian Date.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/DateTime.h"

class ChartSeries;
class Clock;
class SharedReceiverState;

inline constexpr const char* UndatedDataFileName = "VarnexData.Txt";

struct DataRecord {
  TDateTime Time = 0.0;  // start of the poll cycle that measured it, UTC
  double PpsTi = 0.0;    // seconds
  double Efc = 0.0;      // receiver EFC units
  double Hup = 0.0;      // seconds
  double Tracked = 0.0;  // satellites
};

// "VarnexData" + WeekTag(t) + ".Txt"
std::string DataFileName(TDateTime t);
// One field of 22 characters (more only for three-digit exponents).
std::string FormatDataField(double value);
// The line without its line end.
std::string FormatDataLine(const DataRecord& record);

// Reads one whole data line (five numbers, the last one complete); false for a line
// that holds fewer, was cut short or holds a value that is not finite.
bool ParseDataLine(std::string_view line, DataRecord& record);

// Appends the record to the weekly file of its time stamp. A failure loses only this
// line and queues the trace note for "AppendDataLine"; the result tells which.
bool AppendDataLine(const std::string& folder, const DataRecord& record, SharedReceiverState* trace = nullptr);

// Where and how far back the loaders read.
struct HistorySource {
  std::string Folder;
  Clock* clock = nullptr;  // "now", taken afresh for every line
  std::int32_t SpanMinutes = 1440;
  // Run after every 1000th line of a file, so the user interface keeps going.
  std::function<void()> ProcessEvents;
};

// Which two fields of a line go to the two series, and how many numbers a line needs.
struct HistoryFields {
  int First;
  int Second;
  int MinCount;
};
inline constexpr HistoryFields ChartFields{2, 3, 3};     // "PPS TI", "EFC"
inline constexpr HistoryFields HoldoverFields{4, 5, 5};  // "HUD", "Sats"

// Undated file first, then the weekly files from the start of the span up to two
// weeks ahead. Lines at or before now - span, lines more than 60 s ahead of now and
// lines cut short in a field they need are skipped; a line more than 15 s from the
// previous one charted starts with a null point; every file that charted a line ends
// with a null point at its latest time. The series are kept in ascending time, for
// lines out of order in the files and for live points that arrive while
// ProcessEvents runs. A file that fails while it is read is left out whole; the
// others still load. The caller empties the series when needed.
void LoadChartHistory(const HistorySource& source, ChartSeries& ppsTi, ChartSeries& efc);
void LoadHoldoverHistory(const HistorySource& source, ChartSeries& hud, ChartSeries& sats);

void LoadUndatedFile(const HistorySource& source, const HistoryFields& fields, ChartSeries& first, ChartSeries& second);
void LoadWeekFiles(const HistorySource& source, const HistoryFields& fields, ChartSeries& first, ChartSeries& second);
