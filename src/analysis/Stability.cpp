#include "analysis/Stability.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "analysis/SharedWork.h"
#include "analysis/Theo1Fast.h"
#include "charting/ChartSeries.h"

namespace {

// A measure that overflowed or divided 0 by 0 has no value at this tau.
double FiniteOrZero(double value) { return std::isfinite(value) ? value : 0.0; }

double Deviation(double sum, double divisor) {
  if (!(divisor > 0.0)) return 0.0;
  return FiniteOrZero(std::sqrt(sum / divisor));
}

// x[i + 2m] - 2 x[i + m] + x[i], zero-based i.
inline double SecondDifference(const double* x, std::int64_t i, std::int64_t m) {
  return x[i + 2 * m] - 2.0 * x[i + m] + x[i];
}

// x[i + 3m] - 3 x[i + 2m] + 3 x[i + m] - x[i], zero-based i.
inline double ThirdDifference(const double* x, std::int64_t i, std::int64_t m) {
  return x[i + 3 * m] - 3.0 * x[i + 2 * m] + 3.0 * x[i + m] - x[i];
}

// Theo1's inner sum for one delta over a stretch of i:
// the sum over first <= i < last of (x[i] - x[i + c] + x[i + m] - x[i + d])^2,
// evaluated in the order the formula is written. Eight independent lanes let the
// compiler use the widest vector registers of the machine it runs on.
using Vec8 = double __attribute__((vector_size(64)));

// Eight doubles read from any double address. The samples start wherever the
// record does, so the vector type's own alignment cannot be assumed; a copy is
// well defined and still compiles to one unaligned vector load. Always inlined,
// so the calling convention for vector returns never comes into play.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
[[gnu::always_inline]] inline Vec8 At(const double* p) {
  Vec8 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VARNEX_WIDE_VECTORS [[gnu::target_clones("avx512f", "avx2", "default")]]
#else
#define VARNEX_WIDE_VECTORS
#endif

VARNEX_WIDE_VECTORS double Theo1Pass(const double* x, std::int64_t first, std::int64_t last, std::int64_t m,
                                     std::int64_t c, std::int64_t d) {
  const double* a = x;
  const double* b = x + c;
  const double* e = x + m;
  const double* f = x + d;
  Vec8 s0 = {};
  Vec8 s1 = {};
  std::int64_t i = first;
  for (; i + 16 <= last; i += 16) {
    const Vec8 t0 = At(a + i) - At(b + i) + At(e + i) - At(f + i);
    const Vec8 t1 = At(a + i + 8) - At(b + i + 8) + At(e + i + 8) - At(f + i + 8);
    s0 += t0 * t0;
    s1 += t1 * t1;
  }
  double tail = 0.0;
  for (; i < last; ++i) {
    const double t = a[i] - b[i] + e[i] - f[i];
    tail += t * t;
  }
  const Vec8 s = s0 + s1;
  return ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7])) + tail;
}

// Four neighbouring deltas (delta0 ... delta0 + 3, with half = m/2) in one pass,
// so x[i] and x[i + m] are read once for all four.
VARNEX_WIDE_VECTORS void Theo1Pass4(const double* x, std::int64_t first, std::int64_t last, std::int64_t m,
                                    std::int64_t half, std::int64_t delta0, double* sums) {
  const double* a = x;
  const double* e = x + m;
  const double* b0 = x + half - delta0;
  const double* f0 = x + half + delta0;
  Vec8 s0 = {}, s1 = {}, s2 = {}, s3 = {};
  Vec8 r0 = {}, r1 = {}, r2 = {}, r3 = {};
  std::int64_t i = first;
  for (; i + 16 <= last; i += 16) {
    const Vec8 a0 = At(a + i);
    const Vec8 a1 = At(a + i + 8);
    const Vec8 e0 = At(e + i);
    const Vec8 e1 = At(e + i + 8);
    const Vec8 t0 = a0 - At(b0 + i) + e0 - At(f0 + i);
    const Vec8 t1 = a0 - At(b0 - 1 + i) + e0 - At(f0 + 1 + i);
    const Vec8 t2 = a0 - At(b0 - 2 + i) + e0 - At(f0 + 2 + i);
    const Vec8 t3 = a0 - At(b0 - 3 + i) + e0 - At(f0 + 3 + i);
    const Vec8 u0 = a1 - At(b0 + i + 8) + e1 - At(f0 + i + 8);
    const Vec8 u1 = a1 - At(b0 - 1 + i + 8) + e1 - At(f0 + 1 + i + 8);
    const Vec8 u2 = a1 - At(b0 - 2 + i + 8) + e1 - At(f0 + 2 + i + 8);
    const Vec8 u3 = a1 - At(b0 - 3 + i + 8) + e1 - At(f0 + 3 + i + 8);
    s0 += t0 * t0;
    s1 += t1 * t1;
    s2 += t2 * t2;
    s3 += t3 * t3;
    r0 += u0 * u0;
    r1 += u1 * u1;
    r2 += u2 * u2;
    r3 += u3 * u3;
  }
  const Vec8 lanes[4] = {s0 + r0, s1 + r1, s2 + r2, s3 + r3};
  for (int k = 0; k < 4; ++k) {
    double tail = 0.0;
    for (std::int64_t j = i; j < last; ++j) {
      const double t = a[j] - b0[j - k] + e[j] - f0[j + k];
      tail += t * t;
    }
    const Vec8& s = lanes[k];
    sums[k] = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7])) + tail;
  }
}

#pragma GCC diagnostic pop

unsigned WorkerCount() {
  const unsigned n = std::thread::hardware_concurrency();
  return std::clamp(n, 1u, 16u);
}

// A pass of one sum over more than this many terms is cut into pieces of
// kPassPiece terms that threads share. The cut depends on the count alone and
// the pieces are added in order, so the bits do not depend on the threads;
// shorter passes stay one piece, added in the order written.
constexpr std::int64_t kLongPass = std::int64_t{1} << 20;
constexpr std::int64_t kPassPiece = std::int64_t{1} << 18;

// The sum of the terms 0 ... count - 1, where piece(begin, end) sums the
// terms begin ... end - 1 in order.
template <class Piece>
double PassSum(std::int64_t count, const Piece& piece) {
  if (count <= kLongPass) return count > 0 ? piece(std::int64_t{0}, count) : 0.0;
  const std::int64_t pieces = (count + kPassPiece - 1) / kPassPiece;
  std::vector<double> partial(static_cast<std::size_t>(pieces), 0.0);
  std::atomic<std::int64_t> next{0};
  auto work = [&] {
    for (std::int64_t k = next++; k < pieces; k = next++)
      partial[static_cast<std::size_t>(k)] = piece(k * kPassPiece, std::min(count, (k + 1) * kPassPiece));
  };
  RunOnThreads(static_cast<unsigned>(std::min<std::int64_t>(WorkerCount(), pieces) - 1), work);
  double sum = 0.0;
  for (const double v : partial) sum += v;
  return sum;
}

// Below this many terms a second thread costs more than it saves.
constexpr double kParallelTerms = 1 << 18;
// The work is cut into tasks of a fixed shape that depends on the data length
// and m alone, and the partial sums are added in a fixed order, so the result
// does not depend on how many threads share the work.
constexpr std::int64_t kChunkLength = 8192;  // i per task
constexpr std::int64_t kDeltaGroup = 256;    // delta per task
// Within a task all deltas run over one block of i before the next, so the
// samples they read stay in the first-level cache.
constexpr std::int64_t kBlockLength = 1024;

// Sum over i = 1 ... M - m and delta = 0 ... m/2 - 1 of the Theo1 terms, each
// delta's squared sum divided once by its weight m/2 - delta.
double Theo1Sum(const double* x, std::int64_t n, std::int64_t m, const std::atomic<bool>* stop) {
  const std::int64_t half = m / 2;
  const std::int64_t chunks = (n + kChunkLength - 1) / kChunkLength;
  const std::int64_t groups = (half + kDeltaGroup - 1) / kDeltaGroup;
  const std::int64_t tasks = chunks * groups;
  // partial[delta * chunks + chunk]
  std::vector<double> partial(static_cast<std::size_t>(half * chunks), 0.0);
  std::atomic<std::int64_t> nextTask{0};
  auto work = [&] {
    for (std::int64_t t = nextTask++; t < tasks; t = nextTask++) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
      const std::int64_t chunk = t % chunks;
      const std::int64_t firstDelta = (t / chunks) * kDeltaGroup;
      const std::int64_t lastDelta = std::min(half, firstDelta + kDeltaGroup);
      const std::int64_t chunkEnd = std::min(n, (chunk + 1) * kChunkLength);
      for (std::int64_t first = chunk * kChunkLength; first < chunkEnd; first += kBlockLength) {
        const std::int64_t last = std::min(chunkEnd, first + kBlockLength);
        std::int64_t delta = firstDelta;
        for (; delta + 4 <= lastDelta; delta += 4) {
          double sums[4];
          Theo1Pass4(x, first, last, m, half, delta, sums);
          for (int k = 0; k < 4; ++k) partial[static_cast<std::size_t>((delta + k) * chunks + chunk)] += sums[k];
        }
        for (; delta < lastDelta; ++delta) {
          partial[static_cast<std::size_t>(delta * chunks + chunk)] +=
              Theo1Pass(x, first, last, m, half - delta, half + delta);
        }
      }
    }
  };
  const bool shared = static_cast<double>(n) * static_cast<double>(half) >= kParallelTerms && tasks > 1;
  RunOnThreads(shared ? static_cast<unsigned>(std::min<std::int64_t>(WorkerCount(), tasks) - 1) : 0u, work);

  double sum = 0.0;
  for (std::int64_t delta = 0; delta < half; ++delta) {
    double deltaSum = 0.0;
    for (std::int64_t chunk = 0; chunk < chunks; ++chunk) {
      deltaSum += partial[static_cast<std::size_t>(delta * chunks + chunk)];
    }
    sum += deltaSum / static_cast<double>(half - delta);
  }
  return sum;
}

}  // namespace

std::vector<double> LoadPhaseSamples(const ChartSeries& ppsTi) {
  std::vector<double> x;
  if (ppsTi.Count() < 2) return x;
  x.reserve(ppsTi.Count() - 1);
  for (std::size_t k = 1; k < ppsTi.Count(); ++k) x.push_back(ppsTi.Y(k));
  return x;
}

std::vector<double> LoadPhaseSamples(const std::vector<double>& ppsTiY) {
  if (ppsTiY.size() < 2) return {};
  return std::vector<double>(ppsTiY.begin() + 1, ppsTiY.end());
}

namespace {
// Allan (second differences, divisor 2) and Hadamard (third differences,
// divisor 6) deviations at lag m, with differences taken every `step` samples:
// step m is the plain estimate, step 1 the overlapping one.
double DifferenceDeviation(std::span<const double> x, std::int64_t m, double tau0, int order, std::int64_t step) {
  const auto M = static_cast<std::int64_t>(x.size());
  if (m < 1 || M - order * m <= 0) return 0.0;
  // Term t is the difference at i = t * step.
  const std::int64_t terms = (M - order * m - 1) / step + 1;
  const double* p = x.data();
  const double sum = PassSum(terms, [p, m, order, step](std::int64_t begin, std::int64_t end) {
    double part = 0.0;
    for (std::int64_t i = begin * step; i < end * step; i += step) {
      const double d = order == 2 ? SecondDifference(p, i, m) : ThirdDifference(p, i, m);
      part += d * d;
    }
    return part;
  });
  const double tau = tau0 * static_cast<double>(m);
  return Deviation(sum, (order == 2 ? 2.0 : 6.0) * static_cast<double>(terms) * tau * tau);
}
}  // namespace

double AllanDeviation(std::span<const double> x, std::int64_t m, double tau0) {
  return DifferenceDeviation(x, m, tau0, 2, m);
}

double OverlappingAllanDeviation(std::span<const double> x, std::int64_t m, double tau0) {
  return DifferenceDeviation(x, m, tau0, 2, 1);
}

double ModifiedAllanDeviation(std::span<const double> x, std::int64_t m, double tau0) {
  const auto M = static_cast<std::int64_t>(x.size());
  if (m < 1 || M - 3 * m + 1 <= 0) return 0.0;
  const std::int64_t windows = M - 3 * m + 1;
  // Each window sums m second differences D2(j) ... D2(j + m - 1); sliding it
  // on takes one in and one out, computed where needed rather than stored,
  // which keeps long records to one stream through x.
  // A piece of a long pass starts its window afresh.
  const double* p = x.data();
  const double sum = PassSum(windows, [p, m](std::int64_t begin, std::int64_t end) {
    double window = 0.0;
    for (std::int64_t i = begin; i < begin + m; ++i) window += SecondDifference(p, i, m);
    double part = window * window;
    for (std::int64_t j = begin + 1; j < end; ++j) {
      window = window + SecondDifference(p, j - 1 + m, m) - SecondDifference(p, j - 1, m);
      part += window * window;
    }
    return part;
  });
  const double tau = tau0 * static_cast<double>(m);
  const double mm = static_cast<double>(m);
  return Deviation(sum, 2.0 * mm * mm * tau * tau * static_cast<double>(windows));
}

double HadamardDeviation(std::span<const double> x, std::int64_t m, double tau0) {
  return DifferenceDeviation(x, m, tau0, 3, m);
}

double OverlappingHadamardDeviation(std::span<const double> x, std::int64_t m, double tau0) {
  return DifferenceDeviation(x, m, tau0, 3, 1);
}

double TotalDeviation(std::span<const double> x, std::int64_t m, double tau0) {
  const auto M = static_cast<std::int64_t>(x.size());
  if (m < 1 || m > M - 3) return 0.0;
  // One-based access, as the reflection rules are written.
  auto at = [&x](std::int64_t k) { return x[static_cast<std::size_t>(k - 1)]; };
  const double first = at(1);
  const double last = at(M);
  // Term t is the one centred at i = t + 2.
  const double sum = PassSum(M - 2, [&at, first, last, m, M](std::int64_t begin, std::int64_t end) {
    double part = 0.0;
    for (std::int64_t i = begin + 2; i < end + 2; ++i) {
      const double left = i - m >= 1 ? at(i - m) : 2.0 * first - at(m - i + 2);
      const double right = i + m <= M ? at(i + m) : 2.0 * last - at(2 * M - i - m);
      const double d2 = left - 2.0 * at(i) + right;
      part += d2 * d2;
    }
    return part;
  });
  const double tau = tau0 * static_cast<double>(m);
  return Deviation(sum, 2.0 * static_cast<double>(M - 2) * tau * tau);
}

double Theo1DirectSum(std::span<const double> x, std::int64_t m) {
  const auto M = static_cast<std::int64_t>(x.size());
  if (m < 2 || m % 2 != 0 || M - m <= 0) return 0.0;
  return Theo1Sum(x.data(), M - m, m, nullptr);
}

double Theo1SumOf(std::span<const double> x, std::int64_t m, const std::atomic<bool>* stop) {
  const auto M = static_cast<std::int64_t>(x.size());
  if (m < 2 || m % 2 != 0 || M - m <= 0) return 0.0;
  auto stopped = [stop] { return stop != nullptr && stop->load(std::memory_order_relaxed); };
  if (m >= kTheo1FastFrom) {
    // Shorter blocks bound the rounding more tightly; the direct sum is the
    // last resort when neither is good enough for these data.
    for (const std::int64_t blockFactor : {4, 2, 1}) {
      const Theo1Sums fast = Theo1FastSums(x, m, blockFactor, 0, stop);
      if (stopped()) return std::numeric_limits<double>::quiet_NaN();
      if (fast.Trusted(kTheo1Tolerance)) return fast.sum;
    }
  }
  const double sum = Theo1Sum(x.data(), M - m, m, stop);
  return stopped() ? std::numeric_limits<double>::quiet_NaN() : sum;
}

double Theo1Deviation(std::span<const double> x, std::int64_t m, double tau0) {
  const auto M = static_cast<std::int64_t>(x.size());
  if (m < 2 || m % 2 != 0 || M - m <= 0) return 0.0;
  const double sum = Theo1SumOf(x, m, nullptr);
  const double tau = tau0 * static_cast<double>(m);
  return Deviation(sum, 0.75 * static_cast<double>(M - m) * tau * tau);
}

double TieRms(std::span<const double> x, std::int64_t m) {
  const auto M = static_cast<std::int64_t>(x.size());
  if (m < 1 || !(static_cast<double>(M) / 4.0 > static_cast<double>(m))) return 0.0;
  const double* p = x.data();
  const double sum = PassSum(M - m, [p, m](std::int64_t begin, std::int64_t end) {
    double part = 0.0;
    for (std::int64_t i = begin; i < end; ++i) {
      const double d = p[i + m] - p[i];
      part += d * d;
    }
    return part;
  });
  return Deviation(sum, static_cast<double>(M - m));
}

double MeasureValue(StabilityMeasure measure, std::span<const double> x, std::int64_t m, double tau0) {
  switch (measure) {
    case StabilityMeasure::Allan:
      return AllanDeviation(x, m, tau0);
    case StabilityMeasure::OverlappingAllan:
      return OverlappingAllanDeviation(x, m, tau0);
    case StabilityMeasure::ModifiedAllan:
      return ModifiedAllanDeviation(x, m, tau0);
    case StabilityMeasure::Hadamard:
      return HadamardDeviation(x, m, tau0);
    case StabilityMeasure::OverlappingHadamard:
      return OverlappingHadamardDeviation(x, m, tau0);
    case StabilityMeasure::Total:
      return TotalDeviation(x, m, tau0);
    case StabilityMeasure::Theo1:
      return Theo1Deviation(x, m, tau0);
    case StabilityMeasure::TieRms:
      return TieRms(x, m);
    case StabilityMeasure::Mtie:
      break;
  }
  return 0.0;
}

std::vector<StabilityPoint> MtieSeries(std::span<const double> x, double tau0) {
  std::vector<StabilityPoint> points;
  const auto M = static_cast<std::int64_t>(x.size());
  if (M < 2) return points;
  // A NaN would slip through max/min unnoticed; such data have no MTIE.
  if (!std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); })) return points;
  // hi[j], lo[j]: largest and smallest of x[j] ... x[j + m - 1] (zero-based),
  // valid for j <= M - m. Two neighbouring entries cover a window of m + 1.
  std::vector<double> hi(x.begin(), x.end());
  std::vector<double> lo(x.begin(), x.end());
  for (std::int64_t m = 1; m <= M - 1; m *= 2) {
    // One pass both reads the windows of m + 1 and, where the next level
    // needs them, widens the entries to 2m: entry j is widened only after
    // it and entry j + 1 were read, and from j + m, which is not yet widened.
    const bool last = 2 * m > M - 1;
    const std::int64_t widened = last ? 0 : M - 2 * m + 1;
    double* const h = hi.data();
    double* const l = lo.data();
    // Four running maxima: max is exact in any order.
    double spread[4] = {0.0, 0.0, 0.0, 0.0};
    std::int64_t j = 0;
    for (; j < widened; ++j) {
      spread[j & 3] = std::max(spread[j & 3], std::max(h[j], h[j + 1]) - std::min(l[j], l[j + 1]));
      h[j] = std::max(h[j], h[j + m]);
      l[j] = std::min(l[j], l[j + m]);
    }
    for (; j + m < M; ++j)
      spread[j & 3] = std::max(spread[j & 3], std::max(h[j], h[j + 1]) - std::min(l[j], l[j + 1]));
    const double widest = std::max(std::max(spread[0], spread[1]), std::max(spread[2], spread[3]));
    const double tau = tau0 * static_cast<double>(m);
    if (!std::isfinite(widest) || !std::isfinite(tau)) break;
    points.push_back({tau, widest});
    if (last) break;
  }
  return points;
}

MeasurePoints::MeasurePoints(StabilityMeasure measure, std::span<const double> x, double tau0)
    : measure_(measure), x_(x), tau0_(tau0), m_(MeasureInfoOf(measure).sequence == TauSequence::Theo1 ? 10 : 1) {}

bool MeasurePoints::Stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

bool MeasurePoints::Next(StabilityPoint& point) {
  if (done_ || Stopped()) {
    done_ = true;
    return false;
  }
  const TauSequence sequence = MeasureInfoOf(measure_).sequence;
  if (sequence == TauSequence::MtieStages) {
    if (!mtieReady_) {
      mtie_ = MtieSeries(x_, tau0_);
      mtieReady_ = true;
    }
    if (mtieNext_ < mtie_.size()) {
      point = mtie_[mtieNext_++];
      return true;
    }
    done_ = true;
    return false;
  }
  // Every measure has run out of terms once m reaches M.
  double value = 0.0;
  if (m_ < static_cast<std::int64_t>(x_.size())) {
    if (measure_ == StabilityMeasure::Theo1) {
      const auto K = static_cast<double>(static_cast<std::int64_t>(x_.size()) - m_);
      const double tau = tau0_ * static_cast<double>(m_);
      value = Deviation(Theo1SumOf(x_, m_, stop_), 0.75 * K * tau * tau);
    } else {
      value = MeasureValue(measure_, x_, m_, tau0_);
    }
  }
  if (Stopped()) {
    done_ = true;
    return false;
  }
  const double tau = tau0_ * static_cast<double>(m_);
  if (value == 0.0 || !std::isfinite(tau)) {
    done_ = true;
    return false;
  }
  point.tau = sequence == TauSequence::Theo1 ? 0.75 * tau : tau;
  point.value = value;
  m_ *= 2;
  return true;
}

std::vector<StabilityPoint> AllMeasurePoints(StabilityMeasure measure, std::span<const double> x, double tau0) {
  std::vector<StabilityPoint> points;
  MeasurePoints source(measure, x, tau0);
  StabilityPoint p;
  while (source.Next(p)) points.push_back(p);
  return points;
}
