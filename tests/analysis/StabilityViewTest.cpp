#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

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
    titles.emplace_back(info.title);
    calls.push_back("series");
    return static_cast<int>(series.size()) - 1;
  }
  bool AddMeasurePoint(int s, const StabilityPoint& p) override {
    if (s == refuseSeries) return false;
    EXPECT_TRUE(std::isfinite(p.tau) && std::isfinite(p.value)) << titles.at(s);
    EXPECT_GT(p.tau, 0.0);
    series.at(static_cast<std::size_t>(s)).push_back(p);
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

}  // namespace
