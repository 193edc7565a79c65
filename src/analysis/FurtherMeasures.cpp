#include "analysis/FurtherMeasures.h"

#include <cmath>

#include "analysis/NoiseIdentification.h"
#include "analysis/Stability.h"
#include "analysis/TheoBias.h"
#include "analysis/TotalDeviations.h"

std::vector<std::int64_t> AveragingFactors(TauList list, std::int64_t first, std::int64_t last, bool evenOnly) {
  std::vector<std::int64_t> factors;
  if (first < 1 || last < first) return factors;
  auto keep = [&](std::int64_t m) {
    if (m >= first && m <= last && (!evenOnly || m % 2 == 0)) factors.push_back(m);
  };
  switch (list) {
    case TauList::Octave:
      for (std::int64_t m = first; m <= last; m *= 2) keep(m);
      break;
    case TauList::Decade:
      for (std::int64_t decade = 1; decade <= last; decade *= 10) {
        for (std::int64_t f : {1, 2, 4}) keep(f * decade);
        if (decade > last / 10) break;
      }
      break;
    case TauList::All:
      for (std::int64_t m = first; m <= last; ++m) keep(m);
      break;
  }
  return factors;
}

namespace {

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// The interval fields from a noise verdict; the degrees of freedom follow.
StabilityInterval FromNoise(const NoiseEstimate& noise, double tau0) {
  StabilityInterval interval;
  switch (noise.verdict) {
    case NoiseVerdict::Identified:
      interval.gap = IntervalGap::NoNoiseModel;
      interval.alpha = noise.alpha;
      interval.method = noise.method;
      interval.carriedFrom = static_cast<double>(noise.foundAt) * tau0;
      break;
    case NoiseVerdict::TooFewSamples:
      interval.gap = IntervalGap::TooFewSamples;
      break;
    case NoiseVerdict::NoResidual:
      interval.gap = IntervalGap::NoResidual;
      break;
    case NoiseVerdict::NotFinite:
      interval.gap = IntervalGap::NotFinite;
      break;
  }
  return interval;
}

// Below one degree of freedom the approximate EDF formulas have left their
// range (Theo1's at the longest factors), and the interval would mean nothing.
void SetBounds(StabilityInterval& interval, double value, double edf) {
  if (!(edf >= 1.0)) return;
  const ChiSquaredBounds bounds = DeviationBounds(value, edf);
  if (!bounds.valid || !(bounds.low <= value && value <= bounds.high)) return;
  interval.gap = IntervalGap::None;
  interval.edf = edf;
  interval.low = bounds.low;
  interval.high = bounds.high;
}

FurtherPoint Point(std::int64_t m, double tau, double value) {
  FurtherPoint p;
  p.m = m;
  p.tau = tau;
  p.value = value;
  return p;
}

std::string Count(std::int64_t n) { return std::to_string(n); }

}  // namespace

FurtherSeries ComputeFurtherMeasure(FurtherMeasure measure, std::span<const double> x, double tau0, TauList list,
                                    bool withIntervals, const std::atomic<bool>* stop) {
  FurtherSeries series;
  const auto n = static_cast<std::int64_t>(x.size());
  // The noise of each factor comes from the related measure's own run (the
  // modified Allan run for TDEV and the modified and time totals, the
  // overlapping Hadamard run for HTOT, the overlapping Allan run for ThêoH's
  // Allan part), so the upper octave carries the type as theirs do.
  ConfidenceIntervals noise(x, tau0);
  auto add = [&](FurtherPoint p) {
    if (!(p.value > 0.0) || !std::isfinite(p.value) || !std::isfinite(p.tau)) return false;
    series.points.push_back(p);
    return true;
  };
  auto stopped = [&] {
    if (!Stopped(stop)) return false;
    series.stopped = true;
    series.note = "stopped";
    return true;
  };

  switch (measure) {
    case FurtherMeasure::Time:
      for (std::int64_t m : AveragingFactors(list, 1, n / 4)) {
        if (stopped()) break;
        FurtherPoint p = Point(m, tau0 * static_cast<double>(m), TimeDeviation(x, m, tau0));
        if (withIntervals) {
          p.interval = FromNoise(noise.Noise(StabilityMeasure::ModifiedAllan, m), tau0);
          if (p.interval.NoiseKnown())
            SetBounds(p.interval, p.value, GreenhallRileyEdf(p.interval.alpha, 2, m, 1, m, n));
        }
        if (!add(p)) break;
      }
      break;
    case FurtherMeasure::ModifiedTotal:
    case FurtherMeasure::TimeTotal:
      for (std::int64_t m : AveragingFactors(list, 1, n / 3)) {
        if (stopped()) break;
        const double tau = tau0 * static_cast<double>(m);
        FurtherPoint p = Point(m, tau, ModifiedTotalDeviation(x, m, tau0, stop));
        if (stopped()) break;
        if (measure == FurtherMeasure::TimeTotal) p.value *= tau / std::sqrt(3.0);
        // The bias belongs to the every-factor list, where neighbouring values
        // are compared; the sparse lists give the plain estimate.
        if (withIntervals || list == TauList::All)
          p.interval = FromNoise(noise.Noise(StabilityMeasure::ModifiedAllan, m), tau0);
        if (list == TauList::All && p.interval.NoiseKnown()) {
          p.bias = ModifiedTotalBias(p.interval.alpha);
          p.value /= std::sqrt(p.bias);
        }
        if (withIntervals && p.interval.NoiseKnown()) {
          const int a = p.interval.alpha;
          double edf = m < 10 ? GreenhallRileyEdf(a, 2, m, 1, m, n) : ModifiedTotalEdf(a, n, m);
          if (m >= 10 && edf == 0.0 && (a == 2 || a == -2)) {
            edf = GreenhallRileyEdf(a, 2, m, 1, m, n);
            p.standInEdf = true;
          }
          SetBounds(p.interval, p.value, edf);
        }
        if (!withIntervals) p.interval = {};
        if (!add(p)) break;
      }
      break;
    case FurtherMeasure::HadamardTotal:
      for (std::int64_t m : AveragingFactors(list, 1, (n - 1) / 3)) {
        if (stopped()) break;
        FurtherPoint p = Point(m, tau0 * static_cast<double>(m), HadamardTotalDeviation(x, m, tau0, stop));
        if (stopped()) break;
        p.interval = FromNoise(noise.Noise(StabilityMeasure::OverlappingHadamard, m), tau0);
        if (p.interval.NoiseKnown()) {
          p.bias = HadamardTotalBias(p.interval.alpha, m);
          p.value /= std::sqrt(p.bias);
        }
        if (withIntervals && p.interval.NoiseKnown()) {
          const int a = p.interval.alpha;
          double edf = HadamardTotalEdf(a, n, m);
          if (edf == 0.0) {
            edf = GreenhallRileyEdf(a, 3, m, m, m, n);
            p.standInEdf = m > 1;  // at m = 1 HTOT is the overlapping Hadamard deviation
          }
          SetBounds(p.interval, p.value, edf);
        }
        if (!withIntervals) p.interval = {};
        if (!add(p)) break;
      }
      break;
    case FurtherMeasure::TheoBr:
    case FurtherMeasure::TheoH: {
      if (n > kTheoMaxSamples) {
        series.note = "left out: the record has " + Count(n) + " samples, more than the " + Count(kTheoMaxSamples) +
                      " its bias factor can be computed for in reasonable time";
        break;
      }
      const std::optional<double> k = TheoBrFactor(x, stop);
      if (stopped()) break;
      // The hybrid's Allan part: up to the Allan stop ratio and below the
      // first ThêoBR tau, so that every tau has one value.
      std::int64_t firstBr = 0;
      std::vector<std::int64_t> brFactors;
      if (measure == FurtherMeasure::TheoBr) {
        brFactors = AveragingFactors(list, 10, n - 3, true);
      } else {
        const std::int64_t start = (n + 4) / 5;
        for (std::int64_t m : AveragingFactors(list, 1, n - 3, true))
          if (m >= start) brFactors.push_back(m);
        if (!brFactors.empty()) firstBr = brFactors.front();
        for (std::int64_t m : AveragingFactors(list, 1, (n - 1) / 4)) {
          if (stopped()) break;
          if (firstBr > 0 && 4 * m >= 3 * firstBr) break;
          FurtherPoint p = Point(m, tau0 * static_cast<double>(m), OverlappingAllanDeviation(x, m, tau0));
          if (withIntervals) {
            p.interval = FromNoise(noise.Noise(StabilityMeasure::OverlappingAllan, m), tau0);
            if (p.interval.NoiseKnown())
              SetBounds(p.interval, p.value, GreenhallRileyEdf(p.interval.alpha, 2, m, m, m, n));
          }
          if (!add(p)) break;
        }
      }
      if (!k) {
        if (series.note.empty())
          series.note = n < kTheoBrMinSamples ? "no bias factor: fewer than " + Count(kTheoBrMinSamples) + " samples"
                                              : "no bias factor: the record is too short, or constant or a line";
        break;
      }
      const int alpha = TheoBrNoise(*k);
      const double scale = std::sqrt(*k);
      for (std::int64_t m : brFactors) {
        if (stopped()) break;
        FurtherPoint p = Point(m, 0.75 * tau0 * static_cast<double>(m), scale * Theo1Deviation(x, m, tau0));
        p.bias = 1.0 / *k;
        if (withIntervals) {
          p.interval.gap = IntervalGap::NoNoiseModel;
          p.interval.alpha = alpha;
          SetBounds(p.interval, p.value, Theo1Edf(alpha, n, m));
        }
        if (!add(p)) break;
      }
      break;
    }
  }
  if (series.points.empty() && series.note.empty()) series.note = "too few samples";
  return series;
}
