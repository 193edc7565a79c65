#pragma once
// The points of the further measures (MeasureCatalogue.h) over one record:
// the averaging factors of a tau list, each measure's stop rule, its bias
// correction and its 68 % interval with the noise found and the degrees of
// freedom.
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/ConfidenceInterval.h"
#include "analysis/MeasureCatalogue.h"

enum class TauList : int {
  Octave,  // m = 1, 2, 4, ...; Theo1 family 10, 20, 40, ...
  Decade,  // m = 1, 2, 4, 10, 20, 40, 100, ...
  All,     // every m; every even m for the Theo1 family
};

// Records longer than this have no ThêoBR and no ThêoH: the bias factor
// alone needs Theo1 at N / 6 factors up to 2N / 3, a cost growing as N^3.
inline constexpr std::int64_t kTheoMaxSamples = 5000;

// The factors of a list from first up to last, in increasing order; even
// ones only when evenOnly.
std::vector<std::int64_t> AveragingFactors(TauList list, std::int64_t first, std::int64_t last, bool evenOnly = false);

struct FurtherPoint {
  std::int64_t m = 0;  // averaging factor
  double tau = 0.0;    // seconds; 0.75 m tau0 for the Theo1 family
  double value = 0.0;  // with its bias removed
  double bias = 1.0;   // the divisor the variance was corrected by
  StabilityInterval interval;
  // The degrees of freedom come from a conservative stand-in (the modified
  // or overlapping Hadamard deviation's own) where no rule of the measure
  // itself is known: HTOT below m = 16 and at phase noise, MTOT and TTOT at
  // +2 and -2 from m = 10 on.
  bool standInEdf = false;
};

struct FurtherSeries {
  std::vector<FurtherPoint> points;
  std::string note;  // why there are no points, or fewer than the list has
  bool stopped = false;
};

// One further measure over phase samples x. Intervals are computed only with
// withIntervals. A run stops between (and within the longer) factors once
// *stop is set.
FurtherSeries ComputeFurtherMeasure(FurtherMeasure measure, std::span<const double> x, double tau0, TauList list,
                                    bool withIntervals, const std::atomic<bool>* stop = nullptr);
