#pragma once
// The time stability window's log-log chart: averaging time across, measure
// value up, one series per stability measure with its catalogue look, the
// legend with check boxes, the value tip in the measures' value format and the
// extra legend that lists the points of the one series switched on. Points of
// the measures that carry confidence intervals show them as error bars.
#include <QPointer>
#include <map>
#include <vector>

#include "analysis/MeasureCatalogue.h"
#include "analysis/Stability.h"
#include "analysis/StabilityView.h"
#include "charting/ui/LogLogChart.h"

class QCPErrorBars;
class TExtraLegendLayer;

class TStatChart : public TLogLogChart {
  Q_OBJECT
 public:
  explicit TStatChart(QWidget* parent = nullptr);

  // Every series of a run is made here, with the look its measure has.
  int AddMeasureSeries(const MeasureInfo& info);
  // Keeps the point as produced (zeros too, which the axes use) and draws it
  // where a logarithmic axis can, with its interval's error bar.
  void AddMeasurePoint(int series, const StabilityPoint& point, const StabilityInterval& interval = {});
  // A further measure's series, after the nine, with error bars; its points
  // carry their own tips.
  int AddFurtherSeries(const FurtherMeasureInfo& info);
  void AddFurtherPoint(int series, FurtherMeasure measure, const FurtherPoint& point);
  // The points of a series as produced; empty for series not made by a run.
  const std::vector<StabilityPoint>& Values(int series) const;
  // The points a series stands for: a measure's as produced, an added series' as drawn.
  std::vector<StabilityPoint> SeriesPoints(int series) const;
  // Their intervals, one per point.
  const std::vector<StabilityInterval>& Intervals(int series) const;
  // The value tip of a measure's point, as the chart shows it.
  QString ValueTip(int series, std::size_t point) const;
  // The error bars of a series; null for a measure without intervals.
  QCPErrorBars* ErrorBars(int series) const;

  // On from the start; one switch for every series.
  bool HasErrorBars() const override { return true; }
  void SetErrorBarsShown(bool shown) override;
  bool ErrorBarsShown() const override { return errorBarsShown_; }
  void SetSeriesVisible(int index, bool visible) override;

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
  void ApplyDrawingOrder() override;

 protected:
  QString ValueText(AxisSide side, double value) const override;
  QString KeyText(double key) const override;
  QString PointValueText(int series, double key, double value, AxisSide side) const override;
  void ApplySeriesStyle(int index) override;
  void ApplyTicker(AxisSide side) override;

 private:
  friend class TExtraLegendLayer;
  struct MeasureLook {
    bool fromCatalogue = false;
    PointShape shape = PointShape::Square;
    PointStyle style = PointStyle::None;  // what the base style knows of it
    bool isDeviation = true;
    bool further = false;  // drawn dashed with open marks
  };
  struct MeasureSeries {
    MeasureLook look;
    std::vector<StabilityPoint> values;
    std::vector<StabilityInterval> intervals;
    std::vector<std::string> tips;  // a further measure's, one per point
    QCPErrorBars* bars = nullptr;
  };
  void ApplyErrorBarsStyle(int index);
  int AddLookedSeries(std::string_view title, PointShape shape, MeasureColour colour, bool isDeviation, bool further,
                      bool withBars);
  void KeepPoint(MeasureSeries& measure, int series, const StabilityPoint& point, const StabilityInterval& interval);
  const MeasureSeries* Measure(int series) const;
  MeasureSeries* Measure(int series);

  // By plottable: series move in the chart editor, and the user adds series of their own.
  std::map<const QCPAbstractPlottable*, MeasureSeries> measures_;
  bool errorBarsShown_ = true;
  bool suspended_ = false;
  ExtraLegend extra_;
  TExtraLegendLayer* extraLayer_ = nullptr;
};
