#include "charting/SeriesFunction.h"

#include <algorithm>
#include <cmath>

bool IsFunction(SeriesSourceKind kind) {
  return kind == SeriesSourceKind::MovingAverage || kind == SeriesSourceKind::LeastSquares;
}

RunningMean::RunningMean(int window) : ring_(static_cast<std::size_t>(std::max(window, 1)), 0.0) {}

void RunningMean::Reset() {
  next_ = 0;
  count_ = 0;
  sinceExact_ = 0;
  sum_ = 0.0;
}

bool RunningMean::Push(double value, double& mean) {
  const std::size_t n = ring_.size();
  if (count_ == n)
    sum_ -= ring_[next_];
  else
    ++count_;
  ring_[next_] = value;
  sum_ += value;
  next_ = next_ + 1 == n ? 0 : next_ + 1;
  if (++sinceExact_ >= n && count_ == n) {
    sum_ = 0.0;
    for (double v : ring_) sum_ += v;
    sinceExact_ = 0;
  }
  if (count_ < n) return false;
  mean = sum_ / static_cast<double>(n);
  return true;
}

SeriesFollower::SeriesFollower(SeriesSourceKind kind, int window, FitScale scale)
    : kind_(kind), scale_(scale), mean_(window) {}

void SeriesFollower::Follow(const ChartSeries& source, ChartSeries& out) {
  if (!IsFunction(kind_) || source.Updating()) return;
  const std::uint64_t appended = source.Appended() - appended_;
  const std::uint64_t deleted = source.DeletedFront() - deletedFront_;
  const bool fresh =
      !built_ || &source != lastSource_ || source.Generation() != generation_ || appended > source.Count();
  if (fresh) {
    Rebuild(source, out);
  } else if (appended == 0 && deleted == 0) {
    return;
  } else if (kind_ == SeriesSourceKind::LeastSquares) {
    FitLine(source, out);
  } else {
    for (std::size_t i = source.Count() - static_cast<std::size_t>(appended); i < source.Count(); ++i)
      AddAverage(source.Point(i), out);
    TrimFront(source, out);
  }
  built_ = true;
  lastSource_ = &source;
  appended_ = source.Appended();
  deletedFront_ = source.DeletedFront();
  generation_ = source.Generation();
}

void SeriesFollower::Rebuild(const ChartSeries& source, ChartSeries& out) {
  if (kind_ == SeriesSourceKind::LeastSquares) {
    FitLine(source, out);
    return;
  }
  out.BeginUpdate();
  out.Clear();
  mean_.Reset();
  for (const ChartPoint& p : source.Points()) AddAverage(p, out);
  out.EndUpdate();
}

void SeriesFollower::AddAverage(const ChartPoint& p, ChartSeries& out) {
  if (p.isNull) {
    // The source breaks here; so does the average, which starts afresh after it.
    mean_.Reset();
    out.AddNull(p.x, p.y);
    return;
  }
  double mean = 0.0;
  if (mean_.Push(p.y, mean)) out.Add(p.x, mean);
}

void SeriesFollower::TrimFront(const ChartSeries& source, ChartSeries& out) const {
  if (source.Empty()) {
    while (!out.Empty()) out.DeleteFirst();
    return;
  }
  while (!out.Empty() && out.First().x < source.First().x) out.DeleteFirst();
}

void SeriesFollower::FitLine(const ChartSeries& source, ChartSeries& out) const {
  const bool logLog = scale_ == FitScale::LogLog;
  auto usable = [&](const ChartPoint& p) {
    if (p.isNull || !std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    return !logLog || (p.x > 0.0 && p.y > 0.0);
  };
  auto fx = [&](double x) { return logLog ? std::log10(x) : x; };
  auto fy = [&](double y) { return logLog ? std::log10(y) : y; };
  // Two passes about the means: day counts near 46000 would drown the slope in
  // plain sums of squares.
  double n = 0.0, mx = 0.0, my = 0.0;
  for (const ChartPoint& p : source.Points()) {
    if (!usable(p)) continue;
    n += 1.0;
    mx += fx(p.x);
    my += fy(p.y);
  }
  out.BeginUpdate();
  out.Clear();
  if (n >= 2.0) {
    mx /= n;
    my /= n;
    double sxx = 0.0, sxy = 0.0;
    for (const ChartPoint& p : source.Points()) {
      if (!usable(p)) continue;
      const double dx = fx(p.x) - mx;
      sxx += dx * dx;
      sxy += dx * (fy(p.y) - my);
    }
    if (sxx > 0.0) {
      const double slope = sxy / sxx;
      auto line = [&](double x) {
        const double v = my + slope * (fx(x) - mx);
        return logLog ? std::pow(10.0, v) : v;
      };
      // One stretch of the line over each unbroken stretch of the source.
      bool open = false;
      double first = 0.0, last = 0.0;
      auto close = [&] {
        if (!open) return;
        out.Add(first, line(first));
        if (last != first) out.Add(last, line(last));
        open = false;
      };
      for (const ChartPoint& p : source.Points()) {
        if (p.isNull) {
          close();
          if (!out.Empty()) out.AddNull(p.x, logLog && !(p.x > 0.0) ? p.y : line(p.x));
          continue;
        }
        if (!usable(p)) continue;
        if (!open) first = p.x;
        last = p.x;
        open = true;
      }
      close();
    }
  }
  out.EndUpdate();
}

void CopyPoints(const ChartSeries& source, ChartSeries& out) {
  out.BeginUpdate();
  out.Clear();
  for (const ChartPoint& p : source.Points()) out.Append(p);
  out.EndUpdate();
}

std::string WindowProblem(int window, std::size_t sourceCount) {
  if (window < 1) return "A moving average needs at least one point.";
  if (static_cast<std::size_t>(window) > sourceCount)
    return "The series has only " + std::to_string(sourceCount) + " points.";
  return {};
}
