#pragma once
// Which power-law noise dominates phase data at one averaging factor: from the
// lag-1 autocorrelation of the decimated samples (Riley and Greenhall, 2004)
// where enough of them remain, and from Barnes' B1 ratio with the R(n) ratio
// (Howe, Beard and Greenhall) in the last octaves of a record, where too few do.
//
// The noise exponent alpha is that of the fractional-frequency spectrum
// S_y(f) ~ f^alpha: +2 white PM, +1 flicker PM, 0 white FM, -1 flicker FM,
// -2 random-walk FM, and for the Hadamard family also -3 flicker-walk FM and
// -4 random-run FM.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Below this many decimated samples the autocorrelation says too little.
inline constexpr std::int64_t kMinNoiseSamples = 30;
// The B1 ratio needs at least this many frequency averages.
inline constexpr std::int64_t kMinAverages = 2;

enum class NoiseVerdict : int {
  Identified,
  TooFewSamples,  // too few samples for the method asked (or for any)
  NoResidual,     // the samples are a quadratic in time (constant, linear, ...)
  NotFinite,      // the data overflow the arithmetic or hold NaN or infinity
};

// How the noise was found.
enum class NoiseMethod : int {
  None,
  Acf,  // lag-1 autocorrelation
  B1,   // B1 ratio, with R(n) between white and flicker PM
};

struct NoiseEstimate {
  NoiseVerdict verdict = NoiseVerdict::TooFewSamples;
  int alpha = 0;         // valid when identified
  double unrounded = 0;  // autocorrelation: 2 - 2 (delta + d), before rounding and bounding
  NoiseMethod method = NoiseMethod::None;
  bool Identified() const { return verdict == NoiseVerdict::Identified; }
};

// The noise of x at averaging factor m. maxDifferences is 2 for the Allan
// family (the estimate stays within +2 ... -2) and 3 for the Hadamard family
// (+2 ... -4); an estimate outside that range is set to its nearer end.
NoiseEstimate IdentifyNoise(std::span<const double> x, std::int64_t m, int maxDifferences);

// The slope mu of the Allan variance (sigma^2 ~ tau^mu) of noise alpha:
// -alpha - 1, and -2 for both phase noises.
int AllanVarianceSlope(int alpha);

// Expected B1 ratio of n frequency averages for slope mu (Barnes):
// n (1 - n^mu) / (2 (n - 1) (1 - 2^mu)), with its limit at mu = 0.
double ExpectedB1(std::int64_t n, int mu);

// Measured B1 at averaging factor m: the sample variance of the n = (N - 1) / m
// frequency averages over their Allan variance. NaN where there are fewer than
// two averages, the averages do not spread, or the data are not finite.
double MeasuredB1(std::span<const double> x, std::int64_t m);

// Expected R(n), modified over overlapping Allan variance at factor m: 1 / m
// for white PM (alpha +2); for flicker PM (+1), with the bandwidth at half the
// sample rate, [3 ln(256/27) / (8 pi^2)] / [(1.038 + 3 ln(pi m)) / (4 pi^2)].
double ExpectedR(int alpha, std::int64_t m);
// Measured R(n); NaN where either variance has no value.
double MeasuredR(std::span<const double> x, std::int64_t m);

// The noise of x at m from the B1 ratio, for records too short for the
// autocorrelation. The types are walked from the most divergent (-2, or -4
// with maxDifferences 3) toward white PM; a type is taken when the measured B1
// exceeds the geometric mean of its expected value and its neighbour's. The
// two most divergent Hadamard types are told by the B1 of the frequencies
// taken as phase, where each type looks two steps less divergent. Phase noise
// is split by R(n). Ratios within a billionth of a boundary go to the less
// divergent side, so the choice does not hang on the last bits of the data.
NoiseEstimate IdentifyNoiseByB1(std::span<const double> x, std::int64_t m, int maxDifferences);

// The same over one record at many averaging factors: the record is scaled
// and checked once. Data that are a quadratic in time (to rounding) hold no
// noise at any factor.
class B1Identification {
 public:
  explicit B1Identification(std::span<const double> x);
  NoiseEstimate At(std::int64_t m, int maxDifferences) const;

 private:
  // White or flicker PM at m from R(n).
  int PhaseNoise(std::int64_t m) const;

  std::int64_t size_ = 0;
  NoiseVerdict verdict_ = NoiseVerdict::Identified;  // of the record as a whole
  std::vector<double> scaled_;                       // the record, peak in [0.5, 1)
  std::vector<double> frequency_;                    // its first differences
};

// The autocorrelation where at least kMinNoiseSamples decimated samples
// remain, else the B1 ratio where at least kMinAverages averages do.
NoiseEstimate FindNoise(std::span<const double> x, std::int64_t m, int maxDifferences);

// "white PM", "flicker PM", "white FM", "flicker FM", "random-walk FM",
// "flicker-walk FM", "random-run FM"; empty for any other alpha.
std::string_view NoiseName(int alpha);
