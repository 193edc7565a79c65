#include "charting/ChartSeries.h"

void ChartSeries::Append(const ChartPoint& p) {
  points_.push_back(p);
  ++appended_;
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
