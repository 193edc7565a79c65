#pragma once
// A log-log point chart (e.g. stability measures over averaging time): series
// of (x, y) points added one at a time, both axes in powers of ten, and a
// legend beside the plot with a check box per series.
#include "charting/ui/ChartBase.h"

class QCPLayoutGrid;

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

  // The legend stands right of the plot (its usual place) or inside it, top left.
  void SetLegendAtRight(bool right);
  bool LegendAtRight() const { return legendAtRight_; }

 protected:
  bool DataRange(AxisSide side, double& lo, double& hi) const override;

 private:
  QCPLayoutGrid* side_ = nullptr;
  bool legendAtRight_ = true;
};
