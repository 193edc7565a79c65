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

  // The legend stands right of the plot, at the top, as wide as it needs.
  QCPLegend* legend = Plot()->legend;
  Plot()->axisRect()->insetLayout()->take(legend);
  side_ = new QCPLayoutGrid;
  const int row = Plot()->plotLayout()->rowCount() - 1;
  Plot()->plotLayout()->addElement(row, 1, side_);
  Plot()->plotLayout()->setColumnStretchFactor(1, 0.001);
  side_->addElement(0, 0, legend);
  side_->addElement(1, 0, new QCPLayoutElement(Plot()));
  side_->setRowStretchFactor(0, 0.001);
  side_->setMargins(QMargins(0, 8, 8, 8));
  legend->setMargins(QMargins(6, 4, 8, 4));
  SetLegendCheckBoxes(true);
  SetLegendVisible(true);
}

void TLogLogChart::SetLegendAtRight(bool right) {
  if (right == legendAtRight_) return;
  QCPLegend* legend = Plot()->legend;
  QCPLayoutInset* inset = Plot()->axisRect()->insetLayout();
  if (right) {
    inset->take(legend);
    inset->simplify();
    side_->addElement(0, 0, legend);
  } else {
    side_->take(legend);
    inset->addElement(legend, Qt::AlignTop | Qt::AlignLeft);
  }
  legendAtRight_ = right;
  emit Changed();
}

int TLogLogChart::AddSeries(const QString& title, QColor color, PointStyle style, bool joined) {
  QCPGraph* graph = Plot()->addGraph(Plot()->xAxis, Plot()->yAxis);
  int index = AddPlottable(graph, AxisSide::Left, color, title);
  SetSeriesLine(index, joined);
  SetSeriesPointStyle(index, style, 7.0);
  return index;
}

void TLogLogChart::AddPoint(int series, double x, double y) {
  if (!(x > 0) || !(y > 0) || !std::isfinite(x) || !std::isfinite(y)) return;
  static_cast<QCPGraph*>(Plottable(series))->addData(x, y);
}

void TLogLogChart::ClearSeries(int series) { static_cast<QCPGraph*>(Plottable(series))->data()->clear(); }

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
