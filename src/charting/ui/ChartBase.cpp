#include "charting/ui/ChartBase.h"

#include <qcustomplot.h>

#include <QHelpEvent>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#include "charting/ui/ChartTickers.h"

namespace {

const QColor kText(50, 50, 55);
const QColor kAxisLine(150, 150, 155);
const QColor kGrid(226, 228, 232);

// A legend entry with a check box in front: the box shows whether the series
// is drawn, and clicking the entry switches it.
class TCheckLegendItem : public QCPPlottableLegendItem {
 public:
  TCheckLegendItem(QCPLegend* parent, QCPAbstractPlottable* plottable) : QCPPlottableLegendItem(parent, plottable) {}

 protected:
  int BoxSize() const { return QFontMetrics(getFont()).height() - 2; }

  void draw(QCPPainter* painter) override {
    const bool on = mPlottable->visible();
    const int box = BoxSize();
    const QRect inner = mRect.marginsRemoved(mMargins);
    QRect boxRect(inner.left(), inner.top() + (inner.height() - box) / 2, box, box);
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(on ? QColor(70, 110, 170) : QColor(150, 150, 150), 1));
    painter->setBrush(on ? QColor(70, 110, 170) : QColor(255, 255, 255));
    painter->drawRoundedRect(QRectF(boxRect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    if (on) {
      painter->setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      const QRectF r = QRectF(boxRect).adjusted(box * 0.22, box * 0.25, -box * 0.22, -box * 0.25);
      QPolygonF tick;
      tick << QPointF(r.left(), r.center().y()) << QPointF(r.left() + r.width() * 0.4, r.bottom())
           << QPointF(r.right(), r.top());
      painter->drawPolyline(tick);
    }
    // The base item draws icon and text; let it do so to the right of the box.
    const int shift = box + mParentLegend->iconTextPadding();
    const QRect saved = mRect;
    mRect.setLeft(mRect.left() + shift);
    const QColor textColor = mTextColor;
    if (!on) mTextColor = QColor(160, 160, 160);
    QCPPlottableLegendItem::draw(painter);
    mTextColor = textColor;
    mRect = saved;
  }

  QSize minimumOuterSizeHint() const override {
    QSize base = QCPPlottableLegendItem::minimumOuterSizeHint();
    return QSize(base.width() + BoxSize() + mParentLegend->iconTextPadding(), base.height());
  }
};

QCPScatterStyle::ScatterShape Shape(PointStyle style) {
  switch (style) {
    case PointStyle::Circle:
      return QCPScatterStyle::ssCircle;
    case PointStyle::Square:
      return QCPScatterStyle::ssSquare;
    case PointStyle::Diamond:
      return QCPScatterStyle::ssDiamond;
    case PointStyle::Triangle:
      return QCPScatterStyle::ssTriangle;
    case PointStyle::Cross:
      return QCPScatterStyle::ssCross;
    case PointStyle::Plus:
      return QCPScatterStyle::ssPlus;
    case PointStyle::Star:
      return QCPScatterStyle::ssStar;
    case PointStyle::None:
      break;
  }
  return QCPScatterStyle::ssNone;
}

void StyleAxis(QCPAxis* axis, const QFont& font) {
  axis->setBasePen(QPen(kAxisLine, 1));
  axis->setTickPen(QPen(kAxisLine, 1));
  axis->setSubTickPen(QPen(kAxisLine, 1));
  axis->setTickLengthIn(0);
  axis->setTickLengthOut(4);
  axis->setSubTickLengthIn(0);
  axis->setSubTickLengthOut(2);
  axis->setTickLabelFont(font);
  axis->setTickLabelColor(kText);
  QFont labelFont = font;
  labelFont.setBold(true);
  axis->setLabelFont(labelFont);
  axis->setLabelColor(kText);
  axis->setLabelPadding(6);
  axis->setTickLabelPadding(4);
  axis->grid()->setPen(QPen(kGrid, 1, Qt::SolidLine));
  axis->grid()->setZeroLinePen(QPen(QColor(205, 207, 212), 1));
  axis->grid()->setSubGridVisible(false);
}

}  // namespace

TChartBase::TChartBase(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  plot_ = new QCustomPlot(this);
  layout->addWidget(plot_);
  plot_->setAutoAddPlottableToLegend(false);
  plot_->setBackground(QBrush(Qt::white));
  plot_->setNoAntialiasingOnDrag(true);
  plot_->setPlottingHint(QCP::phCacheLabels, true);
  plot_->setMouseTracking(true);
  plot_->installEventFilter(this);

  QFont font = this->font();
  font.setPointSizeF(8.5);
  const AxisSide sides[] = {AxisSide::Left, AxisSide::Right, AxisSide::Bottom, AxisSide::Top};
  for (AxisSide side : sides) {
    StyleAxis(Axis(side), font);
    State(side).grid = side == AxisSide::Left || side == AxisSide::Bottom;
    ApplyTicker(side);
  }
  plot_->xAxis2->setVisible(false);
  plot_->yAxis2->setVisible(false);
  ApplyGridPens();
  QCPAxisRect* rect = plot_->axisRect();
  rect->setBackground(QBrush(QColor(253, 253, 254)));

  title_ = new QCPTextElement(plot_, QString(), QFont(font.family(), 10, QFont::Bold));
  title_->setTextColor(QColor(40, 40, 40));
  title_->setMargins(QMargins(0, 6, 0, 0));

  QCPLegend* legend = plot_->legend;
  legend->setVisible(false);
  legend->setFont(font);
  legend->setTextColor(kText);
  legend->setBorderPen(QPen(QColor(200, 202, 208)));
  legend->setBrush(QBrush(QColor(255, 255, 255, 235)));
  legend->setIconSize(18, 10);
  legend->setRowSpacing(1);
  legend->setSelectableParts(QCPLegend::spNone);
  rect->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
  connect(plot_, &QCustomPlot::legendClick, this, &TChartBase::LegendClicked);

  tipTimer_ = new QTimer(this);
  tipTimer_->setSingleShot(true);
  tipTimer_->setInterval(TipDelayMs);
  connect(tipTimer_, &QTimer::timeout, this, &TChartBase::ShowTip);
}

TChartBase::~TChartBase() {
  // The title element lives outside the layout while hidden.
  if (!titleShown_) delete title_;
}

QCPAxis* TChartBase::Axis(AxisSide side) const {
  switch (side) {
    case AxisSide::Left:
      return plot_->yAxis;
    case AxisSide::Right:
      return plot_->yAxis2;
    case AxisSide::Bottom:
      return plot_->xAxis;
    case AxisSide::Top:
      return plot_->xAxis2;
  }
  return plot_->yAxis;
}

void TChartBase::SetTitle(const QString& title, QColor color) {
  title_->setText(title);
  if (color.isValid()) title_->setTextColor(color);
  const bool show = !title.isEmpty();
  if (show == titleShown_) return;
  if (show) {
    plot_->plotLayout()->insertRow(0);
    plot_->plotLayout()->addElement(0, 0, title_);
  } else {
    plot_->plotLayout()->take(title_);
    plot_->plotLayout()->simplify();
  }
  titleShown_ = show;
}

QString TChartBase::Title() const { return title_->text(); }

void TChartBase::SetAxisVisible(AxisSide side, bool visible) { Axis(side)->setVisible(visible); }
bool TChartBase::AxisVisible(AxisSide side) const { return Axis(side)->visible(); }

void TChartBase::SetAxisTitle(AxisSide side, const QString& title, QColor color) {
  Axis(side)->setLabel(title);
  if (color.isValid()) Axis(side)->setLabelColor(color);
}

QString TChartBase::AxisTitle(AxisSide side) const { return Axis(side)->label(); }

void TChartBase::SetAxisNumberFormat(AxisSide side, const std::string& format) {
  State(side).format = format;
  ApplyTicker(side);
}

std::string TChartBase::AxisNumberFormat(AxisSide side) const { return State(side).format; }

void TChartBase::ApplyTicker(AxisSide side) {
  QCPAxis* axis = Axis(side);
  const std::string& format = State(side).format;
  const bool log = axis->scaleType() == QCPAxis::stLogarithmic;
  if (format.empty()) {
    axis->setNumberFormat(log ? "eb" : "gb");
    // Powers of ten read best as plain 10 with a raised exponent.
    axis->setNumberPrecision(log ? 0 : 6);
    if (log)
      axis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    else
      axis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    return;
  }
  // "ebc" makes the axis typeset "m e x" labels as m×10 with a raised exponent.
  axis->setNumberFormat("ebc");
  if (log) {
    auto ticker = QSharedPointer<TLogFormatTicker>::create(format);
    ticker->setSubTickCount(8);
    axis->setTicker(ticker);
  } else {
    axis->setTicker(QSharedPointer<TFormatTicker>::create(format));
  }
}

void TChartBase::SetAxisGrid(AxisSide side, bool on) {
  State(side).grid = on;
  ApplyGridPens();
}

bool TChartBase::AxisGrid(AxisSide side) const { return State(side).grid; }

void TChartBase::ApplyGridPens() {
  for (AxisSide side : {AxisSide::Left, AxisSide::Right, AxisSide::Bottom, AxisSide::Top})
    Axis(side)->grid()->setVisible(State(side).grid);
}

void TChartBase::SetAxisAutomatic(AxisSide side, bool automatic) {
  State(side).automatic = automatic;
  emit Changed();
}

bool TChartBase::AxisAutomatic(AxisSide side) const { return State(side).automatic; }

void TChartBase::SetAxisRange(AxisSide side, double min, double max) {
  if (min > max) std::swap(min, max);
  State(side).automatic = false;
  ApplyRange(side, min, max);
  emit Changed();
}

double TChartBase::AxisMin(AxisSide side) const { return State(side).lo; }
double TChartBase::AxisMax(AxisSide side) const { return State(side).hi; }

void TChartBase::SetAxisLogarithmic(AxisSide side, bool on) {
  Axis(side)->setScaleType(on ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
  ApplyTicker(side);
  ApplyRange(side, State(side).lo, State(side).hi);
  emit Changed();
}

bool TChartBase::AxisLogarithmic(AxisSide side) const { return Axis(side)->scaleType() == QCPAxis::stLogarithmic; }

void TChartBase::SetAxisExtent(AxisSide side, double startPercent, double endPercent) {
  State(side).startPercent = std::clamp(startPercent, 0.0, 99.0);
  State(side).endPercent = std::clamp(endPercent, State(side).startPercent + 1.0, 100.0);
  ApplyRange(side, State(side).lo, State(side).hi);
}

void TChartBase::ApplyRange(AxisSide side, double lo, double hi) {
  AxisState& st = State(side);
  st.lo = lo;
  st.hi = hi;
  const double fraction = (st.endPercent - st.startPercent) / 100.0;
  QCPAxis* axis = Axis(side);
  if (axis->scaleType() == QCPAxis::stLogarithmic) {
    // A range a logarithm cannot map keeps what is drawn; a range with only its
    // minimum out of reach shows the decades drawn so far under its maximum.
    if (!(hi > 0) || !std::isfinite(hi) || !std::isfinite(lo)) return;
    if (!(lo > 0)) {
      const QCPRange shown = axis->range();
      double decades = shown.lower > 0 ? std::log10(shown.upper / shown.lower) * fraction : 0.0;
      if (!(decades >= 1.0) || !std::isfinite(decades)) decades = 3.0;
      lo = hi / std::pow(10.0, std::min(decades, 30.0));
    }
    if (lo >= hi) lo = hi / 10.0;
    const double a = std::log10(lo), b = std::log10(hi);
    const double total = (b - a) / fraction;
    const double start = a - total * st.startPercent / 100.0;
    axis->setRange(std::pow(10.0, start), std::pow(10.0, start + total));
  } else {
    const double total = (hi - lo) / fraction;
    const double start = lo - total * st.startPercent / 100.0;
    axis->setRange(start, start + total);
  }
  // The top axis mirrors the bottom one unless it is set on its own.
  if (side == AxisSide::Bottom && !plot_->xAxis2->visible()) plot_->xAxis2->setRange(axis->range());
}

double TChartBase::DegenerateHalfSpan(AxisSide, double value) const {
  return value == 0.0 ? 1.0 : std::fabs(value) * 0.05;
}

bool TChartBase::DataRange(AxisSide side, double& lo, double& hi) const {
  bool any = false;
  const bool horizontal = side == AxisSide::Bottom || side == AxisSide::Top;
  const QCPAxis* axis = Axis(side);
  const QCP::SignDomain domain = axis->scaleType() == QCPAxis::stLogarithmic ? QCP::sdPositive : QCP::sdBoth;
  for (const SeriesEntry& entry : series_) {
    QCPAbstractPlottable* p = entry.plottable;
    if (!p->visible()) continue;
    bool found = false;
    QCPRange r;
    if (horizontal) {
      if (p->keyAxis() != axis) continue;
      r = p->getKeyRange(found, domain);
    } else {
      if (p->valueAxis() != axis) continue;
      r = p->getValueRange(found, domain);
    }
    if (!found) continue;
    lo = any ? std::min(lo, r.lower) : r.lower;
    hi = any ? std::max(hi, r.upper) : r.upper;
    any = true;
  }
  return any;
}

void TChartBase::RescaleAutomatic() {
  for (AxisSide side : {AxisSide::Left, AxisSide::Right, AxisSide::Bottom, AxisSide::Top}) {
    if (!State(side).automatic) continue;
    double lo = 0, hi = 0;
    if (!DataRange(side, lo, hi)) continue;
    if (hi == lo) {
      double half = DegenerateHalfSpan(side, lo);
      if (AxisLogarithmic(side)) {
        lo /= 2;
        hi *= 2;
      } else {
        lo -= half;
        hi += half;
      }
    }
    ApplyRange(side, lo, hi);
  }
}

void TChartBase::Replot() {
  RescaleAutomatic();
  plot_->replot();
}

void TChartBase::SetLegendVisible(bool visible) {
  plot_->legend->setVisible(visible);
  if (visible) RebuildLegend();
  PlaceLegend();
}

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

bool TChartBase::LegendVisible() const { return plot_->legend->visible(); }

void TChartBase::SetLegendTitle(const QString& title) {
  legendTitleText_ = title;
  RebuildLegend();
}

void TChartBase::SetLegendCheckBoxes(bool on) {
  legendCheckBoxes_ = on;
  RebuildLegend();
}

void TChartBase::RebuildLegend() {
  QCPLegend* legend = plot_->legend;
  for (int i = legend->elementCount() - 1; i >= 0; --i)
    if (legend->elementAt(i)) legend->removeAt(i);
  legend->simplify();
  if (!legendTitleText_.isEmpty()) {
    QFont font = legend->font();
    font.setBold(true);
    auto* title = new QCPTextElement(plot_, legendTitleText_, font);
    title->setTextColor(kText);
    title->setMargins(QMargins(6, 4, 6, 2));
    title->setTextFlags(Qt::AlignLeft);
    title->setLayer(legend->layer());  // above the legend's background
    legend->addElement(title);
  }
  for (SeriesEntry& entry : series_) {
    // Without check boxes a hidden series has nothing to show in the legend.
    if (!legendCheckBoxes_ && !entry.plottable->visible()) continue;
    if (entry.plottable->name().isEmpty()) continue;
    if (legendCheckBoxes_)
      legend->addItem(new TCheckLegendItem(legend, entry.plottable));
    else
      legend->addItem(new QCPPlottableLegendItem(legend, entry.plottable));
  }
  ArrangeLegend();
}

QRect TChartBase::LegendItemRect(int index) const {
  if (!plot_->legend->visible() || index < 0 || index >= SeriesCount()) return {};
  QCPAbstractLegendItem* item = plot_->legend->itemWithPlottable(series_[index].plottable);
  return item ? item->outerRect() : QRect();
}

QRect TChartBase::LegendRect() const { return plot_->legend->visible() ? plot_->legend->outerRect() : QRect(); }

void TChartBase::LegendClicked(QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*) {
  auto* checkItem = dynamic_cast<TCheckLegendItem*>(item);
  if (!checkItem) return;
  for (int i = 0; i < SeriesCount(); ++i) {
    if (series_[i].plottable != checkItem->plottable()) continue;
    SetSeriesVisible(i, !SeriesVisible(i));
    Replot();
    return;
  }
}

int TChartBase::AddPlottable(QCPAbstractPlottable* plottable, AxisSide side, QColor color, const QString& title) {
  SeriesEntry entry;
  entry.plottable = plottable;
  entry.side = side;
  entry.color = color;
  plottable->setName(title);
  // A series of the user has its roster entry already (AddUserSeries made it first).
  if (roster_.Count() == SeriesCount()) {
    roster_.AddProgram(nullptr);
    entry.programTitle = title;
  }
  if (side == AxisSide::Right) {
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setTickLabels(true);
  }
  series_.push_back(entry);
  ApplySeriesStyle(SeriesCount() - 1);
  RebuildLegend();
  emit Changed();
  emit SeriesListChanged();
  return SeriesCount() - 1;
}

void TChartBase::ApplySeriesStyle(int index) {
  const SeriesEntry& e = series_[index];
  QPen pen(e.color, e.lineWidth);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::RoundJoin);
  if (auto* graph = qobject_cast<QCPGraph*>(e.plottable)) {
    graph->setPen(pen);
    graph->setLineStyle(e.line ? QCPGraph::lsLine : QCPGraph::lsNone);
    if (e.pointStyle == PointStyle::None) {
      graph->setScatterStyle(QCPScatterStyle());
    } else {
      QColor fill = e.color;
      fill.setAlpha(170);
      graph->setScatterStyle(QCPScatterStyle(Shape(e.pointStyle), QPen(e.color, 1.2), QBrush(fill), e.pointSize));
    }
  } else {
    e.plottable->setPen(pen);
  }
}

QString TChartBase::SeriesTitle(int index) const { return series_[index].plottable->name(); }

void TChartBase::SetSeriesTitle(int index, const QString& title) {
  series_[index].plottable->setName(title);
  RebuildLegend();
  emit Changed();
}

void TChartBase::SetSeriesVisible(int index, bool visible) {
  if (series_[index].plottable->visible() == visible) return;
  series_[index].plottable->setVisible(visible);
  if (!legendCheckBoxes_) RebuildLegend();
  emit SeriesVisibilityChanged(index, visible);
  emit Changed();
}

bool TChartBase::SeriesVisible(int index) const { return series_[index].plottable->visible(); }

void TChartBase::SetSeriesColor(int index, QColor color) {
  series_[index].color = color;
  ApplySeriesStyle(index);
  emit Changed();
}

QColor TChartBase::SeriesColor(int index) const { return series_[index].color; }

void TChartBase::SetSeriesLineWidth(int index, double width) {
  series_[index].lineWidth = width;
  ApplySeriesStyle(index);
  emit Changed();
}

double TChartBase::SeriesLineWidth(int index) const { return series_[index].lineWidth; }

void TChartBase::SetSeriesLine(int index, bool on) {
  series_[index].line = on;
  ApplySeriesStyle(index);
  emit Changed();
}

bool TChartBase::SeriesLine(int index) const { return series_[index].line; }

void TChartBase::SetSeriesPointStyle(int index, PointStyle style, double size) {
  series_[index].pointStyle = style;
  series_[index].pointSize = size;
  ApplySeriesStyle(index);
  emit Changed();
}

PointStyle TChartBase::SeriesPointStyle(int index) const { return series_[index].pointStyle; }

void TChartBase::RemoveSeries(int index) {
  if (index < 0 || index >= SeriesCount()) return;
  QCPAbstractPlottable* p = series_[index].plottable;
  series_.erase(series_.begin() + index);
  const std::vector<int> detached = roster_.Remove(index);
  RebuildLegend();  // drop its legend entry before the plottable goes
  plot_->removePlottable(p);
  DetachAfterRemoval(detached);
  emit Changed();
  emit SeriesListChanged();
}

void TChartBase::DetachAfterRemoval(const std::vector<int>& detached) {
  for (int i : detached)
    series_[static_cast<std::size_t>(i)].plottable->setName(
        QString::fromStdString(DetachedTitle(SeriesTitle(i).toStdString())));
  if (!detached.empty()) RebuildLegend();
}

int TChartBase::RemoveSeriesTitled(const QString& title) {
  int removed = 0;
  for (int i = SeriesCount() - 1; i >= 0; --i) {
    if (!SeriesIsProgram(i) || series_[static_cast<std::size_t>(i)].programTitle != title) continue;
    RemoveSeries(i);
    ++removed;
  }
  return removed;
}

namespace {
// Colours of the user's series, picked in turn; none of them is a program series' colour.
const QColor kAddedColours[] = {QColor(0, 150, 70),  QColor(150, 40, 170), QColor(0, 140, 160),
                                QColor(170, 90, 20), QColor(200, 0, 100),  QColor(90, 90, 90)};
}  // namespace

int TChartBase::AddUserPlottable(ChartSeries*, AxisSide, QColor, const QString&) { return -1; }

int TChartBase::AddUserSeries(const SeriesSource& source) {
  if (!CanAddSeries()) return -1;
  const int from = roster_.IndexOf(source.sourceId);
  if (from < 0) return -1;
  const int index = roster_.AddUser(source);
  if (index < 0) return -1;
  int added = 0;
  for (int i = 0; i < SeriesCount(); ++i) added += SeriesIsProgram(i) ? 0 : 1;
  const QColor colour = kAddedColours[added % std::size(kAddedColours)];
  const QString title = QString::fromStdString(AddedSeriesTitle(source, SeriesTitle(from).toStdString()));
  const int shown =
      AddUserPlottable(roster_.Points(index), series_[static_cast<std::size_t>(from)].side, colour, title);
  if (shown != index) {
    roster_.Remove(index);
    return -1;
  }
  // A smoothed line must stand out from the noise it is drawn over.
  if (IsFunction(source.kind)) SetSeriesLineWidth(index, 2.0);
  return index;
}

int TChartBase::CloneSeries(int index) {
  if (!CanAddSeries() || index < 0 || index >= SeriesCount() || !roster_.Points(index)) return -1;
  const int clone = roster_.Clone(index);
  const SeriesEntry original = series_[static_cast<std::size_t>(index)];
  const QString title = QString::fromStdString(CloneTitle(SeriesTitle(index).toStdString()));
  if (AddUserPlottable(roster_.Points(clone), original.side, original.color, title) != clone) {
    roster_.Remove(clone);
    return -1;
  }
  SeriesEntry& entry = series_[static_cast<std::size_t>(clone)];
  entry.lineWidth = original.lineWidth;
  entry.pointStyle = original.pointStyle;
  entry.pointSize = original.pointSize;
  entry.line = original.line;
  ApplySeriesStyle(clone);
  entry.plottable->setVisible(original.plottable->visible());
  RebuildLegend();
  emit Changed();
  return clone;
}

bool TChartBase::DeleteSeries(int index) {
  if (index < 0 || index >= SeriesCount() || !roster_.CanDelete(index)) return false;
  RemoveSeries(index);
  return true;
}

bool TChartBase::MoveSeries(int from, int to) {
  if (from < 0 || from >= SeriesCount() || to < 0 || to >= SeriesCount()) return false;
  if (from == to) return true;
  SeriesEntry entry = series_[static_cast<std::size_t>(from)];
  series_.erase(series_.begin() + from);
  series_.insert(series_.begin() + to, entry);
  roster_.Move(from, to);
  ApplyDrawingOrder();
  RebuildLegend();
  emit Changed();
  emit SeriesListChanged();
  return true;
}

void TChartBase::ApplyDrawingOrder() {
  // Putting each on its layer again appends it, so the last put is drawn on top.
  for (SeriesEntry& entry : series_) entry.plottable->setLayer(entry.plottable->layer());
}

bool TChartBase::SetSeriesSource(int index, const SeriesSource& source) {
  if (!roster_.SetSource(index, source)) return false;
  emit Changed();
  return true;
}

QString TChartBase::ValueText(AxisSide side, double value) const {
  const std::string& format = State(side).format;
  if (format.empty()) return QString::number(value, 'g', 6);
  NumberLabel label = FormatNumberLabel(value, format);
  QString text = QString::fromStdString(label.mantissa);
  if (label.HasExponent()) {
    QString exponent = QString::fromStdString(label.exponent);
    if (exponent.startsWith('+')) exponent.remove(0, 1);
    text += QString::fromUtf8("\u00d710<sup>") + exponent + "</sup>";
  }
  return text;
}

QString TChartBase::KeyText(double key) const { return ValueText(AxisSide::Bottom, key); }

QString TChartBase::TipTextAt(const QPoint& pos) const {
  constexpr double kReach = 8.0;  // pixels
  double best = kReach * kReach;
  QString text;
  for (std::size_t index = 0; index < series_.size(); ++index) {
    auto* graph = qobject_cast<QCPGraph*>(series_[index].plottable);
    if (!graph || !graph->visible() || graph->data()->isEmpty()) continue;
    QCPAxis* keyAxis = graph->keyAxis();
    QCPAxis* valueAxis = graph->valueAxis();
    double k1 = keyAxis->pixelToCoord(pos.x() - kReach), k2 = keyAxis->pixelToCoord(pos.x() + kReach);
    if (k1 > k2) std::swap(k1, k2);
    auto it = graph->data()->findBegin(k1, false);
    auto end = graph->data()->findEnd(k2, false);
    for (; it != end; ++it) {
      if (std::isnan(it->value)) continue;
      const double dx = keyAxis->coordToPixel(it->key) - pos.x();
      const double dy = valueAxis->coordToPixel(it->value) - pos.y();
      const double d = dx * dx + dy * dy;
      if (d > best) continue;
      best = d;
      AxisSide side = valueAxis == plot_->yAxis2 ? AxisSide::Right : AxisSide::Left;
      text = "<b>" + graph->name().toHtmlEscaped() + "</b><br>" + KeyText(it->key) + "<br>" +
             PointValueText(static_cast<int>(index), it->key, it->value, side);
    }
  }
  return text;
}

QString TChartBase::PointValueText(int, double, double value, AxisSide side) const { return ValueText(side, value); }

void TChartBase::ShowTip() {
  QString text = TipTextAt(tipPos_);
  if (text.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(plot_->mapToGlobal(tipPos_), text, plot_);
}

bool TChartBase::eventFilter(QObject* watched, QEvent* event) {
  if (watched == plot_) {
    if (event->type() == QEvent::MouseMove) {
      tipPos_ = static_cast<QMouseEvent*>(event)->pos();
      tipTimer_->start();
    } else if (event->type() == QEvent::Leave) {
      tipTimer_->stop();
    } else if (event->type() == QEvent::ToolTip) {
      return true;  // our own timer decides when a tip shows
    }
  }
  return QWidget::eventFilter(watched, event);
}
