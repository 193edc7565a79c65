// The chart's part in the series the user adds in the chart editor: making,
// cloning, deleting and reordering them, and their sources.
#include <qcustomplot.h>

#include "charting/ui/ChartBase.h"

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
