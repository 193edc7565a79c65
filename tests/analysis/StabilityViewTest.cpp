#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/StabilityFurther.h"
#include "analysis/StabilityView.h"

namespace {

using Points = std::vector<StabilityPoint>;

TEST(StabilityViewTest, RescaleSetsTheAxesStepByStepAndStopsAtTheFirstMissingLogarithm) {
  const StabilityAxes before{{1e-12, 1e-9}, {5.0, 500.0}};
  constexpr double kNone = -1e300;
  struct Case {
    const char* name;
    std::vector<Points> on;
    StabilityAxes expected;
  };
  const Case cases[] = {
      // maxX is the largest last tau among the series, maxY and minY over all points.
      {"worked example",
       {{{10, 3.2e-11}, {20480, 1e-11}}, {{10, 4.5e-13}, {5120, 2e-12}}},
       {{9.9e-14, 1.01e-10}, {9.9, 101000}}},
      {"values of one and more", {{{10, 3.2}, {20, 0.05}}}, {{0.99e-2, 10.1}, {9.9, 101}}},
      {"no series on", {}, before},
      {"series without points", {{}, {}}, {{kNone, before.Left.Max}, before.Bottom}},
      {"only zeros", {{{10, 0.0}, {20, 0.0}}}, {{kNone, before.Left.Max}, before.Bottom}},
      {"a zero among positive values", {{{10, 2e-9}, {20, 0.0}}}, {{kNone, 1.01e-8}, before.Bottom}},
      {"an empty series beside a full one", {{}, {{400, 5e-12}}}, {{0.99e-12, 1.01e-11}, {9.9, 1010}}},
  };
  for (const Case& c : cases) {
    std::vector<std::span<const StabilityPoint>> on(c.on.begin(), c.on.end());
    const StabilityAxes got = RescaleStabilityAxes(on, before);
    EXPECT_DOUBLE_EQ(got.Left.Min, c.expected.Left.Min) << c.name;
    EXPECT_DOUBLE_EQ(got.Left.Max, c.expected.Left.Max) << c.name;
    EXPECT_DOUBLE_EQ(got.Bottom.Min, c.expected.Bottom.Min) << c.name;
    EXPECT_DOUBLE_EQ(got.Bottom.Max, c.expected.Bottom.Max) << c.name;
  }
}

TEST(StabilityViewTest, ExtraLegendStandsUnderTheLegendOnlyForOneSwitchedOnSeries) {
  const LegendBox legend{500, 20, 120, 200};
  const ExtraLegend under{true, 2, 500, 230};
  struct Case {
    const char* name;
    bool visible, right;
    std::vector<bool> on;
    ExtraLegend expected;
  };
  const Case cases[] = {
      {"one on", true, true, {false, false, true, false}, under},
      {"two on", true, true, {false, true, true, false}, {}},
      {"none on", true, true, {false, false, false}, {}},
      {"legend hidden", false, true, {false, false, true}, {}},
      {"legend moved away", true, false, {false, false, true}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(UpdateExtraLegend(c.visible, c.right, c.on, legend), c.expected) << c.name;

  // The timer follows a legend that grew and drops the extra legend once the legend leaves.
  const LegendBox taller{500, 20, 120, 260};
  EXPECT_EQ(ExtraLegendTimer(under, true, true, taller), (ExtraLegend{true, 2, 500, 290}));
  EXPECT_EQ(ExtraLegendTimer(under, true, false, taller), ExtraLegend{});
  EXPECT_EQ(ExtraLegendTimer(under, false, true, taller), ExtraLegend{});
  EXPECT_EQ(ExtraLegendTimer(ExtraLegend{}, true, true, taller), ExtraLegend{});  // the timer never switches it on
}

// Records what a run asks of the window.
struct FakeWindow : StabilityRunView {
  std::vector<double> samples;
  std::vector<std::string> calls;
  std::vector<std::vector<StabilityPoint>> series;
  std::vector<std::vector<StabilityInterval>> intervals;
  std::vector<std::string> titles;
  int busy = 0;
  int suspended = 0;
  bool resumed = false;
  std::function<void()> onProcessEvents;
  int refuseSeries = -1;  // AddMeasurePoint fails for this series

  std::vector<double> LoadPhaseSamples() override {
    calls.push_back("load");
    return samples;
  }
  void ShowAndRaise() override { calls.push_back("show"); }
  void SuspendRepaint() override {
    ++suspended;
    calls.push_back("suspend");
  }
  void RemoveAllSeries() override {
    series.clear();
    intervals.clear();
    titles.clear();
    calls.push_back("clear");
  }
  void SetBusyCursor(bool on) override { busy += on ? 1 : -1; }
  void ProcessEvents() override {
    calls.push_back("events");
    if (onProcessEvents) onProcessEvents();
  }
  int AddMeasureSeries(const MeasureInfo& info) override {
    series.emplace_back();
    intervals.emplace_back();
    titles.emplace_back(info.title);
    calls.push_back("series");
    return static_cast<int>(series.size()) - 1;
  }
  bool AddMeasurePoint(int s, const StabilityPoint& p, const StabilityInterval& ci) override {
    if (s == refuseSeries) return false;
    EXPECT_TRUE(std::isfinite(p.tau) && std::isfinite(p.value)) << titles.at(s);
    EXPECT_GT(p.tau, 0.0);
    // Whatever the data, an interval handed to the window can be drawn as it stands.
    if (ci.Valid()) {
      EXPECT_TRUE(std::isfinite(ci.low) && std::isfinite(ci.high)) << titles.at(s);
      EXPECT_TRUE(ci.low > 0.0 && ci.low <= p.value && p.value <= ci.high) << titles.at(s) << " tau " << p.tau;
    }
    series.at(static_cast<std::size_t>(s)).push_back(p);
    intervals.at(static_cast<std::size_t>(s)).push_back(ci);
    calls.push_back("point");
    return true;
  }
  void RescaleStabilityAxes() override { calls.push_back("rescale"); }
  void ResumeRepaint() override {
    --suspended;
    resumed = true;
    calls.push_back("resume");
  }
};

std::vector<double> Walk(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1e-9);
  std::vector<double> x(n);
  double w = 0;
  for (double& v : x) v = (w += 0.1 * noise(rng)) + noise(rng);
  return x;
}

std::string Joined(const std::vector<std::string>& calls, std::size_t from, std::size_t to) {
  std::string s;
  for (std::size_t i = from; i < to && i < calls.size(); ++i) s += (s.empty() ? "" : " ") + calls[i];
  return s;
}

TEST(StabilityViewTest, RunBuildsEverySeriesInOrderAndYieldsAfterEachOctaveAndTheo1Point) {
  FakeWindow w;
  w.samples = Walk(10, 3);  // M = 10
  StabilityRunner runner(w);
  runner.Start();
  EXPECT_FALSE(runner.Running());
  ASSERT_EQ(w.titles.size(), kMeasureCatalogue.size());
  for (std::size_t i = 0; i < kMeasureCatalogue.size(); ++i) EXPECT_EQ(w.titles[i], kMeasureCatalogue[i].title);
  for (std::size_t i = 0; i < 9; ++i) {
    const auto expected = AllMeasurePoints(kMeasureCatalogue[i].measure, w.samples);
    ASSERT_EQ(w.series[i].size(), expected.size()) << w.titles[i];
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(w.series[i][k].value, expected[k].value);
  }
  EXPECT_EQ(w.series[0].size(), 3u);
  EXPECT_TRUE(w.series[6].empty());  // Theo1 needs more than ten samples

  EXPECT_EQ(Joined(w.calls, 0, 6), "load show suspend clear events series");
  // Allan: a yield after each point and one at the end, then the rescale.
  EXPECT_EQ(Joined(w.calls, 5, 15), "series point events point events point events events rescale series");
  // Theo1 has no point here; MTIE does not yield; the run ends with one repaint and a yield.
  std::string expected = "series events rescale series point events point events events rescale series";
  for (std::size_t k = 0; k < w.series[8].size(); ++k) expected += " point";
  expected += " rescale resume events";
  const std::string tail = Joined(w.calls, w.calls.size() - 14 - w.series[8].size(), w.calls.size());
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(w.busy, 0);
  EXPECT_EQ(w.suspended, 0);
}

TEST(StabilityViewTest, RunOverHardDataHandsOnlyFinitePointsAndAlwaysRestoresTheWindow) {
  std::vector<double> huge = Walk(200, 5);
  for (double& v : huge) v *= 1e300;  // squares overflow
  std::vector<double> nan = Walk(200, 6);
  nan[50] = std::nan("");
  const std::vector<std::vector<double>> data = {std::vector<double>(500, std::ldexp(1.0, -30)), huge, nan};
  for (const auto& samples : data) {
    FakeWindow w;
    w.samples = samples;
    StabilityRunner(w).Start();
    EXPECT_EQ(w.busy, 0);
    EXPECT_TRUE(w.resumed);
    ASSERT_EQ(w.series.size(), 9u);
  }
}

TEST(StabilityViewTest, StartDuringARunStartsItOverAndAnErrorEndsItKeepingTheSeries) {
  FakeWindow w;
  w.samples = Walk(100, 9);
  StabilityRunner runner(w);
  int yields = 0;
  bool reentered = false;
  w.onProcessEvents = [&] {
    // The menu is clicked again while the third measure is being built.
    if (++yields == 12 && !reentered) {
      reentered = true;
      runner.Start();
      EXPECT_TRUE(runner.Running());
    }
  };
  runner.Start();
  EXPECT_EQ(std::count(w.calls.begin(), w.calls.end(), "load"), 2);
  EXPECT_EQ(std::count(w.calls.begin(), w.calls.end(), "clear"), 2);
  ASSERT_EQ(w.series.size(), 9u);  // the second run built the chart once, from the start
  EXPECT_EQ(w.series[0].size(), AllMeasurePoints(StabilityMeasure::Allan, w.samples).size());
  EXPECT_EQ(w.busy, 0);
  EXPECT_EQ(w.suspended, 0);

  FakeWindow broken;
  broken.samples = Walk(100, 9);
  broken.refuseSeries = 2;
  StabilityRunner(broken).Start();
  EXPECT_EQ(broken.series.size(), 3u);
  EXPECT_FALSE(broken.series[1].empty());
  EXPECT_EQ(broken.busy, 0);
  EXPECT_EQ(broken.suspended, 0);
}

TEST(StabilityViewTest, ValueTipGivesTheIntervalOverTheValuesPowerOfTenOrSaysWhyThereIsNone) {
  const auto with = [](double low, double high, int alpha, NoiseMethod method = NoiseMethod::Acf) {
    StabilityInterval ci;
    ci.gap = IntervalGap::None;
    ci.low = low;
    ci.high = high;
    ci.edf = 12.0;
    ci.alpha = alpha;
    ci.method = method;
    return ci;
  };
  const auto carried = [&with](double from, double edf) {
    StabilityInterval ci = with(1.0e-11, 9.0e-11, 0, NoiseMethod::Carried);
    ci.carriedFrom = from;
    ci.edf = edf;
    return ci;
  };
  const auto gap = [](IntervalGap why, int alpha = 0) {
    StabilityInterval ci;
    ci.gap = why;
    ci.alpha = alpha;
    return ci;
  };
  struct Case {
    double value;
    StabilityInterval ci;
    std::string tip;
  };
  const std::vector<Case> cases = {
      {1.234e-11, with(1.10e-11, 1.38e-11, 0), "1.23 x 10 E-11  (68 %: 1.10 \u2026 1.38 x 10 E-11, noise: white FM)"},
      {1.234e-11, with(1.10e-11, 1.38e-11, 0, NoiseMethod::B1),
       "1.23 x 10 E-11  (68 %: 1.10 \u2026 1.38 x 10 E-11, noise: white FM (B1))"},
      // The value rounds up to the next power of ten; the bounds follow its label.
      {9.996e-12, with(9.0e-12, 1.1e-11, 2), "1.00 x 10 E-11  (68 %: 0.90 \u2026 1.10 x 10 E-11, noise: white PM)"},
      {1.5, with(1.2, 2.0, -1), "1.50 x 10 E+0  (68 %: 1.20 \u2026 2.00 x 10 E+0, noise: flicker FM)"},
      // Bounds far from the value (few degrees of freedom) are written out each.
      {2e-12, with(1.9e-13, 5e-12, -2), "2.00 x 10 E-12  (68 %: 0.19 \u2026 5.00 x 10 E-12, noise: random-walk FM)"},
      {2e-12, with(1.9e-14, 5e-12, -2),
       "2.00 x 10 E-12  (68 %: 1.90 x 10 E-14 \u2026 5.00 x 10 E-12, noise: random-walk FM)"},
      {2e-12, with(1.5e-12, 2.4e-10, -4, NoiseMethod::B1),
       "2.00 x 10 E-12  (68 %: 1.50 x 10 E-12 \u2026 2.40 x 10 E-10, noise: random-run FM (B1))"},
      // Where the type could not be found, and where the bounds rest on less
      // than one degree of freedom, the tip says so.
      {2e-11, carried(81920.0, 2.25),
       "2.00 x 10 E-11  (68 %: 1.00 \u2026 9.00 x 10 E-11, noise: white FM carried from \u03c4 = 81920 s)"},
      {2e-11, carried(2.5, 0.8),
       "2.00 x 10 E-11  (68 %: 1.00 \u2026 9.00 x 10 E-11, noise: white FM carried from \u03c4 = 2.5 s, under one "
       "degree of freedom)"},
      {1.234e-11, gap(IntervalGap::TooFewSamples),
       "1.23 x 10 E-11  (no interval: fewer than 2 averages at this \u03c4)"},
      {1.234e-11, gap(IntervalGap::NoResidual), "1.23 x 10 E-11  (no interval: no noise left to identify)"},
      {1.234e-11, gap(IntervalGap::NotFinite), "1.23 x 10 E-11  (no interval: the data overflow the arithmetic)"},
      {1.234e-11, gap(IntervalGap::NoNoiseModel, 2), "1.23 x 10 E-11  (no interval for white PM)"},
      {1.234e-11, gap(IntervalGap::NotThisMeasure), "1.23 x 10 E-11"},
      {std::nan(""), with(1.0, 2.0, 0), "-"},
      {std::numeric_limits<double>::infinity(), gap(IntervalGap::TooFewSamples), "-"},
  };
  for (const Case& c : cases) EXPECT_EQ(StabilityValueTip(c.value, c.ci), c.tip) << c.tip;
}

TEST(StabilityViewTest, ErrorBarReachesTheBoundsAndLeavesOutWhatALogAxisCannotDraw) {
  const auto with = [](double low, double high) {
    StabilityInterval ci;
    ci.gap = IntervalGap::None;
    ci.low = low;
    ci.high = high;
    return ci;
  };
  StabilityInterval missing;
  missing.gap = IntervalGap::TooFewSamples;
  missing.low = 1.0;  // left over; the gap decides
  missing.high = 3.0;
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    StabilityInterval ci;
    bool minus, plus;
    double minusValue, plusValue;
  };
  const std::vector<Case> cases = {
      {2.0, with(1.5, 3.0), true, true, 0.5, 1.0},
      {2.0, missing, false, false, 0, 0},
      {0.0, with(0.0, 0.0), false, false, 0, 0},  // a zero point is not drawn, nor its bar
      {-1.0, with(-2.0, 1.0), false, false, 0, 0},
      {std::nan(""), with(1.0, 2.0), false, false, 0, 0},
      {2.0, with(0.0, 3.0), false, true, 0, 1.0},  // a lower bound at zero has no place on a log axis
      {2.0, with(1.0, inf), true, false, 1.0, 0},
      {2.0, with(2.5, 3.0), false, true, 0, 1.0},  // bounds that miss the value lose that arm
  };
  for (const Case& c : cases) {
    const ErrorBar bar = ErrorBarOf(c.value, c.ci);
    EXPECT_EQ(!std::isnan(bar.minus), c.minus) << c.value << " " << c.ci.low;
    EXPECT_EQ(!std::isnan(bar.plus), c.plus) << c.value << " " << c.ci.high;
    if (c.minus) {
      EXPECT_DOUBLE_EQ(bar.minus, c.minusValue);
    }
    if (c.plus) {
      EXPECT_DOUBLE_EQ(bar.plus, c.plusValue);
    }
  }
}

TEST(StabilityViewTest, RunHandsEachPointTheIntervalOfItsMeasureAndAveragingFactor) {
  FakeWindow w;
  // A random walk of phase (white FM), a noise every measure with intervals has a model for.
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 1e-9);
  double phase = 0.0;
  for (int i = 0; i < 3000; ++i) w.samples.push_back(phase += noise(rng));
  StabilityRunner(w).Start();
  ASSERT_EQ(w.series.size(), kMeasureCatalogue.size());
  ConfidenceIntervals expected(w.samples);
  for (std::size_t i = 0; i < kMeasureCatalogue.size(); ++i) {
    const StabilityMeasure measure = kMeasureCatalogue[i].measure;
    ASSERT_EQ(w.intervals[i].size(), w.series[i].size());
    int valid = 0;
    for (std::size_t k = 0; k < w.series[i].size(); ++k) {
      const StabilityInterval want = expected.Of(measure, w.series[i][k]);
      const StabilityInterval& got = w.intervals[i][k];
      EXPECT_EQ(got.gap, want.gap) << w.titles[i] << " tau " << w.series[i][k].tau;
      EXPECT_EQ(got.low, want.low);
      EXPECT_EQ(got.high, want.high);
      valid += got.Valid();
    }
    if (HasConfidenceInterval(measure)) {
      EXPECT_GT(valid, 3) << w.titles[i];
      // The last point is in the upper octave of the measure's range: too
      // few averages to find the noise there, so the previous point's type
      // is carried and said to be.
      const StabilityInterval& last = w.intervals[i].back();
      EXPECT_EQ(last.gap, IntervalGap::None) << w.titles[i];
      EXPECT_EQ(last.method, NoiseMethod::Carried) << w.titles[i];
      EXPECT_EQ(last.alpha, w.intervals[i][w.intervals[i].size() - 2].alpha) << w.titles[i];
      EXPECT_GT(last.carriedFrom, 0.0) << w.titles[i];
      EXPECT_LT(last.carriedFrom, w.series[i].back().tau) << w.titles[i];
    } else {
      EXPECT_EQ(valid, 0) << w.titles[i];
    }
  }
}

// A window that offers the further measures and, like the real one, computes
// elsewhere while its pending events run.
struct FurtherWindow : FakeWindow {
  std::vector<FurtherMeasure> furtherMeasures;
  std::vector<std::vector<FurtherPoint>> furtherPoints;
  std::vector<std::string> notes;
  bool threaded = false;
  bool computing = false;
  std::function<void()> whileComputing;  // a pass of pending events during a further measure
  std::chrono::steady_clock::time_point furtherBegan;
  bool asked = false;                              // set by whileComputing once it has started the run over
  std::chrono::steady_clock::time_point returned;  // when the computation asked to stop came back

  void RemoveAllSeries() override {
    FakeWindow::RemoveAllSeries();
    furtherMeasures.clear();
    furtherPoints.clear();
    notes.clear();
  }
  int AddFurtherSeries(const FurtherMeasureInfo& info) override {
    furtherMeasures.push_back(info.measure);
    furtherPoints.emplace_back();
    calls.push_back("further");
    return static_cast<int>(furtherPoints.size()) - 1;
  }
  bool AddFurtherPoint(int s, const FurtherPoint& p) override {
    furtherPoints.at(static_cast<std::size_t>(s)).push_back(p);
    return true;
  }
  void ShowFurtherNote(const std::string& line) override { notes.push_back(line); }
  void Compute(const std::function<void()>& work) override {
    if (!threaded) return work();
    const bool further = !furtherMeasures.empty() && furtherPoints.back().empty();
    if (further) furtherBegan = std::chrono::steady_clock::now();
    auto done = std::async(std::launch::async, work);
    while (done.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
      ProcessEvents();
      if (further && whileComputing) whileComputing();
    }
    if (asked && returned == std::chrono::steady_clock::time_point{}) returned = std::chrono::steady_clock::now();
    done.get();
  }
};

TEST(StabilityViewTest, FurtherChoiceKeepsCatalogueOrderAndSaysWhenItChanged) {
  using F = FurtherMeasure;
  struct Step {
    F measure;
    bool on;
    bool changed;
    std::vector<F> after;
  };
  const Step steps[] = {
      {F::TheoH, true, true, {F::TheoH}},
      {F::Time, true, true, {F::Time, F::TheoH}},
      {F::Time, true, false, {F::Time, F::TheoH}},
      {F::ModifiedTotal, true, true, {F::Time, F::ModifiedTotal, F::TheoH}},
      {F::TheoH, false, true, {F::Time, F::ModifiedTotal}},
      {F::TheoH, false, false, {F::Time, F::ModifiedTotal}},
      {static_cast<F>(6), true, false, {F::Time, F::ModifiedTotal}},
      {static_cast<F>(-1), true, false, {F::Time, F::ModifiedTotal}},
      {F::Time, false, true, {F::ModifiedTotal}},
  };
  FurtherChoice choice;
  EXPECT_TRUE(choice.SwitchedOn().empty());  // the nine alone at first
  for (const Step& step : steps) {
    EXPECT_EQ(choice.Set(step.measure, step.on), step.changed) << static_cast<int>(step.measure);
    EXPECT_EQ(choice.SwitchedOn(), step.after) << static_cast<int>(step.measure);
    for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue)
      EXPECT_EQ(choice.On(info.measure), std::count(step.after.begin(), step.after.end(), info.measure) == 1);
  }
}

TEST(StabilityViewTest, FurtherTipAddsTheDegreesOfFreedomAndTheirRuleAndNotesSayWhyPointsAreMissing) {
  FurtherPoint p;
  p.m = 64;
  p.tau = 640;
  p.value = 2.1e-10;
  p.interval.gap = IntervalGap::None;
  p.interval.low = 1.9e-10;
  p.interval.high = 2.4e-10;
  p.interval.alpha = 2;
  p.interval.edf = 12.46;
  FurtherPoint carried = p;
  carried.interval.method = NoiseMethod::Carried;
  carried.interval.carriedFrom = 320;
  FurtherPoint many = p;
  many.interval.edf = 1353.8;
  FurtherPoint none = p;
  none.interval = {};
  none.interval.gap = IntervalGap::TooFewSamples;
  struct Case {
    FurtherMeasure measure;
    FurtherPoint point;
    bool standIn;
    std::string tip;
  };
  const std::string head = "2.10 x 10 E-10  (68 %: 1.90 \u2026 2.40 x 10 E-10, noise: white PM";
  const Case cases[] = {
      {FurtherMeasure::Time, p, false, head + ", EDF 12.5)"},
      {FurtherMeasure::ModifiedTotal, p, true, head + ", EDF 12.5 by the modified Allan rule)"},
      {FurtherMeasure::HadamardTotal, p, true, head + ", EDF 12.5 by the overlapping Hadamard rule)"},
      {FurtherMeasure::ModifiedTotal, many, false, head + ", EDF 1354)"},
      {FurtherMeasure::TimeTotal, carried, true,
       head + " carried from \u03c4 = 320 s, EDF 12.5 by the modified Allan rule)"},
      {FurtherMeasure::Time, none, false,
       "2.10 x 10 E-10  (no interval: fewer than " + std::to_string(kMinAverages) + " averages at this \u03c4)"},
  };
  for (const Case& c : cases) {
    FurtherPoint point = c.point;
    point.standInEdf = c.standIn;
    EXPECT_EQ(FurtherValueTip(c.measure, point), c.tip);
  }

  FurtherSeries leftOut;
  leftOut.note = "left out: the record has 8640 samples, more than the 5000 its bias factor can be computed for";
  FurtherSeries shortRecord;
  shortRecord.note = "too few samples";
  FurtherSeries stopped;
  stopped.note = "stopped";
  stopped.stopped = true;
  EXPECT_EQ(FurtherNoteLine(FurtherMeasure::TheoH, leftOut), "Hybrid Theo Deviation " + leftOut.note);
  EXPECT_EQ(FurtherNoteLine(FurtherMeasure::Time, shortRecord), "Time Deviation: too few samples");
  EXPECT_EQ(FurtherNoteLine(FurtherMeasure::ModifiedTotal, stopped), "");
  EXPECT_EQ(FurtherNoteLine(FurtherMeasure::Time, FurtherSeries{}), "");
}

TEST(StabilityViewTest, RunAddsTheSwitchedOnFurtherMeasuresAfterTheNineWithTheirNotes) {
  struct Case {
    std::size_t samples;
    std::vector<FurtherMeasure> on;
    std::size_t notes;
  };
  const Case cases[] = {
      {300, {}, 0},
      {300, {FurtherMeasure::Time, FurtherMeasure::ModifiedTotal, FurtherMeasure::TheoBr}, 0},
      {kTheoMaxSamples + 1, {FurtherMeasure::HadamardTotal, FurtherMeasure::TheoH}, 1},
      {12, {FurtherMeasure::TheoBr, FurtherMeasure::TimeTotal}, 1},
  };
  for (const Case& c : cases) {
    FurtherWindow w;
    w.samples = Walk(c.samples, 21);
    StabilityRunner runner(w);
    runner.SetFurtherMeasures(c.on);
    runner.Start();
    ASSERT_EQ(w.titles.size(), kMeasureCatalogue.size()) << c.samples;
    ASSERT_EQ(w.furtherMeasures, c.on) << c.samples;
    EXPECT_EQ(w.notes.size(), c.notes) << c.samples;
    for (std::size_t i = 0; i < c.on.size(); ++i) {
      const FurtherSeries want =
          ComputeFurtherMeasure(c.on[i], w.samples, kSampleInterval, TauList::Octave, true, nullptr);
      ASSERT_EQ(w.furtherPoints[i].size(), want.points.size()) << c.samples;
      for (std::size_t k = 0; k < want.points.size(); ++k) {
        EXPECT_EQ(w.furtherPoints[i][k].value, want.points[k].value);
        EXPECT_EQ(w.furtherPoints[i][k].interval.high, want.points[k].interval.high);
      }
      const std::string note = FurtherNoteLine(c.on[i], want);
      if (!note.empty()) {
        EXPECT_EQ(std::count(w.notes.begin(), w.notes.end(), note), 1) << note;
      }
    }
    // The further series come after the nine's, each followed by a rescale, before the one repaint.
    const auto first = std::find(w.calls.begin(), w.calls.end(), "further");
    EXPECT_EQ(std::count(first, w.calls.end(), "series"), 0);
    EXPECT_EQ(std::count(first, w.calls.end(), "rescale"), static_cast<long>(c.on.size()));
    EXPECT_EQ(w.calls.back(), "events");
    EXPECT_EQ(w.busy, 0);
    EXPECT_EQ(w.suspended, 0);
  }
}

TEST(StabilityViewTest, FurtherMeasuresSwitchedDuringARunStartItOverWithTheNewChoice) {
  FurtherWindow w;
  w.samples = Walk(300, 41);
  StabilityRunner runner(w);
  runner.SetFurtherMeasures({FurtherMeasure::Time, FurtherMeasure::ModifiedTotal});
  bool switched = false;
  w.onProcessEvents = [&] {
    // The menu is used while the first further measure is being plotted.
    if (switched || w.furtherMeasures.empty()) return;
    switched = true;
    runner.SetFurtherMeasures({FurtherMeasure::HadamardTotal, FurtherMeasure::TheoBr});
    runner.Start();
  };
  runner.Start();
  ASSERT_TRUE(switched);
  EXPECT_EQ(std::count(w.calls.begin(), w.calls.end(), "load"), 2);
  EXPECT_EQ(w.titles.size(), kMeasureCatalogue.size());
  EXPECT_EQ(w.furtherMeasures, (std::vector<FurtherMeasure>{FurtherMeasure::HadamardTotal, FurtherMeasure::TheoBr}));
  for (const auto& points : w.furtherPoints) EXPECT_FALSE(points.empty());
  EXPECT_EQ(w.busy, 0);
  EXPECT_EQ(w.suspended, 0);
}

// The user starting again while a further measure is computed: the run lets
// go of it within a fraction of a second, whichever measure it is.
TEST(StabilityViewTest, StartOverDuringAFurtherMeasureLetsGoOfItPromptly) {
  using Clock = std::chrono::steady_clock;
  for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue) {
    const bool theo = info.measure == FurtherMeasure::TheoBr || info.measure == FurtherMeasure::TheoH;
    FurtherWindow w;
    w.threaded = true;
    w.samples = Walk(theo ? kTheoMaxSamples : 200000, 31);
    StabilityRunner runner(w);
    runner.SetFurtherMeasures({info.measure});
    Clock::time_point asked;
    w.whileComputing = [&] {
      // Some way in, so the measure is busy with its work and not at its start.
      if (w.asked || Clock::now() - w.furtherBegan < std::chrono::milliseconds(5)) return;
      w.asked = true;
      w.samples = Walk(100, 32);  // the run started over is a short one
      asked = Clock::now();
      runner.Start();
    };
    runner.Start();
    ASSERT_TRUE(w.asked) << info.title << " ended before it could be stopped";
    const double seconds = std::chrono::duration<double>(w.returned - asked).count();
    ::testing::Test::RecordProperty(std::string(info.shortName), std::to_string(seconds));
    std::printf("%s let go after %.4f s\n", std::string(info.shortName).c_str(), seconds);
    // Left to run on, the heavier measures take from a quarter to three
    // quarters of a second more here; let go, a few milliseconds at most.
    EXPECT_LT(seconds, 0.2) << info.title;
    ASSERT_EQ(w.furtherMeasures.size(), 1u);  // the short run started over, built once
    EXPECT_EQ(w.series[0].size(), AllMeasurePoints(StabilityMeasure::Allan, w.samples).size());
    EXPECT_EQ(w.busy, 0);
  }
}

}  // namespace
