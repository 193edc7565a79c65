#pragma once
// The series of one chart as its editor sees them: which the program feeds and
// which the user added, where an added series' points come from, and what may
// be done to each. Index order is drawing and legend order; ids stay with a
// series through moves.
//
// The program's series can be restyled and hidden, never deleted or given
// another source: the program keeps feeding them. Added series follow their
// source live (functions) or keep a copy.
#include <memory>
#include <string>
#include <vector>

#include "charting/ChartSeries.h"
#include "charting/SeriesFunction.h"

class SeriesRoster {
 public:
  explicit SeriesRoster(FitScale scale = FitScale::Linear) : scale_(scale) {}

  int Count() const { return static_cast<int>(entries_.size()); }
  int Id(int index) const { return entries_[static_cast<std::size_t>(index)].id; }
  // -1 when no series has that id.
  int IndexOf(int id) const;
  const SeriesSource& Source(int index) const { return entries_[static_cast<std::size_t>(index)].source; }
  bool IsProgram(int index) const { return Source(index).kind == SeriesSourceKind::Program; }
  // The points shown; null for a program series whose points live elsewhere.
  ChartSeries* Points(int index) const { return entries_[static_cast<std::size_t>(index)].points; }

  // A series of the program, appended; returns its index.
  int AddProgram(ChartSeries* points);
  // Gives a program series points kept here (charts that keep no models).
  ChartSeries& OwnPoints(int index);
  // Names the points of a program series that live elsewhere.
  void SetPoints(int index, ChartSeries* points) { At(index).points = points; }
  // How least-squares lines made from now on are fitted.
  void SetFitScale(FitScale scale) { scale_ = scale; }

  // A series of the user, appended, with its points taken or computed now;
  // -1 (and nothing added) when the source is refused (see SourceProblem).
  int AddUser(const SeriesSource& source);
  // An added series like this one: the same source for an added series, a copy
  // of the points as they stand for a series of the program. Returns its index.
  int Clone(int index);
  bool CanDelete(int index) const { return !IsProgram(index); }
  // Takes a series out (the program's too, when the program removes it). Function
  // series that followed it keep their points as plain copies; returns their
  // indices after the removal, so their owner can say so in their names.
  std::vector<int> Remove(int index);
  // Moves a series to another place in the order; false when out of range.
  bool Move(int from, int to);

  // Why a series may not take that source (empty when it may): only added series
  // take one; the source must exist, have points to read, be another series and
  // not follow this one, directly or through others; a moving average takes
  // between one point and as many as the source has.
  std::string SourceProblem(int index, const SeriesSource& source) const;
  bool SetSource(int index, const SeriesSource& source);
  // The series an added series may read from.
  std::vector<int> SourceCandidates(int index) const;

  // Brings every function series in step with its source, sources first.
  void Update();

 private:
  struct Entry {
    int id = 0;
    SeriesSource source;
    ChartSeries* points = nullptr;
    std::unique_ptr<ChartSeries> own;
    std::unique_ptr<SeriesFollower> follower;
  };
  Entry& At(int index) { return entries_[static_cast<std::size_t>(index)]; }
  const Entry& At(int index) const { return entries_[static_cast<std::size_t>(index)]; }
  bool Follows(int index, int id) const;
  void Apply(Entry& entry);
  void UpdateOne(int index, std::vector<char>& state);

  FitScale scale_;
  std::vector<Entry> entries_;
  int nextId_ = 1;
};

// Titles the editor gives: a new series after its source, a clone after its
// original, and a function series whose source was deleted keeps its name with a note.
std::string AddedSeriesTitle(const SeriesSource& source, const std::string& sourceTitle);
std::string CloneTitle(const std::string& title);
std::string DetachedTitle(const std::string& title);
