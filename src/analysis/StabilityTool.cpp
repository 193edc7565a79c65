#include "analysis/StabilityTool.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <system_error>
#include <thread>

#include "analysis/ConfidenceInterval.h"
#include "analysis/CurveFit.h"
#include "analysis/Stability.h"
#include "analysis/StabilityToolMeasures.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: varnex-stability [--tau0 SECONDS] [--efc-scale SCALE] [--ci]\n"
    "                        [--measures LIST] [--taus octave|decade|all]\n"
    "                        [--phase-out FILE [--mjd]] [--folder DIR | FILE...]\n"
    "\n"
    "Computes the nine time-stability measures of the phase data in the FILEs,\n"
    "joined in the order given, and prints them as CSV: measure,tau_s,value.\n"
    "Without FILE, the data files in Varnex's folder (or in DIR) are read:\n"
    "VarnexData.Txt, then the weekly files in week order. A folder a running\n"
    "logger writes is read as it is: nothing is locked or written there, and a\n"
    "last line still being written is left out.\n"
    "A FILE is a Varnex data file (five tab-separated numbers a line, PPS TI in\n"
    "field 2) or a file of one phase value in seconds a line; \"-\" reads standard\n"
    "input. Every value is used as it comes, taken at a spacing of tau0 seconds.\n"
    "Theo1 rows carry 0.75 m tau0, the averaging time Theo1 stands for.\n"
    "For data files the EFC drift fit follows: the rows efc_slope_per_day,\n"
    "efc_relative_drift_per_day (slope times the EFC scale) and efc_qof.\n"
    "\n"
    "  --tau0 SECONDS     sample spacing (default 10)\n"
    "  --efc-scale SCALE  relative frequency change of one EFC unit (default 1.0E-12)\n"
    "  --ci               add the columns ci_low,ci_high,edf,alpha,id: the 68.27 %\n"
    "                     (one sigma) confidence interval of the adev, oadev,\n"
    "                     mdev, hdev, ohdev and totdev points, its equivalent\n"
    "                     degrees of freedom, the noise exponent found at that\n"
    "                     tau (+2 white PM, +1 flicker PM, 0 white FM, -1 flicker\n"
    "                     FM, -2 random-walk FM, -3 and -4 for Hadamard only) and\n"
    "                     how it was found: acf (lag-1 autocorrelation, where at\n"
    "                     least 30 frequency averages remain at that tau), b1\n"
    "                     (B1 ratio, with R(n) between white and flicker PM; R(n)\n"
    "                     is taken at 2 tau0 for tau0, at the longest tau below\n"
    "                     1/3 of the record for taus past it, and flicker PM\n"
    "                     where the record is too short for any) or carried (in\n"
    "                     the top octave of the measure, with fewer than 10\n"
    "                     averages for adev and hdev, 8 for oadev, mdev and\n"
    "                     ohdev, 4 for totdev: the type of the previous tau,\n"
    "                     since there it cannot be measured). The fields are empty\n"
    "                     where there is none: for the other measures; where\n"
    "                     fewer than 2 frequency averages remain at that tau; and\n"
    "                     where the data are exactly a quadratic in time.\n"
    "  --measures LIST    the measures to print, comma-separated short names in\n"
    "                     the order wanted (default: the nine, adev ... mtie);\n"
    "                     \"nine\" names the nine and \"all\" every measure below\n"
    "  --taus LIST        the averaging factors m: octave (1, 2, 4, ...; 10, 20,\n"
    "                     40, ... for theo1 and theobr; the default), decade (1,\n"
    "                     2, 4, 10, 20, 40, 100, ...) or all (every m, every even\n"
    "                     m for theo1 and theobr); mtie keeps its octave stages.\n"
    "                     mtotdev and ttotdev have the total family's bias\n"
    "                     removed for the noise found at each tau in the all list\n"
    "                     only, htotdev in every list\n"
    "  --phase-out FILE   also write the phase values read, in seconds, one a line,\n"
    "                     at full precision with \".\" as decimal point, for other\n"
    "                     stability programs\n"
    "  --mjd              with --phase-out: write \"MJD<TAB>phase\" lines instead\n"
    "                     (data files only)\n"
    "  -h, --help         this text\n"
    "\n"
    "Measures:\n"
    "%MEASURES%"
    "tdev, mtotdev, ttotdev and htotdev stop at 4m <= N, 3m <= N, 3m <= N and\n"
    "3m <= N - 1; htotdev is ohdev at m = 1. theobr is theo1 times the square root\n"
    "of the mean ratio of oadev^2 to theo1^2 at the same tau; theoh is oadev up\n"
    "to m <= (N - 1) / 4 and below the first theobr tau, then theobr from m >= N / 5.\n"
    "Both are left out, with a line saying why, for records of more than 5000\n"
    "values. With --ci the further measures carry intervals too: tdev by mdev's\n"
    "degrees of freedom; mtotdev and ttotdev by b N / m - c for m >= 10; htotdev\n"
    "by (N / m) / (b0 + b1 m / N) for FM noise and m >= 16; theobr by the Theo1\n"
    "formulas at the noise its bias factor points to (id theobr-k). Where no rule\n"
    "is known (htotdev below m = 16 and at phase noise, mtotdev and ttotdev at +2\n"
    "and -2 from m = 10) the degrees of freedom of ohdev or mdev at that tau stand\n"
    "in; the id then ends in /ohdev-edf or /mdev-edf.\n"
    "\n"
    "Gaps: a data file has no marks for missed readings, and none are written: the\n"
    "phase values follow each other as read. Programs that read a plain phase file\n"
    "take its values as equally spaced, as this one does, so a gap is closed up and\n"
    "the phase jump across it is taken as noise. With --mjd the time stamps show\n"
    "every gap; a program that reads them can split the record there or fill the\n"
    "missing samples, while one that ignores them treats the file like a plain one.\n";

// The usage text with the list of measures filled in.
std::string Usage() {
  std::string text(kUsage);
  const std::string mark = "%MEASURES%";
  text.replace(text.find(mark), mark.size(), MeasureHelp());
  return text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool ParseNumber(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '-' || text.front() == '+') return false;
  }
  const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size() && std::isfinite(value);
}

std::string FormatNumber(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

bool ParseOptionValue(const std::string& text, double& value) { return ParseNumber(text, value); }

std::string_view MethodName(NoiseMethod method) {
  switch (method) {
    case NoiseMethod::Acf:
      return "acf";
    case NoiseMethod::B1:
      return "b1";
    case NoiseMethod::Carried:
      return "carried";
    default:
      return {};
  }
}

// "VarnexData.Txt" sorts before "VarnexData2026CW49.Txt", and week tags sort by time.
bool IsDataFileName(const std::string& name) {
  const std::string head = "VarnexData";
  const std::string tail = ".Txt";
  if (name.size() < head.size() + tail.size() || name.rfind(head, 0) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string tag = name.substr(head.size(), name.size() - head.size() - tail.size());
  if (tag.empty()) return true;
  return tag.size() == 8 && tag.substr(4, 2) == "CW" &&
         std::all_of(tag.begin(), tag.end(), [](char c) { return c == 'C' || c == 'W' || (c >= '0' && c <= '9'); });
}

std::vector<std::string> DataFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (IsDataFileName(name) && entry.is_regular_file(error)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  for (std::string& name : names) name = (std::filesystem::path(folder) / name).string();
  return names;
}

// The five interval columns of one point, each empty where there is none.
std::string IntervalFields(const StabilityInterval& ci) {
  std::string fields = ci.Valid()
                           ? "," + FormatNumber(ci.low) + "," + FormatNumber(ci.high) + "," + FormatNumber(ci.edf)
                           : std::string(",,,");
  fields += ",";
  if (ci.NoiseKnown()) fields += std::to_string(ci.alpha);
  fields += ",";
  if (ci.Valid()) fields += MethodName(ci.method);
  return fields;
}

}  // namespace

std::string WritePhaseFile(const std::string& path, const AnalysisInput& input, bool withMjd) {
  namespace fs = std::filesystem;
  if (withMjd && input.mjd.size() != input.phase.size()) {
    return path + ": --mjd needs time stamps, and only data files have them";
  }
  // Written beside the target and renamed into place, so a failure never
  // leaves a partial file under the name asked for.
  const fs::path target(path);
  fs::path temp = target;
  temp += ".part" + std::to_string(std::random_device{}() % 1000000);
  std::error_code ec;
  if (fs::is_directory(target, ec)) return path + ": is a directory";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    if (!file) return path + ": cannot create the file";
    for (std::size_t i = 0; i < input.phase.size(); ++i) {
      if (withMjd) file << FormatNumber(input.mjd[i]) << '\t';
      file << FormatNumber(input.phase[i]) << '\n';
    }
    file.flush();
    if (!file) {
      file.close();
      fs::remove(temp, ec);
      return path + ": cannot write the file";
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    const std::string reason = ec.message();
    fs::remove(temp, ec);
    return path + ": cannot write the file: " + reason;
  }
  return {};
}

namespace {}  // namespace

bool ParseNumberFields(std::string_view line, std::vector<double>& fields) {
  fields.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    if (i == line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    double value = 0.0;
    if (!ParseNumber(line.substr(start, i - start), value)) return false;
    fields.push_back(value);
  }
  return true;
}

namespace {
bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// The last field of a line as Varnex writes it, whole: sign, digit, ".", 15 digits, "E",
// sign, two or more digits. A line still being written may end in a field cut short.
bool EndsInWholeDataField(std::string_view text) {
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  const std::size_t start = text.find_last_of(" \t");
  const std::string_view f = start == std::string_view::npos ? text : text.substr(start + 1);
  if (f.size() < 22 || (f[0] != '+' && f[0] != '-') || !IsDigitChar(f[1]) || f[2] != '.') return false;
  for (std::size_t i = 3; i < 18; ++i)
    if (!IsDigitChar(f[i])) return false;
  if (f[18] != 'E' || (f[19] != '+' && f[19] != '-')) return false;
  for (std::size_t i = 20; i < f.size(); ++i)
    if (!IsDigitChar(f[i])) return false;
  return true;
}
}  // namespace

std::string ReadAnalysisInput(std::istream& in, const std::string& name, AnalysisInput& input) {
  enum class Kind { Unknown, Plain, Data } kind = Kind::Unknown;
  std::string line;
  std::vector<double> fields;
  long lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string_view text(line);
    if (lineNumber == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::size_t first = 0;
    while (first < text.size() && IsSpace(text[first])) ++first;
    if (first == text.size() || text[first] == '#') continue;

    // A data file's last line without its line end may be one a running logger is
    // writing just now: it counts only when whole, and is read with the next run.
    const bool unterminated = in.eof();
    if (unterminated && (kind == Kind::Data || (kind == Kind::Unknown && text.find('\t') != std::string_view::npos)) &&
        (!ParseNumberFields(text, fields) || fields.size() != 5 || !EndsInWholeDataField(text)))
      break;

    const std::string where = name + ":" + std::to_string(lineNumber) + ": ";
    if (!ParseNumberFields(text, fields)) return where + "not a line of numbers: " + line;
    if (fields.size() != 1 && fields.size() != 5) {
      return where + "expected one phase value or five data fields, found " + std::to_string(fields.size());
    }
    const Kind lineKind = fields.size() == 5 ? Kind::Data : Kind::Plain;
    if (kind == Kind::Unknown) kind = lineKind;
    if (lineKind != kind) {
      return where + (kind == Kind::Data ? "a single value in a data file" : "a data line in a file of phase values");
    }
    if (kind == Kind::Data) {
      input.mjd.push_back(fields[0]);
      input.phase.push_back(fields[1]);
      input.efc.push_back(fields[2]);
    } else {
      input.phase.push_back(fields[0]);
    }
  }
  if (in.bad()) return name + ": read error";
  if (kind == Kind::Unknown) return name + ": no numbers in the file";
  return {};
}

std::string ReadAnalysisFile(const std::string& path, AnalysisInput& input) {
  if (path == "-") return ReadAnalysisInput(std::cin, "standard input", input);
  std::ifstream file(path, std::ios::binary);
  if (!file) return path + ": cannot open the file";
  return ReadAnalysisInput(file, path, input);
}

std::string ReadAnalysisFiles(const std::vector<std::string>& paths, AnalysisInput& input) {
  // Files are read side by side into their own parts, then joined in the
  // order given; standard input only ever by this thread.
  const bool readsStdin = std::find(paths.begin(), paths.end(), std::string("-")) != paths.end();
  std::vector<AnalysisInput> parts(paths.size());
  std::vector<std::string> problems(paths.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i = next++; i < paths.size(); i = next++) problems[i] = ReadAnalysisFile(paths[i], parts[i]);
  };
  std::vector<std::thread> helpers;
  const unsigned threads = readsStdin ? 1u : std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  for (unsigned t = 1; t < threads && t < paths.size(); ++t) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // this thread reads the rest
    }
  }
  work();
  for (std::thread& t : helpers) t.join();
  for (const std::string& problem : problems)
    if (!problem.empty()) return problem;
  std::size_t total = input.phase.size();
  std::size_t stamped = input.mjd.size();
  for (const AnalysisInput& part : parts) {
    total += part.phase.size();
    stamped += part.mjd.size();
  }
  input.phase.reserve(total);
  input.mjd.reserve(stamped);
  input.efc.reserve(stamped);
  for (AnalysisInput& part : parts) {
    input.phase.insert(input.phase.end(), part.phase.begin(), part.phase.end());
    input.mjd.insert(input.mjd.end(), part.mjd.begin(), part.mjd.end());
    input.efc.insert(input.efc.end(), part.efc.begin(), part.efc.end());
    part = AnalysisInput();
  }
  return {};
}

int RunStabilityTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::string& dataFolder) {
  double tau0 = kSampleInterval;
  double efcScale = 1.0e-12;
  bool intervals = false;
  std::vector<AnyMeasure> measures = DefaultMeasures();
  TauList tauList = TauList::Octave;
  bool withMjd = false;
  bool phaseOutGiven = false;
  std::string phaseOut;
  std::vector<std::string> paths;
  std::string folder = dataFolder;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      out << Usage();
      return 0;
    }
    if (arg == "--measures" || arg == "--taus" || arg.rfind("--measures=", 0) == 0 || arg.rfind("--taus=", 0) == 0) {
      const bool isMeasures = arg.rfind("--measures", 0) == 0;
      const std::string name = isMeasures ? "--measures" : "--taus";
      std::string value;
      if (arg == name) {
        if (i + 1 >= args.size()) {
          err << "varnex-stability: " << name << " needs a value\n" << Usage();
          return 2;
        }
        value = args[++i];
      } else {
        value = arg.substr(name.size() + 1);
      }
      if (isMeasures) {
        const std::string problem = ParseMeasureList(value, measures);
        if (!problem.empty()) {
          err << "varnex-stability: --measures: " << problem << "\n" << Usage();
          return 2;
        }
      } else if (!ParseTauList(value, tauList)) {
        err << "varnex-stability: --taus: not octave, decade or all: " << value << "\n";
        return 2;
      }
      continue;
    }
    if (arg == "--folder" || arg.rfind("--folder=", 0) == 0) {
      if (arg == "--folder" && i + 1 >= args.size()) {
        err << "varnex-stability: --folder needs a folder\n" << Usage();
        return 2;
      }
      folder = arg == "--folder" ? args[++i] : arg.substr(std::string("--folder=").size());
      if (folder.empty()) {
        err << "varnex-stability: --folder needs a folder\n";
        return 2;
      }
      continue;
    }
    if (arg == "--ci" || arg == "--mjd") {
      (arg == "--ci" ? intervals : withMjd) = true;
      continue;
    }
    if (arg == "--phase-out" || arg.rfind("--phase-out=", 0) == 0) {
      if (arg == "--phase-out") {
        if (i + 1 >= args.size()) {
          err << "varnex-stability: --phase-out needs a file name\n" << Usage();
          return 2;
        }
        phaseOut = args[++i];
      } else {
        phaseOut = arg.substr(std::string("--phase-out=").size());
      }
      if (phaseOut.empty()) {
        err << "varnex-stability: --phase-out needs a file name\n";
        return 2;
      }
      phaseOutGiven = true;
      continue;
    }
    double* target = nullptr;
    std::string option;
    std::string value;
    for (const char* name : {"--tau0", "--efc-scale"}) {
      const std::string n(name);
      if (arg == n || arg.rfind(n + "=", 0) == 0) {
        option = n;
        target = n == "--tau0" ? &tau0 : &efcScale;
        if (arg == n) {
          if (i + 1 >= args.size()) {
            err << "varnex-stability: " << n << " needs a value\n" << Usage();
            return 2;
          }
          value = args[++i];
        } else {
          value = arg.substr(n.size() + 1);
        }
      }
    }
    if (target != nullptr) {
      if (!ParseOptionValue(value, *target) || (target == &tau0 && !(tau0 > 0.0))) {
        err << "varnex-stability: " << option << ": not a valid value: " << value << "\n";
        return 2;
      }
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      err << "varnex-stability: unknown option " << arg << "\n" << Usage();
      return 2;
    }
    paths.push_back(arg);
  }
  if (paths.empty() && !folder.empty()) {
    paths = DataFilesIn(folder);
    if (paths.empty()) {
      err << "varnex-stability: no input file, and no data files in " << folder << "\n";
      return 1;
    }
    err << "varnex-stability: reading " << paths.size() << " data file" << (paths.size() == 1 ? "" : "s") << " in "
        << folder << "\n";
  }
  if (paths.empty()) {
    err << "varnex-stability: no input file\n" << Usage();
    return 2;
  }
  if (withMjd && !phaseOutGiven) {
    err << "varnex-stability: --mjd belongs to --phase-out\n";
    return 2;
  }

  AnalysisInput input;
  const std::string problem = ReadAnalysisFiles(paths, input);
  if (!problem.empty()) {
    err << "varnex-stability: " << problem << "\n";
    return 1;
  }
  if (input.phase.size() < 3) {
    err << "varnex-stability: note: only " << input.phase.size() << " phase values; most measures need more\n";
  }

  if (phaseOutGiven) {
    const std::string problem = WritePhaseFile(phaseOut, input, withMjd);
    if (!problem.empty()) {
      err << "varnex-stability: " << problem << "\n";
      return 1;
    }
  }

  const std::string noInterval = intervals ? ",,,,," : "";
  // The drift fit first, so its columns are gone before the measures need memory.
  std::ostringstream efcRows;
  if (!input.efc.empty()) {
    TCurveFit fit;
    for (std::size_t i = 0; i < input.efc.size(); ++i) fit.AddFitPoint(input.mjd[i], input.efc[i]);
    try {
      double k = 0.0;
      double d = 0.0;
      double qof = 0.0;
      fit.CalcLinFit(k, d, qof);
      efcRows << "efc_slope_per_day,," << FormatNumber(k) << noInterval << '\n';
      efcRows << "efc_relative_drift_per_day,," << FormatNumber(k * efcScale) << noInterval << '\n';
      efcRows << "efc_qof,," << FormatNumber(qof) << noInterval << '\n';
    } catch (const CurveFitError& e) {
      err << "varnex-stability: EFC drift fit: " << e.what() << "\n";
    }
  }
  std::vector<double>().swap(input.mjd);
  std::vector<double>().swap(input.efc);

  ConfidenceIntervals confidence(input.phase, tau0);
  std::ostringstream csv;
  csv << "measure,tau_s,value" << (intervals ? ",ci_low,ci_high,edf,alpha,id" : "") << '\n';
  for (const AnyMeasure& measure : measures) {
    const auto* nine = std::get_if<StabilityMeasure>(&measure);
    if (nine == nullptr || tauList != TauList::Octave) {
      WriteMeasureRows(csv, err, measure, input.phase, tau0, tauList, intervals);
      continue;
    }
    const MeasureInfo& info = MeasureInfoOf(*nine);
    MeasurePoints points(info.measure, input.phase, tau0);
    StabilityPoint p;
    while (points.Next(p)) {
      csv << info.shortName << ',' << FormatNumber(p.tau) << ',' << FormatNumber(p.value);
      if (intervals) csv << IntervalFields(confidence.Of(info.measure, p));
      csv << '\n';
    }
  }
  csv << efcRows.str();
  out << csv.str();
  out.flush();
  if (!out) {
    err << "varnex-stability: cannot write the output\n";
    return 1;
  }
  return 0;
}
