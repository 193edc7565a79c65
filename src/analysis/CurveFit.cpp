#include "analysis/CurveFit.h"

void TCurveFit::ClearPoints() {
  blocks_.clear();
  count_ = 0;
}

void TCurveFit::AddFitPoint(double x, double y) {
  if (count_ == blocks_.size() * kBlockSize) blocks_.push_back(std::make_unique<Block>());
  Block& block = *blocks_[count_ / kBlockSize];
  block.x[count_ % kBlockSize] = x;
  block.y[count_ % kBlockSize] = y;
  ++count_;
}

void TCurveFit::CalcLinFit(double& k, double& d, double& qof) const {
  k = 0.0;
  d = 0.0;
  qof = 0.0;
  if (count_ < 2) throw CurveFitError("CalcLinFit: not enough data points");
  const double n = static_cast<double>(count_);

  double sumX = 0.0;
  double sumY = 0.0;
  bool spreadX = false;
  bool spreadY = false;
  for (std::size_t i = 0; i < count_; ++i) {
    sumX += X(i);
    sumY += Y(i);
    spreadX = spreadX || X(i) != X(0);
    spreadY = spreadY || Y(i) != Y(0);
  }
  // Without spread the answer is exact; the rounded mean would leave a tiny
  // residue in every centred value and show as a slope of some 1E-22.
  if (!spreadX) return;
  if (!spreadY) {
    d = Y(0);
    qof = 1.0;
    return;
  }
  const double meanX = sumX / n;
  const double meanY = sumY / n;

  double su = 0.0;
  double sv = 0.0;
  double suu = 0.0;
  double svv = 0.0;
  double suv = 0.0;
  for (std::size_t i = 0; i < count_; ++i) {
    const double u = X(i) - meanX;
    const double v = Y(i) - meanY;
    su += u;
    sv += v;
    suu += u * u;
    svv += v * v;
    suv += u * v;
  }

  const double det = n * suu - su * su;
  if (det == 0.0) return;
  k = (n * suv - su * sv) / det;
  // Intercept about the means; the quality of fit uses it rather than the
  // intercept at x = 0, which for dates is large and would turn the rounding
  // left in sv into a visible error.
  const double centredD = (suu * sv - su * suv) / det;
  d = centredD - k * meanX + meanY;
  const double f = svv - sv * sv / n;
  qof = f == 0.0 ? 1.0 : (centredD * sv + k * suv - sv * sv / n) / f;
}
