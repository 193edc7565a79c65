#pragma once
// Which power-law noise dominates phase data at one averaging factor, from the
// lag-1 autocorrelation of the decimated samples (Riley and Greenhall, 2004).
//
// The noise exponent alpha is that of the fractional-frequency spectrum
// S_y(f) ~ f^alpha: +2 white PM, +1 flicker PM, 0 white FM, -1 flicker FM,
// -2 random-walk FM, and for the Hadamard family also -3 flicker-walk FM and
// -4 random-run FM.
#include <cstdint>
#include <span>
#include <string_view>

// Below this many decimated samples the autocorrelation says too little.
inline constexpr std::int64_t kMinNoiseSamples = 30;

enum class NoiseVerdict : int {
  Identified,
  TooFewSamples,  // fewer than kMinNoiseSamples left after decimation
  NoResidual,     // the samples are a quadratic in time (constant, linear, ...)
  NotFinite,      // the data overflow the arithmetic or hold NaN or infinity
};

struct NoiseEstimate {
  NoiseVerdict verdict = NoiseVerdict::TooFewSamples;
  int alpha = 0;         // valid when identified
  double unrounded = 0;  // 2 - 2 (delta + d), before rounding and bounding
  bool Identified() const { return verdict == NoiseVerdict::Identified; }
};

// The noise of x at averaging factor m. maxDifferences is 2 for the Allan
// family (the estimate stays within +2 ... -2) and 3 for the Hadamard family
// (+2 ... -4); an estimate outside that range is set to its nearer end.
NoiseEstimate IdentifyNoise(std::span<const double> x, std::int64_t m, int maxDifferences);

// "white PM", "flicker PM", "white FM", "flicker FM", "random-walk FM",
// "flicker-walk FM", "random-run FM"; empty for any other alpha.
std::string_view NoiseName(int alpha);
