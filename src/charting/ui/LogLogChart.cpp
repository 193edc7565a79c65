#include "charting/ui/LogLogChart.h"

#include <qcustomplot.h>

#include <cmath>

TLogLogChart::TLogLogChart(QWidget* parent) : TChartBase(parent) {
  SetAxisLogarithmic(AxisSide::Left, true);
  SetAxisLogarithmic(AxisSide::Bottom, true);
  SetAxisExtent(AxisSide::Left, 1, 99);
  SetAxisExtent(AxisSide::Bottom, 1, 99);
  Plot()->yAxis->grid()->setSubGridVisible(true);
  Plot()->xAxis->grid()->setSubGridVisible(true);
  Plot()->yAxis->grid()->setSubGridPen(QPen(QColor(240, 241, 244), 1));
  Plot()->xAxis->grid()->setSubGridPen(QPen(QColor(240, 241, 244), 1));
  Plot()->yAxis->setSubTickLengthOut(4);
  Plot()->xAxis->setSubTickLengthOut(4);

  MutableRoster().SetFitScale(FitScale::LogLog);
  SetLegendCheckBoxes(true);
  SetLegendVisible(true);
  SetLegendAt(LegendPosition::Right);
}

int TLogLogChart::AddSeries(const QString& title, QColor color, PointStyle style, bool joined) {
  QCPGraph* graph = Plot()->addGraph(Plot()->xAxis, Plot()->yAxis);
  int index = AddPlottable(graph, AxisSide::Left, color, title);
  // The points are kept beside the graph too, for the series the user makes of them.
  if (SeriesIsProgram(index)) MutableRoster().OwnPoints(index);
  SetSeriesLine(index, joined);
  SetSeriesPointStyle(index, style, 7.0);
  return index;
}

void TLogLogChart::AddPoint(int series, double x, double y) {
  if (!(x > 0) || !(y > 0) || !std::isfinite(x) || !std::isfinite(y)) return;
  static_cast<QCPGraph*>(Plottable(series))->addData(x, y);
  if (ChartSeries* points = Roster().Points(series); points && SeriesIsProgram(series))
    points->InsertPoint(x, y, false);
}

void TLogLogChart::ClearSeries(int series) {
  static_cast<QCPGraph*>(Plottable(series))->data()->clear();
  if (ChartSeries* points = Roster().Points(series); points && SeriesIsProgram(series)) points->Clear();
}

int TLogLogChart::AddUserPlottable(ChartSeries*, AxisSide, QColor color, const QString& title) {
  QCPGraph* graph = Plot()->addGraph(Plot()->xAxis, Plot()->yAxis);
  const int index = AddPlottable(graph, AxisSide::Left, color, title);
  SetSeriesLine(index, true);
  // Small marks: a series of a single point would show nothing as a line alone.
  SetSeriesPointStyle(index, PointStyle::Circle, 5.0);
  shown_.erase(SeriesId(index));
  return index;
}

void TLogLogChart::SyncAddedSeries() {
  UpdateAddedSeries();
  for (int i = 0; i < SeriesCount(); ++i) {
    if (SeriesIsProgram(i)) continue;
    const ChartSeries* points = Roster().Points(i);
    Shown& shown = shown_[SeriesId(i)];
    if (shown.appended == points->Appended() && shown.deletedFront == points->DeletedFront() &&
        shown.generation == points->Generation())
      continue;
    // A handful of points: drawn afresh. A null point breaks the line.
    QVector<QCPGraphData> data;
    for (const ChartPoint& p : points->Points()) {
      if (p.isNull)
        data.push_back(QCPGraphData(p.x, std::nan("")));
      else if (p.x > 0 && p.y > 0 && std::isfinite(p.x) && std::isfinite(p.y))
        data.push_back(QCPGraphData(p.x, p.y));
    }
    static_cast<QCPGraph*>(Plottable(i))->data()->set(data, true);
    shown = {points->Appended(), points->DeletedFront(), points->Generation()};
  }
}

void TLogLogChart::Replot() {
  SyncAddedSeries();
  TChartBase::Replot();
}

void TLogLogChart::RemoveAllSeries() {
  while (SeriesCount() > 0) RemoveSeries(SeriesCount() - 1);
}

int TLogLogChart::PointCount(int series) const { return static_cast<QCPGraph*>(Plottable(series))->dataCount(); }

double TLogLogChart::PointX(int series, int i) const {
  return static_cast<QCPGraph*>(Plottable(series))->dataMainKey(i);
}

double TLogLogChart::PointY(int series, int i) const {
  return static_cast<QCPGraph*>(Plottable(series))->dataMainValue(i);
}

bool TLogLogChart::DataRange(AxisSide side, double& lo, double& hi) const {
  if (!TChartBase::DataRange(side, lo, hi)) return false;
  // Whole decades, so the axis starts and ends on a labelled power of ten.
  lo = std::pow(10.0, std::floor(std::log10(lo)));
  hi = std::pow(10.0, std::ceil(std::log10(hi)));
  if (hi <= lo) hi = lo * 10;
  return true;
}
