#include "analysis/StabilityView.h"

#include <cmath>
#include <stdexcept>

namespace {

// The rescale's logarithm: a value that is not positive ends the rescale.
struct NoLogarithm {};

double Log10(double value) {
  if (!(value > 0.0)) throw NoLogarithm{};
  return std::log10(value);
}

double PowerOfTen(double exponent) { return std::pow(10.0, exponent); }

}  // namespace

StabilityAxes RescaleStabilityAxes(const std::vector<std::span<const StabilityPoint>>& switchedOn, StabilityAxes axes) {
  if (switchedOn.empty()) return axes;
  double maxY = -1e300;
  double minY = 1e300;
  double maxX = 0.0;
  for (std::span<const StabilityPoint> points : switchedOn) {
    if (points.empty()) continue;
    for (const StabilityPoint& p : points) {
      maxY = std::max(maxY, p.value);
      minY = std::min(minY, p.value);
    }
    maxX = std::max(maxX, points.back().tau);
  }
  try {
    axes.Left.Min = -1e300;
    const double top = maxY < 1.0 ? PowerOfTen(std::trunc(Log10(maxY))) : PowerOfTen(std::trunc(Log10(10.0 * maxY)));
    axes.Left.Max = 1.01 * top;
    axes.Left.Min = 0.99 * PowerOfTen(std::trunc(Log10(minY)) - 1.0);
    const double right = PowerOfTen(std::trunc(Log10(10.0 * maxX)));
    axes.Bottom.Min = -1e300;
    axes.Bottom.Max = 1.01 * right;
    axes.Bottom.Min = 9.9;
  } catch (const NoLogarithm&) {
  }
  return axes;
}

ExtraLegend UpdateExtraLegend(bool legendVisible, bool legendAtRight, const std::vector<bool>& switchedOn,
                              const LegendBox& legend) {
  ExtraLegend extra;
  if (!legendVisible || !legendAtRight) return extra;
  int on = -1;
  for (std::size_t i = 0; i < switchedOn.size(); ++i) {
    if (!switchedOn[i]) continue;
    if (on >= 0) return extra;
    on = static_cast<int>(i);
  }
  if (on < 0) return extra;
  extra.Active = true;
  extra.Series = on;
  extra.Left = legend.Left;
  extra.Top = legend.Top + legend.Height + kExtraLegendGap;
  return extra;
}

ExtraLegend ExtraLegendTimer(const ExtraLegend& current, bool legendVisible, bool legendAtRight,
                             const LegendBox& legend) {
  if (!current.Active) return current;
  if (!legendVisible || !legendAtRight) return ExtraLegend{};
  ExtraLegend placed = current;
  placed.Left = legend.Left;
  placed.Top = legend.Top + legend.Height + kExtraLegendGap;
  return placed;
}

void StabilityRunner::Start() {
  if (running_) {
    startOver_ = true;
    return;
  }
  running_ = true;
  Outcome outcome;
  do {
    startOver_ = false;
    outcome = Run();
  } while (outcome == Outcome::StartOver);
  running_ = false;
}

StabilityRunner::Outcome StabilityRunner::Run() {
  bool busy = false;
  bool suspended = false;
  // Whatever ends the run, the cursor comes back and the chart shows what was built.
  auto finish = [&] {
    if (suspended) view_.ResumeRepaint();
    if (busy) view_.SetBusyCursor(false);
  };
  try {
    const std::vector<double> samples = view_.LoadPhaseSamples();
    view_.ShowAndRaise();
    view_.SuspendRepaint();
    suspended = true;
    view_.RemoveAllSeries();
    view_.SetBusyCursor(true);
    busy = true;
    view_.ProcessEvents();
    if (startOver_) {
      finish();
      return Outcome::StartOver;
    }
    for (const MeasureInfo& info : kMeasureCatalogue) {
      const int series = view_.AddMeasureSeries(info);
      MeasurePoints source(info.measure, samples);
      const bool yields = info.sequence != TauSequence::MtieStages;
      for (;;) {
        StabilityPoint point;
        bool more = false;
        if (yields)
          view_.Compute([&] { more = source.Next(point); });
        else
          more = source.Next(point);
        if (startOver_) {
          finish();
          return Outcome::StartOver;
        }
        if (!more) break;
        if (!view_.AddMeasurePoint(series, point)) throw std::runtime_error("series removed");
        if (yields) {
          view_.ProcessEvents();
          if (startOver_) {
            finish();
            return Outcome::StartOver;
          }
        }
      }
      if (yields) {
        view_.ProcessEvents();
        if (startOver_) {
          finish();
          return Outcome::StartOver;
        }
      }
      view_.RescaleStabilityAxes();
    }
    view_.ResumeRepaint();
    suspended = false;
    view_.ProcessEvents();
    view_.SetBusyCursor(false);
    busy = false;
  } catch (...) {
    try {
      finish();
    } catch (...) {
    }
  }
  return startOver_ ? Outcome::StartOver : Outcome::Done;
}
