#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/ConfidenceInterval.h"
#include "analysis/FurtherMeasures.h"
#include "analysis/Stability.h"
#include "analysis/StabilityTool.h"

namespace {

namespace fs = std::filesystem;

class StabilityTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("varnex-stability-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  struct Result {
    int status = -1;
    std::string out;
    std::string err;
  };
  Result Run(const std::vector<std::string>& args, const std::string& dataFolder = {}) {
    std::ostringstream out, err;
    Result r;
    r.status = RunStabilityTool(args, out, err, dataFolder);
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  fs::path dir_;
};

// A number the way Varnex writes it into its data files: sign, one digit, 15 decimals, exponent.
std::string DataField(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%+.15E", v);
  return buf;
}

std::vector<double> Phase(std::size_t n) {
  std::mt19937_64 rng(n);
  std::normal_distribution<double> noise(0.0, 2e-9);
  std::vector<double> x(n);
  double walk = 0;
  for (double& v : x) v = (walk += noise(rng)) + noise(rng);
  return x;
}

// measure -> list of (tau, value), plus the rows with an empty tau.
struct Csv {
  std::map<std::string, std::vector<StabilityPoint>> series;
  std::map<std::string, double> scalars;
};

Csv ParseCsv(const std::string& text) {
  Csv csv;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "measure,tau_s,value");
  while (std::getline(in, line)) {
    const auto c1 = line.find(',');
    const auto c2 = line.find(',', c1 + 1);
    const std::string name = line.substr(0, c1);
    const std::string tau = line.substr(c1 + 1, c2 - c1 - 1);
    const std::string valueText = line.substr(c2 + 1);
    double value = 0;
    std::from_chars(valueText.data(), valueText.data() + valueText.size(), value);
    if (tau.empty()) {
      csv.scalars[name] = value;
    } else {
      double t = 0;
      std::from_chars(tau.data(), tau.data() + tau.size(), t);
      csv.series[name].push_back({t, value});
    }
  }
  return csv;
}

}  // namespace

TEST_F(StabilityTool, DataFilesGiveEveryMeasureAndTheDriftFit) {
  auto x = Phase(300);
  for (double& v : x) v = std::strtod(DataField(v).c_str(), nullptr);  // as stored: 16 digits
  std::string first, second;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double mjd = 56505.5 + i * 10.0 / 86400.0;
    const double efc = 32768.25 + 2.5 * (mjd - 56505.5);
    const std::string line = DataField(mjd) + "\t" + DataField(x[i]) + "\t" + DataField(efc) + "\t" + DataField(2e-6) +
                             "\t" + DataField(8) + "\r\n";
    (i < 120 ? first : second) += line;
  }
  // Two weekly files, read in the order given.
  const Result r =
      Run({"--efc-scale", "2e-12", Write("VarnexData2013CW31.Txt", first), Write("VarnexData2013CW32.Txt", second)});
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv csv = ParseCsv(r.out);
  ASSERT_EQ(csv.series.size(), kMeasureCatalogue.size());
  for (const MeasureInfo& info : kMeasureCatalogue) {
    const auto expected = AllMeasurePoints(info.measure, x);
    const auto& actual = csv.series.count(std::string(info.shortName)) ? csv.series.at(std::string(info.shortName))
                                                                       : std::vector<StabilityPoint>{};
    ASSERT_EQ(actual.size(), expected.size()) << info.title;
    for (std::size_t i = 0; i < actual.size(); ++i) {
      EXPECT_EQ(actual[i].tau, expected[i].tau);
      EXPECT_EQ(actual[i].value, expected[i].value) << "values are printed to full precision";
    }
  }
  EXPECT_NEAR(csv.scalars.at("efc_slope_per_day"), 2.5, 1e-8);
  EXPECT_NEAR(csv.scalars.at("efc_relative_drift_per_day"), 5e-12, 1e-19);
  EXPECT_NEAR(csv.scalars.at("efc_qof"), 1.0, 1e-12);
}

TEST_F(StabilityTool, PlainPhaseFileAndSampleInterval) {
  auto x = Phase(64);
  std::string text = "# phase in seconds\n\n";
  for (double& v : x) {
    text += DataField(v) + "\n";
    v = std::strtod(DataField(v).c_str(), nullptr);
  }
  const Result r = Run({"--tau0=1", Write("phase.txt", text)});
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv csv = ParseCsv(r.out);
  EXPECT_TRUE(csv.scalars.empty());  // no EFC in a plain file
  const auto& adev = csv.series.at("adev");
  ASSERT_EQ(adev.size(), AllMeasurePoints(StabilityMeasure::Allan, x, 1.0).size());
  EXPECT_EQ(adev.front().tau, 1.0);
  EXPECT_EQ(adev.front().value, AllanDeviation(x, 1, 1.0));
  EXPECT_EQ(csv.series.at("theo1").front().tau, 7.5);
  EXPECT_EQ(csv.series.at("mtie").size(), 6u);  // m = 1 ... 32 <= 63
}

TEST_F(StabilityTool, BadInputIsReportedNotCrashedOn) {
  const std::string good = Write("good.txt", "1e-9\n2e-9\n4e-9\n");
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {"missing file", {(dir_ / "nowhere.txt").string()}, 1, "cannot open"},
      {"empty file", {Write("empty.txt", "")}, 1, "no numbers"},
      {"only comments", {Write("comments.txt", "# nothing\n\n   \n")}, 1, "no numbers"},
      {"text line", {Write("text.txt", "1e-9\n2e-9\nhello\n")}, 1, "text.txt:3: not a line of numbers"},
      {"decimal comma", {Write("comma.txt", "1,5e-9\n")}, 1, "comma.txt:1:"},
      {"three fields", {Write("three.txt", "1 2 3\n")}, 1, "found 3"},
      {"mixed kinds", {Write("mixed.txt", "1 2 3 4 5\n7e-9\n")}, 1, "mixed.txt:2:"},
      {"overflowing number", {Write("huge.txt", "1e999\n")}, 1, "huge.txt:1:"},
      {"not a number", {Write("nan.txt", "nan\n")}, 1, "nan.txt:1:"},
      {"bad file after good", {good, (dir_ / "gone.txt").string()}, 1, "gone.txt"},
      {"no file", {}, 2, "no input file"},
      {"unknown option", {"--frobnicate", good}, 2, "unknown option"},
      {"zero tau0", {"--tau0", "0", good}, 2, "--tau0"},
      {"tau0 missing value", {"--tau0"}, 2, "needs a value"},
      {"bad scale", {"--efc-scale", "x", good}, 2, "--efc-scale"},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << c.name;
  }
}

TEST_F(StabilityTool, TooFewValuesStillAnswer) {
  // One data line: MTIE has nothing, the fit has too few points; both are said, not fatal.
  const Result r = Run({Write("one.txt", "+5.6e+04\t-1.5e-09\t+3.2e+04\t+2e-06\t+8e+00\n")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "measure,tau_s,value\n");
  EXPECT_NE(r.err.find("CalcLinFit: not enough data points"), std::string::npos) << r.err;
}

TEST_F(StabilityTool, ManyFilesJoinInTheOrderGivenAndTheFirstFaultIsNamed) {
  // Read side by side, joined as given: 40 files of 1 ... 40 lines, file f
  // holding the values 1000 f + line.
  std::vector<std::string> paths;
  std::vector<double> want;
  for (int f = 1; f <= 40; ++f) {
    std::string text;
    for (int line = 0; line < f; ++line) {
      const double value = 1000.0 * f + line;
      want.push_back(value);
      text += f % 2 ? std::to_string(value) + "\n" : "60000.5\t" + std::to_string(value) + "\t3.0E+04\t0\t8\n";
    }
    paths.push_back(Write("part" + std::to_string(f) + ".txt", text));
  }
  AnalysisInput input;
  input.phase = {-1.0};
  ASSERT_EQ(ReadAnalysisFiles(paths, input), "");
  want.insert(want.begin(), -1.0);
  EXPECT_EQ(input.phase, want);
  EXPECT_EQ(input.mjd.size(), 20u * 21u);  // the even files' lines
  EXPECT_EQ(input.efc.size(), input.mjd.size());

  // Faults in files 7 and 30: the message names file 7, whichever thread met it first.
  const std::string bad7 = Write("bad7.txt", "1\nx\n");
  const std::string bad30 = Write("bad30.txt", "nonsense\n");
  paths[6] = bad7;
  paths[29] = bad30;
  AnalysisInput other;
  const std::string problem = ReadAnalysisFiles(paths, other);
  EXPECT_EQ(problem.rfind(bad7 + ":2:", 0), 0u) << problem;
}

TEST(ParseNumberFields, AcceptsDataFileNumbersOnly) {
  const struct {
    const char* line;
    bool ok;
    std::vector<double> fields;
  } cases[] = {
      {"+5.650550000000000E+04\t-1.500000000000000E-09", true, {56505.5, -1.5e-9}},
      {"  7  \t 8\r", true, {7, 8}},
      {".5 +.25 -0", true, {0.5, 0.25, -0.0}},
      {"", true, {}},
      {"1,5", false, {}},
      {"+-1", false, {}},
      {"++1", false, {}},
      {"+", false, {}},
      {"1e5x", false, {}},
      {"inf", false, {}},
      {"0x10", false, {}},
  };
  for (const auto& c : cases) {
    std::vector<double> fields{99};
    EXPECT_EQ(ParseNumberFields(c.line, fields), c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(fields, c.fields) << c.line;
    }
  }
}

TEST_F(StabilityTool, IntervalColumnsOnlyWithCi) {
  auto x = Phase(3000);
  std::string text;
  for (std::size_t i = 0; i < x.size(); ++i) {
    text += DataField(56505.5 + i * 10.0 / 86400.0) + "\t" + DataField(x[i]) + "\t" + DataField(32768.0 + i) +
            "\t+2.0E-06\t+8.0E+00\n";
    x[i] = std::strtod(DataField(x[i]).c_str(), nullptr);
  }
  const std::string file = Write("VarnexData2013CW31.Txt", text);
  const Result plain = Run({file});
  const Result ci = Run({"--ci", file});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(ci.status, 0) << ci.err;

  std::istringstream plainLines(plain.out), ciLines(ci.out);
  std::string p, c;
  std::getline(ciLines, c);
  EXPECT_EQ(c, "measure,tau_s,value,ci_low,ci_high,edf,alpha,id");
  std::getline(plainLines, p);
  int withInterval = 0, withoutInterval = 0, byB1 = 0, byCarrying = 0;
  while (std::getline(plainLines, p)) {
    ASSERT_TRUE(std::getline(ciLines, c));
    // The first three columns are the output without --ci, byte for byte.
    ASSERT_EQ(c.substr(0, p.size()), p);
    const std::string extra = c.substr(p.size());
    const std::string name = p.substr(0, p.find(','));
    std::vector<std::string> f;
    std::stringstream fields(extra.substr(1));
    for (std::string part; std::getline(fields, part, ',');) f.push_back(part);
    while (f.size() < 5) f.push_back("");
    ASSERT_EQ(std::count(extra.begin(), extra.end(), ','), 5) << c;
    StabilityMeasure measure = StabilityMeasure::Mtie;
    for (const MeasureInfo& info : kMeasureCatalogue)
      if (info.shortName == name) measure = info.measure;
    if (name.rfind("efc_", 0) == 0 || !HasConfidenceInterval(measure)) {
      EXPECT_EQ(extra, ",,,,,") << c;
      continue;
    }
    const double tau = std::strtod(p.substr(p.find(',') + 1).c_str(), nullptr);
    const double value = std::strtod(p.substr(p.rfind(',') + 1).c_str(), nullptr);
    const StabilityInterval expected = IntervalOf(measure, x, std::llround(tau / 10.0), value);
    if (expected.Valid()) {
      ++withInterval;
      EXPECT_EQ(std::strtod(f[0].c_str(), nullptr), expected.low) << c;
      EXPECT_EQ(std::strtod(f[1].c_str(), nullptr), expected.high) << c;
      EXPECT_EQ(std::strtod(f[2].c_str(), nullptr), expected.edf) << c;
      EXPECT_EQ(f[3], std::to_string(expected.alpha)) << c;
      // The last octaves leave too few averages for the autocorrelation, and
      // the upper octave of each measure too few for any new identification.
      const std::int64_t averages = AveragesAt(3000, std::llround(tau / 10.0));
      const bool carried = averages < NoiseRuleOf(measure).minAverages;
      const bool short_ = averages < kMinNoiseSamples;
      EXPECT_EQ(f[4], carried ? "carried" : short_ ? "b1" : "acf") << c;
      byB1 += short_ && !carried;
      byCarrying += carried;
    } else {
      ++withoutInterval;
      EXPECT_EQ(f[0] + f[1] + f[2] + f[4], "") << c;
      // Only where fewer than two frequency averages remain (totdev's last octave).
      EXPECT_EQ(expected.gap, IntervalGap::TooFewSamples) << c;
      EXPECT_LT(2999 / std::llround(tau / 10.0), kMinAverages) << c;
    }
  }
  EXPECT_FALSE(std::getline(ciLines, c));
  EXPECT_GT(withInterval, 50);
  EXPECT_GT(byB1, 10);
  EXPECT_GE(byCarrying, 6);
}

TEST_F(StabilityTool, PhaseOutWritesWhatWasReadOrNothing) {
  const auto x = Phase(50);
  std::string data, plain;
  for (std::size_t i = 0; i < x.size(); ++i) {
    data += DataField(56505.5 + i * 10.0 / 86400.0) + "\t" + DataField(x[i]) + "\t+3.2E+04\t+2.0E-06\t+8.0E+00\r\n";
    plain += DataField(x[i]) + "\n";
  }
  const std::string dataFile = Write("VarnexData2013CW31.Txt", data);
  const std::string plainFile = Write("phase.txt", plain);
  auto readLines = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  };

  for (bool mjd : {false, true}) {
    const fs::path out = dir_ / (mjd ? "with-mjd.txt" : "phase-out.txt");
    std::vector<std::string> args = {"--phase-out", out.string(), dataFile};
    if (mjd) args.insert(args.begin(), "--mjd");
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("measure,tau_s,value\n", 0), 0u);  // the analysis still runs
    const auto lines = readLines(out);
    ASSERT_EQ(lines.size(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      std::string line = lines[i];
      if (mjd) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        EXPECT_EQ(std::strtod(line.substr(0, tab).c_str(), nullptr),
                  std::strtod(DataField(56505.5 + i * 10.0 / 86400.0).c_str(), nullptr));
        line = line.substr(tab + 1);
      }
      // Full precision: the very double that was read.
      EXPECT_EQ(std::strtod(line.c_str(), nullptr), std::strtod(DataField(x[i]).c_str(), nullptr)) << line;
      EXPECT_EQ(line.find_first_of(", \r"), std::string::npos) << line;
    }
  }

  const fs::path existing = dir_ / "keep.txt";
  std::ofstream(existing) << "old\n";
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;
    fs::path target;
  } cases[] = {
      {"missing folder",
       {"--phase-out", (dir_ / "no" / "such" / "x.txt").string(), dataFile},
       1,
       "cannot create",
       dir_ / "no" / "such" / "x.txt"},
      {"a folder", {"--phase-out", dir_.string(), dataFile}, 1, "is a directory", {}},
      {"mjd from plain phase", {"--phase-out", existing.string(), "--mjd", plainFile}, 1, "only data files", {}},
      {"mjd alone", {"--mjd", dataFile}, 2, "--phase-out", {}},
      {"no name", {dataFile, "--phase-out"}, 2, "needs a file name", {}},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << c.name;
    if (!c.target.empty()) {
      EXPECT_FALSE(fs::exists(c.target)) << c.name;
    }
  }
  EXPECT_EQ(readLines(existing), std::vector<std::string>{"old"});
  // No temporary file is left behind.
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(StabilityTool, WithoutFilesReadsTheDataFolderInWeekOrder) {
  const fs::path data = dir_ / "data";
  fs::create_directories(data);
  const auto line = [](double mjd, double phase) {
    return DataField(mjd) + "\t" + DataField(phase) + "\t+3.2E+04\t+2.0E-06\t+8.0E+00\r\n";
  };
  // Written out of order, with names that only look alike.
  std::ofstream(data / "VarnexData2026CW02.Txt") << line(61050, 4e-9) << line(61050.1, 5e-9);
  std::ofstream(data / "VarnexData.Txt") << line(60000, 1e-9);
  std::ofstream(data / "VarnexData2025CW52.Txt") << line(61040, 2e-9) << line(61040.1, 3e-9);
  std::ofstream(data / "VarnexData2026CW03.Txt.bak") << line(61060, 9e-9);
  std::ofstream(data / "VarnexDataCopy.Txt") << line(61070, 9e-9);
  fs::create_directories(data / "VarnexData2026CW04.Txt");

  const std::string phases = (dir_ / "phases.txt").string();
  const Result r = Run({"--phase-out", phases}, data.string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("reading 3 data files in " + data.string()), std::string::npos) << r.err;
  std::ifstream in(phases);
  std::vector<double> read;
  for (double v; in >> v;) read.push_back(v);
  EXPECT_EQ(read, (std::vector<double>{1e-9, 2e-9, 3e-9, 4e-9, 5e-9}));

  // An empty folder is said by name; given files still win over the folder.
  const Result none = Run({}, dir_.string() + "/empty");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("no data files in " + dir_.string() + "/empty"), std::string::npos) << none.err;
  EXPECT_EQ(Run({(data / "VarnexData.Txt").string()}, dir_.string() + "/empty").status, 0);
}

TEST_F(StabilityTool, MeasuresAndTauLists) {
  const auto x = Phase(400);
  std::string text;
  for (double v : x) text += DataField(v) + "\n";
  const std::string file = Write("phase.txt", text);
  const Result plain = Run({"--tau0", "2", file});
  ASSERT_EQ(plain.status, 0);
  // The nine on the octave list are the default, named or not.
  EXPECT_EQ(Run({"--tau0", "2", "--measures", "nine", "--taus", "octave", file}).out, plain.out);

  const Result more = Run({"--tau0", "2", "--measures=tdev,theobr,adev", "--taus=decade", file});
  ASSERT_EQ(more.status, 0) << more.err;
  const Csv csv = ParseCsv(more.out);
  ASSERT_EQ(csv.series.size(), 3u);
  const std::vector<double> decade = {2, 4, 8, 20, 40, 80, 200};  // tdev: 4m <= 400
  ASSERT_EQ(csv.series.at("tdev").size(), decade.size());
  for (std::size_t i = 0; i < decade.size(); ++i) {
    EXPECT_EQ(csv.series.at("tdev")[i].tau, decade[i]);
    const auto m = static_cast<std::int64_t>(decade[i] / 2);
    EXPECT_DOUBLE_EQ(csv.series.at("tdev")[i].value, decade[i] / std::sqrt(3.0) * ModifiedAllanDeviation(x, m, 2.0));
  }
  EXPECT_EQ(csv.series.at("theobr").front().tau, 15.0);  // 0.75 m tau0, m = 10
  EXPECT_EQ(csv.series.at("adev")[3].tau, 20.0);
  // The rows come in the order asked for.
  EXPECT_EQ(more.out.find("tdev,"), more.out.find('\n') + 1);

  // Intervals with the id of their rule.
  const Result ci = Run({"--ci", "--measures", "htotdev", file});
  ASSERT_EQ(ci.status, 0);
  EXPECT_NE(ci.out.find("/ohdev-edf\n"), std::string::npos);

  const Result help = Run({"--help"});
  for (const MeasureInfo& info : kMeasureCatalogue)
    EXPECT_NE(help.out.find("  " + std::string(info.shortName) + " "), std::string::npos) << info.shortName;
  for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue)
    EXPECT_NE(help.out.find("  " + std::string(info.shortName) + " "), std::string::npos) << info.shortName;

  EXPECT_EQ(Run({"--measures", "adev,bogus", file}).status, 2);
  EXPECT_EQ(Run({"--measures", "", file}).status, 2);
  EXPECT_EQ(Run({"--taus", "weekly", file}).status, 2);
  // A record too long for the Theo family gets a line saying why, and no rows.
  std::string longText;
  for (std::int64_t i = 0; i <= kTheoMaxSamples; ++i) longText += "0\n";
  const Result longRun = Run({"--measures", "theoh", Write("long.txt", longText)});
  EXPECT_EQ(longRun.status, 0);
  EXPECT_EQ(longRun.out, "measure,tau_s,value\n");
  EXPECT_NE(longRun.err.find("theoh: left out"), std::string::npos);
}

TEST_F(StabilityTool, ReadsAFolderALoggerIsWritingWithoutTouchingIt) {
  const fs::path data = dir_ / "held";
  fs::create_directories(data);
  const auto line = [](double mjd, double phase) {
    return DataField(mjd) + "\t" + DataField(phase) + "\t" + DataField(32768.25) + "\t" + DataField(2e-6) + "\t" +
           DataField(8) + "\r\n";
  };
  const std::string whole = line(61050, 1e-9) + line(61050.0001, 2e-9) + line(61050.0002, 3e-9);
  const std::string next = line(61050.0003, 4e-9);
  // The logger's lock file and a last line it is still writing, cut at every place.
  std::ofstream(data / "Varnex.lock") << "varnex-logger 4242\n";
  // Cut in the time, in PPS TI, in EFC, in the last field's exponent; the last one is
  // whole but for its line end, and counts, as Varnex's own loader counts it.
  const struct {
    std::size_t cut;
    std::vector<double> read;
  } cases[] = {{1, {1e-9, 2e-9, 3e-9}},   {30, {1e-9, 2e-9, 3e-9}},  {60, {1e-9, 2e-9, 3e-9}},
               {100, {1e-9, 2e-9, 3e-9}}, {112, {1e-9, 2e-9, 3e-9}}, {114, {1e-9, 2e-9, 3e-9, 4e-9}}};
  for (const auto& [cut, expected] : cases) {
    SCOPED_TRACE(cut);
    std::ofstream(data / "VarnexData2026CW02.Txt", std::ios::binary) << whole << next.substr(0, cut);
    const auto before = fs::last_write_time(data / "VarnexData2026CW02.Txt");
    const std::string phases = (dir_ / "phases.txt").string();
    for (const Result& r : {Run({"--phase-out", phases}, data.string()),
                            Run({"--folder", data.string(), "--phase-out", phases}, (dir_ / "other").string())}) {
      EXPECT_EQ(r.status, 0) << r.err;
      std::ifstream in(phases);
      std::vector<double> read;
      for (double v; in >> v;) read.push_back(v);
      EXPECT_EQ(read, expected);
    }
    EXPECT_EQ(fs::last_write_time(data / "VarnexData2026CW02.Txt"), before);
  }
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(data)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Varnex.lock", "VarnexData2026CW02.Txt"}));
  std::ifstream lock(data / "Varnex.lock");
  std::string holder;
  std::getline(lock, holder);
  EXPECT_EQ(holder, "varnex-logger 4242");
}
