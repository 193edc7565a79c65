// Where the chart's legend stands: in the plot's corner, or beside the plot on
// one of its sides, sharing the plot's cell so a title above stays centred.
#include <qcustomplot.h>

#include <QResizeEvent>
#include <algorithm>

#include "charting/ui/ChartBase.h"

void TChartBase::SetLegendAt(LegendPosition position) {
  legendAt_ = position;
  PlaceLegend();
  emit Changed();
}

void TChartBase::PlaceLegend() {
  // A hidden legend stands in the plot's corner, so it takes no room beside it.
  const LegendPosition position = plot_->legend->visible() ? legendAt_ : LegendPosition::Inside;
  if (position == legendPlaced_) return;
  QCPLegend* legend = plot_->legend;
  QCPAxisRect* rect = plot_->axisRect();
  QCPLayoutGrid* layout = plot_->plotLayout();
  // Out of wherever it stands now, and the plot back in its own cell.
  if (legendBody_) {
    for (int i = 0; i < legendBody_->elementCount(); ++i)
      if (auto* holder = qobject_cast<QCPLayoutGrid*>(legendBody_->elementAt(i))) holder->take(legend);
    legendBody_->take(rect);
    int row = 0, column = 0;
    for (int i = 0; i < layout->elementCount(); ++i)
      if (layout->elementAt(i) == legendBody_) layout->indexToRowCol(i, row, column);
    layout->remove(legendBody_);  // deletes the holders too
    legendBody_ = nullptr;
    layout->addElement(row, column, rect);
  } else {
    rect->insetLayout()->take(legend);
  }
  legendPlaced_ = position;
  if (position == LegendPosition::Inside) {
    rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignRight);
    legend->setMargins(QMargins(7, 5, 7, 4));
  } else {
    // The plot and a holder beside it share the plot's cell, so a title above stays centred over both.
    int row = 0, column = 0;
    for (int i = 0; i < layout->elementCount(); ++i)
      if (layout->elementAt(i) == rect) layout->indexToRowCol(i, row, column);
    layout->take(rect);
    legendBody_ = new QCPLayoutGrid;
    layout->addElement(row, column, legendBody_);
    auto* holder = new QCPLayoutGrid;
    const bool side = position == LegendPosition::Right || position == LegendPosition::Left;
    // Fillers take the spare room, so the legend keeps its own size at the top or in the middle.
    if (side) {
      holder->addElement(0, 0, legend);
      holder->addElement(1, 0, new QCPLayoutElement(plot_));
      holder->setRowStretchFactor(0, 0.001);
    } else {
      holder->addElement(0, 0, new QCPLayoutElement(plot_));
      holder->addElement(0, 1, legend);
      holder->addElement(0, 2, new QCPLayoutElement(plot_));
      holder->setColumnStretchFactor(1, 0.001);
    }
    legend->setMargins(QMargins(6, 4, 8, 4));
    switch (position) {
      case LegendPosition::Right:
        legendBody_->addElement(0, 0, rect);
        legendBody_->addElement(0, 1, holder);
        legendBody_->setColumnStretchFactor(1, 0.001);
        holder->setMargins(QMargins(0, 8, 8, 8));
        break;
      case LegendPosition::Left:
        legendBody_->addElement(0, 0, holder);
        legendBody_->addElement(0, 1, rect);
        legendBody_->setColumnStretchFactor(0, 0.001);
        holder->setMargins(QMargins(8, 8, 0, 8));
        break;
      case LegendPosition::Top:
        legendBody_->addElement(0, 0, holder);
        legendBody_->addElement(1, 0, rect);
        legendBody_->setRowStretchFactor(0, 0.001);
        holder->setMargins(QMargins(8, 6, 8, 0));
        break;
      case LegendPosition::Bottom:
      case LegendPosition::Inside:
        legendBody_->addElement(0, 0, rect);
        legendBody_->addElement(1, 0, holder);
        legendBody_->setRowStretchFactor(1, 0.001);
        holder->setMargins(QMargins(8, 0, 8, 6));
        break;
    }
  }
  ArrangeLegend();
}

void TChartBase::ArrangeLegend() {
  QCPLegend* legend = plot_->legend;
  const bool across = legendAt_ == LegendPosition::Top || legendAt_ == LegendPosition::Bottom;
  if (!across) {
    legend->setWrap(0);
    legend->setFillOrder(QCPLayoutGrid::foRowsFirst, true);
    return;
  }
  // Side by side in as many columns as the chart's width takes, read down each
  // column so a heading stays at the top left.
  const int count = legend->elementCount();
  int widest = 1;
  for (int i = 0; i < count; ++i)
    if (QCPLayoutElement* e = legend->elementAt(i)) widest = std::max(widest, e->minimumOuterSizeHint().width());
  const int room = std::max(1, width() - 40);
  const int columns = std::clamp(room / (widest + legend->columnSpacing() + 4), 1, std::max(1, count));
  legend->setWrap(std::max(1, (count + columns - 1) / columns));
  legend->setFillOrder(QCPLayoutGrid::foRowsFirst, true);
}

void TChartBase::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (legendAt_ == LegendPosition::Top || legendAt_ == LegendPosition::Bottom) ArrangeLegend();
}
