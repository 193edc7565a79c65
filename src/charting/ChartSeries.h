#pragma once
// The points of one time chart series. A null point keeps its values but is not
// drawn and breaks the line. Points are kept in ascending X.
//
// Appending and deleting the first point are O(1) (amortised); a chart view that
// shows the series keeps its own plotted copy in step through the change counters.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

struct ChartPoint {
  double x = 0.0;
  double y = 0.0;
  bool isNull = false;
};

class ChartSeries {
 public:
  explicit ChartSeries(std::string title = {}) : title_(std::move(title)) {}

  const std::string& Title() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }

  void Add(double x, double y) { Append({x, y, false}); }
  void AddNull(double x, double y) { Append({x, y, true}); }
  void Append(const ChartPoint& p);
  // Puts the point at its place in X: after every point with an X not greater than
  // its own. A point at or after the end is appended; one before it (a clock set
  // back, a late line) counts as a rebuild for the views.
  void Insert(const ChartPoint& p);
  void InsertPoint(double x, double y, bool isNull) { Insert({x, y, isNull}); }
  // Deletes the first point (no-op when empty).
  void DeleteFirst();
  void Clear();

  std::size_t Count() const { return points_.size(); }
  bool Empty() const { return points_.empty(); }
  const ChartPoint& Point(std::size_t i) const { return points_[i]; }
  double X(std::size_t i) const { return points_[i].x; }
  double Y(std::size_t i) const { return points_[i].y; }
  bool IsNull(std::size_t i) const { return points_[i].isNull; }
  const ChartPoint& First() const { return points_.front(); }
  const ChartPoint& Last() const { return points_.back(); }
  const std::deque<ChartPoint>& Points() const { return points_; }

  // Suspends change notifications during bulk loads; the view rebuilds once at the end.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();
  bool Updating() const { return updating_ > 0; }

  // Counters that let a view mirror the series incrementally: how many points
  // were appended and deleted from the front since the series was created, and
  // how many times it was cleared, bulk-loaded or had a point inserted before its end.
  std::uint64_t Appended() const { return appended_; }
  std::uint64_t DeletedFront() const { return deletedFront_; }
  std::uint64_t Generation() const { return generation_; }

 private:
  std::string title_;
  std::deque<ChartPoint> points_;
  int updating_ = 0;
  std::uint64_t appended_ = 0;
  std::uint64_t deletedFront_ = 0;
  std::uint64_t generation_ = 0;
};
