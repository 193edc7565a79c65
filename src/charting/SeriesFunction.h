#pragma once
// Series the user adds to a chart get their points from another series: a copy
// of its points as they stand, or a function of it that follows it as it grows
// at its end and is trimmed at its front. Functions skip null points and break
// where their source breaks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "charting/ChartSeries.h"

enum class SeriesSourceKind {
  Program,        // fed by the program itself
  Copy,           // the source's points as they stood when copied
  MovingAverage,  // mean of the last `window` non-null points of one unbroken stretch
  LeastSquares,   // the straight line fitted to every non-null point of the source
};

struct SeriesSource {
  SeriesSourceKind kind = SeriesSourceKind::Program;
  int sourceId = -1;  // the source series' id; -1 when it has none (any more)
  int window = 0;     // points averaged, for MovingAverage
  bool operator==(const SeriesSource&) const = default;
};

bool IsFunction(SeriesSourceKind kind);

// Where a least-squares line is straight: on a log-log chart a power law is.
enum class FitScale { Linear, LogLog };

// Mean of the last N values in O(1) per value. The running sum is taken afresh
// from the window once every N values, so rounding cannot pile up over days.
class RunningMean {
 public:
  explicit RunningMean(int window);
  void Reset();
  // True once the window is full; mean is then the mean of its values.
  bool Push(double value, double& mean);
  int Window() const { return static_cast<int>(ring_.size()); }

 private:
  std::vector<double> ring_;
  std::size_t next_ = 0;
  std::size_t count_ = 0;
  std::size_t sinceExact_ = 0;
  double sum_ = 0.0;
};

// Keeps an output series in step with a function of its source. A call costs
// only the points appended to the source since the previous call (a least-squares
// line: one pass over the source when it changed); after a clear, a bulk load or
// a point inserted before the end it starts over.
class SeriesFollower {
 public:
  SeriesFollower(SeriesSourceKind kind, int window, FitScale scale = FitScale::Linear);
  void Follow(const ChartSeries& source, ChartSeries& out);

 private:
  void Rebuild(const ChartSeries& source, ChartSeries& out);
  void AddAverage(const ChartPoint& p, ChartSeries& out);
  void FitLine(const ChartSeries& source, ChartSeries& out) const;
  void TrimFront(const ChartSeries& source, ChartSeries& out) const;

  SeriesSourceKind kind_;
  FitScale scale_;
  RunningMean mean_;
  bool built_ = false;
  const ChartSeries* lastSource_ = nullptr;
  std::uint64_t appended_ = 0;
  std::uint64_t deletedFront_ = 0;
  std::uint64_t generation_ = 0;
};

// Replaces out's points with source's.
void CopyPoints(const ChartSeries& source, ChartSeries& out);

// Why a moving average over window points of a series of sourceCount points is
// refused (empty when it is not): it needs at least one point, and no more than
// the series has.
std::string WindowProblem(int window, std::size_t sourceCount);
