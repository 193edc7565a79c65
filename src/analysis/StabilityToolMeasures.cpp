#include "analysis/StabilityToolMeasures.h"

#include <algorithm>
#include <charconv>
#include <ostream>

#include "analysis/ConfidenceInterval.h"
#include "analysis/Stability.h"

namespace {

std::string Number(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

std::string_view MethodId(NoiseMethod method) {
  switch (method) {
    case NoiseMethod::Acf:
      return "acf";
    case NoiseMethod::B1:
      return "b1";
    default:
      return {};
  }
}

std::string Fields(const StabilityInterval& ci, std::string_view id) {
  std::string fields = ci.Valid() ? "," + Number(ci.low) + "," + Number(ci.high) + "," + Number(ci.edf) : ",,,";
  fields += ",";
  if (ci.NoiseKnown()) fields += std::to_string(ci.alpha);
  fields += ",";
  if (ci.Valid()) fields += id;
  return fields;
}

struct NineHelp {
  std::string_view name;
  std::string_view meaning;
};
constexpr NineHelp kNineHelp[] = {
    {"adev", "Allan deviation"},
    {"oadev", "overlapping Allan deviation"},
    {"mdev", "modified Allan deviation"},
    {"hdev", "Hadamard deviation"},
    {"ohdev", "overlapping Hadamard deviation"},
    {"totdev", "total deviation"},
    {"theo1", "Theo1 deviation, at 0.75 m tau0"},
    {"tierms", "rms time interval error"},
    {"mtie", "maximum time interval error"},
};

}  // namespace

std::vector<AnyMeasure> DefaultMeasures() {
  std::vector<AnyMeasure> measures;
  for (const MeasureInfo& info : kMeasureCatalogue) measures.emplace_back(info.measure);
  return measures;
}

std::string ParseMeasureList(std::string_view text, std::vector<AnyMeasure>& measures) {
  measures.clear();
  auto addOnce = [&](AnyMeasure m) {
    if (std::find(measures.begin(), measures.end(), m) == measures.end()) measures.push_back(m);
  };
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view name = text.substr(start, comma - start);
    bool known = false;
    if (name == "nine" || name == "all") {
      for (const MeasureInfo& info : kMeasureCatalogue) addOnce(info.measure);
      if (name == "all")
        for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue) addOnce(info.measure);
      known = true;
    }
    for (const MeasureInfo& info : kMeasureCatalogue)
      if (info.shortName == name) addOnce(info.measure), known = true;
    for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue)
      if (info.shortName == name) addOnce(info.measure), known = true;
    if (!known) return name.empty() ? "an empty name in the measure list" : "unknown measure " + std::string(name);
    start = comma + 1;
  }
  return {};
}

bool ParseTauList(std::string_view text, TauList& list) {
  if (text == "octave")
    list = TauList::Octave;
  else if (text == "decade")
    list = TauList::Decade;
  else if (text == "all")
    list = TauList::All;
  else
    return false;
  return true;
}

std::string MeasureHelp() {
  std::string text = "  (unit: s seconds, - a fractional frequency)\n";
  auto line = [&](std::string_view name, std::string_view meaning, bool seconds) {
    std::string row = "  " + std::string(name);
    row.resize(12, ' ');
    row += seconds ? "s  " : "-  ";
    row += meaning;
    text += row + "\n";
  };
  for (const NineHelp& h : kNineHelp) line(h.name, h.meaning, h.name == "tierms" || h.name == "mtie");
  for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue) line(info.shortName, info.meaning, !info.isDeviation);
  return text;
}

std::string IntervalId(const FurtherPoint& point, FurtherMeasure measure) {
  std::string id(MethodId(point.interval.method));
  if (id.empty() && point.interval.NoiseKnown()) id = "theobr-k";
  if (point.standInEdf) id += measure == FurtherMeasure::HadamardTotal ? "/ohdev-edf" : "/mdev-edf";
  return id;
}

void WriteMeasureRows(std::ostream& csv, std::ostream& err, const AnyMeasure& measure, std::span<const double> x,
                      double tau0, TauList list, bool intervals) {
  if (const auto* further = std::get_if<FurtherMeasure>(&measure)) {
    const FurtherMeasureInfo& info = FurtherMeasureInfoOf(*further);
    const FurtherSeries series = ComputeFurtherMeasure(*further, x, tau0, list, intervals);
    for (const FurtherPoint& p : series.points) {
      csv << info.shortName << ',' << Number(p.tau) << ',' << Number(p.value);
      if (intervals) csv << Fields(p.interval, IntervalId(p, *further));
      csv << '\n';
    }
    if (!series.note.empty() && (series.points.empty() || series.note != "too few samples"))
      err << "varnex-stability: " << info.shortName << ": " << series.note << "\n";
    return;
  }
  // One of the nine on a decade or every-factor list; MTIE keeps its stages.
  const StabilityMeasure nine = std::get<StabilityMeasure>(measure);
  const MeasureInfo& info = MeasureInfoOf(nine);
  ConfidenceIntervals confidence(x, tau0);
  auto row = [&](const StabilityPoint& p, std::int64_t m) {
    csv << info.shortName << ',' << Number(p.tau) << ',' << Number(p.value);
    if (intervals) {
      const StabilityInterval ci = m > 0 ? confidence.Of(nine, m, p.value) : StabilityInterval{};
      csv << Fields(ci, MethodId(ci.method));
    }
    csv << '\n';
  };
  if (info.sequence == TauSequence::MtieStages) {
    for (const StabilityPoint& p : MtieSeries(x, tau0)) row(p, static_cast<std::int64_t>(p.tau / tau0 + 0.5));
    return;
  }
  const bool theo = info.sequence == TauSequence::Theo1;
  const auto n = static_cast<std::int64_t>(x.size());
  for (std::int64_t m : AveragingFactors(list, theo ? 10 : 1, n - 1, theo)) {
    const double value = MeasureValue(nine, x, m, tau0);
    if (value == 0.0) break;
    const double tau = tau0 * static_cast<double>(m);
    row({theo ? 0.75 * tau : tau, value}, theo ? 0 : m);
  }
}
