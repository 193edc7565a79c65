#pragma once
// The time deviation and the total family built on reflected segments: the
// modified, time and Hadamard total deviations (Howe, Greenhall, Percival).
//
// x are phase samples in seconds at spacing tau0 (N of them); m is the
// averaging factor. As with the nine measures, 0 means no value at that m.
// A run can be stopped through `stop`; a stopped computation returns 0.
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// x minus its first value and then minus its least-squares line. The total
// family does not change under an added line; removing it first keeps the
// sums small (a record of 1 ms with 10 ps steps), and constant data become
// exact zeros.
std::vector<double> WithoutLine(std::span<const double> x);

// The mean over every start n = 0 ... L - 3m of (1 / 6m) sum_j D_j^2, where
// the segment v[n] ... v[n + 3m - 1] has the line through its half means
// removed, is extended by its mirror image at both ends (9m samples), and
// D_j, j < 6m, are the second differences of m-sample averages spaced m
// apart. This is the sum every total deviation here is made of; it runs in
// O(L m). Negative (never returned otherwise) when stopped.
double ReflectedSegmentMean(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop = nullptr);

// The same sum term by term, O(L m): the reference for the fast form.
double DirectReflectedSegmentMean(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop = nullptr);

// The same sum in O(L log L): sum_j D_j^2 is a quadratic form in the
// segment whose matrix is Toeplitz plus Hankel (the mirrored segment is one
// period of a circular filter), so summed over all starts it needs only the
// lag products of the record, the same of its two end blocks, and sliding
// dot products for the removed lines, all by FFT. A drift is taken out first
// and its share added back exactly. Negative when stopped. cancellation, if
// given, receives the ratio of the largest terms to the result: the factor
// by which rounding errors of the transforms are magnified.
double FastReflectedSegmentMean(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop = nullptr,
                                double* cancellation = nullptr);

// TDEV: tau / sqrt 3 times the modified Allan deviation, for 4m <= N.
double TimeDeviation(std::span<const double> x, std::int64_t m, double tau0);

// MTOT: sqrt(segment mean / 2 tau^2) over the phase, for 3m <= N. No bias removed.
double ModifiedTotalDeviation(std::span<const double> x, std::int64_t m, double tau0,
                              const std::atomic<bool>* stop = nullptr);
// TTOT: tau / sqrt 3 times MTOT, in seconds.
double TimeTotalDeviation(std::span<const double> x, std::int64_t m, double tau0,
                          const std::atomic<bool>* stop = nullptr);
// HTOT: sqrt(segment mean / 6) over the fractional frequencies, for
// 3m <= N - 1; at m = 1 the overlapping Hadamard deviation. No bias removed.
double HadamardTotalDeviation(std::span<const double> x, std::int64_t m, double tau0,
                              const std::atomic<bool>* stop = nullptr);

// The divisor of the MTOT and TTOT variance for noise alpha (+2 ... -2):
// 0.94, 0.83, 0.73, 0.70, 0.69; 1 for any other alpha.
double ModifiedTotalBias(int alpha);
// The divisor of the HTOT variance, 1 + a(alpha): a = -0.005 (white FM),
// -0.149, -0.229, -0.283, -0.321 (down to random-run FM); 1 for phase noise
// and at m = 1, where HTOT is the overlapping Hadamard deviation.
double HadamardTotalBias(int alpha, std::int64_t m);

// Degrees of freedom of MTOT and TTOT from N phase samples at factor m, or 0
// where this rule has none: for m >= 10 and alpha = +1, 0, -1, b N / m - c
// with (b, c) = (1.729, 2.984), (1.330, 1.892), (0.920, 0.760).
double ModifiedTotalEdf(int alpha, std::int64_t n, std::int64_t m);
// Degrees of freedom of HTOT for m >= 16 and FM noise (alpha 0 ... -4):
// (N / m) / (b0 + b1 m / N); 0 elsewhere.
double HadamardTotalEdf(int alpha, std::int64_t n, std::int64_t m);
