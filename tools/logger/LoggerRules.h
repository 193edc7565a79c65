#pragma once
// The small rules of varnex-logger that need no receiver: its command line, the
// flags its signals raise, the hourly summary line, what a trace line tells about
// the port, and how often a failing file is mentioned.
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"

inline constexpr const char* LoggerProgramName = "varnex-logger";

// The folder the desktop program keeps its files in, which the logger shares by default.
std::string LoggerDefaultFolder(std::string* problem);

struct LoggerOptions {
  std::string Folder;
  bool Help = false;
  bool Version = false;
  std::string Error;  // a bad command line, in one line
  // "--metrics-file PATH", "--metrics-listen [HOST:]PORT": over [Metrics] of Varnex.ini;
  // an empty value ("--metrics-listen=") switches that way out off.
  std::optional<std::string> MetricsFile, MetricsListen;
};
// args without the program name: "--folder DIR" (or "--folder=DIR"), "--help", "--version",
// and the metrics options above.
LoggerOptions ParseLoggerOptions(const std::vector<std::string>& args, const std::string& defaultFolder);
std::string LoggerUsage();

// Raised by the signal handlers, read and lowered by the main loop.
struct LoggerControl {
  std::atomic<bool> Stop{false};    // SIGTERM, SIGINT
  std::atomic<bool> Reload{false};  // SIGHUP
};
LoggerControl& ProcessControl();
// SIGTERM and SIGINT raise Stop, SIGHUP raises Reload; nothing else happens in the handler.
void InstallLoggerSignalHandlers();

// What the logger last knew, for the hourly summary.
struct LoggerSummary {
  long Cycles = 0;     // status screens handled in the hour
  long DataLines = 0;  // data lines written in the hour
  bool TrackedValid = false;
  std::int32_t Tracked = 0;
  bool VisibleValid = false;
  std::int32_t Visible = 0;
  bool PpsTiValid = false;
  double PpsTi = 0.0;
  bool EfcValid = false;
  double Efc = 0.0;
};
// stamp + ": Summary: 360 cycles, 359 data lines, 8 of 11 satellites tracked, PPS TI 1.50E-09 s, EFC 12345";
// an unknown value reads "-".
std::string SummaryLine(TDateTime stamp, const LoggerSummary& summary);

// A line fit for a terminal or the system journal: receiver text may hold any byte, so
// control characters and bytes outside ASCII are written as "\xNN" (and "\" as "\\").
std::string PrintableLine(const std::string& line);

// What a trace line of the poll thread means for the service log.
enum class TraceKind { Other, PortLost, PortOpened, ErrorNote };
TraceKind ClassifyTrace(const std::string& line);
// The line without its stamp and line end.
std::string TraceText(const std::string& line);

// A file that cannot be written (full disk, folder gone) is mentioned once an hour at
// most while it lasts, and once more when writing works again.
class WriteFailureThrottle {
 public:
  static constexpr double QuietDays = 1.0 / 24;
  // A write to `file` failed at `now`: true when that is to be said.
  bool Failed(const std::string& file, TDateTime now);
  // A write to `file` worked: true when it had been failing (to say it works again).
  bool Succeeded(const std::string& file);

 private:
  std::map<std::string, TDateTime> failing_;  // file -> when it was last said
};
