#pragma once
#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

#include "analysis/FftCorrelation.h"

// Phase of power-law noise alpha by Kasdin's filter: white noise through the
// impulse response h_k = h_(k-1) (k - 1 + beta / 2) / k of S_x ~ f^-beta,
// beta = 2 - alpha, started at rest. With taps given, the filter is cut there
// and runs in from earlier noise: stationary, with the spectrum kept down to
// about 1 / taps of the sample rate.
inline std::vector<double> KasdinPhase(int alpha, std::size_t n, std::mt19937_64& rng, std::size_t taps = 0) {
  const bool atRest = taps == 0;
  if (atRest) taps = n;
  const double beta = 2.0 - alpha;
  std::vector<double> h(taps);
  h[0] = 1.0;
  for (std::size_t k = 1; k < taps; ++k) h[k] = h[k - 1] * (static_cast<double>(k) - 1.0 + beta / 2.0) / k;
  std::normal_distribution<double> g(0.0, 1e-9);
  const std::size_t lead = atRest ? 0 : taps - 1;
  std::vector<double> w(n + lead);
  for (double& v : w) v = g(rng);
  std::vector<double> x(n);
  if (lead >= 4096) {
    // Long filters by FFT: x[i] = sum_k h[k] w[i + lead - k] is a lag product
    // of h with w reversed.
    std::reverse(w.begin(), w.end());
    const auto last = static_cast<std::ptrdiff_t>(w.size() - 1 - lead);
    const auto first = last - static_cast<std::ptrdiff_t>(n - 1);
    FftCorrelation fft;
    fft.LagProducts(h, w, first, last, x);
    std::reverse(x.begin(), x.end());
    return x;
  }
  for (std::size_t i = 0; i < n; ++i) {
    double sum = 0.0;
    for (std::size_t k = 0; k < taps && k <= i + lead; ++k) sum += h[k] * w[i + lead - k];
    x[i] = sum;
  }
  return x;
}
