#pragma once
// The main window's 100 ms refresh tick, free of any toolkit: it takes the
// poll thread's new answers from the shared state, converts them, and tells a
// view what to show, the charts what to plot and the logs what to write.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frontend/RefreshRules.h"
#include "frontend/StatusScreen.h"
#include "link/SharedReceiverState.h"
#include "platform/DateTime.h"

class ChartSeries;
class Clock;
struct VarnexSettings;

// What the tick shows; the main window implements it over its widgets.
class RefreshView {
 public:
  virtual ~RefreshView() = default;
  virtual void SetPanel(int index, const std::string& text) = 0;
  // Empties the receiver status window and fills it with the screen's lines.
  virtual void ShowStatusLines(const std::vector<std::string>& lines) = 0;
  // Refills the sky view's satellites and the C/N bars.
  virtual void ShowSatellites(const SatelliteDisplay& display) = 0;
  virtual void UpdateHorizonLine() = 0;
  // The right axis labels get six decimals from now on.
  virtual void SetRightAxisDecimals() = 0;
  virtual void SetClockMenuEnabled(bool enabled) = 0;
  virtual void ShowDateTime(TDateTime t) = 0;
  // Points were added or trimmed; the charts redraw.
  virtual void ChartsChanged() = 0;
};

// A view with nothing to show, for front ends without windows; each overrides what it counts.
class QuietRefreshView : public RefreshView {
 public:
  void SetPanel(int, const std::string&) override {}
  void ShowStatusLines(const std::vector<std::string>&) override {}
  void ShowSatellites(const SatelliteDisplay&) override {}
  void UpdateHorizonLine() override {}
  void SetRightAxisDecimals() override {}
  void SetClockMenuEnabled(bool) override {}
  void ShowDateTime(TDateTime) override {}
  void ChartsChanged() override {}
};

// One line of the measurement data file.
struct MeasurementRecord {
  TDateTime Time = 0.0;
  double PpsTi = 0.0;
  double Efc = 0.0;
  double Hup = 0.0;
  std::int32_t Tracked = 0;
};

// Where the tick writes; any may be left empty. Each writer swallows its own
// failures; whatever escapes is caught by the tick.
struct RefreshLogs {
  std::function<void(TDateTime stamp, const std::string& message)> AppendStatusHistory;
  std::function<void(TDateTime stamp, const std::string& message)> AppendErrorLog;
  std::function<void(const MeasurementRecord& record)> AppendDataLine;
};

// The four time series the status screens feed; any may be null.
struct RefreshSeries {
  ChartSeries* PpsTi = nullptr;  // main chart Series1 "PPS TI"
  ChartSeries* Efc = nullptr;    // main chart Series2 "EFC"
  ChartSeries* Hud = nullptr;    // holdover window "HUD"
  ChartSeries* Sats = nullptr;   // holdover window "Sats"
};

class RefreshCycle {
 public:
  // Status bar panels, left to right.
  enum Panel { PanelPpsTi = 0, PanelEfc, PanelHup, PanelLife, PanelVisible, PanelTracked, PanelIdn };
  // A gap longer than this between status screens breaks the chart lines.
  static constexpr double GapSeconds = ChartGapSeconds;

  RefreshCycle(SharedReceiverState& state, Clock& clock, VarnexSettings& settings, RefreshView& view,
               RefreshSeries series = {}, RefreshLogs logs = {});

  void SetSeries(const RefreshSeries& series) { series_ = series; }
  void SetLogs(RefreshLogs logs) { logs_ = std::move(logs); }
  // Writes the settings file, false when it could not; from then on the tick saves a
  // changed horizon at most once every ten minutes. The table as it is now counts as saved.
  void SetHorizonSave(std::function<bool()> save);

  // Timer1Timer: the ten steps in their order, then the horizon's save. Never throws.
  void Tick();
  // Runs when the status lines are new; failures end it with a trace note.
  void HandleStatus();

  double PpsTiValue = 0.0;
  bool PpsTiValid = false;
  double EfcValue = 0.0;
  bool EfcValid = false;
  double HupValue = 0.0;
  bool HupValid = false;
  std::int32_t LifeCount = 0;
  bool LifeCountValid = false;
  std::int32_t TrackedCount = 0;
  bool TrackedValid = false;
  std::int32_t VisibleCount = 0;
  bool VisibleValid = false;
  TDateTime LastPointTime = 0.0;
  int LastSecond = 0;
  TDateTime ClockTime = 0.0;
  bool ClockValid = false;
  std::uint8_t StatusCode = StatusUndefined;
  // The start of the poll cycle that read each value last (0 before the first), so an
  // output can tell a value read since a reconnect from an older one. PPS TI and EFC
  // are taken together and share theirs.
  TDateTime PpsTiTime = 0.0, HupTime = 0.0, TrackedTime = 0.0, VisibleTime = 0.0, StatusTime = 0.0;
  // Seeded from the status history when the status log window loads it.
  std::uint8_t LastStatusCode = StatusUndefined;
  // The last status report and identification as received, for the event list.
  std::string StatusText;
  std::string IdnText;
  bool RightAxisDecimals = false;
  SatelliteTable Satellites;
  const std::string& LastErrorText() const { return errors_.LastErrorText(); }

 private:
  void PpsTiAndEfc();
  void ReceiverError();
  void HoldoverUncertainty();
  void Integer(ReceiverValue which, std::int32_t& value, bool& valid, int panel, const char* caption,
               TDateTime* stamp = nullptr);
  void Identification();
  void SmartClock();
  void ClockStep();
  void SaveHorizon();
  void TakeTimeCode(const std::string& text);
  void AddPoints(TDateTime t);
  void Trim(TDateTime t);

  SharedReceiverState& state_;
  Clock& clock_;
  VarnexSettings& settings_;
  RefreshView& view_;
  RefreshSeries series_;
  RefreshLogs logs_;
  ErrorRepeatFilter errors_;
  std::function<bool()> saveHorizon_;
  HorizonSaveRule horizonSave_;
};
