#include "charting/ChartSeries.h"

#include <algorithm>

void ChartSeries::Append(const ChartPoint& p) {
  points_.push_back(p);
  ++appended_;
}

void ChartSeries::Insert(const ChartPoint& p) {
  if (points_.empty() || !(p.x < points_.back().x)) {
    Append(p);
    return;
  }
  const auto at =
      std::upper_bound(points_.begin(), points_.end(), p.x, [](double x, const ChartPoint& q) { return x < q.x; });
  points_.insert(at, p);
  ++generation_;
}

void ChartSeries::DeleteFirst() {
  if (points_.empty()) return;
  points_.pop_front();
  ++deletedFront_;
}

void ChartSeries::Clear() {
  points_.clear();
  ++generation_;
}

void ChartSeries::EndUpdate() {
  if (updating_ > 0 && --updating_ == 0) ++generation_;
}
