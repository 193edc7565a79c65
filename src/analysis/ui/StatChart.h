#pragma once
// The time stability window's log-log chart: averaging time across, measure
// value up, one series per stability measure with its catalogue look, the
// legend with check boxes, the value tip in the measures' value format and the
// extra legend that lists the points of the one series switched on.
#include <QPointer>
#include <vector>

#include "analysis/MeasureCatalogue.h"
#include "analysis/Stability.h"
#include "analysis/StabilityView.h"
#include "charting/ui/LogLogChart.h"

class TExtraLegendLayer;

class TStatChart : public TLogLogChart {
  Q_OBJECT
 public:
  explicit TStatChart(QWidget* parent = nullptr);

  // Every series of a run is made here, with the look its measure has.
  int AddMeasureSeries(const MeasureInfo& info);
  // Keeps the point as produced (zeros too, which the axes use) and draws it
  // where a logarithmic axis can.
  void AddMeasurePoint(int series, const StabilityPoint& point);
  // The points of a series as produced; empty for series not made by a run.
  const std::vector<StabilityPoint>& Values(int series) const;

  // While suspended, Replot only rescales nothing and draws nothing.
  void SetRepaintSuspended(bool suspended) { suspended_ = suspended; }
  bool RepaintSuspended() const { return suspended_; }
  void Replot() override;

  void SetExtraLegend(const ExtraLegend& extra);
  const ExtraLegend& CurrentExtraLegend() const { return extra_; }
  // The legend's box in chart coordinates.
  LegendBox LegendPlace() const;
  std::vector<bool> SwitchedOn() const;

  void RemoveSeries(int index) override;

 protected:
  QString ValueText(AxisSide side, double value) const override;
  QString KeyText(double key) const override;
  void ApplySeriesStyle(int index) override;
  void ApplyTicker(AxisSide side) override;

 private:
  friend class TExtraLegendLayer;
  struct MeasureLook {
    bool fromCatalogue = false;
    PointShape shape = PointShape::Square;
    PointStyle style = PointStyle::None;  // what the base style knows of it
    bool isDeviation = true;
  };
  std::vector<std::vector<StabilityPoint>> values_;  // parallel to the series
  std::vector<MeasureLook> looks_;
  bool suspended_ = false;
  ExtraLegend extra_;
  TExtraLegendLayer* extraLayer_ = nullptr;
};
