#pragma once
// A log-log point chart (e.g. stability measures over averaging time): series
// of (x, y) points added one at a time, both axes in powers of ten, and a
// legend beside the plot with a check box per series.
#include <map>

#include "charting/ui/ChartBase.h"

class TLogLogChart : public TChartBase {
  Q_OBJECT
 public:
  explicit TLogLogChart(QWidget* parent = nullptr);

  int AddSeries(const QString& title, QColor color, PointStyle style, bool joined = false);
  // Points that a logarithmic axis cannot show (zero, negative, NaN) are left out.
  void AddPoint(int series, double x, double y);
  void ClearSeries(int series);
  void RemoveAllSeries();
  int PointCount(int series) const;
  double PointX(int series, int i) const;
  double PointY(int series, int i) const;

  // The legend stands right of the plot (its usual place) or left of it.
  void SetLegendAtRight(bool right) { SetLegendAt(right ? LegendPosition::Right : LegendPosition::Left); }
  bool LegendAtRight() const { return LegendAt() == LegendPosition::Right; }

  bool CanAddSeries() const override { return true; }
  void Replot() override;

 protected:
  bool DataRange(AxisSide side, double& lo, double& hi) const override;
  int AddUserPlottable(ChartSeries* points, AxisSide side, QColor color, const QString& title) override;

 private:
  // Draws the added series' points again where they changed since the last drawing.
  void SyncAddedSeries();
  struct Shown {
    std::uint64_t appended = 0;
    std::uint64_t deletedFront = 0;
    std::uint64_t generation = ~std::uint64_t{0};
  };
  std::map<int, Shown> shown_;  // by series id
};
