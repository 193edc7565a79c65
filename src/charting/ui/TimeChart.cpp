#include "charting/ui/TimeChart.h"

#include <qcustomplot.h>

#include <QLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "charting/AxisFormat.h"
#include "charting/ui/ChartTickers.h"
#include "platform/Clock.h"

namespace {

// The graph's data container with one extra: dropping the first n points in
// O(1) by widening the unused block at the front (the container squeezes it
// away now and then on its own).
class TPlotData : public QCPGraphDataContainer {
 public:
  void RemoveFront(int n) {
    n = std::min(n, size());
    if (n <= 0) return;
    mPreallocSize += n;
    if (mAutoSqueeze) performAutoSqueeze();
  }
};

// A line graph that also marks points with no drawable neighbour: between two
// gaps (or right after start) a single point would otherwise not show at all.
class TGapAwareGraph : public QCPGraph {
 public:
  using QCPGraph::QCPGraph;

 protected:
  void draw(QCPPainter* painter) override {
    QCPGraph::draw(painter);
    if (lineStyle() == lsNone || mDataContainer->isEmpty()) return;
    QCPGraphDataContainer::const_iterator begin, end;
    getVisibleDataBounds(begin, end, QCPDataRange(0, mDataContainer->size()));
    const auto first = mDataContainer->constBegin();
    const auto last = mDataContainer->constEnd();
    painter->setPen(Qt::NoPen);
    painter->setBrush(pen().color());
    const double radius = std::max(2.0, pen().widthF() + 1.0);
    for (auto it = begin; it != end; ++it) {
      if (std::isnan(it->value)) continue;
      const bool before = it != first && !std::isnan((it - 1)->value);
      const bool after = it + 1 != last && !std::isnan((it + 1)->value);
      if (before || after) continue;
      painter->drawEllipse(coordsToPixels(it->key, it->value), radius, radius);
    }
  }
};

double UtcNowOfSystem() {
  SystemClock clock;
  return clock.UtcNow();
}

QCPGraphData Plotted(const ChartPoint& p) {
  return QCPGraphData(p.x, p.isNull ? std::numeric_limits<double>::quiet_NaN() : p.y);
}

}  // namespace

TTimeChart::TTimeChart(QWidget* parent) : TChartBase(parent) {
  ApplyTicker(AxisSide::Bottom);
  SetAxisExtent(AxisSide::Bottom, 2, 98);
  SetAxisExtent(AxisSide::Left, 3, 97);
  SetAxisExtent(AxisSide::Right, 3, 97);
  SetAxisGrid(AxisSide::Right, false);
}

TTimeChart::~TTimeChart() = default;

void TTimeChart::ApplyTicker(AxisSide side) {
  if (side != AxisSide::Bottom) {
    TChartBase::ApplyTicker(side);
    return;
  }
  auto ticker = QSharedPointer<TDateTimeTicker>::create(dateTimeFormat_, Axis(AxisSide::Bottom));
  ticker->setTickCount(6);
  Axis(AxisSide::Bottom)->setTicker(ticker);
}

void TTimeChart::SetEmptySpan(std::function<double()> now, std::function<double()> spanDays) {
  now_ = std::move(now);
  spanDays_ = std::move(spanDays);
}

void TTimeChart::SetDateTimeFormat(const std::string& format) {
  dateTimeFormat_ = format;
  ApplyTicker(AxisSide::Bottom);
}

// A single moment on the time axis gets a few minutes either side; a share of
// the day count would open the axis to months and hide the point.
double TTimeChart::DegenerateHalfSpan(AxisSide side, double value) const {
  if (side == AxisSide::Bottom || side == AxisSide::Top) return 5.0 / 1440.0;
  return TChartBase::DegenerateHalfSpan(side, value);
}

QString TTimeChart::KeyText(double key) const {
  return QString::fromStdString(FormatDateTimeLabel(key, "yyyy-mm-dd hh:nn:ss"));
}

int TTimeChart::AddSeries(ChartSeries* model, AxisSide side, QColor color, const QString& title) {
  QCPAxis* valueAxis = side == AxisSide::Right ? Plot()->yAxis2 : Plot()->yAxis;
  QCPGraph* graph = new TGapAwareGraph(Plot()->xAxis, valueAxis);
  graph->setData(QSharedPointer<QCPGraphDataContainer>(new TPlotData));
  graph->setAdaptiveSampling(true);
  // Smoothed, a one-pixel line between two pixel rows is drawn as two rows at half
  // strength: lines flat for hours would show faded. Aliased lines keep their colour.
  graph->setAntialiased(false);
  Mirror mirror;
  mirror.model = model;
  mirrors_.push_back(mirror);
  int index = AddPlottable(graph, side, color, title);
  if (SeriesIsProgram(index)) MutableRoster().SetPoints(index, model);
  if (model) Rebuild(index);
  return index;
}

int TTimeChart::AddUserPlottable(ChartSeries* points, AxisSide side, QColor color, const QString& title) {
  return AddSeries(points, side, color, title);
}

bool TTimeChart::MoveSeries(int from, int to) {
  if (from < 0 || from >= SeriesCount() || to < 0 || to >= SeriesCount()) return false;
  const Mirror mirror = mirrors_[static_cast<std::size_t>(from)];
  mirrors_.erase(mirrors_.begin() + from);
  mirrors_.insert(mirrors_.begin() + to, mirror);
  return TChartBase::MoveSeries(from, to);
}

int TTimeChart::AddFitLine(const QString& title, AxisSide side, QColor color, double x0, double y0, double x1,
                           double y1) {
  int index = AddSeries(nullptr, side, color, title);
  auto* graph = static_cast<QCPGraph*>(Plottable(index));
  graph->addData(x0, y0);
  graph->addData(x1, y1);
  SetSeriesLineWidth(index, 1.5);
  return index;
}

ChartSeries* TTimeChart::Model(int index) const { return mirrors_[index].model; }

void TTimeChart::RemoveSeries(int index) {
  if (index < 0 || index >= SeriesCount()) return;
  mirrors_.erase(mirrors_.begin() + index);
  TChartBase::RemoveSeries(index);
}

void TTimeChart::Sync() {
  UpdateAddedSeries();
  for (int i = 0; i < SeriesCount(); ++i) SyncOne(i);
}

void TTimeChart::Replot() {
  Sync();
  // The date-time ticker spaces its labels by the plot's width, which a chart not
  // shown yet only has once its layout has run.
  if (layout()) layout()->activate();
  double lo = 0.0, hi = 0.0;
  if (AxisAutomatic(AxisSide::Bottom) && !DataRange(AxisSide::Bottom, lo, hi)) {
    // Nothing to scale to: show where the points will come, not day zero of the count.
    const double now = now_ ? now_() : UtcNowOfSystem();
    ApplyRange(AxisSide::Bottom, now - (spanDays_ ? spanDays_() : 1.0), now);
  }
  TChartBase::Replot();
}

void TTimeChart::Rebuild(int index) {
  Mirror& m = mirrors_[index];
  auto* graph = static_cast<QCPGraph*>(Plottable(index));
  QVector<QCPGraphData> points;
  points.reserve(static_cast<int>(m.model->Count()));
  for (const ChartPoint& p : m.model->Points()) points.push_back(Plotted(p));
  // The model keeps ascending X, so the container need not sort.
  graph->data()->set(points, true);
  m.appended = m.model->Appended();
  m.deletedFront = m.model->DeletedFront();
  m.generation = m.model->Generation();
  m.built = true;
}

void TTimeChart::SyncOne(int index) {
  Mirror& m = mirrors_[index];
  if (!m.model || m.model->Updating()) return;
  if (!m.built || m.generation != m.model->Generation()) {
    Rebuild(index);
    return;
  }
  const std::uint64_t deleted = m.model->DeletedFront() - m.deletedFront;
  const std::uint64_t appended = m.model->Appended() - m.appended;
  if (deleted == 0 && appended == 0) return;
  auto* data = static_cast<TPlotData*>(static_cast<QCPGraph*>(Plottable(index))->data().data());
  const std::uint64_t copyCount = static_cast<std::uint64_t>(data->size());
  // The counters must describe the copy; if not, start over.
  if (copyCount + appended < deleted || copyCount + appended - deleted != m.model->Count()) {
    Rebuild(index);
    return;
  }
  const std::uint64_t fromCopy = std::min(deleted, copyCount);
  data->RemoveFront(static_cast<int>(fromCopy));
  const std::size_t kept = static_cast<std::size_t>(copyCount - fromCopy);
  const std::size_t count = m.model->Count();
  for (std::size_t i = kept; i < count; ++i) {
    const ChartPoint& p = m.model->Point(i);
    if (!data->isEmpty() && p.x < (data->constEnd() - 1)->key) {
      // Out of order: the container would insert in the middle; rebuild instead.
      Rebuild(index);
      return;
    }
    data->add(Plotted(p));
  }
  m.appended = m.model->Appended();
  m.deletedFront = m.model->DeletedFront();
}

int TTimeChart::PlottedCount(int index) const { return static_cast<QCPGraph*>(Plottable(index))->data()->size(); }

double TTimeChart::PlottedX(int index, int i) const {
  return (static_cast<QCPGraph*>(Plottable(index))->data()->constBegin() + i)->key;
}

double TTimeChart::PlottedY(int index, int i) const {
  return (static_cast<QCPGraph*>(Plottable(index))->data()->constBegin() + i)->value;
}
