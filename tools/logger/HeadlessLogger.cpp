#include "HeadlessLogger.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "controls/DebugLog.h"
#include "frontend/BigIni.h"
#include "frontend/DataFile.h"
#include "frontend/StatusLog.h"
#include "frontend/Version.h"
#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "link/LinkPort.h"
#include "link/LinkRules.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"

namespace {
// Our own key: the debug log is written when set (the desktop program's "Log to File").
constexpr const char* LoggerSection = "Logger";
constexpr const char* DebugLogKey = "DebugLog";

std::string WithoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}
}  // namespace

// Nothing to show; counts the screens as the main window would chart them.
class HeadlessLogger::View final : public QuietRefreshView {
 public:
  explicit View(HeadlessLogger& owner) : owner_(owner) {}
  void ShowStatusLines(const std::vector<std::string>&) override {
    ++owner_.counts_.Screens;
    ++owner_.hourScreens_;
  }
  // Runs after a handled screen's data line would have been written.
  void ChartsChanged() override {
    const RefreshCycle& r = owner_.refresh_;
    if (r.PpsTiValid && r.EfcValid && r.HupValid && r.TrackedValid) ++owner_.counts_.Eligible;
  }

 private:
  HeadlessLogger& owner_;
};

HeadlessLogger::HeadlessLogger(std::string folder, SharedReceiverState& state, Clock& clock, Reporter report)
    : folder_(std::move(folder)),
      state_(state),
      clock_(clock),
      report_(std::move(report)),
      view_(std::make_unique<View>(*this)),
      refresh_(state, clock, settings_, *view_) {
  // The event command's outcome goes to the debug log (through the trace) and to stderr.
  events_ = std::make_unique<EventHub>([report = report_, &state = state_, &clock = clock_](const std::string& text) {
    AddTrace(state, clock, true, text);
    if (report) report(PrintableLine(LogLine(clock.UtcNow(), text)));
  });
}

HeadlessLogger::~HeadlessLogger() {
  events_->Stop();
  StopThread(StopBoundMs);
}

void HeadlessLogger::Say(const std::string& line) {
  if (report_) report_(PrintableLine(line));
}

bool HeadlessLogger::ReadSettings(std::string* error) {
  auto ini = std::make_unique<TAppIniFile>(folder_);
  auto port = std::make_shared<T_AdvCom32>();
  VarnexSettings read;
  std::string why;
  if (!LoadSettings(*ini, *port, read, &why)) {
    if (error) *error = "The settings file " + InFolder(folder_, "Varnex.ini") + " cannot be read: " + why;
    return false;
  }
  // What was learned since the last read stays; the horizon only ever lowers.
  if (ini_)
    for (std::size_t az = 0; az < read.HorizonTable.size(); ++az)
      read.HorizonTable[az] = std::min(read.HorizonTable[az], settings_.HorizonTable[az]);
  settings_ = read;
  debugLog_ = ini->ReadBool(LoggerSection, DebugLogKey, false);
  ini_ = std::move(ini);
  port_ = std::move(port);
  return true;
}

bool HeadlessLogger::Start(std::string* error) {
  if (!ReadSettings(error)) return false;
  refresh_.SetLogs(MakeLogs());
  refresh_.LastStatusCode = LoadStatusHistory(folder_).LastStatusCode;
  ConfigureMetrics();
  summaryFrom_ = clock_.UtcNow();
  OpenPortAndPoll();
  events_->Configure(LoadEventSettings(*ini_), device_, folder_);
  Say(LogLine(clock_.UtcNow(), std::string(LoggerProgramName) + " " + VarnexVersion + " logging into " + folder_ +
                                   " from " + device_ + (debugLog_ ? ", with the debug log" : "")));
  return true;
}

void HeadlessLogger::OpenPortAndPoll() {
  device_ = port_->DeviceName();
  port_->SetShowErrors(false);
  // A baud rate the line refuses is said in the trace and to the reporter. This runs on
  // the poll thread, which may outlive this object: it holds nothing of it.
  port_->SetFailureReport([report = report_, &state = state_, &clock = clock_](const std::string& text) {
    AddTrace(state, clock, true, text);
    if (report) report(PrintableLine(LogLine(clock.UtcNow(), text)));
  });
  if (!port_->Open())
    Say(LogLine(clock_.UtcNow(), "Serial port " + device_ + " cannot be opened; it is tried again every 10 s"));
  // No debug window here: nothing to wait for.
  state_.StartGate = true;
  thread_ = std::make_unique<TComThread>(state_, std::make_shared<AdvCom32LinkPort>(port_), clock_, nullptr);
  thread_->Start();
}

bool HeadlessLogger::StopThread(int boundMs) {
  if (!thread_) return true;
  return TComThread::StopWithin(std::move(thread_), boundMs);
}

void HeadlessLogger::Reload() {
  const TDateTime now = clock_.UtcNow();
  Say(LogLine(now, "Reading the settings again and re-opening the serial port"));
  if (!StopThread(StopBoundMs)) Say(LogLine(now, "The poll thread did not stop in time; it was let go"));
  const std::shared_ptr<T_AdvCom32> old = port_;
  old->Close();
  std::string error;
  if (!ReadSettings(&error)) {
    Say(LogLine(now, error + "; the settings in force are kept"));
    // A fresh port with the line settings of the last good read.
    auto port = std::make_shared<T_AdvCom32>();
    VarnexSettings unused;
    LoadSettings(*ini_, *port, unused);
    port_ = port;
  }
  ConfigureMetrics();
  OpenPortAndPoll();
  events_->Configure(LoadEventSettings(*ini_), device_, folder_);
  Say(LogLine(clock_.UtcNow(), "Serial port " + device_ + (port_->Opened() ? " re-opened" : " not open yet")));
}

bool HeadlessLogger::Stop(int boundMs) {
  events_->Stop();
  const bool stopped = StopThread(boundMs);
  const TDateTime now = clock_.UtcNow();
  if (!stopped) Say(LogLine(now, "The poll thread did not stop within " + std::to_string(boundMs) + " ms"));
  DrainTrace();
  std::string error;
  bool saved = false;
  try {
    saved = ini_ && port_ && SaveSettings(*ini_, *port_, settings_, &error);
  } catch (...) {
    error = "unexpected failure";
  }
  if (!saved) Say(LogLine(now, "The settings could not be saved in " + folder_ + ": " + error));
  Say(LogLine(now, "Stopped after " + std::to_string(counts_.Screens) + " cycles and " +
                       std::to_string(counts_.DataLines) + " data lines"));
  return stopped && saved;
}

RefreshLogs HeadlessLogger::MakeLogs() {
  RefreshLogs logs;
  logs.AppendStatusHistory = [this](TDateTime stamp, const std::string& message) {
    const bool ok = ::AppendStatusHistory(folder_, stamp, message).has_value();
    Written(StatusHistoryFileName, ok, stamp);
    Say(LogLine(stamp, message));
  };
  logs.AppendErrorLog = [this](TDateTime stamp, const std::string& message) {
    const bool ok = ::AppendErrorLog(folder_, stamp, message).has_value();
    Written(ErrorLogFileName, ok, stamp);
    Say(LogLine(stamp, "Receiver error: " + message));
  };
  logs.AppendDataLine = [this](const MeasurementRecord& r) {
    const bool ok =
        ::AppendDataLine(folder_, DataRecord{r.Time, r.PpsTi, r.Efc, r.Hup, static_cast<double>(r.Tracked)});
    Written(DataFileName(r.Time), ok, r.Time);
    if (ok) metrics_.Recorder().DataLineWritten();
    ++(ok ? counts_.DataLines : counts_.FailedLines);
    if (ok) ++hourLines_;
  };
  return logs;
}

void HeadlessLogger::Written(const std::string& file, bool ok, TDateTime now) {
  const int error = errno;
  events_->FileWritten(InFolder(folder_, file), ok, now);
  if (ok) {
    if (throttle_.Succeeded(file)) Say(LogLine(now, InFolder(folder_, file) + " is written again"));
    return;
  }
  metrics_.Recorder().WriteFailed();
  if (throttle_.Failed(file, now))
    Say(LogLine(now, "Cannot write " + InFolder(folder_, file) + ": " + (error ? std::strerror(error) : "failed") +
                         " (lines are lost until it works again; said once an hour)"));
}

void HeadlessLogger::Tick() {
  refresh_.Tick();
  events_->AfterTick(refresh_, clock_.UtcNow());
  DrainTrace();
  Summarise();
  TickMetrics();
}

void HeadlessLogger::DrainTrace() {
  for (const std::string& line : state_.DrainTrace()) {
    if (OnTrace) OnTrace(line);
    if (debugLog_) {
      errno = 0;
      Written(DebugLogFileName, AppendToDebugLog(folder_, line), clock_.UtcNow());
    }
    switch (ClassifyTrace(line)) {
      case TraceKind::PortLost:
        ++counts_.PortLost;
        Say(WithoutLineEnd(line));
        break;
      case TraceKind::PortOpened:
        ++counts_.PortOpened;
        Say(WithoutLineEnd(line));
        break;
      case TraceKind::ErrorNote:
        // A failure repeated every cycle is said once an hour, like a failing file.
        if (throttle_.Failed(TraceText(line), clock_.UtcNow())) Say(WithoutLineEnd(line));
        break;
      case TraceKind::Other:
        break;
    }
  }
}

void HeadlessLogger::Summarise() {
  const TDateTime now = clock_.UtcNow();
  if (now < summaryFrom_) summaryFrom_ = now;  // the clock was set back
  if (now - summaryFrom_ < 1.0 / 24) return;
  summaryFrom_ = now;
  const RefreshCycle& r = refresh_;
  LoggerSummary s{hourScreens_,   hourLines_,   r.TrackedValid, r.TrackedCount, r.VisibleValid,
                  r.VisibleCount, r.PpsTiValid, r.PpsTiValue,   r.EfcValid,     r.EfcValue};
  hourScreens_ = hourLines_ = 0;
  ++counts_.Summaries;
  Say(SummaryLine(now, s));
}

void RunLogger(HeadlessLogger& logger, LoggerControl& control, const std::function<void()>& waitTick) {
  while (!control.Stop.load()) {
    if (control.Reload.exchange(false)) logger.Reload();
    logger.Tick();
    waitTick();
  }
}
