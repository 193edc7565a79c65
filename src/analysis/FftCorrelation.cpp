#include "analysis/FftCorrelation.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>

namespace {
// The FFTW planner is not thread-safe; executing a plan is.
std::mutex& PlannerLock() {
  static std::mutex lock;
  return lock;
}

fftw_complex* AsFftw(std::complex<double>* p) { return reinterpret_cast<fftw_complex*>(p); }

// Plans up to this length are made once per process and shared: small
// transforms are many, and planning one costs about as much as running it.
// Longer ones belong to their object and go with it, with their tables.
constexpr std::size_t kSharedPlanLength = std::size_t{1} << 17;

struct PlanPair {
  fftw_plan forward = nullptr;
  fftw_plan inverse = nullptr;
};

// Called with the planner lock held.
PlanPair MakePlans(std::size_t length, double* real, std::complex<double>* spectrum) {
  const int len = static_cast<int>(length);
  return {fftw_plan_dft_r2c_1d(len, real, AsFftw(spectrum), FFTW_ESTIMATE),
          fftw_plan_dft_c2r_1d(len, AsFftw(spectrum), real, FFTW_ESTIMATE)};
}

// Destroyed with the process's statics, after which no transform runs.
struct SharedPlanTable {
  std::map<std::size_t, PlanPair> byLength;
  ~SharedPlanTable() {
    for (auto& [length, pair] : byLength) {
      if (pair.forward != nullptr) fftw_destroy_plan(pair.forward);
      if (pair.inverse != nullptr) fftw_destroy_plan(pair.inverse);
    }
  }
};

PlanPair SharedPlans(std::size_t length, double* real, std::complex<double>* spectrum) {
  std::lock_guard<std::mutex> guard(PlannerLock());
  static SharedPlanTable plans;
  PlanPair& pair = plans.byLength[length];
  if (pair.forward == nullptr || pair.inverse == nullptr) pair = MakePlans(length, real, spectrum);
  return pair;
}

}  // namespace

FftCorrelation::~FftCorrelation() { Release(); }

void FftCorrelation::Release() {
  if (length_ > kSharedPlanLength) {
    std::lock_guard<std::mutex> guard(PlannerLock());
    if (forward_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(forward_));
    if (inverse_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(inverse_));
  }
  fftw_free(real_);
  for (auto*& s : spectra_) {
    fftw_free(s);
    s = nullptr;
  }
  forward_ = inverse_ = nullptr;
  real_ = nullptr;
  length_ = 0;
}

std::size_t FftCorrelation::GoodLength(std::size_t n) {
  if (n <= 4) return std::max<std::size_t>(n, 1);
  std::size_t best = 0;
  // Every 4 * 3^b 5^c 7^d * 2^a >= n with the fewest factors tried; the
  // smallest wins. Odd lengths, and those with a single factor two, take
  // FFTW's real transforms about twice as long as the next multiple of four.
  for (std::size_t p7 = 4;; p7 *= 7) {
    for (std::size_t p5 = p7;; p5 *= 5) {
      for (std::size_t p3 = p5;; p3 *= 3) {
        std::size_t v = p3;
        while (v < n) v *= 2;
        if (best == 0 || v < best) best = v;
        if (p3 >= n) break;
      }
      if (p5 >= n) break;
    }
    if (p7 >= n) break;
  }
  return best;
}

void FftCorrelation::Prepare(std::size_t n) {
  const std::size_t length = GoodLength(std::max<std::size_t>(n, 2));
  if (length == length_) return;
  Release();
  const std::size_t bins = length / 2 + 1;
  real_ = fftw_alloc_real(length);
  // The other spectra come when first asked for.
  spectra_[0] = reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(bins));
  if (real_ == nullptr || spectra_[0] == nullptr) {
    Release();
    throw std::bad_alloc();
  }
  length_ = length;
  PlanPair plans;
  if (length <= kSharedPlanLength) {
    plans = SharedPlans(length, real_, spectra_[0]);
  } else {
    std::lock_guard<std::mutex> guard(PlannerLock());
    plans = MakePlans(length, real_, spectra_[0]);
  }
  forward_ = plans.forward;
  inverse_ = plans.inverse;
  if (forward_ == nullptr || inverse_ == nullptr) {
    Release();
    throw std::runtime_error("FFTW could not plan a transform");
  }
}

std::complex<double>* FftCorrelation::Spectrum(int which) {
  if (spectra_[which] == nullptr) {
    spectra_[which] = reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(Bins()));
    if (spectra_[which] == nullptr) throw std::bad_alloc();
  }
  return spectra_[which];
}

double* FftCorrelation::Real() { return real_; }

void FftCorrelation::Forward(std::span<const double> x, std::complex<double>* spectrum) {
  if (x.data() != real_) {
    std::memcpy(real_, x.data(), x.size() * sizeof(double));
  }
  std::fill(real_ + x.size(), real_ + length_, 0.0);
  // The buffers come from fftw_alloc, so they share the planning buffers' alignment.
  fftw_execute_dft_r2c(static_cast<fftw_plan>(forward_), real_, AsFftw(spectrum));
}

void FftCorrelation::Inverse(std::complex<double>* spectrum, double* out, std::size_t count) {
  fftw_execute_dft_c2r(static_cast<fftw_plan>(inverse_), AsFftw(spectrum), real_);
  const double scale = 1.0 / static_cast<double>(length_);
  count = std::min(count, length_);
  for (std::size_t i = 0; i < count; ++i) out[i] = real_[i] * scale;
}

void FftCorrelation::LagProducts(std::span<const double> x, std::span<const double> y, std::ptrdiff_t first,
                                 std::ptrdiff_t last, std::span<double> out) {
  if (out.empty()) return;
  std::fill(out.begin(), out.end(), 0.0);
  const auto nx = static_cast<std::ptrdiff_t>(x.size());
  const auto ny = static_cast<std::ptrdiff_t>(y.size());
  if (nx == 0 || ny == 0) return;
  // Lags outside (-nx, ny) reach no pair; a circular correlation of length
  // >= nx + ny - 1 has no wrap-around for the others.
  const std::ptrdiff_t lo = std::max(first, -(nx - 1));
  const std::ptrdiff_t hi = std::min(last, ny - 1);
  if (lo > hi) return;
  Prepare(static_cast<std::size_t>(nx + ny - 1));
  std::complex<double>* a = Spectrum(0);
  std::complex<double>* b = Spectrum(1);
  Forward(x, a);
  Forward(y, b);
  for (std::size_t i = 0; i < Bins(); ++i) a[i] = std::conj(a[i]) * b[i];
  fftw_execute_dft_c2r(static_cast<fftw_plan>(inverse_), AsFftw(a), real_);
  const double scale = 1.0 / static_cast<double>(length_);
  const auto length = static_cast<std::ptrdiff_t>(length_);
  for (std::ptrdiff_t k = lo; k <= hi; ++k) {
    const std::ptrdiff_t at = k >= 0 ? k : length + k;
    out[static_cast<std::size_t>(k - first)] = real_[at] * scale;
  }
}

void FftCorrelation::AutoLagProducts(std::span<const double> x, std::span<double> out) {
  if (out.empty()) return;
  std::fill(out.begin(), out.end(), 0.0);
  const std::size_t n = x.size();
  if (n == 0) return;
  const std::size_t lags = std::min(out.size(), n);
  // Lags up to lags - 1 need length >= n + lags - 1 to stay clear of the wrap.
  Prepare(n + lags - 1);
  std::complex<double>* a = Spectrum(0);
  Forward(x, a);
  for (std::size_t i = 0; i < Bins(); ++i) a[i] = std::norm(a[i]);
  fftw_execute_dft_c2r(static_cast<fftw_plan>(inverse_), AsFftw(a), real_);
  const double scale = 1.0 / static_cast<double>(length_);
  for (std::size_t k = 0; k < lags; ++k) out[k] = real_[k] * scale;
}
