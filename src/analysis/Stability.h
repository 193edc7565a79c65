#pragma once
// Time-stability measures over phase (time-error) samples taken at a fixed
// spacing tau0, as defined in NIST SP 1065.
//
// The samples are x[1] ... x[M]; here they are passed as a span whose element 0
// is x[1]. Every measure function takes the averaging factor m (tau = m * tau0)
// and returns 0 when it has no value at that tau: too few terms, or arithmetic
// that overflowed or failed. A value of 0 ends a measure's series, so no
// infinity or NaN ever reaches a chart.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/MeasureCatalogue.h"

class ChartSeries;

// The receiver is polled every 10 s; the samples are taken as equally spaced.
inline constexpr double kSampleInterval = 10.0;

// The PPS TI series' Y values as phase samples. The series' first point is not
// used, so M = N - 1; null points count like any other.
std::vector<double> LoadPhaseSamples(const ChartSeries& ppsTi);
std::vector<double> LoadPhaseSamples(const std::vector<double>& ppsTiY);

double AllanDeviation(std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);
double OverlappingAllanDeviation(std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);
double ModifiedAllanDeviation(std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);
// Non-overlapping: third differences at i = 1, 1 + m, 1 + 2m, ...
double HadamardDeviation(std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);
double OverlappingHadamardDeviation(std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);
// With the ends reflected (x*[1 - j] = 2 x[1] - x[1 + j], x*[M + j] = 2 x[M] - x[M - j]).
double TotalDeviation(std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);
// m must be even; the value belongs to the averaging time 0.75 * m * tau0.
double Theo1Deviation(std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);
// Theo1's sum S(m) (the deviation is sqrt(S / (0.75 K (m tau0)^2)), K = M - m):
// by the term-by-term sum, and as Theo1Deviation takes it, by the fast
// expansion from kTheo1FastFrom on wherever its rounding bound stays within
// kTheo1Tolerance of S, else term by term.
// Where the expansion overtakes the vectorised direct sum on this kind of
// machine (BM_Theo1Direct against BM_Theo1Fast); the cost of both grows with
// K, so the crossover is a factor, whatever the record's length.
inline constexpr std::int64_t kTheo1FastFrom = 640;
inline constexpr double kTheo1Tolerance = 1e-11;
double Theo1DirectSum(std::span<const double> x, std::int64_t m);
// A set stop flag cuts the work short; the result is then NaN.
double Theo1SumOf(std::span<const double> x, std::int64_t m, const std::atomic<bool>* stop = nullptr);
// Rms of x[i + m] - x[i] in seconds; 0 unless M / 4 > m.
double TieRms(std::span<const double> x, std::int64_t m);
// One measure at one factor m; MTIE comes only as a whole series (MtieSeries).
double MeasureValue(StabilityMeasure measure, std::span<const double> x, std::int64_t m, double tau0 = kSampleInterval);

struct StabilityPoint {
  double tau = 0.0;  // seconds; for Theo1 the plotted 0.75 * m * tau0
  double value = 0.0;
};

// The whole MTIE series: for m = 1, 2, 4, ... while m <= M - 1, the largest
// peak-to-peak phase over any m + 1 consecutive samples, in seconds, at tau =
// m * tau0. Zeros are kept; a non-finite spread (values near the double range)
// ends the series.
std::vector<StabilityPoint> MtieSeries(std::span<const double> x, double tau0 = kSampleInterval);

// The points of one measure, one at a time in increasing tau, so a caller can
// show each as soon as it exists. The samples must outlive this object.
class MeasurePoints {
 public:
  MeasurePoints(StabilityMeasure measure, std::span<const double> x, double tau0 = kSampleInterval);

  // The next point; false once the series has ended.
  bool Next(StabilityPoint& point);
  StabilityMeasure Measure() const { return measure_; }
  // Once the flag is set (from any thread) the series ends at the next check,
  // within a long Theo1 point too; the point being computed is dropped.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

 private:
  StabilityMeasure measure_;
  std::span<const double> x_;
  double tau0_;
  std::int64_t m_;
  bool done_ = false;
  bool mtieReady_ = false;
  std::vector<StabilityPoint> mtie_;
  std::size_t mtieNext_ = 0;
  const std::atomic<bool>* stop_ = nullptr;
  bool Stopped() const;
};

// Every point of one measure (what MeasurePoints yields, collected).
std::vector<StabilityPoint> AllMeasurePoints(StabilityMeasure measure, std::span<const double> x,
                                             double tau0 = kSampleInterval);
