#include <gtest/gtest.h>

#include "frontend/PersistTestFiles.h"
#include "frontend/StatusLog.h"
#include "frontend/TextFiles.h"
#include "link/SharedReceiverState.h"

namespace {

const TDateTime Stamp = EncodeDateTime({2013, 8, 1, 12, 0, 10, 0});

TEST(StatusLog, AppendsStampedLines) {
  TempFolder dir;
  EXPECT_EQ(AppendStatusHistory(dir.Path(), Stamp, "The last Smartclock Status is undefined"),
            "2013-08-01 12:00:10: The last Smartclock Status is undefined");
  AppendStatusHistory(dir.Path(), Stamp, "Starting with status POW");
  EXPECT_EQ(WriteUserComment(dir.Path(), Stamp + 1, "  antenna cable replaced "),
            "2013-08-02 12:00:10: User comment:   antenna cable replaced ");
  EXPECT_EQ(ReadFileBytes(dir.File("VarnexStatus.Txt")),
            "2013-08-01 12:00:10: The last Smartclock Status is undefined\r\n"
            "2013-08-01 12:00:10: Starting with status POW\r\n"
            "2013-08-02 12:00:10: User comment:   antenna cable replaced \r\n");
  EXPECT_EQ(AppendErrorLog(dir.Path(), Stamp, "-213,\"Init ignored\""), "2013-08-01 12:00:10: -213,\"Init ignored\"");
  EXPECT_EQ(ReadFileBytes(dir.File("VarnexError.Txt")), "2013-08-01 12:00:10: -213,\"Init ignored\"\r\n");
}

TEST(StatusLog, EmptyCommentWritesNothing) {
  TempFolder dir;
  EXPECT_FALSE(WriteUserComment(dir.Path(), Stamp, ""));
  EXPECT_FALSE(FileExists(dir.File("VarnexStatus.Txt")));
  EXPECT_TRUE(WriteUserComment(dir.Path(), Stamp, " "));
}

TEST(StatusLog, LineBreaksInsideAMessageStayOnOneLine) {
  TempFolder dir;
  AppendErrorLog(dir.Path(), Stamp, "first\r\nsecond");
  EXPECT_EQ(ReadFileBytes(dir.File("VarnexError.Txt")), "2013-08-01 12:00:10: first  second\r\n");
}

TEST(StatusLog, FailedAppendQueuesItsNote) {
  TempFolder dir;
  SharedReceiverState state;
  EXPECT_FALSE(AppendErrorLog(dir.File("missing"), Stamp, "x", &state));
  EXPECT_FALSE(AppendStatusHistory(dir.File("missing"), Stamp, "x", &state));
  EXPECT_FALSE(WriteUserComment(dir.File("missing"), Stamp, "x", &state));
  const auto notes = state.DrainTrace();
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0], "A error in \"AppendErrorLog\" has occurred\r\n");
  EXPECT_EQ(notes[1], "A error in \"AppendStatusHistory\" has occurred\r\n");
  EXPECT_EQ(notes[2], "A error in \"WriteUserComment\" has occurred\r\n");
}

struct SeedCase {
  const char* name;
  std::string file;  // nullptr-like: "<none>" means no file
  std::uint8_t expected;
};

class StatusSeed : public ::testing::TestWithParam<SeedCase> {};

TEST_P(StatusSeed, LastLineNamingAStatusWins) {
  TempFolder dir;
  if (GetParam().file != "<none>") WriteFileBytes(dir.File("VarnexStatus.Txt"), GetParam().file);
  EXPECT_EQ(LoadStatusHistory(dir.Path()).LastStatusCode, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusSeed,
    ::testing::Values(SeedCase{"NoFile", "<none>", 0}, SeedCase{"EmptyFile", "", 0},
                      SeedCase{"LockThenPlainComment",
                               "2013-08-01 12:00:10: Starting with status POW\r\n"
                               "2013-08-01 12:14:40: The Smartclock Status has changed to LOCK\r\n"
                               "2013-08-02 08:03:20: User comment: antenna cable replaced\r\n",
                               5},
                      SeedCase{"CommentNamingHold",
                               "2013-08-01 12:14:40: The Smartclock Status has changed to LOCK\r\n"
                               "2013-08-02 08:03:20: User comment: HOLD test\r\n",
                               2},
                      SeedCase{"CaseMatters",
                               "x: The Smartclock Status has changed to LOCK\r\nx: User comment: hold lock\r\n", 5},
                      // "The Smartclock Status is undefined" holds none of the words; OTH comes first in the order.
                      SeedCase{"FirstWordInOrderCounts", "x: OTHER things while LOCK\r\nx: undefined\n", 1},
                      SeedCase{"LfOnlyAndNoFinalLineEnd", "x: WAIT\nx: REC", 4},
                      SeedCase{"GarbageAndNul", std::string("x: POW\r\n\0\x01\xff garbage\r\n", 21), 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatusLog, LoadKeepsEveryLineInOrder) {
  TempFolder dir;
  WriteFileBytes(dir.File("VarnexStatus.Txt"), "a\r\n\r\nb\nc");
  EXPECT_EQ(LoadStatusHistory(dir.Path()).Lines, (std::vector<std::string>{"a", "", "b", "c"}));
  WriteFileBytes(dir.File("VarnexError.Txt"), "e1\r\ne2\r\n");
  EXPECT_EQ(LoadErrorLog(dir.Path()), (std::vector<std::string>{"e1", "e2"}));
  EXPECT_TRUE(LoadErrorLog(dir.File("none")).empty());
}

TEST(StatusLog, LoadKeepsTheNewestLinesOfAHugeLog) {
  TempFolder dir;
  std::string text = "x: HOLD\r\n";
  for (std::size_t i = 0; i < MaxLogLines + 5; ++i) text += std::to_string(i) + "\r\n";
  WriteFileBytes(dir.File("VarnexStatus.Txt"), text);
  const StatusHistory history = LoadStatusHistory(dir.Path());
  ASSERT_EQ(history.Lines.size(), MaxLogLines);
  EXPECT_EQ(history.Lines.front(), "5");
  EXPECT_EQ(history.Lines.back(), std::to_string(MaxLogLines + 4));
  EXPECT_EQ(history.LastStatusCode, 2);  // seen although the line is no longer kept
}

TEST(LineReader, SplitsAtCrLfOrBothAndCutsOverlongLines) {
  TempFolder dir;
  WriteFileBytes(dir.File("f"), std::string("one\r\ntwo\rthree\n\nfour\r") + std::string(100, 'x') + "\nlast");
  LineReader reader(40);
  ASSERT_TRUE(reader.Open(dir.File("f")));
  std::vector<std::string> lines;
  std::string line;
  while (reader.Next(line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "", "four", std::string(40, 'x'), "last"}));
  EXPECT_FALSE(reader.Failed());
  EXPECT_FALSE(reader.Open(dir.Path()));  // a folder is no file
}

}  // namespace
