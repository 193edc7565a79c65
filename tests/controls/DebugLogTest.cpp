#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "controls/Console.h"
#include "controls/DebugLog.h"

namespace fs = std::filesystem;

namespace {

class DebugLogTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("varnex-debuglog-" + std::to_string(::getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Folder() const { return folder_.string(); }
  std::string LogText() const {
    std::ifstream in(folder_ / DebugLogFileName, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path folder_;
};

TEST_F(DebugLogTest, HeaderOnlyWhenCreated) {
  EXPECT_TRUE(AppendToDebugLog(Folder(), "first\r\n"));
  EXPECT_TRUE(AppendToDebugLog(Folder(), "second\r\n"));
  EXPECT_EQ(LogText(), "Varnex Vers 20130801\r\nfirst\r\nsecond\r\n");
}

TEST_F(DebugLogTest, ExistingFileGetsNoHeader) {
  std::ofstream(folder_ / DebugLogFileName, std::ios::binary) << "old\r\n";
  EXPECT_TRUE(AppendToDebugLog(Folder(), "new\r\n"));
  EXPECT_EQ(LogText(), "old\r\nnew\r\n");
}

TEST_F(DebugLogTest, BinaryLineWrittenAsGiven) {
  const std::string line("\x00\xff\r\x1b text without line end", 26);
  EXPECT_TRUE(AppendToDebugLog(Folder(), line));
  EXPECT_EQ(LogText(), std::string(DebugLogHeader) + line);
}

TEST_F(DebugLogTest, UnopenableLogFailsQuietly) {
  // A directory in the file's place cannot be opened for writing, not even by root.
  fs::create_directory(folder_ / DebugLogFileName);
  EXPECT_FALSE(AppendToDebugLog(Folder(), "lost\r\n"));
  EXPECT_TRUE(fs::is_directory(folder_ / DebugLogFileName));
}

TEST_F(DebugLogTest, DrainMovesEveryLineInOrder) {
  std::recursive_mutex lock;
  std::deque<std::string> lines{"one\r\n", "two\r\n", "three\r\n"};
  TConsoleScreen console;
  std::string folder = Folder();
  EXPECT_EQ(DrainTraceLines(lock, lines, console, &folder), 3u);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(console.RowText(0), "one");
  EXPECT_EQ(console.RowText(2), "three");
  EXPECT_EQ(LogText(), "Varnex Vers 20130801\r\none\r\ntwo\r\nthree\r\n");

  lines.push_back("four\r\n");
  EXPECT_EQ(DrainTraceLines(lock, lines, console, nullptr), 1u);
  EXPECT_EQ(console.RowText(3), "four");
  EXPECT_EQ(LogText(), "Varnex Vers 20130801\r\none\r\ntwo\r\nthree\r\n");
}

TEST_F(DebugLogTest, DrainWithBrokenLogStillFillsConsole) {
  std::recursive_mutex lock;
  std::deque<std::string> lines{"kept\r\n"};
  TConsoleScreen console;
  std::string missing = (folder_ / "no" / "such" / "folder").string();
  EXPECT_EQ(DrainTraceLines(lock, lines, console, &missing), 1u);
  EXPECT_EQ(console.RowText(0), "kept");
}

}  // namespace
