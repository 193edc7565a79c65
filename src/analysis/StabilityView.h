#pragma once
// The rules of the time stability window that need no display: the axis ranges
// a rescale sets, where the extra legend stands, and the steps of one run, which
// talks to the window through StabilityRunView.
#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "analysis/ConfidenceInterval.h"
#include "analysis/FurtherMeasures.h"
#include "analysis/MeasureCatalogue.h"
#include "analysis/Stability.h"

// A stored axis range; a logarithmic axis may hold a minimum <= 0 after a rescale
// that stopped early, and the chart draws such a range as best it can.
struct AxisRange {
  double Min = 0.0;
  double Max = 0.0;
  bool operator==(const AxisRange&) const = default;
};

struct StabilityAxes {
  AxisRange Left;
  AxisRange Bottom;
  bool operator==(const StabilityAxes&) const = default;
};

// The axes after a rescale over the switched-on series (their points as the run
// produced them, zeros included). With no series on nothing changes. Otherwise
// the steps run in order, and the first that needs the logarithm of a value that
// is not positive ends the rescale; the steps already done stay.
StabilityAxes RescaleStabilityAxes(const std::vector<std::span<const StabilityPoint>>& switchedOn, StabilityAxes axes);

struct LegendBox {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

struct ExtraLegend {
  bool Active = false;
  int Series = -1;  // the one series it lists
  int Left = 0;
  int Top = 0;
  bool operator==(const ExtraLegend&) const = default;
};

// Gap between the legend's bottom and the extra legend's top, in pixels.
inline constexpr int kExtraLegendGap = 10;

// After a legend click or a drawing of the chart: active, listing the one
// switched-on series, right under a visible legend at its place right of the
// plot; inactive otherwise.
ExtraLegend UpdateExtraLegend(bool legendVisible, bool legendAtRight, const std::vector<bool>& switchedOn,
                              const LegendBox& legend);
// The 200 ms timer: an active extra legend is placed under the legend again
// while the legend is visible at the right, and switched off once it is not.
ExtraLegend ExtraLegendTimer(const ExtraLegend& current, bool legendVisible, bool legendAtRight,
                             const LegendBox& legend);

// How far a point's error bar reaches below and above its value. An arm is NaN
// where nothing can be drawn: no interval, a value a logarithmic axis cannot
// show, or bounds that are not finite or do not enclose the value.
struct ErrorBar {
  double minus = 0.0;
  double plus = 0.0;
};
ErrorBar ErrorBarOf(double value, const StabilityInterval& interval);

// The value tip of a point: the value in the measures' format, then its
// interval and the noise found, as in
// "1.23 x 10 E-11  (68 %: 1.10 … 1.38 x 10 E-11, noise: white FM)", with
// " (B1)" after the noise where a short record left it to the B1 ratio,
// " carried from τ = 640 s" where too few averages were left to find it and
// the type of the previous τ stands, and ", under one degree of freedom" where
// the interval rests on less than that; or why it has none. A measure that carries no interval shows the value alone.
std::string StabilityValueTip(double value, const StabilityInterval& interval);

// What a run needs of the window.
class StabilityRunView {
 public:
  virtual ~StabilityRunView() = default;
  // The PPS TI samples of this run (the main chart's series as it is now).
  virtual std::vector<double> LoadPhaseSamples() = 0;
  virtual void ShowAndRaise() = 0;
  virtual void SuspendRepaint() = 0;
  virtual void RemoveAllSeries() = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  virtual void ProcessEvents() = 0;
  // Makes the series of one measure and returns its handle.
  virtual int AddMeasureSeries(const MeasureInfo& info) = 0;
  // False when that series is gone (removed in the chart editor): the run ends.
  // The interval is the point's confidence interval, or why it has none.
  virtual bool AddMeasurePoint(int series, const StabilityPoint& point, const StabilityInterval& interval) = 0;
  // The series of a further measure switched on, after the nine; a window
  // that offers none keeps these as they are.
  virtual int AddFurtherSeries(const FurtherMeasureInfo& /*info*/) { return -1; }
  virtual bool AddFurtherPoint(int /*series*/, const FurtherPoint& /*point*/) { return false; }
  // One line saying why a further measure has no points, or fewer than its list.
  virtual void ShowFurtherNote(const std::string& /*line*/) {}
  virtual void RescaleStabilityAxes() = 0;
  // Resumes repainting and repaints once.
  virtual void ResumeRepaint() = 0;
  // Runs work to its end. A window may run it elsewhere and let pending events
  // run meanwhile, so a long point does not hold the event loop; any exception
  // of work is raised here.
  virtual void Compute(const std::function<void()>& work) { work(); }
};

// ComputeStabilityMeasures and the guard around it.
class StabilityRunner {
 public:
  explicit StabilityRunner(StabilityRunView& view) : view_(view) {}

  // Runs now. Asked while a run is letting pending events run, it makes that run
  // start over with the samples of that moment instead, so two runs never build
  // the chart at once. Errors end a run silently; what was built stays.
  void Start();
  bool Running() const { return running_; }
  // The further measures each run adds after the nine, in catalogue order.
  void SetFurtherMeasures(std::vector<FurtherMeasure> on) { further_ = std::move(on); }
  const std::vector<FurtherMeasure>& FurtherMeasures() const { return further_; }

 private:
  enum class Outcome { Done, StartOver };
  Outcome Run();
  // False where the run is to start over.
  bool RunFurther(FurtherMeasure measure, const std::vector<double>& samples);

  StabilityRunView& view_;
  bool running_ = false;
  bool startOver_ = false;
  // Set with startOver_: a point being computed elsewhere is abandoned, so a
  // new start is not kept waiting for the longest Theo1 point.
  std::atomic<bool> stop_{false};
  std::vector<FurtherMeasure> further_;
};

// TimeStabClick's test: with this many PPS TI points or fewer there is nothing to show.
inline constexpr std::size_t kTooFewPpsTiPoints = 10;
