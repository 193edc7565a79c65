#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "controls/Console.h"

namespace {

std::vector<std::string> Rows(const TConsoleScreen& c, int count) {
  std::vector<std::string> rows;
  for (int y = 0; y < count; ++y) rows.push_back(c.RowText(y));
  return rows;
}

struct WriteCase {
  const char* name;
  TConsoleLineBreak mode;
  std::string text;
  std::vector<std::string> rows;  // first rows of the screen, trailing blanks removed
  int cursorX;
  int cursorY;
};

class ConsoleWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(ConsoleWriteTest, LeavesRowsAndCursor) {
  const WriteCase& w = GetParam();
  TConsoleScreen c;
  c.SetLineBreak(w.mode);
  c.WriteString(w.text);
  EXPECT_EQ(Rows(c, static_cast<int>(w.rows.size())), w.rows);
  EXPECT_EQ(c.CursorX(), w.cursorX);
  EXPECT_EQ(c.CursorY(), w.cursorY);
}

const std::string Full80(80, 'x');

INSTANTIATE_TEST_SUITE_P(
    Text, ConsoleWriteTest,
    testing::Values(WriteCase{"CrLfEndsLine", TConsoleLineBreak::CRLF, "abc\r\nde", {"abc", "de", ""}, 2, 1},
                    WriteCase{"WrapAt80thCharacter", TConsoleLineBreak::CRLF, Full80 + "\r\n", {Full80, "", ""}, 0, 2},
                    WriteCase{"WrapCarriesOn", TConsoleLineBreak::CRLF, Full80 + "yz", {Full80, "yz"}, 2, 1},
                    WriteCase{"LoneLfKeepsColumn", TConsoleLineBreak::CRLF, "abc\ndef", {"abc", "   def"}, 6, 1},
                    WriteCase{"LoneCrReturnsOnly", TConsoleLineBreak::CRLF, "abc\rX", {"Xbc", ""}, 1, 0},
                    WriteCase{"CrModeCrEndsLine", TConsoleLineBreak::CR, "abc\rde", {"abc", "de"}, 2, 1},
                    WriteCase{"CrModeCrLfAddsLine", TConsoleLineBreak::CR, "abc\r\nde", {"abc", "", "de"}, 2, 2},
                    WriteCase{"LfModeLfEndsLine", TConsoleLineBreak::LF, "abc\nde", {"abc", "de"}, 2, 1},
                    WriteCase{"LfModeCrOnlyReturns", TConsoleLineBreak::LF, "abc\rX", {"Xbc", ""}, 1, 0},
                    WriteCase{"Backspace", TConsoleLineBreak::CRLF, "ab\bc", {"ac"}, 2, 0},
                    WriteCase{"BackspaceAtColumn0", TConsoleLineBreak::CRLF, "ab\r\n\bc", {"ab", "c"}, 1, 1},
                    WriteCase{"BackspaceBlanksCell", TConsoleLineBreak::CRLF, "abc\b\b", {"a"}, 1, 0},
                    WriteCase{"DroppedControlCodes",
                              TConsoleLineBreak::CRLF,
                              std::string("a\tb\x1b[1mc\x01\x1f\x7f", 11) + std::string(1, '\0') + "d",
                              {"ab[1mc\x7f"
                               "d"},
                              8,
                              0},
                    WriteCase{"BellStoresNothing", TConsoleLineBreak::CRLF, "a\ab", {"ab"}, 2, 0},
                    WriteCase{"HighBytesStored", TConsoleLineBreak::CRLF, "\x80\xb0\xff", {"\x80\xb0\xff"}, 3, 0}),
    [](const testing::TestParamInfo<WriteCase>& i) { return std::string(i.param.name); });

TEST(Console, EveryByteIsHandled) {
  TConsoleScreen c;
  c.SetRows(5);
  c.SetCols(7);
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (int i = 0; i < 50; ++i) c.WriteString(all);
  // Nothing below 32 is ever stored.
  for (int y = 0; y < c.Rows(); ++y)
    for (int x = 0; x < c.Cols(); ++x) EXPECT_GE(static_cast<unsigned char>(c.Cell(x, y)), 32);
  EXPECT_LT(c.CursorX(), c.Cols());
  EXPECT_LT(c.CursorY(), c.Rows());
}

TEST(Console, RingHoldsLastRowsOldestFirst) {
  TConsoleScreen c;
  c.SetRows(4);
  for (int i = 0; i < 10; ++i) c.WriteString("line " + std::to_string(i) + "\r\n");
  // The cursor sits on an empty last row, so the three lines before it are 7, 8, 9.
  EXPECT_EQ(Rows(c, 4), (std::vector<std::string>{"line 7", "line 8", "line 9", ""}));
  EXPECT_EQ(c.CursorY(), 3);
  EXPECT_EQ(c.TopRow(), 3);  // seven advances of a ring of four
  c.WriteString("tail");
  EXPECT_EQ(c.RowText(3), "tail");
}

TEST(Console, WrapScrollsTheRing) {
  TConsoleScreen c;
  c.SetRows(2);
  c.SetCols(3);
  c.WriteString("abcdefghi");
  EXPECT_EQ(Rows(c, 2), (std::vector<std::string>{"ghi", ""}));
  EXPECT_EQ(c.CursorY(), 1);
  EXPECT_EQ(c.CursorX(), 0);
}

TEST(Console, ClearScreenKeepsRingPosition) {
  TConsoleScreen c;
  c.SetRows(3);
  c.WriteString("a\r\nb\r\nc\r\nd");
  const int top = c.TopRow();
  c.ClearScreen();
  EXPECT_EQ(Rows(c, 3), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(c.CursorX(), 0);
  EXPECT_EQ(c.CursorY(), 0);
  EXPECT_EQ(c.TopRow(), top);
  c.WriteString("x\r\ny");
  EXPECT_EQ(Rows(c, 3), (std::vector<std::string>{"x", "y", ""}));
}

TEST(Console, ResetConsoleEmptiesAndHomes) {
  TConsoleScreen c;
  c.SetVisibleCells(10, 5);
  for (int i = 0; i < 40; ++i) c.WriteString("some text\r\n");
  EXPECT_GT(c.OriginY(), 0);
  c.ResetConsole();
  EXPECT_EQ(c.OriginY(), 0);
  EXPECT_EQ(c.CursorY(), 0);
  EXPECT_EQ(c.RowText(0), "");
}

TEST(Console, ResizeKeepsCursorInsideGrid) {
  TConsoleScreen c;
  for (int i = 0; i < 30; ++i) c.WriteString("0123456789012345678901234567890123456789\r\n");
  c.WriteString("0123456789");
  c.SetRows(3);
  c.SetCols(5);
  EXPECT_LT(c.CursorX(), 5);
  EXPECT_LT(c.CursorY(), 3);
  c.WriteString("abcdefghijklmnop\r\nq");
  EXPECT_EQ(c.Row(0).size(), 5u);
  c.SetCols(0);
  EXPECT_EQ(c.Cols(), 1);
}

TEST(Console, ControlCodeHandlerReceivesEverything) {
  TConsoleScreen c;
  std::string seen;
  c.ProcessControlCodes = [&](TConsoleScreen& sender, const char* buf, std::uint32_t n) {
    EXPECT_EQ(&sender, &c);
    seen.append(buf, n);
  };
  c.WriteString("ab\r\n");
  EXPECT_EQ(seen, "ab\r\n");
  EXPECT_EQ(c.RowText(0), "");
}

TEST(Console, KeyQueueDropsThe65thKey) {
  TConsoleScreen c;
  for (int i = 0; i < 65; ++i) c.KeyTyped(static_cast<char>('!' + i));
  EXPECT_EQ(c.KeyCount(), 64);
  std::string read;
  for (int i = 0; i < 64; ++i) read.push_back(c.ReadKey());
  EXPECT_EQ(read.front(), '!');
  EXPECT_EQ(read.back(), static_cast<char>('!' + 63));
  EXPECT_EQ(c.KeyCount(), 0);
}

TEST(Console, CtrlCCallsBreakOnlyWithCheckBreak) {
  TConsoleScreen c;
  int breaks = 0;
  c.BreakRequested = [&] { ++breaks; };
  c.KeyTyped(3);
  EXPECT_EQ(breaks, 1);
  EXPECT_EQ(c.KeyCount(), 1);  // the 3 is queued as well
  c.SetOptions(c.Options().Without(coCheckBreak));
  c.KeyTyped(3);
  c.BreakKeyPressed();
  EXPECT_EQ(breaks, 1);
}

TEST(Console, ReadKeyWithNothingToComeFails) {
  TConsoleScreen c;
  try {
    c.ReadKey();
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "WM_Quit received during ReadKey");
  }
  EXPECT_FALSE(c.Reading());
  EXPECT_FALSE(TConsoleScreen::AnyReading());
}

// A view that types queued keys while the console waits, and can start a second read.
class TypingView : public ConsoleView {
 public:
  std::string keys;
  TConsoleScreen* self = nullptr;
  TConsoleScreen* other = nullptr;
  std::string otherError;
  bool WaitForEvent() override {
    if (other) {
      try {
        other->ReadKey();
      } catch (const EInvalidOperation& e) {
        otherError = e.what();
      }
      other = nullptr;
    }
    if (keys.empty()) return false;
    self->KeyTyped(keys.front());
    keys.erase(0, 1);
    return true;
  }
};

struct ReadLineCase {
  const char* name;
  std::string keys;
  int length;
  bool checkEof;
  std::string stored;
  std::string echoed;  // row 0 of the console afterwards
};

class ConsoleReadLineTest : public testing::TestWithParam<ReadLineCase> {};

TEST_P(ConsoleReadLineTest, StoresAndEchoes) {
  const ReadLineCase& r = GetParam();
  TConsoleScreen c;
  if (r.checkEof) c.SetOptions(c.Options().With(coCheckEOF));
  TypingView view;
  view.keys = r.keys;
  view.self = &c;
  c.AttachView(&view);
  std::vector<char> buf(static_cast<std::size_t>(r.length), '?');
  int n = c.ReadLine(buf.data(), r.length);
  EXPECT_EQ(std::string(buf.data(), static_cast<std::size_t>(n)), r.stored);
  EXPECT_EQ(c.RowText(0), r.echoed);
  c.AttachView(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Lines, ConsoleReadLineTest,
                         testing::Values(ReadLineCase{"EnterAddsLf", "abc\r", 10, false, "abc\r\n", "abc"},
                                         ReadLineCase{"BackspaceForgets", "abx\bc\r", 10, false, "abc\r\n", "abc"},
                                         ReadLineCase{"BackspaceOnEmpty", "\b\ba\r", 10, false, "a\r\n", "a"},
                                         ReadLineCase{"TooLongDropped", "abcdef\r", 5, false, "abc\r\n", "abc"},
                                         ReadLineCase{"ControlIgnored", "a\tb\x1b\r", 10, false, "ab\r\n", "ab"},
                                         ReadLineCase{"CtrlZEndsWithCheckEof", "ab\x1a", 10, true, "ab\x1a", "ab"},
                                         ReadLineCase{"CtrlZIgnoredWithout", "ab\x1a\r", 10, false, "ab\r\n", "ab"},
                                         ReadLineCase{"NulEnds", std::string("ab\0", 3), 10, false,
                                                      std::string("ab\0", 3), "ab"}),
                         [](const testing::TestParamInfo<ReadLineCase>& i) { return std::string(i.param.name); });

TEST(Console, SecondConcurrentReadFails) {
  TConsoleScreen a;
  TConsoleScreen b;
  TypingView view;
  view.self = &a;
  view.other = &b;
  view.keys = "k";
  a.AttachView(&view);
  EXPECT_EQ(a.ReadKey(), 'k');
  EXPECT_EQ(view.otherError, "Read already active");
  EXPECT_FALSE(TConsoleScreen::AnyReading());
  a.AttachView(nullptr);
}

TEST(Console, OptionBitsAndDefault) {
  EXPECT_EQ(DefaultConsoleOptions.Bits(), 0x95);
  TConsoleScreen c;
  EXPECT_EQ(c.Options(), DefaultConsoleOptions);
  EXPECT_EQ(TConsoleOptions({coStdInput, coStdOutput}).Bits(), 0x60);
}

TEST(Console, StdOutputGoesIntoTheConsole) {
  TConsoleScreen c;
  c.SetOptions(c.Options().With(coStdOutput));
  std::cout << "hello" << std::flush;
  std::cout << "\r\nworld" << std::endl;
  EXPECT_EQ(c.RowText(0), "hello");
  EXPECT_EQ(c.RowText(1), "world");

  TConsoleScreen other;
  try {
    other.SetOptions(other.Options().With(coStdInput).With(coStdOutput));
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TConsole.SetOptions: Standard Output is already open");
  }
  // The input attached in the same change stays attached and set.
  EXPECT_TRUE(other.Options().Has(coStdInput));
  EXPECT_FALSE(other.Options().Has(coStdOutput));
  try {
    c.SetOptions(c.Options().With(coStdInput));
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TConsole.SetOptions: Standard Input is already open");
  }
  other.SetOptions(other.Options().Without(coStdInput));
  c.SetOptions(c.Options().Without(coStdOutput));
  std::cout << "after" << std::flush;
  EXPECT_EQ(c.RowText(2), "");
}

TEST(Console, StdInputReadsEditedLines) {
  TConsoleScreen c;
  TypingView view;
  view.self = &c;
  view.keys = "12 ab\b\bcd\r";
  c.AttachView(&view);
  c.SetOptions(c.Options().With(coStdInput));
  int number = 0;
  std::string word;
  std::cin >> number >> word;
  EXPECT_EQ(number, 12);
  EXPECT_EQ(word, "cd");
  c.SetOptions(c.Options().Without(coStdInput));
  c.AttachView(nullptr);
}

// Records the view requests the model makes.
class RecordingView : public ConsoleView {
 public:
  int scrollPosts = 0;
  int trackPosts = 0;
  int originMoves = 0;
  std::vector<std::vector<int>> spans;
  void InvalidateCells(int y, int l, int r, bool) override { spans.push_back({y, l, r}); }
  void OriginMoved(int, int) override { ++originMoves; }
  void PostScrollRequest() override { ++scrollPosts; }
  void PostTrackingRequest() override { ++trackPosts; }
};

TEST(Console, OnlyTheChangedSpanIsInvalidated) {
  TConsoleScreen c;
  RecordingView v;
  c.AttachView(&v);
  c.SetVisibleCells(80, 25);
  c.WriteString("abcdef");
  c.WriteString("gh");
  c.WriteString("\b");
  ASSERT_EQ(v.spans.size(), 3u);
  EXPECT_EQ(v.spans[0], (std::vector<int>{0, 0, 6}));
  EXPECT_EQ(v.spans[1], (std::vector<int>{0, 6, 8}));
  EXPECT_EQ(v.spans[2], (std::vector<int>{0, 7, 8}));
  c.AttachView(nullptr);
}

TEST(Console, LazyWriteMergesScrollsAndTracking) {
  TConsoleScreen c;
  RecordingView v;
  c.SetRows(50);
  c.AttachView(&v);
  c.SetVisibleCells(80, 20);
  // Fill the ring and bring the view to the bottom.
  for (int i = 0; i < 49; ++i) c.WriteString("x\r\n");
  EXPECT_EQ(v.trackPosts, 1);  // one pending tracking request, however many writes
  c.DeliverTracking();
  EXPECT_EQ(c.OriginY(), 30);
  // Each further line advances the ring; the scrolls merge until half a screen is pending.
  for (int i = 0; i < 9; ++i) c.WriteString("y\r\n");
  EXPECT_TRUE(c.ScrollRequestPending());
  EXPECT_EQ(v.scrollPosts, 1);  // merged into the one request already posted
  EXPECT_EQ(c.PendingScrollY(), 9);
  EXPECT_EQ(c.OriginY(), 21);
  c.WriteString("z\r\n");  // the tenth reaches half of 20 rows: scrolled at once
  EXPECT_EQ(c.PendingScrollY(), 0);
  EXPECT_EQ(c.OriginY(), 30);
  EXPECT_EQ(v.scrollPosts, 1);
  c.DeliverScroll();
  c.DeliverTracking();
  EXPECT_EQ(c.OriginY(), 30);
  EXPECT_EQ(c.RowText(48), "z");
  c.AttachView(nullptr);
}

TEST(Console, TrackingAndScrollCommands) {
  TConsoleScreen c;
  c.SetOptions(c.Options().Without(coLazyWrite));
  c.SetRows(100);
  c.SetCols(200);
  c.SetVisibleCells(40, 10);
  EXPECT_EQ(c.RangeX(), 160);
  EXPECT_EQ(c.RangeY(), 90);
  c.WriteString(std::string(50, 'a'));
  EXPECT_EQ(c.OriginX(), 11);  // the smallest move that shows column 50
  c.WriteString("\r\n\r\n");
  EXPECT_EQ(c.OriginX(), 0);

  struct Step {
    ConsoleAxis axis;
    ConsoleScrollAction action;
    int thumb;
    int x, y;
  };
  const Step steps[] = {
      {ConsoleAxis::Vertical, ConsoleScrollAction::LineDown, 0, 0, 1},
      {ConsoleAxis::Vertical, ConsoleScrollAction::PageDown, 0, 0, 11},
      {ConsoleAxis::Vertical, ConsoleScrollAction::Bottom, 0, 0, 90},
      {ConsoleAxis::Vertical, ConsoleScrollAction::LineDown, 0, 0, 90},
      {ConsoleAxis::Vertical, ConsoleScrollAction::PageUp, 0, 0, 80},
      {ConsoleAxis::Horizontal, ConsoleScrollAction::PageDown, 0, 20, 80},
      {ConsoleAxis::Horizontal, ConsoleScrollAction::LineUp, 0, 19, 80},
      {ConsoleAxis::Horizontal, ConsoleScrollAction::Thumb, 500, 160, 80},
      {ConsoleAxis::Horizontal, ConsoleScrollAction::Other, 0, 160, 80},
      {ConsoleAxis::Vertical, ConsoleScrollAction::Top, 0, 160, 0},
      {ConsoleAxis::Horizontal, ConsoleScrollAction::Top, 0, 0, 0},
      {ConsoleAxis::Vertical, ConsoleScrollAction::LineUp, 0, 0, 0},
  };
  for (const Step& s : steps) {
    c.ScrollCommand(s.axis, s.action, s.thumb);
    EXPECT_EQ(c.OriginX(), s.x);
    EXPECT_EQ(c.OriginY(), s.y);
  }
}

}  // namespace
