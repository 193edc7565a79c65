#pragma once
// Random-walk phase with white noise on top, roughly what a GPS-disciplined
// oscillator's PPS TI looks like; the same samples for every benchmark of the measures.
#include <cstddef>
#include <random>
#include <vector>

inline std::vector<double> MakePhase(std::size_t n) {
  std::mt19937_64 rng(12345);
  std::normal_distribution<double> noise(0.0, 1e-9);
  std::vector<double> x(n);
  double walk = 0.0;
  for (double& v : x) {
    walk += 0.1 * noise(rng);
    v = walk + noise(rng);
  }
  return x;
}
