#pragma once
// Theo1 with its bias removed by the data themselves (ThêoBR, Howe and
// Tasset): the mean ratio of the overlapping Allan variance to Theo1 at the
// same averaging times scales every Theo1 value; and the degrees of freedom of
// Theo1 for each noise type.
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

// The shortest record with a bias factor: 18 samples give one ratio.
inline constexpr std::int64_t kTheoBrMinSamples = 18;

// k = mean over i = 0 ... floor(N / 6) - 3 of OAVAR(9 + 3i) / Theo1^2(12 + 4i).
// A ratio whose Allan variance has no terms (N = 2 (9 + 3i), when N is a
// multiple of 6) or whose Theo1 is 0 is left out. None for fewer than 18
// samples or where no ratio remains (constant or linear data), and none
// once *stop is set.
std::optional<double> TheoBrFactor(std::span<const double> x, const std::atomic<bool>* stop = nullptr);

// The noise whose nominal ratio lies nearest k, boundaries at the geometric
// means of neighbours: 0.40 (+2), 0.60 (+1), 1.00 (0), 1.71 (-1), 2.24 (-2).
int TheoBrNoise(double factor);

// Degrees of freedom of Theo1 at even factor m (r = 0.75 m) over N samples for
// noise alpha +2 ... -2; 0 where the formula gives none.
double Theo1Edf(int alpha, std::int64_t n, std::int64_t m);
