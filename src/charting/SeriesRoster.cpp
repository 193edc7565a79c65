#include "charting/SeriesRoster.h"

#include <algorithm>

int SeriesRoster::IndexOf(int id) const {
  for (int i = 0; i < Count(); ++i)
    if (Id(i) == id) return i;
  return -1;
}

int SeriesRoster::AddProgram(ChartSeries* points) {
  Entry entry;
  entry.id = nextId_++;
  entry.points = points;
  entries_.push_back(std::move(entry));
  return Count() - 1;
}

ChartSeries& SeriesRoster::OwnPoints(int index) {
  Entry& entry = At(index);
  if (!entry.own) entry.own = std::make_unique<ChartSeries>();
  entry.points = entry.own.get();
  return *entry.own;
}

int SeriesRoster::AddUser(const SeriesSource& source) {
  Entry entry;
  entry.id = nextId_++;
  entry.own = std::make_unique<ChartSeries>();
  entry.points = entry.own.get();
  entry.source.kind = SeriesSourceKind::Copy;  // an added series until refused
  entries_.push_back(std::move(entry));
  const int index = Count() - 1;
  if (!SourceProblem(index, source).empty()) {
    entries_.pop_back();
    --nextId_;
    return -1;
  }
  At(index).source = source;
  Apply(At(index));
  return index;
}

int SeriesRoster::Clone(int index) {
  const Entry& original = At(index);
  SeriesSource source = original.source;
  if (original.source.kind == SeriesSourceKind::Program) source = {SeriesSourceKind::Copy, original.id, 0};
  Entry entry;
  entry.id = nextId_++;
  entry.own = std::make_unique<ChartSeries>();
  entry.points = entry.own.get();
  entry.source = source;
  // A copy clones the points it holds, whether or not its source is still there.
  if (source.kind == SeriesSourceKind::Copy && original.points) CopyPoints(*original.points, *entry.own);
  entries_.push_back(std::move(entry));
  if (IsFunction(source.kind)) Apply(entries_.back());
  return Count() - 1;
}

std::vector<int> SeriesRoster::Remove(int index) {
  if (index < 0 || index >= Count()) return {};
  const int id = Id(index);
  entries_.erase(entries_.begin() + index);
  std::vector<int> detached;
  for (int i = 0; i < Count(); ++i) {
    SeriesSource& source = At(i).source;
    if (source.sourceId != id) continue;
    source.sourceId = -1;
    if (!IsFunction(source.kind)) continue;
    source.kind = SeriesSourceKind::Copy;
    At(i).follower.reset();
    detached.push_back(i);
  }
  return detached;
}

bool SeriesRoster::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count()) return false;
  if (from == to) return true;
  Entry entry = std::move(At(from));
  entries_.erase(entries_.begin() + from);
  entries_.insert(entries_.begin() + to, std::move(entry));
  return true;
}

bool SeriesRoster::Follows(int index, int id) const {
  // Walks the chain of sources up from index; the chain is short and acyclic.
  for (int hops = 0; index >= 0 && hops <= Count(); ++hops) {
    const SeriesSource& source = Source(index);
    if (source.kind == SeriesSourceKind::Program || source.sourceId < 0) return false;
    if (source.sourceId == id) return true;
    index = IndexOf(source.sourceId);
  }
  return false;
}

std::string SeriesRoster::SourceProblem(int index, const SeriesSource& source) const {
  if (index < 0 || index >= Count()) return "There is no such series.";
  if (IsProgram(index)) return "The program feeds this series.";
  if (source.kind == SeriesSourceKind::Program) return "Only the program feeds its own series.";
  const int from = IndexOf(source.sourceId);
  if (from < 0) return "The source series is gone.";
  if (from == index) return "A series cannot follow itself.";
  if (!Points(from)) return "The source series has no points to read.";
  if (Follows(from, Id(index))) return "The source series follows this one.";
  if (source.kind == SeriesSourceKind::MovingAverage) return WindowProblem(source.window, Points(from)->Count());
  return {};
}

bool SeriesRoster::SetSource(int index, const SeriesSource& source) {
  if (!SourceProblem(index, source).empty()) return false;
  At(index).source = source;
  Apply(At(index));
  return true;
}

std::vector<int> SeriesRoster::SourceCandidates(int index) const {
  std::vector<int> out;
  if (index < 0 || index >= Count() || IsProgram(index)) return out;
  for (int i = 0; i < Count(); ++i)
    if (i != index && Points(i) && !Follows(i, Id(index))) out.push_back(i);
  return out;
}

void SeriesRoster::Apply(Entry& entry) {
  entry.follower.reset();
  const ChartSeries* from = nullptr;
  if (const int i = IndexOf(entry.source.sourceId); i >= 0) from = Points(i);
  if (entry.source.kind == SeriesSourceKind::Copy) {
    if (from) CopyPoints(*from, *entry.own);
    return;
  }
  if (!IsFunction(entry.source.kind)) return;
  entry.follower = std::make_unique<SeriesFollower>(entry.source.kind, entry.source.window, scale_);
  if (from) entry.follower->Follow(*from, *entry.own);
}

void SeriesRoster::Update() {
  std::vector<char> state(static_cast<std::size_t>(Count()), 0);
  for (int i = 0; i < Count(); ++i) UpdateOne(i, state);
}

void SeriesRoster::UpdateOne(int index, std::vector<char>& state) {
  char& mark = state[static_cast<std::size_t>(index)];
  if (mark != 0) return;  // done, or on the way (which the source rules forbid)
  mark = 1;
  Entry& entry = At(index);
  if (entry.follower) {
    const int from = IndexOf(entry.source.sourceId);
    if (from >= 0 && Points(from)) {
      UpdateOne(from, state);
      entry.follower->Follow(*Points(from), *entry.own);
    }
  }
  mark = 2;
}

std::string AddedSeriesTitle(const SeriesSource& source, const std::string& sourceTitle) {
  switch (source.kind) {
    case SeriesSourceKind::Copy:
      return "Copy of " + sourceTitle;
    case SeriesSourceKind::MovingAverage:
      return sourceTitle + ", " + std::to_string(source.window) + "-point average";
    case SeriesSourceKind::LeastSquares:
      return sourceTitle + ", least-squares line";
    case SeriesSourceKind::Program:
      break;
  }
  return sourceTitle;
}

std::string CloneTitle(const std::string& title) { return title + " (clone)"; }

std::string DetachedTitle(const std::string& title) { return title + " (copy, source deleted)"; }
