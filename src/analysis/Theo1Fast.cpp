#include "analysis/Theo1Fast.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/FftCorrelation.h"
#include "analysis/SharedWork.h"

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
// Below this side a triangle's pairs cost less summed directly than by FFT.
constexpr std::size_t kTriangleDirect = 32;

// FFT workspaces by transform length, so the squares of one triangle level
// share their plans and buffers.
class CorrelationCache {
 public:
  FftCorrelation& For(std::size_t n) {
    auto& slot = byLength_[FftCorrelation::GoodLength(n)];
    if (!slot) slot = std::make_unique<FftCorrelation>();
    return *slot;
  }
  // Long transforms are few; their buffers are worth keeping only while
  // more blocks of the same length follow.
  bool keepLong = false;
  void DropLong() {
    if (keepLong) return;
    for (auto it = byLength_.begin(); it != byLength_.end();)
      it = it->first > (std::size_t{1} << 16) ? byLength_.erase(it) : std::next(it);
  }

 private:
  std::map<std::size_t, std::unique_ptr<FftCorrelation>> byLength_;
};

// Pairs (a + u, b + v), u, v >= 0, u + v <= w - 1, added to lags[b - a + v - u].
void TrianglePairs(const double* z, std::size_t a, std::size_t b, std::size_t w, double* lags) {
  for (std::size_t u = 0; u < w; ++u) {
    const double zu = z[a + u];
    double* out = lags + (b - a - u);
    for (std::size_t v = 0; v + u < w; ++v) out[v] += zu * z[b + v];
  }
}

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

void TriangleLagSumsWith(std::span<const double> z, std::span<double> lags, std::size_t directBelow,
                         CorrelationCache& cache, std::vector<double>& square, const std::atomic<bool>* stop) {
  std::fill(lags.begin(), lags.end(), 0.0);
  const std::size_t n = z.size();
  if (n == 0) return;
  directBelow = std::max<std::size_t>(directBelow, 1);
  // The square p, q < s0 lies inside p + q <= n - 1: its autocorrelation.
  const std::size_t s0 = (n + 1) / 2;
  if (s0 < directBelow) {
    for (std::size_t p = 0; p < s0; ++p)
      for (std::size_t q = p; q < s0; ++q) lags[q - p] += z[p] * z[q];
  } else {
    square.resize(s0);
    cache.For(2 * s0 - 1).AutoLagProducts(z.first(s0), square);
    for (std::size_t L = 0; L < s0; ++L) lags[L] += square[L];
  }
  // The rest, level by level: each off-diagonal triangle is a square plus two
  // triangles of half its size. Triangles of one level have one size, so
  // they share one transform length.
  struct Triangle {
    std::size_t a, b, w;
  };
  std::vector<Triangle> level;
  std::vector<Triangle> next;
  if (n > s0) level.push_back({0, s0, n - s0});
  while (!level.empty() && !Stopped(stop)) {
    next.clear();
    for (const Triangle& t : level) {
      if (t.w < directBelow) {
        TrianglePairs(z.data(), t.a, t.b, t.w, lags.data());
        continue;
      }
      const std::size_t s = (t.w + 1) / 2;
      const auto side = static_cast<std::ptrdiff_t>(s);
      square.resize(2 * s - 1);
      cache.For(2 * s - 1).LagProducts(z.subspan(t.a, s), z.subspan(t.b, s), -(side - 1), side - 1, square);
      double* out = lags.data() + (t.b - t.a) - (s - 1);
      for (std::size_t k = 0; k < 2 * s - 1; ++k) out[k] += square[k];
      if (t.w > s) {
        next.push_back({t.a + s, t.b, t.w - s});
        next.push_back({t.a, t.b + s, t.w - s});
      }
    }
    level.swap(next);
    // The next level's transforms are half as long: keep no long buffers.
    cache.DropLong();
  }
  cache.DropLong();
}

// Replaces y by its residual from a least-squares line whose values a + b j
// are computed without rounding: a and b are whole multiples of a power of
// two u small enough that every a + b j stays below 2^53 u. A second pass
// takes out the slope left by rounding a and b, with its own finer u.
void RemoveExactLine(std::span<double> y) {
  const std::size_t n = y.size();
  if (n < 2) return;
  const double centre = 0.5 * static_cast<double>(n - 1);
  for (int pass = 0; pass < 2; ++pass) {
    double mean = 0.0;
    double peak = 0.0;
    for (double v : y) {
      mean += v;
      peak = std::max(peak, std::fabs(v));
    }
    mean /= static_cast<double>(n);
    double sxy = 0.0;
    double sxx = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      const double d = static_cast<double>(j) - centre;
      sxy += d * (y[j] - mean);
      sxx += d * d;
    }
    const double slope = sxx > 0.0 ? sxy / sxx : 0.0;
    const double intercept = mean - slope * centre;
    const double bound = std::max({peak, std::fabs(intercept), std::fabs(slope) * static_cast<double>(n)});
    if (!(bound > 0.0) || !std::isfinite(bound)) return;
    int exponent = 0;
    std::frexp(bound, &exponent);  // bound < 2^exponent
    // One bit of headroom: |a| + |b| (n - 1) < 2^53 u even after rounding a and b.
    const double u = std::ldexp(1.0, exponent - 51);
    if (u == 0.0) return;
    const double a = std::nearbyint(intercept / u) * u;
    const double b = std::nearbyint(slope / u) * u;
    for (std::size_t j = 0; j < n; ++j) y[j] -= a + b * static_cast<double>(j);
  }
}

struct TriangleSpace {
  CorrelationCache cache;
  std::vector<double> square;
};

struct Workspace {
  FftCorrelation fft;
  TriangleSpace mine, spare;
  std::vector<double> y, energy, lagSums, pairSums, head, tail, headSquare, tailSquare, ends;
  // The head's and the reversed tail's samples of even and of odd index
  // (head even, head odd, tail even, tail odd), and their triangles' sums.
  std::vector<double> strand[4], strandSums[4];
  const std::atomic<bool>* stop = nullptr;
};

// One block: the terms i = 0 ... k - 1 of the window y_0 ... y_{k+m-1}.
// With `helped`, a second thread takes the triangles (and the end squares),
// one after the other, while this one does the rest; it then takes what is left.
Theo1Sums BlockSums(const double* x, std::int64_t k, std::int64_t m, Workspace& w, bool helped) {
  const auto n = static_cast<std::size_t>(k + m);
  const auto ku = static_cast<std::size_t>(k);
  const auto mu = static_cast<std::size_t>(m);
  const std::size_t h = mu / 2;
  w.y.assign(x, x + n);
  RemoveExactLine(w.y);
  const double* y = w.y.data();
  // G(L) = A(L) + B(L), with A(L) = sum_{j<k} y_j y_{j+L} from the front
  // y_0 ... y_{k-1} and B(L) = sum_{i<k} y_{i+m-L} y_{i+m} from the back
  // y_m ... y_{n-1}, is needed as G(e) + G(m - e) only. With k >= m front
  // and back cover the window, and A(L) + B(L) = 2 R(L) less the lag
  // products inside the first and inside the last m samples (short squares).
  // With k < m, G(e) + G(m - e) = S(e) + S(m - e) for S(L) = sum_{i<k}
  // (y_i + y_{i+m}) y_{i+L}, a correlation with no wrap-around at length n.
  const bool fromWhole = ku >= mu;

  // The products around the midpoint, less the pairs centred before h or
  // after n - 1 - h: triangles of the head y_0 ... y_{m-2} and of the
  // reversed tail. Only their even lags are wanted, whose pairs have indices
  // of one parity: each triangle is the sum of the triangles of its even-
  // and its odd-indexed samples, of half the side and less than half the work.
  // Of the odd ones the first h - 1 hold every pair.
  for (int k = 0; k < 4; ++k) {
    const bool odd = (k & 1) != 0;
    std::vector<double>& strand = w.strand[k];
    strand.resize(odd ? h - 1 : h);
    for (std::size_t a = 0; a < strand.size(); ++a) {
      const std::size_t j = 2 * a + (odd ? 1 : 0);
      strand[a] = k < 2 ? y[j] : y[n - 1 - j];
    }
    w.strandSums[k].resize(strand.size());
  }
  w.lagSums.resize(mu);
  if (fromWhole) {
    w.headSquare.resize(mu);
    w.tailSquare.resize(mu);
  } else {
    w.ends.resize(ku);
    for (std::size_t i = 0; i < ku; ++i) w.ends[i] = y[i] + y[i + mu];
  }
  // Any thread may take any of these: their sums do not depend on which
  // workspace computes them.
  const int tasks = fromWhole ? 6 : 5;
  std::atomic<int> nextTask{0};
  auto triangles = [&w, y, n, mu, tasks, fromWhole, &nextTask](TriangleSpace& space) {
    for (int t = nextTask++; t < tasks && !Stopped(w.stop); t = nextTask++) {
      if (t < 4) {
        TriangleLagSumsWith(w.strand[t], w.strandSums[t], kTriangleDirect, space.cache, space.square, w.stop);
        continue;
      }
      if (fromWhole) {
        const std::span<const double> z(t == 4 ? y : y + n - mu, mu);
        space.cache.For(2 * mu - 1).AutoLagProducts(z, t == 4 ? w.headSquare : w.tailSquare);
      } else {
        FftCorrelation& fc = space.cache.For(n);
        fc.Prepare(n);
        std::complex<double>* window = fc.Spectrum(0);
        std::complex<double>* ends = fc.Spectrum(1);
        fc.Forward(w.y, window);
        fc.Forward(w.ends, ends);
        for (std::size_t i = 0; i < fc.Bins(); ++i) ends[i] = std::conj(ends[i]) * window[i];
        fc.Inverse(ends, w.lagSums.data(), mu);
      }
      space.cache.DropLong();
    }
  };
  std::thread helper;
  std::exception_ptr helperFailed;
  if (helped) {
    try {
      helper = std::thread([&] {
        try {
          triangles(w.spare);
        } catch (...) {
          helperFailed = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to spare: this one does them all.
    }
  }
  struct Join {
    std::thread& t;
    ~Join() {
      if (t.joinable()) t.join();
    }
  } join{helper};

  // P(s) = sum_{j=s}^{s+k-1} y_j^2 from short running sums at either end.
  w.energy.resize(mu + 1);
  double p0 = 0.0;
  for (std::size_t j = 0; j < ku; ++j) p0 += y[j] * y[j];
  double lead = 0.0;
  double trail = 0.0;
  for (std::size_t s = 0; s <= mu; ++s) {
    w.energy[s] = p0 - lead + trail;
    lead += y[s] * y[s];
    if (ku + s < n) trail += y[ku + s] * y[ku + s];
  }

  // R(L) for L < m; no wrap-around at length >= n + m - 1.
  FftCorrelation& fft = w.fft;
  fft.Prepare(n + mu - 1);
  std::complex<double>* whole = fft.Spectrum(0);
  fft.Forward(w.y, whole);
  for (std::size_t i = 0; i < fft.Bins(); ++i) whole[i] = std::norm(whole[i]);
  w.pairSums.resize(mu);
  fft.Inverse(whole, w.pairSums.data(), mu);
  double farthest = 0.0;  // A(m)
  for (std::size_t j = 0; j < ku; ++j) farthest += y[j] * y[j + mu];

  triangles(w.mine);
  if (helper.joinable()) helper.join();
  if (helperFailed) std::rethrow_exception(helperFailed);
  if (fromWhole) {
    for (std::size_t L = 1; L < mu; ++L)
      w.lagSums[L] = 2.0 * w.pairSums[L] - w.headSquare[L] - w.tailSquare[L];
  }
  // head[r], tail[r]: the triangles' sums at lag 2r.
  w.head.resize(h);
  w.tail.resize(h);
  for (std::size_t r = 0; r < h; ++r) {
    const bool both = r + 1 < h;
    w.head[r] = w.strandSums[0][r] + (both ? w.strandSums[1][r] : 0.0);
    w.tail[r] = w.strandSums[2][r] + (both ? w.strandSums[3][r] : 0.0);
  }

  Theo1Sums out;
  const double* P = w.energy.data();
  for (std::size_t e = 1; e <= h; ++e) {
    const std::size_t twoR = 2 * (h - e);
    const double middle = w.pairSums[twoR] - w.head[h - e] - w.tail[h - e];
    const double energy = P[0] + P[e] + P[mu - e] + P[mu];
    const double te = energy + 2.0 * farthest - 2.0 * (w.lagSums[e] + w.lagSums[mu - e]) + 2.0 * middle;
    const double weight = static_cast<double>(e);
    out.sum += te / weight;
    // Taking G from R(L) leaves the rounding where it was: over the test
    // records the worst error is 11 kappa epsilon either way.
    out.energy += energy / weight;
  }
  return out;
}

}  // namespace

double Theo1Sums::Condition() const {
  if (energy == 0.0) return 0.0;  // nothing but zeros: exact
  return sum > 0.0 ? energy / sum : std::numeric_limits<double>::infinity();
}

bool Theo1Sums::Trusted(double tolerance) const {
  if (!std::isfinite(sum) || !std::isfinite(energy)) return false;
  // The relative error stayed below 70 kappa epsilon wherever kappa epsilon << 1.
  return 100.0 * Condition() * kEpsilon <= tolerance;
}

void TriangleLagSums(std::span<const double> z, std::span<double> lags, std::size_t directBelow) {
  CorrelationCache cache;
  std::vector<double> square;
  TriangleLagSumsWith(z, lags, directBelow, cache, square, nullptr);
}

Theo1Sums Theo1FastSums(std::span<const double> x, std::int64_t m, std::int64_t blockFactor, unsigned threads,
                        const std::atomic<bool>* stop) {
  const auto N = static_cast<std::int64_t>(x.size());
  const std::int64_t K = N - m;
  if (m < 2 || m % 2 != 0 || K <= 0) return {};
  blockFactor = std::max<std::int64_t>(blockFactor, 1);
  const std::int64_t perBlock = m > std::numeric_limits<std::int64_t>::max() / blockFactor ? K : blockFactor * m;
  const std::int64_t blocks = (K + perBlock - 1) / perBlock;
  // Near-equal blocks: the first K % blocks one term longer.
  const std::int64_t base = K / blocks;
  const std::int64_t longer = K % blocks;
  std::vector<Theo1Sums> results(static_cast<std::size_t>(blocks));
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
  // The blocks of a last round that would leave threads idle give their
  // triangles to a thread of their own; a full round needs no help.
  const std::int64_t firstHelped = blocks - blocks % static_cast<std::int64_t>(threads);
  std::atomic<std::int64_t> nextBlock{0};
  auto work = [&] {
    Workspace w;
    w.stop = stop;
    // A thread that does more than one block meets the same lengths again.
    w.mine.cache.keepLong = w.spare.cache.keepLong = blocks > static_cast<std::int64_t>(threads);
    for (std::int64_t b = nextBlock++; b < blocks && !Stopped(stop); b = nextBlock++) {
      const std::int64_t first = b * base + std::min(b, longer);
      const std::int64_t k = base + (b < longer ? 1 : 0);
      results[static_cast<std::size_t>(b)] = BlockSums(x.data() + first, k, m, w, threads > 1 && b >= firstHelped);
    }
  };
  RunOnThreads(static_cast<unsigned>(std::min<std::int64_t>(threads, blocks) - 1), work);
  // Added in block order, whoever computed them.
  Theo1Sums total;
  for (const Theo1Sums& r : results) {
    total.sum += r.sum;
    total.energy += r.energy;
  }
  total.sum = std::max(total.sum, 0.0);
  return total;
}
