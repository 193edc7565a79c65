#include "analysis/ui/StatChart.h"

#include <qcustomplot.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <utility>

#include "analysis/StabilityFurther.h"
#include "charting/AxisFormat.h"

namespace {

const QColor kText(50, 50, 55);
const QColor kFrame(200, 202, 208);
// The left axis labels: the pattern's mantissa and literal, the exponent raised.
constexpr const char* kLeftFormat = "0 \"x 10\" E+0";

QString Superscript(const std::string& exponent) {
  static const char16_t digits[] = {u'\u2070', u'\u00b9', u'\u00b2', u'\u00b3', u'\u2074',
                                    u'\u2075', u'\u2076', u'\u2077', u'\u2078', u'\u2079'};
  QString out;
  for (char c : exponent) {
    if (c >= '0' && c <= '9') out += QChar(digits[c - '0']);
    if (c == '-') out += QChar(u'\u207b');
  }
  return out;
}

QString GeneralNumber(double value) { return QString::number(value, 'g', 15); }

// Labels of a logarithmic axis, left out for ticks beyond the stored range (the
// extent around it shows a little more than the range itself).
class TStatTicker : public QCPAxisTickerLog {
 public:
  TStatTicker(std::function<bool(double)> inside, bool scientific)
      : inside_(std::move(inside)), scientific_(scientific), pattern_(ParseNumberPattern(kLeftFormat)) {}

 protected:
  QString getTickLabel(double tick, const QLocale&, QChar, int) override {
    if (inside_ && !inside_(tick)) return QString();
    if (!scientific_) return GeneralNumber(tick);
    const NumberLabel label = FormatNumberLabel(tick, pattern_);
    QString text = QString::fromStdString(label.mantissa);
    if (label.HasExponent()) text += " x 10" + Superscript(label.exponent);
    return text;
  }

 private:
  std::function<bool(double)> inside_;
  bool scientific_;
  NumberPattern pattern_;
};

QPainterPath SideTriangle(bool pointsLeft) {
  // Drawn at size 6 and scaled, like the library's own triangles turned on their side.
  const double w = 3.0, tip = 0.977 * w, base = 0.755 * w;
  QPainterPath path;
  const double s = pointsLeft ? 1.0 : -1.0;
  path.moveTo(-s * tip, 0);
  path.lineTo(s * base, -w);
  path.lineTo(s * base, w);
  path.closeSubpath();
  return path;
}

PointStyle BaseStyle(PointShape shape) {
  switch (shape) {
    case PointShape::Square:
      return PointStyle::Square;
    case PointShape::Circle:
      return PointStyle::Circle;
    case PointShape::Star:
      return PointStyle::Star;
    case PointShape::Cross:
      return PointStyle::Cross;
    case PointShape::Diamond:
      return PointStyle::Diamond;
    case PointShape::TriangleUp:
    case PointShape::TriangleDown:
    case PointShape::TriangleLeft:
    case PointShape::TriangleRight:
      break;
  }
  return PointStyle::Triangle;
}

// Open marks let a series lying on another (MTOT on MDEV) show both.
QCPScatterStyle MeasureScatter(PointShape shape, QColor color, double size, bool open) {
  QColor fill = color;
  fill.setAlpha(150);
  const QPen pen(color.darker(115), open ? 1.6 : 1.2);
  if (open) fill = Qt::transparent;
  switch (shape) {
    case PointShape::TriangleDown:
      return QCPScatterStyle(QCPScatterStyle::ssTriangleInverted, pen, QBrush(fill), size);
    case PointShape::TriangleLeft:
      return QCPScatterStyle(SideTriangle(true), pen, QBrush(fill), size);
    case PointShape::TriangleRight:
      return QCPScatterStyle(SideTriangle(false), pen, QBrush(fill), size);
    case PointShape::Square:
      return QCPScatterStyle(QCPScatterStyle::ssSquare, pen, QBrush(fill), size - 1);
    case PointShape::Circle:
      return QCPScatterStyle(QCPScatterStyle::ssCircle, pen, QBrush(fill), size);
    case PointShape::TriangleUp:
      return QCPScatterStyle(QCPScatterStyle::ssTriangle, pen, QBrush(fill), size);
    case PointShape::Star:
      return QCPScatterStyle(QCPScatterStyle::ssStar, QPen(color, 1.3), Qt::NoBrush, size + 2);
    case PointShape::Cross:
      return QCPScatterStyle(QCPScatterStyle::ssCross, QPen(color, 1.6), Qt::NoBrush, size);
    case PointShape::Diamond:
      return QCPScatterStyle(QCPScatterStyle::ssDiamond, pen, QBrush(fill), size + 1);
  }
  return QCPScatterStyle();
}

}  // namespace

// ChartTool2: drawn over the chart, so it never takes room from the plot.
class TExtraLegendLayer : public QCPLayerable {
 public:
  TExtraLegendLayer(TStatChart* chart) : QCPLayerable(chart->Plot(), "legend"), chart_(chart) {}

 protected:
  void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
    applyAntialiasingHint(painter, true, QCP::aeOther);
  }

  void draw(QCPPainter* painter) override {
    const ExtraLegend& extra = chart_->extra_;
    if (!extra.Active || extra.Series < 0 || extra.Series >= chart_->SeriesCount()) return;
    const TStatChart::MeasureSeries* measure = chart_->Measure(extra.Series);
    const std::vector<StabilityPoint> points = chart_->SeriesPoints(extra.Series);
    const bool deviation = !measure || measure->look.isDeviation;
    QFont font = chart_->Plot()->legend->font();
    font.setPointSizeF(font.pointSizeF() - 0.5);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics metrics(font);
    const QFontMetrics boldMetrics(bold);
    const int row = metrics.height();
    const QString tauTitle = QString::fromUtf8("\u03c4 / s");
    const QString title = chart_->SeriesTitle(extra.Series);
    int tauWidth = metrics.horizontalAdvance(tauTitle);
    int valueWidth = 0;
    std::vector<std::pair<QString, QString>> rows;
    for (const StabilityPoint& p : points) {
      rows.emplace_back(GeneralNumber(p.tau), QString::fromStdString(FormatMeasureValue(p.value)));
      tauWidth = std::max(tauWidth, metrics.horizontalAdvance(rows.back().first));
      valueWidth = std::max(valueWidth, metrics.horizontalAdvance(rows.back().second));
    }
    const int pad = 6, gap = 14;
    const int width = std::max(boldMetrics.horizontalAdvance(title), tauWidth + gap + valueWidth) + 2 * pad;
    const int height = pad + boldMetrics.height() + 3 + row * static_cast<int>(rows.size() + 1) + pad - 2;
    const QRect box(extra.Left, extra.Top, width, height);
    painter->setPen(QPen(kFrame));
    painter->setBrush(QColor(255, 255, 255, 240));
    painter->drawRect(box);
    int y = box.top() + pad;
    painter->setFont(bold);
    painter->setPen(chart_->SeriesColor(extra.Series).darker(130));
    painter->drawText(QRect(box.left() + pad, y, width - 2 * pad, boldMetrics.height()), Qt::AlignLeft, title);
    y += boldMetrics.height() + 3;
    painter->setFont(font);
    painter->setPen(QColor(110, 112, 118));
    const int tauRight = box.left() + pad + tauWidth;
    painter->drawText(QRect(box.left() + pad, y, tauWidth, row), Qt::AlignRight | Qt::AlignVCenter, tauTitle);
    painter->drawText(QRect(tauRight + gap, y, valueWidth + pad, row), Qt::AlignLeft | Qt::AlignVCenter,
                      deviation ? QString::fromUtf8("\u03c3(\u03c4)") : QString("s"));
    y += row;
    painter->setPen(kText);
    for (const auto& [tau, value] : rows) {
      painter->drawText(QRect(box.left() + pad, y, tauWidth, row), Qt::AlignRight | Qt::AlignVCenter, tau);
      painter->drawText(QRect(tauRight + gap, y, valueWidth + pad, row), Qt::AlignLeft | Qt::AlignVCenter, value);
      y += row;
    }
  }

 private:
  TStatChart* chart_;
};

TStatChart::TStatChart(QWidget* parent) : TLogLogChart(parent) {
  QCustomPlot* plot = Plot();
  for (AxisSide side : {AxisSide::Left, AxisSide::Bottom, AxisSide::Top, AxisSide::Right}) SetAxisExtent(side, 1, 99);
  // Sane ranges until the first run sets them.
  SetAxisRange(AxisSide::Left, 9.9e-14, 1.01e-8);
  SetAxisRange(AxisSide::Bottom, 9.9, 1.01e5);
  plot->setInteractions(QCP::Interactions());

  ApplyTicker(AxisSide::Left);
  ApplyTicker(AxisSide::Bottom);
  QFont labels = plot->yAxis->tickLabelFont();
  labels.setPointSizeF(9);
  plot->yAxis->setTickLabelFont(labels);
  plot->xAxis->setTickLabelFont(labels);

  // σ(τ) stands left of the labels, upright; τ under the bottom axis.
  QFont greek = font();
  greek.setPointSizeF(24);
  greek.setBold(false);
  auto* leftTitle = new QCPTextElement(plot, QString::fromUtf8("\u03c3(\u03c4)"), greek);
  leftTitle->setTextColor(QColor(40, 40, 48));
  leftTitle->setMargins(QMargins(8, 0, 0, 0));
  // A text element is never taller than its text; between two fillers it stands
  // at mid height without limiting the plot's height.
  auto* titleColumn = new QCPLayoutGrid;
  titleColumn->addElement(0, 0, new QCPLayoutElement(plot));
  titleColumn->addElement(1, 0, leftTitle);
  titleColumn->addElement(2, 0, new QCPLayoutElement(plot));
  titleColumn->setRowSpacing(0);
  QCPLayoutGrid* layout = plot->plotLayout();
  layout->insertColumn(0);
  layout->addElement(layout->rowCount() - 1, 0, titleColumn);
  layout->setColumnStretchFactor(0, 0.001);
  layout->setColumnSpacing(0);
  plot->yAxis->setLabel(QString());
  plot->xAxis->setLabel(QString::fromUtf8("\u03c4"));
  plot->xAxis->setLabelFont(greek);
  plot->xAxis->setLabelColor(QColor(40, 40, 48));
  plot->xAxis->setLabelPadding(0);

  // Nine long titles beside a 649 pixel window: a slightly smaller legend leaves the plot more room.
  QFont legendFont = plot->legend->font();
  legendFont.setPointSizeF(8);
  plot->legend->setFont(legendFont);
  plot->legend->setIconSize(16, 9);
  SetLegendTitle("Available measures");
  extraLayer_ = new TExtraLegendLayer(this);
  // The general format's long labels (100000) need room: a narrow plot labels
  // fewer decades. Its width is known once it has been laid out.
  connect(plot, &QCustomPlot::afterReplot, this, [this] {
    QCustomPlot* p = Plot();
    const int ticks = std::clamp(p->axisRect()->width() / 80, 2, 10);
    if (p->xAxis->ticker()->tickCount() == ticks) return;
    p->xAxis->ticker()->setTickCount(ticks);
    p->replot(QCustomPlot::rpQueuedReplot);
  });
}

void TStatChart::ApplyTicker(AxisSide side) {
  if ((side != AxisSide::Left && side != AxisSide::Bottom) || !AxisLogarithmic(side)) {
    TChartBase::ApplyTicker(side);
    return;
  }
  const bool left = side == AxisSide::Left;
  std::function<bool(double)> inside;
  if (left) {
    inside = [this](double tick) {
      const double lo = AxisMin(AxisSide::Left), hi = AxisMax(AxisSide::Left);
      return tick >= lo * (1 - 1e-9) && tick <= hi * (1 + 1e-9);
    };
  }
  auto ticker = QSharedPointer<TStatTicker>::create(inside, left);
  ticker->setSubTickCount(8);
  ticker->setLogBase(10);
  QCPAxis* axis = Axis(side);
  axis->setTicker(ticker);
  axis->setNumberFormat("g");
  axis->setSubTickLengthOut(4);
  axis->setSubTickLengthIn(0);
}

int TStatChart::AddMeasureSeries(const MeasureInfo& info) {
  return AddLookedSeries(info.title, info.shape, info.colour, info.isDeviation, false,
                         HasConfidenceInterval(info.measure));
}

int TStatChart::AddFurtherSeries(const FurtherMeasureInfo& info) {
  return AddLookedSeries(info.title, info.shape, info.colour, info.isDeviation, true, true);
}

int TStatChart::AddLookedSeries(std::string_view title, PointShape shape, MeasureColour colour, bool isDeviation,
                                bool further, bool withBars) {
  MeasureLook look;
  look.fromCatalogue = true;
  look.shape = shape;
  look.style = BaseStyle(shape);
  look.isDeviation = isDeviation;
  look.further = further;
  const QColor color(colour.red, colour.green, colour.blue);
  const int index =
      AddSeries(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())), color, look.style, true);
  measures_[Plottable(index)] = MeasureSeries{look, {}, {}, {}, nullptr};
  if (withBars) {
    auto* bars = new QCPErrorBars(Plot()->xAxis, Plot()->yAxis);
    bars->removeFromLegend();
    bars->setDataPlottable(Plottable(index));
    bars->setErrorType(QCPErrorBars::etValueError);
    bars->setSelectable(QCP::stNone);
    measures_[Plottable(index)].bars = bars;
  }
  SetSeriesPointStyle(index, look.style, 7.0);
  ApplyErrorBarsStyle(index);
  return index;
}

void TStatChart::ApplyErrorBarsStyle(int index) {
  const MeasureSeries* measure = Measure(index);
  if (!measure || !measure->bars) return;
  const SeriesEntry& entry = series_[static_cast<std::size_t>(index)];
  QCPErrorBars* bars = measure->bars;
  QColor color = entry.color;
  color.setAlpha(200);
  bars->setPen(QPen(color, 1.0));
  bars->setWhiskerWidth(6);
  // The bar stops at the symbol's edge instead of crossing it.
  bars->setSymbolGap(entry.pointSize + 1.0);
  bars->setVisible(errorBarsShown_ && entry.plottable->visible());
}

void TStatChart::SetErrorBarsShown(bool shown) {
  errorBarsShown_ = shown;
  for (int i = 0; i < SeriesCount(); ++i) ApplyErrorBarsStyle(i);
}

void TStatChart::SetSeriesVisible(int index, bool visible) {
  TLogLogChart::SetSeriesVisible(index, visible);
  ApplyErrorBarsStyle(index);
}

const TStatChart::MeasureSeries* TStatChart::Measure(int series) const {
  if (series < 0 || series >= SeriesCount()) return nullptr;
  const auto it = measures_.find(Plottable(series));
  return it == measures_.end() ? nullptr : &it->second;
}

TStatChart::MeasureSeries* TStatChart::Measure(int series) {
  return const_cast<MeasureSeries*>(std::as_const(*this).Measure(series));
}

void TStatChart::ApplyDrawingOrder() {
  TLogLogChart::ApplyDrawingOrder();
  // Each measure's bars right after its points.
  for (int i = 0; i < SeriesCount(); ++i) {
    if (QCPErrorBars* bars = ErrorBars(i)) bars->setLayer(bars->layer());
  }
}

void TStatChart::ApplySeriesStyle(int index) {
  TChartBase::ApplySeriesStyle(index);
  const MeasureSeries* measure = Measure(index);
  if (!measure) return;
  ApplyErrorBarsStyle(index);
  const MeasureLook& look = measure->look;
  const SeriesEntry& entry = series_[static_cast<std::size_t>(index)];
  auto* graph = qobject_cast<QCPGraph*>(entry.plottable);
  if (look.further && graph) {
    // Dashed, so the further measures read apart from the nine at a glance.
    QPen pen = graph->pen();
    pen.setStyle(Qt::DashLine);
    graph->setPen(pen);
  }
  // The catalogue's shape, until the user picks another symbol in the editor.
  if (!look.fromCatalogue || entry.pointStyle != look.style) return;
  if (graph) graph->setScatterStyle(MeasureScatter(look.shape, entry.color, entry.pointSize, look.further));
}

void TStatChart::AddMeasurePoint(int series, const StabilityPoint& point, const StabilityInterval& interval) {
  MeasureSeries* found = Measure(series);
  if (!found) throw std::out_of_range("not a measure series");
  KeepPoint(*found, series, point, interval);
}

void TStatChart::AddFurtherPoint(int series, FurtherMeasure measure, const FurtherPoint& point) {
  MeasureSeries* found = Measure(series);
  if (!found) throw std::out_of_range("not a measure series");
  found->tips.resize(found->values.size());
  found->tips.push_back(FurtherValueTip(measure, point));
  KeepPoint(*found, series, {point.tau, point.value}, point.interval);
}

void TStatChart::KeepPoint(MeasureSeries& measure, int series, const StabilityPoint& point,
                           const StabilityInterval& interval) {
  measure.values.push_back(point);
  measure.intervals.push_back(interval);
  const int before = PointCount(series);
  AddPoint(series, point.tau, point.value);
  // The error bars pair with the graph's points by index: one for each point drawn.
  if (measure.bars && PointCount(series) > before) {
    const ErrorBar bar = ErrorBarOf(point.value, interval);
    measure.bars->addData(bar.minus, bar.plus);
  }
}

const std::vector<StabilityPoint>& TStatChart::Values(int series) const {
  static const std::vector<StabilityPoint> none;
  const MeasureSeries* measure = Measure(series);
  return measure ? measure->values : none;
}

std::vector<StabilityPoint> TStatChart::SeriesPoints(int series) const {
  if (Measure(series)) return Values(series);
  std::vector<StabilityPoint> points;
  if (series < 0 || series >= SeriesCount()) return points;
  if (const ChartSeries* shown = Roster().Points(series))
    for (const ChartPoint& p : shown->Points())
      if (!p.isNull) points.push_back({p.x, p.y});
  return points;
}

const std::vector<StabilityInterval>& TStatChart::Intervals(int series) const {
  static const std::vector<StabilityInterval> none;
  const MeasureSeries* measure = Measure(series);
  return measure ? measure->intervals : none;
}

QString TStatChart::ValueTip(int series, std::size_t point) const {
  const std::vector<StabilityPoint>& values = Values(series);
  if (point >= values.size()) return {};
  return PointValueText(series, values[point].tau, values[point].value, AxisSide::Left);
}

QCPErrorBars* TStatChart::ErrorBars(int series) const {
  const MeasureSeries* measure = Measure(series);
  return measure ? measure->bars : nullptr;
}

void TStatChart::RemoveSeries(int index) {
  if (index < 0 || index >= SeriesCount()) return;
  if (const auto it = measures_.find(Plottable(index)); it != measures_.end()) {
    if (QCPErrorBars* bars = it->second.bars) Plot()->removePlottable(bars);
    measures_.erase(it);
  }
  if (extra_.Series == index) extra_ = ExtraLegend{};
  TLogLogChart::RemoveSeries(index);
}

void TStatChart::Replot() {
  if (suspended_) return;
  // Left and bottom are fixed: a run or a legend click moves them.
  TLogLogChart::Replot();
}

void TStatChart::SetExtraLegend(const ExtraLegend& extra) { extra_ = extra; }

LegendBox TStatChart::LegendPlace() const {
  const QRect r = LegendRect();
  return LegendBox{r.left(), r.top(), r.width(), r.height()};
}

std::vector<bool> TStatChart::SwitchedOn() const {
  std::vector<bool> on;
  for (int i = 0; i < SeriesCount(); ++i) on.push_back(SeriesVisible(i));
  return on;
}

QString TStatChart::ValueText(AxisSide side, double value) const {
  if (side == AxisSide::Left) return QString::fromStdString(FormatMeasureValue(value));
  return GeneralNumber(value);
}

QString TStatChart::PointValueText(int series, double key, double value, AxisSide side) const {
  const MeasureSeries* measure = Measure(series);
  if (!measure || side != AxisSide::Left) return TLogLogChart::PointValueText(series, key, value, side);
  for (std::size_t i = 0; i < measure->values.size(); ++i) {
    if (measure->values[i].tau == key && measure->values[i].value == value) {
      // The interval on a line of its own, kept whole: the tip wraps long lines.
      const QString tip = QString::fromStdString(
          i < measure->tips.size() ? measure->tips[i] : StabilityValueTip(value, measure->intervals[i]));
      const qsizetype gap = tip.indexOf("  (");
      if (gap < 0) return tip.toHtmlEscaped();
      return tip.left(gap).toHtmlEscaped() + "<br>" + tip.mid(gap + 2).toHtmlEscaped().replace(' ', "&nbsp;");
    }
  }
  return ValueText(side, value).toHtmlEscaped();
}

QString TStatChart::KeyText(double key) const { return QString::fromUtf8("\u03c4 = ") + GeneralNumber(key) + " s"; }
