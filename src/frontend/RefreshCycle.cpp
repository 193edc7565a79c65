#include "frontend/RefreshCycle.h"

#include <cmath>
#include <exception>

#include "charting/ChartSeries.h"
#include "frontend/Settings.h"
#include "link/LinkRules.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

// Runs one step; a failure only ends that step, whose flag is already cleared.
template <class F>
void Guarded(F&& step) {
  try {
    step();
  } catch (...) {
  }
}

void AddPoint(ChartSeries* series, TDateTime t, double y, bool null) {
  // A point older than the series' last one (a clock set back, or a line stamped
  // ahead by a clock once wrong) goes to its place in time, so the series stay in
  // order for the trim and the analyses and keep taking points.
  if (series) series->InsertPoint(t, y, null);
}

void TrimSeries(ChartSeries* series, TDateTime oldest) {
  if (!series) return;
  while (!series->Empty() && series->First().x < oldest) series->DeleteFirst();
}

}  // namespace

RefreshCycle::RefreshCycle(SharedReceiverState& state, Clock& clock, VarnexSettings& settings, RefreshView& view,
                           RefreshSeries series, RefreshLogs logs)
    : state_(state), clock_(clock), settings_(settings), view_(view), series_(series), logs_(std::move(logs)) {}

void RefreshCycle::Tick() {
  Guarded([this] { PpsTiAndEfc(); });
  Guarded([this] { ReceiverError(); });
  Guarded([this] { HoldoverUncertainty(); });
  Guarded([this] { Integer(ReceiverValue::LifeCount, LifeCount, LifeCountValid, PanelLife, "LIFE = "); });
  Guarded([this] { Identification(); });
  Guarded([this] { SmartClock(); });
  Guarded([this] {
    Integer(ReceiverValue::Tracked, TrackedCount, TrackedValid, PanelTracked, "Tracked = ", &TrackedTime);
  });
  Guarded([this] {
    Integer(ReceiverValue::Visible, VisibleCount, VisibleValid, PanelVisible, "Visible = ", &VisibleTime);
  });
  Guarded([this] { HandleStatus(); });
  Guarded([this] { ClockStep(); });
  Guarded([this] { SaveHorizon(); });
}

void RefreshCycle::SetHorizonSave(std::function<bool()> save) {
  saveHorizon_ = std::move(save);
  horizonSave_.Start(settings_.HorizonTable, clock_.UtcNow());
}

void RefreshCycle::SaveHorizon() {
  if (!saveHorizon_) return;
  const TDateTime now = clock_.UtcNow();
  if (!horizonSave_.Due(settings_.HorizonTable, now)) return;
  bool written = false;
  try {
    written = saveHorizon_();
  } catch (...) {
  }
  horizonSave_.Done(settings_.HorizonTable, now, written);
  if (!written) AddTrace(state_, clock_, true, "A error in \"SaveSettings\" has occurred");
}

void RefreshCycle::PpsTiAndEfc() {
  // PPS TI and EFC belong together: neither is taken until both have arrived.
  if (!state_.IsNew(ReceiverValue::PpsTi) || !state_.IsNew(ReceiverValue::Efc)) return;
  std::string ppsText, efcText;
  state_.Take(ReceiverValue::PpsTi, ppsText, &PpsTiTime);
  state_.Take(ReceiverValue::Efc, efcText);
  EfcValid = StrictToFloat(efcText, EfcValue);
  PpsTiValid = StrictToFloat(ppsText, PpsTiValue);
  if (PpsTiValid) view_.SetPanel(PanelPpsTi, "PPS TI = " + FormatScientific3(PpsTiValue) + " s");
  if (EfcValid) view_.SetPanel(PanelEfc, "EFC = " + FormatGeneral(EfcValue));
}

void RefreshCycle::ReceiverError() {
  std::string text;
  TDateTime stamp = 0.0;
  if (!state_.Take(ReceiverValue::Error, text, &stamp)) return;
  if (errors_.Accept(text) && logs_.AppendErrorLog) logs_.AppendErrorLog(stamp, text);
}

void RefreshCycle::HoldoverUncertainty() {
  std::string text;
  if (!state_.Take(ReceiverValue::Hup, text, &HupTime)) return;
  double value = 0.0;
  HupValid = ConvertHoldoverUncertainty(text, value);
  if (!HupValid) return;
  HupValue = value;
  view_.SetPanel(PanelHup, "HUP = " + FormatScientific3(HupValue) + " s");
}

void RefreshCycle::Integer(ReceiverValue which, std::int32_t& value, bool& valid, int panel, const char* caption,
                           TDateTime* stamp) {
  std::string text;
  if (!state_.Take(which, text, stamp)) return;
  valid = StrictToInt32(text, value);
  if (valid) view_.SetPanel(panel, caption + std::to_string(value));
}

void RefreshCycle::Identification() {
  std::string text;
  if (!state_.Take(ReceiverValue::Idn, text)) return;
  IdnText = text;
  view_.SetPanel(PanelIdn, text);
}

void RefreshCycle::SmartClock() {
  std::string text;
  TDateTime stamp = 0.0;
  if (!state_.Take(ReceiverValue::OscStatus, text, &stamp)) return;
  StatusTime = stamp;
  StatusCode = SmartClockStatusCode(text);
  StatusText = text;
  const std::uint8_t last = LastStatusCode;
  LastStatusCode = StatusCode;
  if (!logs_.AppendStatusHistory) return;
  for (const std::string& message : StatusReportMessages(last, StatusCode, text))
    logs_.AppendStatusHistory(stamp, message);
}

void RefreshCycle::HandleStatus() {
  std::vector<std::string> lines;
  // Points and the data line carry the start of the cycle that read the screen.
  TDateTime t = 0.0;
  if (!state_.TakeStatusLines(lines, &t)) return;
  bool pointsTouched = false;
  try {
    view_.ShowStatusLines(lines);
    GetTrackedData(lines, TrackedCount, Satellites, state_);
    view_.ShowSatellites(BuildSatelliteDisplay(Satellites, settings_.HorizonTable));
    view_.UpdateHorizonLine();

    pointsTouched = true;
    AddPoints(t);
    if (!RightAxisDecimals && EfcValue != std::trunc(EfcValue)) {
      RightAxisDecimals = true;
      view_.SetRightAxisDecimals();
    }
    LastPointTime = t;
    Trim(t);

    if (PpsTiValid && EfcValid && HupValid && TrackedValid && logs_.AppendDataLine)
      logs_.AppendDataLine({t, PpsTiValue, EfcValue, HupValue, TrackedCount});
  } catch (...) {
    state_.QueueTrace("A error in \"HandleStatus\" has occurred\r\n");
  }
  if (pointsTouched) Guarded([this] { view_.ChartsChanged(); });
}

void RefreshCycle::AddPoints(TDateTime t) {
  const bool null = IsChartGap(LastPointTime, t);
  if (PpsTiValid) AddPoint(series_.PpsTi, t, PpsTiValue, null);
  if (EfcValid) AddPoint(series_.Efc, t, EfcValue, null);
  if (HupValid) AddPoint(series_.Hud, t, HupValue, null);
  if (TrackedValid) AddPoint(series_.Sats, t, static_cast<double>(TrackedCount), null);
}

void RefreshCycle::Trim(TDateTime t) {
  const TDateTime oldest = t - settings_.SpanMinutes / 1440.0;
  TrimSeries(series_.PpsTi, oldest);
  TrimSeries(series_.Efc, oldest);
  TrimSeries(series_.Hud, oldest);
  TrimSeries(series_.Sats, oldest);
}

void RefreshCycle::ClockStep() {
  const int second = DecodeDateTime(clock_.LocalNow()).second;
  const bool secondPassed = second != LastSecond;
  if (secondPassed) LastSecond = second;

  std::string text;
  if (state_.Take(ReceiverValue::TimeCode, text))
    TakeTimeCode(text);
  else if (secondPassed)
    ClockTime += OneSecond;

  if (secondPassed) Guarded([this] { view_.ShowDateTime(ClockTime - OneSecond); });
}

void RefreshCycle::TakeTimeCode(const std::string& text) {
  ClockValid = false;
  const TimeCode code = ParseTimeCode(text);
  if (code.outcome == TimeCode::TooShort) {
    view_.SetClockMenuEnabled(false);
    return;
  }
  if (code.outcome != TimeCode::Valid) return;
  ClockValid = true;
  if (code.encodes) ClockTime = code.time;
  view_.SetClockMenuEnabled(true);
}
