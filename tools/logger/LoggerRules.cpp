#include "LoggerRules.h"

#include <csignal>
#include <cstdio>

#include "frontend/ReceiverEvents.h"
#include "frontend/RefreshRules.h"
#include "frontend/StatusLog.h"
#include "platform/ProgramFolder.h"

std::string LoggerDefaultFolder(std::string* problem) { return DataFolder(problem); }

LoggerOptions ParseLoggerOptions(const std::vector<std::string>& args, const std::string& defaultFolder) {
  LoggerOptions o;
  o.Folder = defaultFolder;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.Help = true;
    } else if (a == "--version") {
      o.Version = true;
    } else if (a == "--folder") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        o.Error = "--folder needs a folder";
        return o;
      }
      o.Folder = args[++i];
    } else if (a.rfind("--folder=", 0) == 0 && a.size() > 9) {
      o.Folder = a.substr(9);
    } else if (a == "--metrics-file" || a == "--metrics-listen") {
      if (i + 1 >= args.size()) {
        o.Error = a + (a == "--metrics-file" ? " needs a file" : " needs [HOST:]PORT");
        return o;
      }
      (a == "--metrics-file" ? o.MetricsFile : o.MetricsListen) = args[++i];
    } else if (a.rfind("--metrics-file=", 0) == 0) {
      o.MetricsFile = a.substr(15);
    } else if (a.rfind("--metrics-listen=", 0) == 0) {
      o.MetricsListen = a.substr(17);
    } else {
      o.Error = "unknown option " + a + " (see --help)";
      return o;
    }
  }
  return o;
}

std::string LoggerUsage() {
  return std::string("Usage: ") + LoggerProgramName +
         " [--folder DIR] [--metrics-listen [HOST:]PORT] [--metrics-file PATH]\n"
         "Logs a GPS-disciplined reference receiver without a display: the same settings file\n"
         "(Varnex.ini), data files and logs as Varnex, in DIR (default: Varnex's folder).\n"
         "SIGTERM or SIGINT stop it; SIGHUP re-reads the settings and re-opens the port.\n"
         "  --folder DIR  the folder holding Varnex.ini and the files\n"
         "  --metrics-listen [HOST:]PORT  serve Prometheus metrics at http://HOST:PORT/metrics\n"
         "                (HOST defaults to 127.0.0.1; overrides Listen= in [Metrics])\n"
         "  --metrics-file PATH  write the metrics to PATH for node_exporter's textfile\n"
         "                collector (overrides File= in [Metrics]); an empty value turns either off\n"
         "  --help        this text\n"
         "  --version     the version\n";
}

LoggerControl& ProcessControl() {
  static LoggerControl control;
  return control;
}

namespace {
static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers need lock-free flags");

void OnSignal(int signal) {
  if (signal == SIGHUP)
    ProcessControl().Reload.store(true);
  else
    ProcessControl().Stop.store(true);
}

std::string Known(bool valid, const std::string& text) { return valid ? text : "-"; }
}  // namespace

void InstallLoggerSignalHandlers() {
  ProcessControl();  // built before any handler can run
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &sa, nullptr);
}

std::string SummaryLine(TDateTime stamp, const LoggerSummary& s) {
  std::string tracked = Known(s.TrackedValid, std::to_string(s.Tracked));
  if (s.VisibleValid) tracked += " of " + std::to_string(s.Visible);
  return LogLine(stamp, "Summary: " + std::to_string(s.Cycles) + " cycles, " + std::to_string(s.DataLines) +
                            " data lines, " + tracked + " satellites tracked, PPS TI " +
                            Known(s.PpsTiValid, FormatScientific3(s.PpsTi) + " s") + ", EFC " +
                            Known(s.EfcValid, FormatGeneral(s.Efc)));
}

std::string PrintableLine(const std::string& line) { return EscapeReceiverText(line, std::string::npos); }

std::string TraceText(const std::string& line) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  // Stamped lines begin "yyyy-mm-dd hh:nn:ss ".
  const std::size_t stamp = 20;
  return text.size() > stamp && text[4] == '-' && text[13] == ':' && text[19] == ' ' ? text.substr(stamp) : text;
}

TraceKind ClassifyTrace(const std::string& line) {
  const std::string body = TraceText(line);
  if (body.rfind("A error in ", 0) == 0) return TraceKind::ErrorNote;
  if (body.rfind("Serial port ", 0) != 0) return TraceKind::Other;
  // A network line the server hung up on before the receiver answered did not open.
  if (body.find(" lost (") != std::string::npos || body.find(" not opened (") != std::string::npos)
    return TraceKind::PortLost;
  if (body.size() >= 7 && body.compare(body.size() - 7, 7, " opened") == 0) return TraceKind::PortOpened;
  return TraceKind::Other;
}

bool WriteFailureThrottle::Failed(const std::string& file, TDateTime now) {
  auto it = failing_.find(file);
  // A clock set back counts as time passed, so the failure is never kept quiet for long.
  if (it != failing_.end() && now >= it->second && now - it->second < QuietDays) return false;
  failing_[file] = now;
  return true;
}

bool WriteFailureThrottle::Succeeded(const std::string& file) { return failing_.erase(file) > 0; }
