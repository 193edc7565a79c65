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
