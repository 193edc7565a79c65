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
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

// Below this many frequency averages the autocorrelation says too little.
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
  Acf,      // lag-1 autocorrelation
  B1,       // B1 ratio, with R(n) between white and flicker PM
  Carried,  // too few averages: the type found at the previous averaging factor
};

struct NoiseEstimate {
  NoiseVerdict verdict = NoiseVerdict::TooFewSamples;
  int alpha = 0;         // valid when identified
  double unrounded = 0;  // autocorrelation: 2 - 2 (delta + d), before rounding and bounding
  NoiseMethod method = NoiseMethod::None;
  std::int64_t foundAt = 0;  // the averaging factor where a carried type was found
  bool Identified() const { return verdict == NoiseVerdict::Identified; }
};

// Frequency averages of m samples in a record of n phase samples: (n - 1) / m.
std::int64_t AveragesAt(std::int64_t n, std::int64_t m);

// The noise of x at averaging factor m from the lag-1 autocorrelation of every
// m-th sample, taken as it is: the mean is the only thing removed, so a
// frequency offset or drift shows as divergent noise, and differencing takes
// it out. Needs kMinNoiseSamples averages. maxDifferences is 2 for the Allan
// family (the estimate stays within +2 ... -2) and 3 for the Hadamard family
// (+2 ... -4); an estimate outside that range is set to its nearer end.
NoiseEstimate IdentifyNoise(std::span<const double> x, std::int64_t m, int maxDifferences);

// One step of the lag-1 rule. r1 is the autocovariance at lag 1 (divisor n)
// over the sample variance (divisor n - 1); d the differences taken so far.
// While r1 / (1 + r1) >= 0.25 and d < maxDifferences the series is
// differenced again (returns false); else alpha = 2 - 2 d - round(2 delta),
// halves to even, bounded as above.
bool LagOneStep(double r1, int d, int maxDifferences, int& alpha);

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

// Barnes' slope class of a measured B1 against the expectation at n terms:
// the slopes 1, 0, -1, -2 are walked in that order and the first whose
// boundary with the next (the geometric mean of the two expected ratios) b1
// exceeds is taken; -2 (phase noise) where none is. Ratios within a billionth
// of a boundary go to the less divergent side, so the choice does not hang on
// the last bits of the data.
int B1Slope(double b1, std::int64_t n);
// White (+2) or flicker (+1) PM from a measured R(n) at m: white below the
// geometric mean of the two expectations.
int PhaseNoiseFromR(double r, std::int64_t m);
// The step to the two most divergent Hadamard types, from the B1 of the first
// differences of the averages judged at n terms: slope 1 gives -4, slope 0
// gives -3, anything else keeps -2.
int HadamardStep(double b1OfDifferences, std::int64_t n);

// How one measure identifies its noise. The B1 expectation is evaluated at
// the measure's own number of terms (its estimator's count of squared
// differences at m), not at the number of averages; that makes measures differ
// at the same m, as the field's reference program does. termsPerFactor and
// termsOffset give terms = base - termsPerFactor m + termsOffset, base being
// the samples n or, with termsFromAverages, the averages (n - 1) / m.
struct NoiseRule {
  int maxDifferences = 2;
  std::int64_t minAverages = 10;  // fewer: the previous factor's type is carried
  bool termsFromAverages = true;
  std::int64_t termsPerFactor = 0;
  std::int64_t termsOffset = -1;
};
std::int64_t TermCount(const NoiseRule& rule, std::int64_t n, std::int64_t m);

// The noise of x at m from the B1 ratio, for records too short for the
// autocorrelation: B1Slope of the measured ratio (expected at the number of
// averages), random-walk FM, flicker FM or white FM from it, phase noise
// split by R(n) at m (PhaseNoiseFromR). With maxDifferences 3, random-walk FM
// goes on to HadamardStep on the first differences of the averages, judged at
// two fewer than the averages.
NoiseEstimate IdentifyNoiseByB1(std::span<const double> x, std::int64_t m, int maxDifferences);

// The same over one record at many averaging factors: the record is scaled
// and checked once. Data that are a quadratic in time (to rounding) hold no
// noise at any factor.
class B1Identification {
 public:
  explicit B1Identification(std::span<const double> x);
  // With the expectation at the number of averages.
  NoiseEstimate At(std::int64_t m, int maxDifferences) const;
  // With the expectation at the given number of terms (at least 2).
  NoiseEstimate At(std::int64_t m, int maxDifferences, std::int64_t terms) const;

 private:
  // White or flicker PM at m from R(n).
  int PhaseNoise(std::int64_t m) const;

  std::int64_t size_ = 0;
  NoiseVerdict verdict_ = NoiseVerdict::Identified;  // of the record as a whole
  std::vector<double> scaled_;                       // the record, peak in [0.5, 1)
};

// The autocorrelation where at least kMinNoiseSamples averages remain, else
// the B1 ratio where at least kMinAverages do.
NoiseEstimate FindNoise(std::span<const double> x, std::int64_t m, int maxDifferences);

// The noise of one measure's run over x at increasing averaging factors: the
// autocorrelation with kMinNoiseSamples averages or more; below the rule's
// minAverages (the upper octave of the measure's range) the type of the
// previous factor asked, marked carried, since there it would be guessed
// rather than measured; B1 at the rule's term count in between. A factor
// asked first with too few averages carries from the factor half its size.
// Factors asked again give the same answer. The samples must outlive this.
class NoiseRun {
 public:
  NoiseRun(std::span<const double> x, NoiseRule rule);
  NoiseEstimate At(std::int64_t m);

 private:
  NoiseEstimate Measure(std::int64_t m);

  std::span<const double> x_;
  NoiseRule rule_;
  std::vector<std::pair<std::int64_t, NoiseEstimate>> found_;  // in the order asked
  std::unique_ptr<B1Identification> b1_;
};

// "white PM", "flicker PM", "white FM", "flicker FM", "random-walk FM",
// "flicker-walk FM", "random-run FM"; empty for any other alpha.
std::string_view NoiseName(int alpha);
