#pragma once
// Least-squares straight line through a list of points, used for the EFC drift
// (EFC against time in days).
#include <array>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <vector>

// Raised by CalcLinFit when it has fewer than two points.
class CurveFitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCurveFit {
 public:
  void ClearPoints();
  void AddFitPoint(double x, double y);
  std::size_t PointCount() const { return count_; }

  // The line y = k x + d and its quality of fit (the coefficient of
  // determination, 1 for a perfect line). The sums are taken about the means,
  // so dates of some 45 000 days keep the precision of their fractions.
  // Throws CurveFitError "CalcLinFit: not enough data points" below two points.
  void CalcLinFit(double& k, double& d, double& qof) const;

 private:
  // Points live in blocks of 1000 that never move once allocated.
  static constexpr std::size_t kBlockSize = 1000;
  struct Block {
    std::array<double, kBlockSize> x;
    std::array<double, kBlockSize> y;
  };
  double X(std::size_t i) const { return blocks_[i / kBlockSize]->x[i % kBlockSize]; }
  double Y(std::size_t i) const { return blocks_[i / kBlockSize]->y[i % kBlockSize]; }

  std::vector<std::unique_ptr<Block>> blocks_;
  std::size_t count_ = 0;
};
