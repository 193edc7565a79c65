#pragma once
// A chart of time series: X is a TDateTime (days since 1899-12-30, UTC), the
// bottom axis shows date-time labels and each series sits on the left or the
// right axis. The plotted copies follow their ChartSeries models through
// Sync(), which costs only the points added or deleted since the last call.
#include <functional>

#include "charting/ChartSeries.h"
#include "charting/ui/ChartBase.h"

class QCPGraph;

class TTimeChart : public TChartBase {
  Q_OBJECT
 public:
  explicit TTimeChart(QWidget* parent = nullptr);
  ~TTimeChart() override;

  // Shows a model; the chart reads it but does not own it. Returns the series index.
  int AddSeries(ChartSeries* model, AxisSide side, QColor color, const QString& title);
  // nullptr for series without a model (fit lines).
  ChartSeries* Model(int index) const;

  // A straight line through two points, not backed by a model (e.g. a linear fit).
  int AddFitLine(const QString& title, AxisSide side, QColor color, double x0, double y0, double x1, double y1);

  // Brings every plotted copy up to date with its model; skips models inside
  // BeginUpdate/EndUpdate and rebuilds a copy fully only after Clear or a bulk load.
  void Sync();
  // Sync, rescale the automatic axes and redraw.
  void Replot() override;

  // What the time axis shows while no series has a point: the span ending now. By
  // default one day up to the system's UTC time; a window hands in its clock and span.
  void SetEmptySpan(std::function<double()> now, std::function<double()> spanDays);

  // Bottom axis label format, e.g. "MM-dd hh:mm" (the default).
  void SetDateTimeFormat(const std::string& format);
  std::string DateTimeFormat() const { return dateTimeFormat_; }

  // The plotted copy (NaN at null points), for inspection.
  int PlottedCount(int index) const;
  double PlottedX(int index, int i) const;
  double PlottedY(int index, int i) const;

  void RemoveSeries(int index) override;
  bool MoveSeries(int from, int to) override;
  bool CanAddSeries() const override { return true; }

 protected:
  QString KeyText(double key) const override;
  void ApplyTicker(AxisSide side) override;
  double DegenerateHalfSpan(AxisSide side, double value) const override;
  int AddUserPlottable(ChartSeries* points, AxisSide side, QColor color, const QString& title) override;

 private:
  struct Mirror {
    ChartSeries* model = nullptr;
    std::uint64_t appended = 0;
    std::uint64_t deletedFront = 0;
    std::uint64_t generation = 0;
    bool built = false;
  };
  void SyncOne(int index);
  void Rebuild(int index);

  std::vector<Mirror> mirrors_;  // parallel to series_
  std::function<double()> now_;
  std::function<double()> spanDays_;
  std::string dateTimeFormat_ = "MM-dd hh:mm";
};
