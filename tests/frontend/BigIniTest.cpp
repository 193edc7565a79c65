#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cmath>
#include <csignal>
#include <filesystem>

#include "frontend/BigIni.h"
#include "frontend/PersistTestFiles.h"

namespace {

std::string AllText(const TBigIniFile& ini) {
  std::vector<std::string> lines;
  ini.WriteAllTo(lines);
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

struct LoadCase {
  const char* name;
  std::string fileText;
  std::string rewritten;  // what WriteAllTo gives, lines joined by CR LF
};

class IniLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(IniLoad, KeepsSectionLinesAndDropsTheRest) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), GetParam().fileText);
  TBigIniFile ini(dir.File("a.ini"));
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(AllText(ini), GetParam().rewritten);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniLoad,
    ::testing::Values(LoadCase{"CommentInSectionSurvivesAboveFirstIsLost", ";top\r\n[Serial]\r\n;note\r\nPort=1\r\n",
                               "[Serial]\r\n;note\r\nPort=1\r\n\r\n"},
                      LoadCase{"BlankLinesDroppedOneAfterEachSection", "[A]\r\n\r\n\r\nx=1\r\n\r\n[B]\r\ny=2",
                               "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\r\n"},
                      LoadCase{"LfOnlyAndCrOnlyEndings", "[A]\nx=1\ry=2\r\n", "[A]\r\nx=1\r\ny=2\r\n\r\n"},
                      LoadCase{"EndOfFileMarkIsEmpty", "[A]\r\nx=1\r\n\x1a\r\n", "[A]\r\nx=1\r\n\r\n"},
                      LoadCase{"EndOfFileMarkInsideALineStays", "[A]\r\nx=1\x1a\r\n", "[A]\r\nx=1\x1a\r\n\r\n"},
                      LoadCase{"EmptySectionNameAndEmptySectionsLeftOut", "[]\r\nk=v\r\n[Empty]\r\n[ B ]\r\nz=1\r\n",
                               "[]\r\nk=v\r\n\r\n[ B ]\r\nz=1\r\n\r\n"},
                      LoadCase{"DuplicateSectionsAllWrittenBack", "[A]\r\nx=1\r\n[a]\r\nx=2\r\n",
                               "[A]\r\nx=1\r\n\r\n[a]\r\nx=2\r\n\r\n"},
                      LoadCase{"LoneBracketIsAnOrdinaryLine", "[A]\r\n[\r\n]\r\n", "[A]\r\n[\r\n]\r\n\r\n"},
                      LoadCase{"NothingButText", "no sections here\r\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BigIni, KeysMatchIgnoringCaseButNotBlanks) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), "[Serial]\r\nPort=1\r\nBaud = 4800\r\n");
  TBigIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("serial", "port", "x"), "1");
  EXPECT_EQ(ini.ReadString("SERIAL", "Baud", "none"), "none");
  EXPECT_EQ(ini.ReadString("Serial", "Baud ", "none"), " 4800");
  EXPECT_EQ(ini.ReadString("Missing", "Port", "d"), "d");

  ini.WriteInteger("Serial", "Baud", 9600);
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(AllText(ini), "[Serial]\r\nPort=1\r\nBaud = 4800\r\nBaud=9600\r\n\r\n");
}

TEST(BigIni, ValueIsEverythingAfterTheFirstEquals) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), "[S]\r\nk==a=b\r\nx=\r\n");
  TBigIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("S", "k", "d"), "=a=b");
  EXPECT_EQ(ini.ReadString("S", "x", "d"), "");
  EXPECT_EQ(ini.ReadString("S", "k=", "d"), "d");  // the key is the text before the first "="
}

TEST(BigIni, OnlyTheFirstOfDuplicateSectionsIsLookedUp) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), "[A]\r\nx=1\r\n[a]\r\nx=2\r\ny=3\r\n");
  TBigIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadInteger("A", "x", 0), 1);
  EXPECT_EQ(ini.ReadInteger("A", "y", 0), 0);
  ini.WriteInteger("a", "y", 4);
  EXPECT_EQ(AllText(ini), "[A]\r\nx=1\r\ny=4\r\n\r\n[a]\r\nx=2\r\ny=3\r\n\r\n");
}

struct IntCase {
  const char* text;
  std::int32_t expected;
};

TEST(BigIni, ReadIntegerConversions) {
  const IntCase cases[] = {
      {"1440", 1440},
      {"0x5A0", 1440},
      {"0X5a0", 1440},
      {"$5A0", 1440},
      {"x5A0", 1440},
      {"X5a0", 1440},
      {"  1440", 1440},
      {"+7", 7},
      {"-12", -12},
      {"$FFFFFFFF", -1},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      // Everything below falls back to the default (77).
      {"1440 min", 77},
      {"1440 ", 77},
      {"", 77},
      {"-", 77},
      {"$", 77},
      {"0x", 77},
      {" 0x10", 77},
      {"-$10", 77},
      {"2147483648", 77},
      {"$100000000", 77},
      {"12.0", 77},
      {"1e3", 77},
      {"\t5", 77},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    WriteFileBytes(dir.File("a.ini"), std::string("[S]\r\nk=") + c.text + "\r\n");
    TBigIniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadInteger("S", "k", 77), c.expected) << '"' << c.text << '"';
  }
}

struct FloatCase {
  const char* text;
  double expected;
};

TEST(BigIni, ReadFloatIsStrictWithADecimalPoint) {
  const FloatCase cases[] = {
      {" 1.00000000000000E+0000", 1.0},
      {"-2.50000000000000E-0012", -2.5e-12},
      {"1.5", 1.5},
      {"+2", 2.0},
      {"1.", 1.0},
      {".5", 0.5},
      {"3e2", 300.0},
      // Defaults (42).
      {"1,5", 42},
      {"", 42},
      {"1.5 ", 42},
      {"e5", 42},
      {"1e", 42},
      {"1e+", 42},
      {".", 42},
      {"nan", 42},
      {"inf", 42},
      {"1e999", 42},
      {"--1", 42},
      {"0x10", 42},
      {"1.5.2", 42},
  };
  for (const auto& c : cases) {
    double value = 42;
    const bool ok = TBigIniFile::TryParseFloat(c.text, value);
    EXPECT_EQ(ok ? value : 42.0, c.expected) << '"' << c.text << '"';
  }
}

TEST(BigIni, ReadBoolAndCharAreExact) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), "[S]\r\nt=True\r\nf=False\r\nl=true\r\none=1\r\np=even\r\ne=\r\n");
  TBigIniFile ini(dir.File("a.ini"));
  EXPECT_TRUE(ini.ReadBool("S", "t", false));
  EXPECT_FALSE(ini.ReadBool("S", "f", true));
  EXPECT_TRUE(ini.ReadBool("S", "l", true));
  EXPECT_FALSE(ini.ReadBool("S", "l", false));
  EXPECT_FALSE(ini.ReadBool("S", "one", false));
  EXPECT_EQ(ini.ReadChar("S", "p", 'N'), 'e');
  EXPECT_EQ(ini.ReadChar("S", "e", 'N'), 'N');
  EXPECT_EQ(ini.ReadChar("S", "none", 'N'), 'N');
}

TEST(BigIni, WriteFloatUses23Characters) {
  const std::pair<double, const char*> cases[] = {
      {1.0, " 1.00000000000000E+0000"},   {-2.5e-12, "-2.50000000000000E-0012"},
      {0.0, " 0.00000000000000E+0000"},   {-0.0, " 0.00000000000000E+0000"},
      {9.9, " 9.90000000000000E+0000"},   {123456.789, " 1.23456789000000E+0005"},
      {1e300, " 1.00000000000000E+0300"}, {-1.5e-300, "-1.50000000000000E-0300"},
      {0.1, " 1.00000000000000E-0001"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(TBigIniFile::FormatFloat(value), text);
    EXPECT_EQ(std::string(text).size(), 23u);
    double back = 0;
    ASSERT_TRUE(TBigIniFile::TryParseFloat(text, back)) << text;
    EXPECT_NEAR(back, value, std::fabs(value) * 1e-14) << text;
  }
}

TEST(BigIni, ModifiedOnlyWhenALineChanges) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), "[Serial]\r\nPort=1\r\n");
  TBigIniFile ini(dir.File("a.ini"));
  ini.WriteInteger("SERIAL", "Port", 1);
  EXPECT_FALSE(ini.Modified());
  ini.WriteInteger("Serial", "port", 1);  // the key takes the caller's letter case
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(AllText(ini), "[Serial]\r\nport=1\r\n\r\n");
  ASSERT_TRUE(ini.Flush());
  ini.WriteInteger("Serial", "port", 1);
  EXPECT_FALSE(ini.Modified());
  ini.WriteInteger("Serial", "port", 2);
  EXPECT_TRUE(ini.Modified());
  // A section created by a look-up alone changes nothing.
  TBigIniFile other(dir.File("b.ini"));
  EXPECT_EQ(other.ReadString("New", "k", "d"), "d");
  EXPECT_FALSE(other.Modified());
}

TEST(BigIni, UnchangedWritesDoNotTouchTheFile) {
  TempFolder dir;
  const std::string name = dir.File("a.ini");
  const std::string original = ";lost on rewrite\r\n[Serial]\r\nPort=1\r\nBaud=9600\r\n";
  WriteFileBytes(name, original);
  // Put the file's time well in the past so any rewrite would show.
  timeval past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimes(name.c_str(), past), 0);
  {
    TBigIniFile ini(name);
    ini.WriteInteger("Serial", "Port", 1);
    ini.WriteInteger("Serial", "Baud", 9600);
    EXPECT_TRUE(ini.Flush());
  }  // the destructor flushes too
  struct stat info {};
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(ReadFileBytes(name), original);
}

TEST(BigIni, FlushWritesCrLfAndLeavesNoTemporaryFile) {
  TempFolder dir;
  {
    TBigIniFile ini(dir.File("a.ini"));
    ini.WriteString("A", "k", "v");
    ini.WriteBool("A", "b", true);
    ini.WriteInteger("B", "n", -5);
  }
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[A]\r\nk=v\r\nb=True\r\n\r\n[B]\r\nn=-5\r\n\r\n");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files, (void)e;
  EXPECT_EQ(files, 1);
}

TEST(BigIni, ErasedSectionDisappearsAtFlush) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
  TBigIniFile ini(dir.File("a.ini"));
  ini.EraseSection("a");
  EXPECT_TRUE(ini.Modified());
  ASSERT_TRUE(ini.Flush());
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[B]\r\ny=2\r\n\r\n");
  // An empty key erases the section too.
  ini.WriteString("B", "", "x");
  ASSERT_TRUE(ini.Flush());
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "");
}

// What a flush writes reads back to the same values, also where an empty section
// hides a later one of the same name.
TEST(BigIni, FlushedFileReadsBackTheSameValues) {
  const struct {
    const char* name;
    std::string fileText;
    void (*edit)(TBigIniFile&);
    std::string written;
  } cases[] = {
      {"empty section first", "[A]\r\n[a]\r\nk=2\r\n", [](TBigIniFile& ini) { ini.WriteString("B", "z", "1"); },
       "[A]\r\n\r\n[a]\r\nk=2\r\n\r\n[B]\r\nz=1\r\n\r\n"},
      {"first duplicate erased", "[A]\r\nk=1\r\n[a]\r\nk=2\r\n", [](TBigIniFile& ini) { ini.EraseSection("A"); },
       "[A]\r\n\r\n[a]\r\nk=2\r\n\r\n"},
      {"later duplicate empty", "[A]\r\nk=1\r\n[a]\r\n", [](TBigIniFile& ini) { ini.WriteString("A", "k", "3"); },
       "[A]\r\nk=3\r\n\r\n"},
      {"empty section alone", "[A]\r\n[B]\r\nz=1\r\n", [](TBigIniFile& ini) { ini.WriteString("B", "z", "2"); },
       "[B]\r\nz=2\r\n\r\n"},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    WriteFileBytes(dir.File("a.ini"), c.fileText);
    TBigIniFile ini(dir.File("a.ini"));
    c.edit(ini);
    ASSERT_TRUE(ini.Flush()) << c.name;
    EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), c.written) << c.name;
    TBigIniFile back(dir.File("a.ini"));
    for (const char* section : {"A", "a", "B"}) {
      for (const char* key : {"k", "z"}) {
        EXPECT_EQ(back.ReadString(section, key, "-"), ini.ReadString(section, key, "-"))
            << c.name << " " << section << "." << key;
      }
    }
  }
}

TEST(BigIni, SectionKeysAndLines) {
  TempFolder dir;
  WriteFileBytes(dir.File("a.ini"), "[A]\r\n;c\r\nx=1\r\n y =2\r\n");
  TBiggerIniFile ini(dir.File("a.ini"));
  std::vector<std::string> keys, lines, sections;
  ini.ReadSectionKeys("a", keys);
  ini.ReadSectionLines("a", lines);
  ini.ReadSections(sections);
  EXPECT_EQ(keys, (std::vector<std::string>{"x", " y "}));
  EXPECT_EQ(lines, (std::vector<std::string>{";c", "x=1", " y =2"}));
  EXPECT_EQ(sections, (std::vector<std::string>{"A"}));
}

TEST(BigIni, FailedFlushKeepsTheOldFileAndTriesAgainLater) {
  if (!PermissionsApply()) GTEST_SKIP() << "permission bits do not apply to root";
  TempFolder dir;
  const std::string name = dir.File("a.ini");
  WriteFileBytes(name, "[A]\r\nx=1\r\n");
  TBigIniFile ini(name);
  ini.WriteInteger("A", "x", 2);
  ::chmod(dir.Path().c_str(), 0555);
  EXPECT_FALSE(ini.Flush());
  EXPECT_NE(ini.LastError().find(name), std::string::npos);
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(ReadFileBytes(name), "[A]\r\nx=1\r\n");
  ::chmod(dir.Path().c_str(), 0755);

  ::chmod(name.c_str(), 0444);  // a read-only file is not replaced either
  EXPECT_FALSE(ini.Flush());
  EXPECT_EQ(ReadFileBytes(name), "[A]\r\nx=1\r\n");
  ::chmod(name.c_str(), 0644);
  EXPECT_TRUE(ini.Flush());
  EXPECT_EQ(ReadFileBytes(name), "[A]\r\nx=2\r\n\r\n");
}

TEST(BigIni, FlushIntoAMissingFolderFails) {
  TempFolder dir;
  TBigIniFile ini(dir.File("gone/a.ini"));
  ini.WriteInteger("A", "x", 1);
  EXPECT_FALSE(ini.Flush());
  EXPECT_NE(ini.LastError().find("gone/a.ini"), std::string::npos);
  EXPECT_TRUE(ini.Modified());
}

TEST(BigIni, FullDiskDuringFlushLeavesTheOldFileWhole) {
  TempFolder dir;
  const std::string name = dir.File("a.ini");
  const std::string original = "[A]\r\nx=1\r\n";
  WriteFileBytes(name, original);
  TBigIniFile ini(name);
  for (int i = 0; i < 2000; ++i) ini.WriteInteger("A", "k" + std::to_string(i), i);
  // A file size limit makes the write fail part way, as a full disk would.
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const bool flushed = ini.Flush();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(flushed);
  EXPECT_EQ(ReadFileBytes(name), original);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files, (void)e;
  EXPECT_EQ(files, 1);
  EXPECT_TRUE(ini.Flush());
  EXPECT_NE(ReadFileBytes(name).find("k1999=1999"), std::string::npos);
}

TEST(BigIni, UnreadableFileIsNeverOverwritten) {
  TempFolder dir;
  const std::string name = dir.File("a.ini");
  // A folder in the file's place cannot be read as a file, whoever runs the test.
  std::filesystem::create_directory(name);
  TBigIniFile ini(name);
  EXPECT_TRUE(ini.LoadFailed());
  EXPECT_FALSE(ini.LastError().empty());
  EXPECT_EQ(ini.ReadInteger("A", "x", 3), 3);
  ini.WriteInteger("A", "x", 2);
  EXPECT_FALSE(ini.Flush());
  EXPECT_TRUE(std::filesystem::is_directory(name));
}

TEST(BigIni, WritesThroughASymbolicLink) {
  TempFolder dir;
  WriteFileBytes(dir.File("real.ini"), "[A]\r\nx=1\r\n");
  std::filesystem::create_symlink(dir.File("real.ini"), dir.File("a.ini"));
  {
    TBigIniFile ini(dir.File("a.ini"));
    ini.WriteInteger("A", "x", 5);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("a.ini")));
  EXPECT_EQ(ReadFileBytes(dir.File("real.ini")), "[A]\r\nx=5\r\n\r\n");
}

TEST(BigIni, HundredThousandLinesRoundTrip) {
  TempFolder dir;
  std::string text;
  std::string expected;
  for (int s = 0; s < 100; ++s) {
    text += "[S" + std::to_string(s) + "]\r\n";
    expected += "[S" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < 999; ++k) {
      const std::string line = "k" + std::to_string(k) + "=" + std::to_string(s * 1000 + k) + "\r\n";
      text += line;
      expected += line;
    }
    expected += "\r\n";
  }
  WriteFileBytes(dir.File("a.ini"), text);
  TBigIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadInteger("s99", "K998", 0), 99998);
  ini.WriteInteger("S50", "k500", 50500);
  EXPECT_FALSE(ini.Modified());
  ini.WriteInteger("S50", "k500", -1);
  ASSERT_TRUE(ini.Flush());
  const std::size_t at = expected.find("k500=50500");
  expected.replace(at, 10, "k500=-1");
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), expected);
}

TEST(BigIni, LoadFlushesWhatTheStoreHeld) {
  TempFolder dir;
  TBigIniFile ini(dir.File("a.ini"));
  ini.WriteString("A", "k", "v");
  ini.Load(dir.File("b.ini"));
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[A]\r\nk=v\r\n\r\n");
  EXPECT_EQ(ini.FileName(), dir.File("b.ini"));
  EXPECT_TRUE(ini.Sections().empty());
}

}  // namespace
