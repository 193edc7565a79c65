#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "analysis/CurveFit.h"

namespace {

struct Fit {
  double k = -1;
  double d = -1;
  double qof = -1;
};

Fit FitLine(const TCurveFit& fit) {
  Fit r;
  fit.CalcLinFit(r.k, r.d, r.qof);
  return r;
}

// n points from (x0, y) in steps of dx.
std::vector<std::pair<double, double>> Repeat(int n, double x0, double dx, double y) {
  std::vector<std::pair<double, double>> points;
  for (int i = 0; i < n; ++i) points.emplace_back(x0 + i * dx, y);
  return points;
}

}  // namespace

TEST(CurveFit, ExactLineOnDatesKeepsFullPrecision) {
  // EFC drifting 2.5 units a day, sampled every 1e-6 day around day 45 000:
  // plain sums of x^2 would lose every digit of the slope.
  TCurveFit fit;
  const double start = 45000.0;
  for (int i = 0; i < 1000; ++i) {
    const double x = start + i * 1e-6;
    fit.AddFitPoint(x, 32768.0 + 2.5 * (x - start));
  }
  const Fit r = FitLine(fit);
  EXPECT_NEAR(r.k, 2.5, 2.5e-9);
  EXPECT_NEAR(r.qof, 1.0, 1e-12);
  for (double x : {start, start + 0.0005, start + 0.000999}) {
    EXPECT_NEAR(r.k * x + r.d, 32768.0 + 2.5 * (x - start), 1e-8) << x;
  }
}

TEST(CurveFit, NoisyDataMatchTheTextbookFit) {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise(0.0, 0.3);
  TCurveFit fit;
  std::vector<long double> xs, ys;
  for (int i = 0; i < 2500; ++i) {  // more than two storage blocks
    const double x = 41000.0 + i / 8640.0;
    const double y = 100.0 - 0.7 * (x - 41000.0) + noise(rng);
    fit.AddFitPoint(x, y);
    xs.push_back(x);
    ys.push_back(y);
  }
  ASSERT_EQ(fit.PointCount(), 2500u);
  // Two-pass textbook formulas in extended precision.
  long double mx = 0, my = 0;
  for (std::size_t i = 0; i < xs.size(); ++i) mx += xs[i], my += ys[i];
  mx /= xs.size();
  my /= ys.size();
  long double sxx = 0, syy = 0, sxy = 0;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    sxx += (xs[i] - mx) * (xs[i] - mx);
    syy += (ys[i] - my) * (ys[i] - my);
    sxy += (xs[i] - mx) * (ys[i] - my);
  }
  const double slope = static_cast<double>(sxy / sxx);
  const double r2 = static_cast<double>(sxy * sxy / (sxx * syy));
  const Fit r = FitLine(fit);
  EXPECT_NEAR(r.k, slope, 1e-10 * std::abs(slope));
  EXPECT_NEAR(r.qof, r2, 1e-10);
  EXPECT_NEAR(r.k * 41000.1 + r.d, static_cast<double>(my + sxy / sxx * (41000.1L - mx)), 1e-9);
  EXPECT_GT(r.qof, 0.0);
  EXPECT_LT(r.qof, 1.0);
}

TEST(CurveFit, DegenerateData) {
  struct Case {
    const char* name;
    std::vector<std::pair<double, double>> points;
    double k, d, qof;
  } cases[] = {
      // Flat EFC: slope 0, a perfect fit at that level.
      {"flat", {{45000.1, 32768.1}, {45000.2, 32768.1}, {45000.3, 32768.1}}, 0.0, 32768.1, 1.0},
      // Thirteen equal values whose rounded mean is not the value itself.
      {"flat, inexact mean", Repeat(13, 45000.0, 1e-3, 32768.1), 0.0, 32768.1, 1.0},
      // A day of readings every 10 s at one non-integer value.
      {"flat day", Repeat(8640, 45000.0, 1.0 / 8640, 32768.3), 0.0, 32768.3, 1.0},
      {"flat day, small value", Repeat(8640, 45000.0, 1.0 / 8640, 2.3), 0.0, 2.3, 1.0},
      {"same time, inexact mean", Repeat(13, 45000.1, 0.0, 2.3), 0.0, 0.0, 0.0},
      {"flat zero", {{1.0, 0.0}, {2.0, 0.0}}, 0.0, 0.0, 1.0},
      // All points at one time: no line at all.
      {"same time", {{45000.1, 1.0}, {45000.1, 2.0}, {45000.1, 7.0}}, 0.0, 0.0, 0.0},
      {"two points", {{10.0, 1.0}, {12.0, 5.0}}, 2.0, -19.0, 1.0},
  };
  for (const auto& c : cases) {
    TCurveFit fit;
    for (const auto& [x, y] : c.points) fit.AddFitPoint(x, y);
    const Fit r = FitLine(fit);
    // Exact: no spread leaves no rounding residue to show as a slope.
    EXPECT_EQ(r.k, c.k) << c.name;
    EXPECT_DOUBLE_EQ(r.d, c.d) << c.name;
    EXPECT_EQ(r.qof, c.qof) << c.name;
  }
}

TEST(CurveFit, FewerThanTwoPointsIsAnError) {
  TCurveFit fit;
  for (int points = 0; points < 2; ++points) {
    Fit r{5, 5, 5};
    try {
      fit.CalcLinFit(r.k, r.d, r.qof);
      ADD_FAILURE() << "no error with " << points << " points";
    } catch (const CurveFitError& e) {
      EXPECT_EQ(std::string(e.what()), "CalcLinFit: not enough data points");
    }
    EXPECT_EQ(r.k, 0.0);
    EXPECT_EQ(r.d, 0.0);
    EXPECT_EQ(r.qof, 0.0);
    fit.AddFitPoint(1.0, 1.0);
  }
  fit.AddFitPoint(2.0, 3.0);
  EXPECT_NO_THROW(FitLine(fit));
  fit.ClearPoints();
  EXPECT_EQ(fit.PointCount(), 0u);
  EXPECT_THROW(FitLine(fit), CurveFitError);
}
