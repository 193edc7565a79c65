#include "analysis/StabilityFurther.h"

#include <charconv>
#include <cmath>

#include "analysis/StabilityView.h"

namespace {

std::size_t IndexOf(FurtherMeasure measure) { return static_cast<std::size_t>(measure); }

// One decimal where it still tells something, whole numbers above a hundred.
std::string EdfText(double edf) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, edf, std::chars_format::fixed, edf < 100.0 ? 1 : 0);
  return std::string(buf, res.ptr);
}

}  // namespace

bool FurtherChoice::On(FurtherMeasure measure) const {
  const std::size_t i = IndexOf(measure);
  return i < on_.size() && on_[i];
}

bool FurtherChoice::Set(FurtherMeasure measure, bool on) {
  const std::size_t i = IndexOf(measure);
  if (i >= on_.size() || on_[i] == on) return false;
  on_[i] = on;
  return true;
}

std::vector<FurtherMeasure> FurtherChoice::SwitchedOn() const {
  std::vector<FurtherMeasure> on;
  for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue)
    if (On(info.measure)) on.push_back(info.measure);
  return on;
}

std::string FurtherValueTip(FurtherMeasure measure, const FurtherPoint& point) {
  std::string tip = StabilityValueTip(point.value, point.interval);
  if (!point.interval.Valid() || !std::isfinite(point.interval.edf) || tip.empty() || tip.back() != ')') return tip;
  std::string edf = ", EDF " + EdfText(point.interval.edf);
  if (point.standInEdf)
    edf +=
        measure == FurtherMeasure::HadamardTotal ? " by the overlapping Hadamard rule" : " by the modified Allan rule";
  tip.insert(tip.size() - 1, edf);
  return tip;
}

std::string FurtherNoteLine(FurtherMeasure measure, const FurtherSeries& series) {
  if (series.note.empty() || series.stopped) return {};
  const std::string title(FurtherMeasureInfoOf(measure).title);
  // The run's notes start in lower case: "left out: ..." reads on from the title.
  if (series.note.rfind("left out", 0) == 0) return title + " " + series.note;
  return title + ": " + series.note;
}
