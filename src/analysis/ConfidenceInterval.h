#pragma once
// Confidence intervals of the Allan-type deviations: the dominant noise at each
// averaging factor (NoiseIdentification.h), the equivalent degrees of freedom
// of the estimate (Greenhall and Riley, 2003; for the total deviation the NIST
// SP 1065 table), and the chi-squared interval around the value.
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "analysis/MeasureCatalogue.h"
#include "analysis/NoiseIdentification.h"
#include "analysis/Stability.h"

// One standard deviation of a normal distribution, double-sided: erf(1/sqrt 2).
inline constexpr double kOneSigmaConfidence = 0.682689492137086;

// Equivalent degrees of freedom of a variance built from differences of order
// d (2 Allan, 3 Hadamard) of n phase samples at averaging factor m, for noise
// alpha. filter is m for the plain variances and 1 for the modified one;
// stride is 1 for non-overlapping and m for overlapping estimates.
// Returns 0 where the method gives none (alpha + 2d <= 1, too few samples).
double GreenhallRileyEdf(int alpha, int d, std::int64_t m, std::int64_t filter, std::int64_t stride, std::int64_t n);

// Degrees of freedom of the total deviation over n phase samples at factor m:
// b n / m - c for white, flicker and random-walk FM (NIST SP 1065); for white
// and flicker PM from the estimator's own variance (see the .cpp). 0 for
// other noise or when that is not positive.
double TotalDeviationEdf(int alpha, std::int64_t n, std::int64_t m);

struct ChiSquaredBounds {
  bool valid = false;
  double low = 0.0;
  double high = 0.0;
};

// The double-sided interval of a deviation sigma estimated with edf degrees of
// freedom: sigma sqrt(edf / Q((1 + p) / 2)) ... sigma sqrt(edf / Q((1 - p) / 2)),
// Q the chi-squared quantile. Not valid for a non-positive or non-finite
// sigma or edf.
ChiSquaredBounds DeviationBounds(double sigma, double edf, double confidence = kOneSigmaConfidence);

// The total variance at white (+2) or flicker (+1) PM, taken as
// s + (1 - s) chi2_nu / nu times its mean, which matches its mean, variance
// and skewness (see the .cpp). edf is the usual 2 mean^2 / variance. shift 0
// (and nu = edf) where the plain chi-squared law serves or none is known.
struct VarianceShape {
  double edf = 0.0;
  double shift = 0.0;
  double nu = 0.0;
};
VarianceShape TotalDeviationPhaseShape(int alpha, std::int64_t n, std::int64_t m);
// The overlapping Allan (d = 2) and Hadamard (d = 3) variances at flicker PM
// where fewer terms than m remain (n - d m < m): the terms then overlap so
// far that one large eigenvalue stands over many small ones, as for the total
// variance (see the .cpp). Shift 0 and edf 0 elsewhere.
VarianceShape OverlappingFlickerPmShape(int d, std::int64_t n, std::int64_t m);

// The interval of sigma when sigma^2 / its mean is s + (1 - s) chi2_nu / nu.
ChiSquaredBounds ShiftedDeviationBounds(double sigma, double shift, double nu, double confidence = kOneSigmaConfidence);

// The measures that carry intervals: the five deviations built from
// differences and the total deviation.
bool HasConfidenceInterval(StabilityMeasure measure);

// How a measure identifies its noise: the difference order of its family,
// the fewest averages it identifies at (10 for ADEV and HDEV, 8 for the
// overlapping and modified ones, 4 for TOTDEV, whose reflected record reaches
// further), and its term count (ADEV N - 1, HDEV N - 2 over N averages;
// OADEV n - 2m, MDEV n - 3m + 1, OHDEV n - 3m, TOTDEV n - 2 over n samples).
NoiseRule NoiseRuleOf(StabilityMeasure measure);

enum class IntervalGap : int {
  None,            // the interval is there
  NotThisMeasure,  // Theo1, TIE rms and MTIE carry none
  TooFewSamples,   // fewer than two frequency averages at this averaging factor
  NoResidual,      // the data are a quadratic in time: no noise to identify
  NotFinite,       // the data overflow the arithmetic
  NoNoiseModel,    // no degrees of freedom for this noise and measure
};

struct StabilityInterval {
  IntervalGap gap = IntervalGap::NotThisMeasure;
  double low = 0.0;
  double high = 0.0;
  double edf = 0.0;
  int alpha = 0;                           // the noise found; meaningful unless the noise was not identified
  NoiseMethod method = NoiseMethod::None;  // how it was found
  double carriedFrom = 0.0;                // tau (s) where a carried noise type was found
  bool Valid() const { return gap == IntervalGap::None; }
  bool NoiseKnown() const { return gap == IntervalGap::None || gap == IntervalGap::NoNoiseModel; }
};

// The interval of one measure's value at averaging factor m over samples x.
StabilityInterval IntervalOf(StabilityMeasure measure, std::span<const double> x, std::int64_t m, double value);

// The intervals of one run over samples x: the noise found at each averaging
// factor is shared by every measure of its family. The samples must outlive
// this object.
class ConfidenceIntervals {
 public:
  explicit ConfidenceIntervals(std::span<const double> x, double tau0 = kSampleInterval) : x_(x), tau0_(tau0) {}

  StabilityInterval Of(StabilityMeasure measure, std::int64_t m, double value);
  // For a point a measure has yielded; its averaging factor is tau over tau0.
  StabilityInterval Of(StabilityMeasure measure, const StabilityPoint& point);
  // The noise found for a measure at m. Each measure has its own run, so
  // points asked in increasing tau carry the type as the measure's series does.
  NoiseEstimate Noise(StabilityMeasure measure, std::int64_t m);

 private:
  std::span<const double> x_;
  double tau0_;
  std::vector<std::pair<StabilityMeasure, NoiseRun>> runs_;
};

// Intervals for points a measure has yielded (MeasurePoints), one per point;
// the averaging factor of each is its tau over tau0.
std::vector<StabilityInterval> IntervalsOf(StabilityMeasure measure, std::span<const double> x,
                                           std::span<const StabilityPoint> points, double tau0 = kSampleInterval);
