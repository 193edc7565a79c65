#pragma once
// varnex-stability's choice of measures and tau lists, and the CSV rows of a
// measure on any list: the nine on the decade and every-factor lists, and the
// further measures (FurtherMeasures.h) on all three.
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "analysis/FurtherMeasures.h"
#include "analysis/MeasureCatalogue.h"

using AnyMeasure = std::variant<StabilityMeasure, FurtherMeasure>;

// The nine, in catalogue order: what the tool prints unless asked otherwise.
std::vector<AnyMeasure> DefaultMeasures();

// A comma-separated list of short names ("adev,tdev,mtotdev"), "nine" for
// the nine and "all" for every measure, in the order given, each once.
// Returns an empty string, or what is wrong with the list.
std::string ParseMeasureList(std::string_view text, std::vector<AnyMeasure>& measures);

// "octave", "decade" or "all".
bool ParseTauList(std::string_view text, TauList& list);

// The help lines naming every measure with its meaning and unit.
std::string MeasureHelp();

// Rows "name,tau,value[,ci_low,ci_high,edf,alpha,id]" of one measure. The
// nine on the octave list are not written here (their usual source does
// that); a further measure that gives no points, or stops early for a stated
// reason, says why in one line on err.
void WriteMeasureRows(std::ostream& csv, std::ostream& err, const AnyMeasure& measure, std::span<const double> x,
                      double tau0, TauList list, bool intervals);

// The id column of an interval: "acf" or "b1" (how the noise was found),
// "theobr-k" where it comes from ThêoBR's bias factor, and "/mdev-edf" or
// "/ohdev-edf" appended where the degrees of freedom are that measure's own,
// taken as a conservative stand-in.
std::string IntervalId(const FurtherPoint& point, FurtherMeasure measure);
