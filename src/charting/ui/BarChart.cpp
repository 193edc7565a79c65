#include "charting/ui/BarChart.h"

#include <qcustomplot.h>

TBarChart::TBarChart(QWidget* parent) : TChartBase(parent) {
  bars_ = new QCPBars(Plot()->xAxis, Plot()->yAxis);
  bars_->setWidth(0.62);
  AddPlottable(bars_, AxisSide::Left, QColor(220, 40, 40), QString());
  SetAxisVisible(AxisSide::Bottom, false);
  SetAxisGrid(AxisSide::Bottom, false);
  SetAxisExtent(AxisSide::Left, 0, 92);  // room for the labels above the tallest bar
  SetAxisAutomatic(AxisSide::Bottom, false);
  Plot()->xAxis->grid()->setVisible(false);
}

void TBarChart::ApplySeriesStyle(int index) {
  const SeriesEntry& e = series_[index];
  // Each bar gets its own gradient: light at the top, full colour at the base.
  QLinearGradient gradient(0, 0, 0, 1);
  gradient.setCoordinateMode(QGradient::ObjectMode);
  gradient.setColorAt(0.0, e.color.lighter(150));
  gradient.setColorAt(1.0, e.color.darker(115));
  bars_->setBrush(QBrush(gradient));
  bars_->setPen(QPen(e.color.darker(130), std::max(0.5, e.lineWidth * 0.8)));
}

void TBarChart::Clear() {
  bars_->data()->clear();
  labels_.clear();
  for (QCPItemText* mark : marks_) Plot()->removeItem(mark);
  marks_.clear();
}

void TBarChart::AddBar(double value, const QString& label) {
  const double position = static_cast<double>(labels_.size());
  bars_->addData(position, value);
  labels_.push_back(label);
  auto* mark = new QCPItemText(Plot());
  mark->setText(label);
  mark->setClipToAxisRect(false);
  mark->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  mark->position->setType(QCPItemPosition::ptPlotCoords);
  mark->position->setCoords(position, value);
  mark->setPadding(QMargins(2, 0, 2, 0));
  mark->setBrush(QBrush(QColor(255, 255, 240)));
  mark->setPen(QPen(QColor(190, 190, 170)));
  QFont font = Plot()->xAxis->tickLabelFont();
  font.setPointSizeF(font.pointSizeF() - 1.0);  // a dozen marks side by side still fit
  mark->setFont(font);
  mark->setColor(QColor(50, 50, 55));
  marks_.push_back(mark);
}

double TBarChart::BarValue(int i) const { return (bars_->data()->constBegin() + i)->value; }

bool TBarChart::DataRange(AxisSide side, double& lo, double& hi) const {
  if (side != AxisSide::Left) return false;
  if (!TChartBase::DataRange(side, lo, hi)) return false;
  lo = std::min(lo, 0.0);  // bars grow from zero
  return true;
}

void TBarChart::Replot() {
  // The bars always fill the width, one slot each.
  const double n = std::max<double>(1.0, BarCount());
  ApplyRange(AxisSide::Bottom, -0.6, n - 0.4);
  TChartBase::Replot();
}

QString TBarChart::TipTextAt(const QPoint& pos) const {
  for (int i = 0; i < BarCount(); ++i) {
    const double x = Plot()->xAxis->coordToPixel(i);
    const double halfWidth = std::abs(Plot()->xAxis->coordToPixel(0.31) - Plot()->xAxis->coordToPixel(0.0));
    const double top = Plot()->yAxis->coordToPixel(BarValue(i));
    const double base = Plot()->yAxis->coordToPixel(0.0);
    if (std::abs(pos.x() - x) <= halfWidth && pos.y() >= std::min(top, base) && pos.y() <= std::max(top, base))
      return "<b>" + labels_[i].toHtmlEscaped() + "</b><br>" + ValueText(AxisSide::Left, BarValue(i));
  }
  return {};
}
