#pragma once
// Theo1's sum without the K * m/2 direct terms. For phase x, even m, h = m/2,
// K = M - m and e = 1 ... h:
//   S(m) = sum_e T_e / e,  T_e = sum_{i<K} (x_i - x_{i+e} - x_{i+m-e} + x_{i+m})^2.
// Each square is expanded into window energies, lag products by FFT and the
// products around the midpoint (a full lag sum less two triangles), which is
// exact algebra, not an approximation. The expansion trades small squares for
// differences of large products, so the record is cut into blocks of at most
// blockFactor * m terms, each freed from its own straight line (which changes
// no term), and the result says how far rounding could have carried it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

struct Theo1Sums {
  double sum = 0.0;     // S(m), never negative
  double energy = 0.0;  // sum_e (P(0) + P(e) + P(m-e) + P(m)) / e over the blocks
  // energy / sum: rounding in the expansion is amplified by about this much.
  double Condition() const;
  // True when the sum can be trusted to the relative tolerance given.
  bool Trusted(double tolerance) const;
};

// S(m) of x by the expansion; m even, 2 <= m < x.size(). threads = 0 takes the
// machine's; the result has the same bits for any thread count.
// A set stop flag ends the work early, with a meaningless result.
Theo1Sums Theo1FastSums(std::span<const double> x, std::int64_t m, std::int64_t blockFactor, unsigned threads = 0,
                        const std::atomic<bool>* stop = nullptr);

// U(L) = sum of z_p z_q over p <= q, p + q <= n - 1, q - p = L, for L = 0 ...
// n - 1 (n = z.size() = lags.size()): squares by FFT, pairs directly below
// directBelow samples a side.
void TriangleLagSums(std::span<const double> z, std::span<double> lags, std::size_t directBelow = 32);
