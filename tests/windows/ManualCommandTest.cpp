#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ManualCommand.h"

namespace {

const TDateTime Start = EncodeDateTime({2013, 8, 1, 12, 0, 7, 0});

TEST(ManualCommand, CommandList) {
  const auto& list = ManualCommandList();
  ASSERT_EQ(list.size(), 114u);
  EXPECT_EQ(list.front(), "*CLS");
  EXPECT_EQ(list[1], "*IDN?");
  EXPECT_EQ(list[37], ":GPS:INIT:POS (N,deg,min,sec,W,deg,min,sec,elev);");
  EXPECT_EQ(list[112], ":SYST:COMM:SER:ECHO OFF");
  EXPECT_EQ(list.back(), "");
  std::set<std::string_view> distinct(list.begin(), list.end());
  EXPECT_EQ(distinct.size(), list.size());
  for (std::size_t i = 0; i + 1 < list.size(); ++i) EXPECT_FALSE(list[i].empty()) << i;
}

// The text goes out as typed, in Latin-1 and with one carriage return, or not at all,
// with the reason in one line.
TEST(ManualCommand, TextGoesOutAsTypedOrNotAtAll) {
  const struct {
    const char* typed;  // UTF-8, as the edit field gives it
    std::string bytes;
    std::string refusal;
  } cases[] = {
      {":diag:test?", ":diag:test?\r", ""},
      {"", "\r", ""},
      {" :ptime:tzone (-12..+12); ", " :ptime:tzone (-12..+12); \r", ""},
      {"\xC2\xB5s \xC3\xBF", "\xB5s \xFF\r", ""},  // Latin-1 beyond ASCII goes as one byte each
      {"*IDN?\xE2\x82\xAC", "", "Not sent: U+20AC at position 6 is not Latin-1"},
      {"\xF0\x9F\x98\x80", "", "Not sent: U+01F600 at position 1 is not Latin-1"},
      {"\xC3", "", "Not sent: U+FFFD at position 1 is not Latin-1"},  // cut sequence
      {":SYST:ERR?\n*IDN?", "", "Not sent: line break 0x0A at position 11"},
      {"*IDN?\r", "", "Not sent: line break 0x0D at position 6"},
      {"*IDN?\t", "", "Not sent: control character 0x09 at position 6"},
      {"\x7F", "", "Not sent: control character 0x7F at position 1"},
      {"a\xC2\x85", "", "Not sent: control character 0x85 at position 2"},
  };
  for (const auto& c : cases) {
    const ManualCommandLine line = PrepareManualCommand(c.typed);
    EXPECT_EQ(line.Bytes, c.bytes) << c.typed;
    EXPECT_EQ(line.Refusal, c.refusal) << c.typed;
  }
  EXPECT_EQ(ManualSendReport({5, 5}), "");
  EXPECT_EQ(ManualSendReport({0, 5}), "Not sent: the serial port did not take the text");
  EXPECT_EQ(ManualSendReport({4992, 32768}), "Not sent whole: about 4992 of 32768 characters, no CR");
}

// Scripts of what happens, seconds after opening, and whether the watch then closes.
TEST(ManualCommand, ClosesAfter180SecondsWithoutActivity) {
  struct Step {
    double at;  // seconds after Open
    enum { Tick, Activity, Send, SendSlowly, SentOut } what;
    bool closes = false;
  };
  struct Script {
    const char* name;
    std::vector<Step> steps;
  };
  const std::vector<Script> scripts = {
      {"untouched", {{179.9, Step::Tick}, {180.0, Step::Tick}, {180.1, Step::Tick, true}}},
      {"edit restarts", {{100, Step::Activity}, {181, Step::Tick}, {280.0, Step::Tick}, {280.2, Step::Tick, true}}},
      {"send restarts", {{170, Step::Send}, {349.9, Step::Tick}, {350.1, Step::Tick, true}}},
      // The clock set back an hour: the period starts again from there, not an hour later.
      {"clock set back", {{-3600, Step::Tick}, {-3600 + 179, Step::Tick}, {-3600 + 181, Step::Tick, true}}},
      {"clock set forward", {{3600, Step::Tick, true}}},
      // A long text going out slowly holds the window open until it is out.
      {"text going out", {{10, Step::SendSlowly}, {400, Step::Tick}, {401, Step::SentOut}, {581, Step::Tick, true}}},
  };
  for (const Script& script : scripts) {
    SharedReceiverState state;
    VirtualClock clock(Start);
    ManualCommandWatch watch(state, clock);
    watch.Open();
    EXPECT_TRUE(state.ManualMode) << script.name;
    EXPECT_EQ(watch.LastCommandActivity(), Start);
    for (const Step& step : script.steps) {
      clock.Set(Start + step.at * OneSecond);
      switch (step.what) {
        case Step::Activity:
          watch.Activity();
          break;
        case Step::Send:
        case Step::SendSlowly:
          EXPECT_EQ(watch.Send("*IDN?"), "");
          if (step.what == Step::SendSlowly) break;
          [[fallthrough]];
        case Step::SentOut: {
          std::string text;  // the poll thread's part
          ASSERT_TRUE(state.ManualCommand.Take(text));
          state.ManualCommand.Finish({text.size(), text.size()});
          break;
        }
        case Step::Tick:
          EXPECT_EQ(watch.Tick().CloseNow, step.closes) << script.name << " at " << step.at;
          break;
      }
    }
    watch.Close();
    EXPECT_FALSE(state.ManualMode) << script.name;
    EXPECT_FALSE(watch.Tick().CloseNow) << "a closed window has nothing to close";
  }
}

TEST(ManualCommand, AnchorsAndConsoleRule) {
  const ManualCommandLayout design =
      LayOutManualCommand(ManualCommandDesignClientWidth, ManualCommandDesignClientHeight);
  EXPECT_EQ(design.Panel, (ManualCommandBox{8, 8, 420, 29}));
  EXPECT_EQ(design.Led, (ManualCommandBox{389, 5, 20, 20}));
  EXPECT_EQ(design.GroupBox, (ManualCommandBox{5, 47, 429, 232}));
  EXPECT_EQ(design.Combo, (ManualCommandBox{8, 24, 346, 21}));
  EXPECT_EQ(design.Send, (ManualCommandBox{368, 24, 49, 21}));
  EXPECT_EQ(design.Console, (ManualCommandBox{8, 56, 413, 167}));
  EXPECT_EQ(design.Note.X, 8);
  EXPECT_GT(design.Note.Y, 47 + 232);

  // Grown by 100 x 50: the group box, combo box and console grow, Send and the note move.
  const ManualCommandLayout grown =
      LayOutManualCommand(ManualCommandDesignClientWidth + 100, ManualCommandDesignClientHeight + 50, 25);
  EXPECT_EQ(grown.Panel, design.Panel);
  EXPECT_EQ(grown.GroupBox, (ManualCommandBox{5, 47, 529, 282}));
  EXPECT_EQ(grown.Combo, (ManualCommandBox{8, 24, 446, 25}));
  EXPECT_EQ(grown.Send, (ManualCommandBox{468, 24, 49, 25}));
  EXPECT_EQ(grown.Console, (ManualCommandBox{8, 56, 513, 217}));
  EXPECT_EQ(grown.Note.Y, design.Note.Y + 50);

  EXPECT_EQ(ManualCommandConsoleBox(10, 30), (ManualCommandBox{8, 56, 0, 0}));
}

}  // namespace
