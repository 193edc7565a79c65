#pragma once
// The further measures in the time stability window: which of them the user
// has switched on, the value tip of their points and the line that says why a
// measure has no points.
#include <array>
#include <string>
#include <vector>

#include "analysis/FurtherMeasures.h"
#include "analysis/MeasureCatalogue.h"

// None is on at first, so the window shows the nine alone until asked for more.
class FurtherChoice {
 public:
  bool On(FurtherMeasure measure) const;
  // False where nothing changed (already so, or not a measure of the catalogue).
  bool Set(FurtherMeasure measure, bool on);
  // In catalogue order, whatever order they were switched on in.
  std::vector<FurtherMeasure> SwitchedOn() const;
  bool operator==(const FurtherChoice&) const = default;

 private:
  std::array<bool, kFurtherMeasureCatalogue.size()> on_{};
};

// The value tip of a further measure's point: the nine's tip, with the degrees
// of freedom inside the interval's parentheses and, where they come from a
// related measure's rule, which one, as in
// "2.10 x 10 E-10  (68 %: 1.90 … 2.40 x 10 E-10, noise: white PM, EDF 12.5 by the modified Allan rule)".
std::string FurtherValueTip(FurtherMeasure measure, const FurtherPoint& point);

// The line shown for a measure whose run left a note: why it has no points, or
// fewer than its list. Empty where there is nothing to say.
std::string FurtherNoteLine(FurtherMeasure measure, const FurtherSeries& series);
