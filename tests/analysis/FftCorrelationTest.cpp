#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include "analysis/FftCorrelation.h"

namespace {

std::vector<double> Noise(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = g(rng);
  return v;
}

double PairSum(const std::vector<double>& x, const std::vector<double>& y, std::ptrdiff_t k) {
  long double s = 0.0L;
  for (std::ptrdiff_t j = 0; j < static_cast<std::ptrdiff_t>(x.size()); ++j) {
    const std::ptrdiff_t q = j + k;
    if (q >= 0 && q < static_cast<std::ptrdiff_t>(y.size())) s += static_cast<long double>(x[j]) * y[q];
  }
  return static_cast<double>(s);
}

TEST(FftCorrelation, GoodLengthIsTheSmallestSevenSmoothMultipleOfFour) {
  const struct {
    std::size_t n, want;
  } cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 3}, {5, 8}, {11, 12}, {13, 16}, {17, 20}, {97, 100}, {1025, 1080}, {4097, 4116}, {6815742, 6858432}};
  for (const auto& c : cases) EXPECT_EQ(FftCorrelation::GoodLength(c.n), c.want) << c.n;
}

TEST(FftCorrelation, LagProductsMatchThePairSums) {
  // Lengths of every parity, x longer or shorter than y, lag ranges inside,
  // across and past the ends; one object reused across sizes.
  const struct {
    std::size_t nx, ny;
    std::ptrdiff_t first, last;
  } cases[] = {{1, 1, -2, 2},      {5, 8, -4, 7},           {8, 5, -7, 4},     {16, 16, -20, 20},
               {33, 7, 0, 6},      {7, 33, -6, 32},         {100, 300, -5, 5}, {257, 129, -256, 128},
               {1000, 1000, 0, 0}, {1000, 1000, 990, 1010}, {3, 4, 10, 12},    {1, 1, 0, 0}};
  FftCorrelation fft;
  unsigned seed = 1;
  for (const auto& c : cases) {
    const auto x = Noise(c.nx, seed++);
    const auto y = Noise(c.ny, seed++);
    std::vector<double> out(static_cast<std::size_t>(c.last - c.first + 1), 99.0);
    fft.LagProducts(x, y, c.first, c.last, out);
    const double tol = 1e-13 * static_cast<double>(c.nx + c.ny) * 10.0;
    for (std::ptrdiff_t k = c.first; k <= c.last; ++k) {
      EXPECT_NEAR(out[static_cast<std::size_t>(k - c.first)], PairSum(x, y, k), tol)
          << c.nx << "x" << c.ny << " lag " << k;
    }
  }
}

TEST(FftCorrelation, AutoLagProductsAndDeterminism) {
  FftCorrelation fft;
  for (std::size_t n : {1u, 2u, 9u, 64u, 1001u}) {
    const auto x = Noise(n, static_cast<unsigned>(n));
    std::vector<double> out(n + 3, 99.0);
    fft.AutoLagProducts(x, out);
    for (std::size_t k = 0; k < out.size(); ++k) {
      EXPECT_NEAR(out[k], PairSum(x, x, static_cast<std::ptrdiff_t>(k)), 1e-12 * static_cast<double>(n)) << n;
    }
    // Another object, fresh plans: the same bits.
    FftCorrelation other;
    std::vector<double> again(out.size());
    other.AutoLagProducts(x, again);
    EXPECT_EQ(out, again);
  }
}

}  // namespace
