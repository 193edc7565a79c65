#pragma once
// The nine stability measures as data: the order in which they are computed and
// charted, their series titles, point shapes, colours and the value format of
// their points. The time stability window builds its series from this table.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

enum class StabilityMeasure : int {
  Allan,
  OverlappingAllan,
  ModifiedAllan,
  Hadamard,
  OverlappingHadamard,
  Total,
  Theo1,
  TieRms,
  Mtie,
};

// How a measure's averaging times are chosen.
enum class TauSequence : int {
  Octaves,     // m = 1, 2, 4, ... until the value is 0
  Theo1,       // m = 10, 20, 40, ... plotted at 0.75 tau, until the value is 0
  MtieStages,  // m = 1, 2, 4, ... while m <= M - 1, every value kept
};

enum class PointShape : int {
  Square,
  Circle,
  TriangleUp,
  TriangleDown,
  TriangleLeft,
  TriangleRight,
  Star,
  Cross,
  Diamond,
};

struct MeasureColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

struct MeasureInfo {
  StabilityMeasure measure;
  std::string_view title;      // series title in the chart and its legend
  std::string_view shortName;  // column value of the offline tool's output
  TauSequence sequence;
  PointShape shape;
  MeasureColour colour;
  bool isDeviation;  // dimensionless; otherwise the value is in seconds
};

inline constexpr std::array<MeasureInfo, 9> kMeasureCatalogue = {{
    {StabilityMeasure::Allan, "Allan Deviation", "adev", TauSequence::Octaves, PointShape::Square, {0, 0, 255}, true},
    {StabilityMeasure::OverlappingAllan,
     "Overlapping Allan Deviation",
     "oadev",
     TauSequence::Octaves,
     PointShape::Circle,
     {255, 0, 0},
     true},
    {StabilityMeasure::ModifiedAllan,
     "Modified Allan Deviation",
     "mdev",
     TauSequence::Octaves,
     PointShape::TriangleUp,
     {0, 128, 0},
     true},
    {StabilityMeasure::Hadamard,
     "Hadamard Deviation",
     "hdev",
     TauSequence::Octaves,
     PointShape::TriangleDown,
     {0, 255, 0},
     true},
    {StabilityMeasure::OverlappingHadamard,
     "Overlapping Hadamard Deviation",
     "ohdev",
     TauSequence::Octaves,
     PointShape::TriangleLeft,
     {0, 255, 255},
     true},
    {StabilityMeasure::Total,
     "Total Deviation",
     "totdev",
     TauSequence::Octaves,
     PointShape::TriangleRight,
     {0, 255, 0},
     true},
    {StabilityMeasure::Theo1,
     "Theoretical Deviation 1",
     "theo1",
     TauSequence::Theo1,
     PointShape::Star,
     {128, 128, 128},
     true},
    {StabilityMeasure::TieRms,
     "TIE rms (Time Interval Error rms)",
     "tierms",
     TauSequence::Octaves,
     PointShape::Cross,
     {0, 0, 0},
     false},
    {StabilityMeasure::Mtie,
     "MTIE (Maximum Time Interval Error)",
     "mtie",
     TauSequence::MtieStages,
     PointShape::Diamond,
     {128, 128, 128},
     false},
}};

const MeasureInfo& MeasureInfoOf(StabilityMeasure measure);

// The value format of every measure series, as a floating-point format pattern
// whose double quotes belong to it.
inline constexpr std::string_view kMeasureValueFormat = "0.00 \"x 10\" E+0";

// A value in that format, with "." as decimal point: 1.234e-11 gives
// "1.23 x 10 E-11". Non-finite values give "-".
std::string FormatMeasureValue(double value);

// Measures beyond the nine, computed on request: the time deviation, the
// modified, time and Hadamard total deviations, Theo1 with its bias removed
// and the hybrid of the overlapping Allan deviation with it.
enum class FurtherMeasure : int {
  Time,
  ModifiedTotal,
  TimeTotal,
  HadamardTotal,
  TheoBr,
  TheoH,
};

struct FurtherMeasureInfo {
  FurtherMeasure measure;
  std::string_view title;      // series title in the chart and its legend
  std::string_view shortName;  // column value of the offline tool's output
  std::string_view meaning;    // one line for help texts
  PointShape shape;
  MeasureColour colour;
  bool isDeviation;  // dimensionless; otherwise the value is in seconds
};

inline constexpr std::array<FurtherMeasureInfo, 6> kFurtherMeasureCatalogue = {{
    {FurtherMeasure::Time,
     "Time Deviation",
     "tdev",
     "time deviation: tau / sqrt 3 times mdev",
     PointShape::Square,
     {200, 0, 200},
     false},
    {FurtherMeasure::ModifiedTotal,
     "Modified Total Deviation",
     "mtotdev",
     "modified total deviation: mdev over mirrored segments",
     PointShape::Circle,
     {230, 120, 0},
     true},
    {FurtherMeasure::TimeTotal,
     "Time Total Deviation",
     "ttotdev",
     "time total deviation: tau / sqrt 3 times mtotdev",
     PointShape::TriangleUp,
     {120, 60, 0},
     false},
    {FurtherMeasure::HadamardTotal,
     "Hadamard Total Deviation",
     "htotdev",
     "Hadamard total deviation: ohdev over mirrored segments",
     PointShape::TriangleDown,
     {0, 130, 130},
     true},
    {FurtherMeasure::TheoBr,
     "Bias-Removed Theo1 Deviation",
     "theobr",
     "Theo1 with its bias removed by the data, at 0.75 m tau0",
     PointShape::Star,
     {90, 90, 200},
     true},
    {FurtherMeasure::TheoH,
     "Hybrid Theo Deviation",
     "theoh",
     "hybrid: oadev at short tau, theobr at long tau",
     PointShape::Diamond,
     {160, 40, 40},
     true},
}};

const FurtherMeasureInfo& FurtherMeasureInfoOf(FurtherMeasure measure);
