#pragma once
// varnex-logger's work, free of any display: the same settings file, port, poll
// thread and refresh rules as the desktop program, writing the same files. Its
// refresh tick stands in for the main window's; what a service log should know
// (status changes, receiver errors, a lost or re-opened port, files that cannot be
// written, an hourly summary) goes to a reporter, one line each.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "LoggerRules.h"
#include "frontend/MetricsFeed.h"
#include "frontend/EventHub.h"
#include "frontend/RefreshCycle.h"
#include "frontend/Settings.h"

class Clock;
class SharedReceiverState;
class T_AdvCom32;
class TAppIniFile;
class TComThread;

struct LoggerCounts {
  long Screens = 0;   // status screens handled
  long Eligible = 0;  // of which with all four values of a data line valid
  long DataLines = 0;
  long FailedLines = 0;
  long Summaries = 0;
  long PortLost = 0;
  long PortOpened = 0;
};

class HeadlessLogger {
 public:
  // Called on this object's thread, and on the poll thread for a port that refuses its
  // line settings.
  using Reporter = std::function<void(const std::string& line)>;
  // Poll thread bound for a stop or a reload.
  static constexpr int StopBoundMs = 2000;

  // State and clock must outlive the poll thread, which may overrun its stop bound.
  HeadlessLogger(std::string folder, SharedReceiverState& state, Clock& clock, Reporter report);
  ~HeadlessLogger();
  HeadlessLogger(const HeadlessLogger&) = delete;
  HeadlessLogger& operator=(const HeadlessLogger&) = delete;

  // Reads the settings, seeds the last status from the status history, opens the port
  // and starts the poll thread. False, with one line in `error`, when the settings file
  // exists but cannot be read.
  bool Start(std::string* error = nullptr);
  // One refresh tick: the main window's rules, then the trace queue and the summary.
  void Tick();
  // Re-reads the settings file and re-opens the port with a new poll thread. A file
  // that cannot be read keeps the settings in force. The learned horizon only ever
  // lowers, so what was learned since the last read is kept.
  void Reload();
  // Stops the poll thread within its bound and saves the settings (learned horizon
  // included). False when the thread overran or the file could not be written (said).
  bool Stop(int boundMs = StopBoundMs);

  // Every trace line as it is drained, before anything else is done with it.
  std::function<void(const std::string& line)> OnTrace;
  // The metrics' ways out as the command line sets them, over [Metrics] of Varnex.ini.
  std::optional<std::string> MetricsFileOverride, MetricsListenOverride;
  const MetricsFeed& Metrics() const { return metrics_; }

  const LoggerCounts& Counts() const { return counts_; }
  const RefreshCycle& Refresh() const { return refresh_; }
  const VarnexSettings& Settings() const { return settings_; }
  bool DebugLogOn() const { return debugLog_; }
  const std::string& DeviceName() const { return device_; }
  EventHub& Events() { return *events_; }

 private:
  class View;
  bool ReadSettings(std::string* error);
  void OpenPortAndPoll();
  bool StopThread(int boundMs);
  RefreshLogs MakeLogs();
  void Written(const std::string& file, bool ok, TDateTime now);
  void DrainTrace();
  void Summarise();
  void Say(const std::string& line);
  void ConfigureMetrics();
  void TickMetrics();

  std::string folder_;
  SharedReceiverState& state_;
  Clock& clock_;
  Reporter report_;
  VarnexSettings settings_;
  std::unique_ptr<View> view_;
  RefreshCycle refresh_;
  std::unique_ptr<TAppIniFile> ini_;  // the last settings file read whole
  std::shared_ptr<T_AdvCom32> port_;
  std::unique_ptr<TComThread> thread_;
  std::string device_;
  MetricsFeed metrics_;
  std::optional<MetricsConfig> metricsConfig_;
  bool debugLog_ = false;
  WriteFailureThrottle throttle_;
  LoggerCounts counts_;
  TDateTime summaryFrom_ = 0.0;
  long hourScreens_ = 0, hourLines_ = 0;
  std::unique_ptr<EventHub> events_;
};

// The logger's main loop: until Stop is raised, a reload when asked, a refresh tick,
// then `waitTick` (100 ms of the program's clock; the soak driver's virtual time).
void RunLogger(HeadlessLogger& logger, LoggerControl& control, const std::function<void()>& waitTick);
