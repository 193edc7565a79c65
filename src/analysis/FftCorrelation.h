#pragma once
// Lag products of real sequences by real FFTs (FFTW 3):
//   LagProducts(x, y)[k - first] = sum over j of x[j] * y[j + k],  first <= k <= last,
// with the sum over every j where both indices fall inside the sequences.
//
// One object keeps its plans and buffers and reuses them while the transform
// length stays the same, so many correlations of one size cost no allocation.
// An object is used by one thread at a time; separate objects may run at once.
// Plans are made with FFTW_ESTIMATE, never measured, so the same inputs give
// the same bits on every run.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>

class FftCorrelation {
 public:
  FftCorrelation() = default;
  ~FftCorrelation();
  FftCorrelation(const FftCorrelation&) = delete;
  FftCorrelation& operator=(const FftCorrelation&) = delete;

  // The smallest length >= n of the form 2^a 3^b 5^c 7^d with a >= 2 (or n
  // itself up to 4): the lengths FFTW's real transforms take fastest.
  static std::size_t GoodLength(std::size_t n);

  // out[k - first] for first <= k <= last; out.size() must be last - first + 1.
  // Lags that reach no pair give 0.
  void LagProducts(std::span<const double> x, std::span<const double> y, std::ptrdiff_t first, std::ptrdiff_t last,
                   std::span<double> out);
  // The same with y = x, for lags 0 ... out.size() - 1.
  void AutoLagProducts(std::span<const double> x, std::span<double> out);

  // Lower level, for callers that combine spectra themselves. Prepare(n)
  // selects the transform length Length() = GoodLength(n) (at least n);
  // a spectrum has Length() / 2 + 1 bins.
  void Prepare(std::size_t n);
  std::size_t Length() const { return length_; }
  std::size_t Bins() const { return length_ / 2 + 1; }
  // The spectrum of x zero-padded to Length(); x.size() <= Length().
  void Forward(std::span<const double> x, std::complex<double>* spectrum);
  // The first `count` values (all by default) of the circular sequence of a
  // spectrum, scaled by 1 / Length() so that Inverse(Forward(x)) = x; the
  // spectrum is overwritten.
  void Inverse(std::complex<double>* spectrum, double* out, std::size_t count = SIZE_MAX);
  // Work buffers of this object, valid until the next Prepare with another length.
  std::complex<double>* Spectrum(int which);  // which = 0, 1, 2
  double* Real();                             // Length() values

 private:
  void Release();

  std::size_t length_ = 0;
  void* forward_ = nullptr;  // fftw_plan
  void* inverse_ = nullptr;
  double* real_ = nullptr;
  std::complex<double>* spectra_[3] = {};
};
