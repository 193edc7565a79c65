#include "analysis/StabilityView.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "analysis/StabilityFurther.h"

namespace {

// The rescale's logarithm: a value that is not positive ends the rescale.
struct NoLogarithm {};

double Log10(double value) {
  if (!(value > 0.0)) throw NoLogarithm{};
  return std::log10(value);
}

double PowerOfTen(double exponent) { return std::pow(10.0, exponent); }

// The power of ten the measures' format shows a value with, after its rounding
// to three digits (9.996e-12 shows as 1.00 x 10 E-11).
int ShownExponent(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 2);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  return std::atoi(std::string(text.substr(text.find('e') + 1)).c_str());
}

std::string TwoDecimals(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  return std::string(buf, res.ptr);
}

// Both bounds over the value's power of ten, so they read against the value;
// bounds far from it are written out in full each.
std::string BoundsText(double value, double low, double high) {
  const int exponent = ShownExponent(value);
  const double scale = PowerOfTen(exponent);
  const double lowMantissa = low / scale;
  const double highMantissa = high / scale;
  if (!(lowMantissa >= 0.1) || !(highMantissa < 100.0))
    return FormatMeasureValue(low) + " \u2026 " + FormatMeasureValue(high);
  return TwoDecimals(lowMantissa) + " \u2026 " + TwoDecimals(highMantissa) + " x 10 E" + (exponent < 0 ? "-" : "+") +
         std::to_string(std::abs(exponent));
}

// A tau in seconds: whole seconds as they are, others to four digits.
std::string SecondsText(double tau) {
  char buf[64];
  const bool whole = tau == std::floor(tau) && tau < 1e9;
  const auto res = whole ? std::to_chars(buf, buf + sizeof buf, static_cast<long long>(tau))
                         : std::to_chars(buf, buf + sizeof buf, tau, std::chars_format::general, 4);
  return std::string(buf, res.ptr) + " s";
}

// How the noise was found, where it was not the lag-1 autocorrelation, and
// what the interval cannot promise.
std::string NoiseText(const std::string& noise, const StabilityInterval& interval) {
  std::string text = ", noise: " + noise;
  if (interval.method == NoiseMethod::B1) text += " (B1)";
  if (interval.method == NoiseMethod::Carried) text += " carried from \u03c4 = " + SecondsText(interval.carriedFrom);
  if (interval.edf < 1.0) text += ", under one degree of freedom";
  return text;
}

}  // namespace

ErrorBar ErrorBarOf(double value, const StabilityInterval& interval) {
  const double none = std::nan("");
  if (!interval.Valid() || !(value > 0.0) || !std::isfinite(value)) return {none, none};
  ErrorBar bar{none, none};
  if (interval.low > 0.0 && interval.low <= value) bar.minus = value - interval.low;
  if (std::isfinite(interval.high) && interval.high >= value) bar.plus = interval.high - value;
  return bar;
}

std::string StabilityValueTip(double value, const StabilityInterval& interval) {
  std::string tip = FormatMeasureValue(value);
  if (!std::isfinite(value)) return tip;
  const std::string noise(NoiseName(interval.alpha));
  switch (interval.gap) {
    case IntervalGap::None: {
      if (!std::isfinite(interval.low) || !std::isfinite(interval.high)) return tip;
      const long percent = std::lround(100.0 * kOneSigmaConfidence);
      tip += "  (" + std::to_string(percent) + " %: " + BoundsText(value, interval.low, interval.high);
      if (!noise.empty()) tip += NoiseText(noise, interval);
      return tip + ")";
    }
    case IntervalGap::NotThisMeasure:
      return tip;
    case IntervalGap::TooFewSamples:
      return tip + "  (no interval: fewer than " + std::to_string(kMinAverages) + " averages at this \u03c4)";
    case IntervalGap::NoResidual:
      return tip + "  (no interval: no noise left to identify)";
    case IntervalGap::NotFinite:
      return tip + "  (no interval: the data overflow the arithmetic)";
    case IntervalGap::NoNoiseModel:
      return tip + "  (no interval for " + (noise.empty() ? std::string("this noise") : noise) + ")";
  }
  return tip;
}

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
    stop_ = true;
    return;
  }
  running_ = true;
  Outcome outcome;
  do {
    startOver_ = false;
    stop_ = false;
    outcome = Run();
  } while (outcome == Outcome::StartOver);
  running_ = false;
}

bool StabilityRunner::RunFurther(FurtherMeasure measure, const std::vector<double>& samples) {
  const int series = view_.AddFurtherSeries(FurtherMeasureInfoOf(measure));
  FurtherSeries result;
  // The whole series at once, off the window's thread: the totals share their
  // work across factors. The stop flag ends it within its current factor.
  view_.Compute(
      [&] { result = ComputeFurtherMeasure(measure, samples, kSampleInterval, TauList::Octave, true, &stop_); });
  if (startOver_) return false;
  for (const FurtherPoint& point : result.points)
    if (!view_.AddFurtherPoint(series, point)) throw std::runtime_error("series removed");
  if (const std::string line = FurtherNoteLine(measure, result); !line.empty()) view_.ShowFurtherNote(line);
  view_.ProcessEvents();
  if (startOver_) return false;
  view_.RescaleStabilityAxes();
  return true;
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
    // The choice of the run's start: one changed meanwhile starts it over.
    const std::vector<FurtherMeasure> further = further_;
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
    // The noise found at an averaging factor serves every measure of its family.
    ConfidenceIntervals confidence(samples);
    for (const MeasureInfo& info : kMeasureCatalogue) {
      const int series = view_.AddMeasureSeries(info);
      MeasurePoints source(info.measure, samples);
      source.SetStopFlag(&stop_);
      const bool yields = info.sequence != TauSequence::MtieStages;
      for (;;) {
        StabilityPoint point;
        StabilityInterval interval;
        bool more = false;
        // The interval is found with its point, off the window's thread; so is
        // the whole MTIE series, which comes with its first point.
        view_.Compute([&] {
          more = source.Next(point);
          if (more && yields) interval = confidence.Of(info.measure, point);
        });
        if (startOver_) {
          finish();
          return Outcome::StartOver;
        }
        if (!more) break;
        if (!view_.AddMeasurePoint(series, point, interval)) throw std::runtime_error("series removed");
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
    for (FurtherMeasure measure : further) {
      if (!RunFurther(measure, samples)) {
        finish();
        return Outcome::StartOver;
      }
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
