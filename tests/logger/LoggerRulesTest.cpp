#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoggerRules.h"
#include "platform/DateTime.h"

namespace {

TEST(LoggerRules, CommandLine) {
  const struct {
    std::vector<std::string> args;
    std::string folder;
    bool help, version;
    std::string error;
  } cases[] = {
      {{}, "/default", false, false, ""},
      {{"--folder", "/data"}, "/data", false, false, ""},
      {{"--folder=/data"}, "/data", false, false, ""},
      {{"--help"}, "/default", true, false, ""},
      {{"--version", "--folder", "x"}, "x", false, true, ""},
      {{"--folder"}, "/default", false, false, "--folder needs a folder"},
      {{"--folder", ""}, "/default", false, false, "--folder needs a folder"},
      {{"--folder="}, "/default", false, false, "unknown option --folder= (see --help)"},
      {{"--port", "1"}, "/default", false, false, "unknown option --port (see --help)"},
  };
  for (const auto& c : cases) {
    const LoggerOptions o = ParseLoggerOptions(c.args, "/default");
    const std::string what = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(o.Folder, c.folder) << what;
    EXPECT_EQ(o.Help, c.help) << what;
    EXPECT_EQ(o.Version, c.version) << what;
    EXPECT_EQ(o.Error, c.error) << what;
  }
}

TEST(LoggerRules, TraceLinesThatConcernTheServiceLog) {
  const struct {
    const char* line;
    TraceKind kind;
  } cases[] = {
      {"2013-08-05 12:00:05 Serial port /dev/ttyUSB0 lost (device removed)\r\n", TraceKind::PortLost},
      {"2013-08-05 12:03:05 Serial port /dev/ttyUSB0 opened\r\n", TraceKind::PortOpened},
      {"2013-08-05 12:03:05 Serial port socket://gpsbox:4001 not opened (closed by the server, which said "
       "\"Port already in use\"); it is tried again every 10 s\r\n",
       TraceKind::PortLost},
      {"2013-08-05 12:03:05 A error in \"IdentifyDevice\" has occurred\r\n", TraceKind::ErrorNote},
      {"A error in \"HandleStatus\" has occurred\r\n", TraceKind::ErrorNote},
      {"2013-08-05 12:03:05 Received: Serial port lost (what the receiver said)\r\n", TraceKind::Other},
      {"2013-08-05 12:03:05 Send    : *IDN?\r\n", TraceKind::Other},
      {"2013-08-05 12:03:05 Serial port /dev/ttyS0 opened twice\r\n", TraceKind::Other},
      {"", TraceKind::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyTrace(c.line), c.kind) << c.line;
  EXPECT_EQ(TraceText("2013-08-05 12:03:05 Serial port x opened\r\n"), "Serial port x opened");
  EXPECT_EQ(TraceText("A error in \"HandleStatus\" has occurred\r\n"), "A error in \"HandleStatus\" has occurred");
}

TEST(LoggerRules, PrintableLine) {
  const struct {
    std::string raw, shown;
  } cases[] = {
      {"The Smartclock Status has changed to LOCK", "The Smartclock Status has changed to LOCK"},
      {"esc \x1b[2J bell \x07 cr \r", "esc \\x1B[2J bell \\x07 cr \\x0D"},
      {std::string("nul \0 del \x7f high \xe9\xff", 19), "nul \\x00 del \\x7F high \\xE9\\xFF"},
      {"C:\\x41", "C:\\\\x41"},  // a backslash in the text cannot pass for an escape
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableLine(c.raw), c.shown) << c.shown;
}

TEST(LoggerRules, FailingFileSaidOnceAnHourAndWhenItWorksAgain) {
  const TDateTime t0 = EncodeDateTime({2013, 8, 5, 12, 0, 0, 0});
  const double minute = 1.0 / 1440;
  // (file, minutes after t0, write worked, to be said)
  const struct {
    const char* file;
    double minutes;
    bool ok;
    bool said;
  } steps[] = {
      {"VarnexData.Txt", 0, true, false},     {"VarnexData.Txt", 1, false, true},
      {"VarnexData.Txt", 2, false, false},    {"VarnexStatus.Txt", 2, false, true},
      {"VarnexData.Txt", 60.5, false, false}, {"VarnexData.Txt", 61.5, false, true},
      {"VarnexData.Txt", 62, false, false},   {"VarnexData.Txt", 30, false, true},  // clock set back
      {"VarnexData.Txt", 31, true, true},     {"VarnexData.Txt", 32, true, false},
      {"VarnexData.Txt", 33, false, true},    {"VarnexStatus.Txt", 40, true, true},
  };
  WriteFailureThrottle throttle;
  for (const auto& s : steps) {
    const TDateTime now = t0 + s.minutes * minute;
    const bool said = s.ok ? throttle.Succeeded(s.file) : throttle.Failed(s.file, now);
    EXPECT_EQ(said, s.said) << s.file << " at minute " << s.minutes;
  }
}

TEST(LoggerRules, SummaryLine) {
  const TDateTime t = EncodeDateTime({2013, 8, 5, 13, 0, 5, 0});
  LoggerSummary s{360, 359, true, 8, true, 11, true, 1.5e-9, true, 32768.25};
  EXPECT_EQ(SummaryLine(t, s),
            "2013-08-05 13:00:05: Summary: 360 cycles, 359 data lines, 8 of 11 satellites tracked, "
            "PPS TI 1.50E-09 s, EFC 32768.25");
  EXPECT_EQ(SummaryLine(t, LoggerSummary{}),
            "2013-08-05 13:00:05: Summary: 0 cycles, 0 data lines, - satellites tracked, PPS TI -, EFC -");
}

}  // namespace
