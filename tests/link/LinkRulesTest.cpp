#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/LinkRules.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

namespace {

struct TrimCase {
  std::string received;
  const char* command;
  const char* answer;
};

class TrimAnswerCases : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimAnswerCases, LeavesTheBareAnswer) {
  std::string buffer = GetParam().received;
  TrimAnswer(buffer, GetParam().command);
  EXPECT_EQ(buffer, GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TrimAnswerCases,
    ::testing::Values(TrimCase{":PTIM:TINT?\r\n+1.234E-08\r\nscpi > ", ":PTIM:TINT?", "+1.234E-08"},  // echoed
                      TrimCase{"+1.234E-08\r\nscpi > ", ":PTIM:TINT?", "+1.234E-08"},                 // no echo
                      TrimCase{"", ":PTIM:TINT?", ""}, TrimCase{"scpi > ", ":PTIM:TINT?", "s"},       // prompt only
                      TrimCase{"+3\r\nE-113> ", ":DIAG:LIF:COUN?", "+3"},                             // error prompt
                      TrimCase{"a\r\nb\r\nscpi > ", "x", "ab"},  // lines run together
                      TrimCase{"\r", "x", ""},                   // lone CR
                      TrimCase{"+0,\"No error\"\r\n", ":SYST:ERR?", "+0,\"No error\""},
                      TrimCase{"*IDN?\r\n*IDN?\r\nHP,Z3801A\r\nscpi > ", "*IDN?", "*IDN?HP,Z3801A"}));  // one echo only

struct IdnCase {
  const char* answer;
  std::uint8_t family;
};

class IdnCases : public ::testing::TestWithParam<IdnCase> {};

TEST_P(IdnCases, LastMatchingKeyWins) { EXPECT_EQ(FamilyFromIdn(GetParam().answer), GetParam().family); }

INSTANTIATE_TEST_SUITE_P(Answers, IdnCases,
                         ::testing::Values(IdnCase{"HEWLETT-PACKARD,Z3801A,3544A01234,Rev 1.07", FamilyZ3801},
                                           IdnCase{"hp,z3801a", FamilyZ3801}, IdnCase{"HP,Z3805A", FamilyZ3805},
                                           IdnCase{"Z3815A", FamilyZ3815}, IdnCase{"Z3816A", FamilyZ3816},
                                           IdnCase{"Z3817A", FamilyZ3817}, IdnCase{"Symmetricom GCRU", FamilyGCRU},
                                           IdnCase{"HP 58503B", FamilyHP58503}, IdnCase{"HP 55300A", FamilyHP55300},
                                           IdnCase{"Jackson Labs Fury", FamilyJackson},
                                           IdnCase{"CSAC GPSDO", FamilyJackson}, IdnCase{"gpsocxo", FamilyJackson},
                                           IdnCase{"LC_XO", FamilyJackson}, IdnCase{"MTRON PTI", FamilyMtron},
                                           IdnCase{"Z3801 MTRON", FamilyMtron}, IdnCase{"58503 55300", FamilyHP55300},
                                           IdnCase{"GCRU CSAC", FamilyJackson}, IdnCase{"Acme Clock", FamilyUndefined},
                                           IdnCase{"", FamilyUndefined}));

TEST(DetectedDeviceMessage, NamesEveryFamily) {
  EXPECT_EQ(DetectedDeviceMessage(FamilyZ3801), "Detected Device: Z3801");
  EXPECT_EQ(DetectedDeviceMessage(FamilyJackson), "Detected Device: Jackson Labs");
  EXPECT_EQ(DetectedDeviceMessage(FamilyHP55300), "Detected Device: HP55300");
  EXPECT_EQ(DetectedDeviceMessage(FamilyUndefined), "Detected Device: Undefined");
  EXPECT_EQ(DetectedDeviceMessage(200), "Detected Device: Undefined");
}

struct NumberCase {
  double value;
  const char* text;
};

class GeneralNumberCases : public ::testing::TestWithParam<NumberCase> {};

TEST_P(GeneralNumberCases, WritesGeneralFormat) { EXPECT_EQ(GeneralNumberText(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Values, GeneralNumberCases,
                         ::testing::Values(NumberCase{165.0 * 1e-6, "0.000165"}, NumberCase{7.2 * 1e-9, "7.2E-9"},
                                           NumberCase{-7.2e-9, "-7.2E-9"}, NumberCase{0, "0"}, NumberCase{1, "1"},
                                           NumberCase{0.0001, "0.0001"}, NumberCase{0.00001, "1E-5"},
                                           NumberCase{123456.75, "123456.75"}, NumberCase{1e15, "1E15"},
                                           NumberCase{123456789012345.0, "123456789012345"},
                                           NumberCase{0.1 + 0.2, "0.3"},  // 15 significant digits
                                           NumberCase{1.5e-12, "1.5E-12"}));

// GCRU status screen lines, decoded into the shared values.
TEST(DecodeGcruStatus, PublishesWhatTheScreenHolds) {
  SharedReceiverState state;
  DecodeGcruStatus({"  Tracking: 6    Not Tracking: 2", ">> Recovery   1PPS TI: +7.2 ns", "Predict  165.0 us",
                    "   Locked", "   Holdover"},
                   state);
  EXPECT_EQ(state.Value(ReceiverValue::Tracked), "6");
  EXPECT_EQ(state.Value(ReceiverValue::Visible), "8");
  EXPECT_EQ(state.Value(ReceiverValue::PpsTi), "7.2E-9");
  EXPECT_EQ(state.Value(ReceiverValue::Hup), "0.000165");
  EXPECT_EQ(state.Value(ReceiverValue::OscStatus), "REC");  // only the ">>" line counts
  EXPECT_EQ(state.Value(ReceiverValue::LifeCount), "1");
  for (ReceiverValue v : {ReceiverValue::Tracked, ReceiverValue::Visible, ReceiverValue::PpsTi, ReceiverValue::Hup,
                          ReceiverValue::OscStatus, ReceiverValue::LifeCount})
    EXPECT_TRUE(state.IsNew(v));
  EXPECT_FALSE(state.IsNew(ReceiverValue::Efc));
}

struct StateCase {
  const char* line;
  const char* status;  // nullptr: untouched
};

class GcruStateCases : public ::testing::TestWithParam<StateCase> {};

TEST_P(GcruStateCases, TheFirstKeyInOrderDecides) {
  SharedReceiverState state;
  DecodeGcruStatus({GetParam().line}, state);
  if (GetParam().status) {
    EXPECT_TRUE(state.IsNew(ReceiverValue::OscStatus));
    EXPECT_EQ(state.Value(ReceiverValue::OscStatus), GetParam().status);
  } else {
    EXPECT_FALSE(state.IsNew(ReceiverValue::OscStatus));
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, GcruStateCases,
                         ::testing::Values(StateCase{">> Locked", "LOCK"}, StateCase{">> Holdover", "HOLD"},
                                           StateCase{">> Holdover  Recovery", "REC"}, StateCase{">>power up", "POW"},
                                           StateCase{">> Locked Recovery", "LOCK"}, StateCase{">> Acquiring", nullptr},
                                           StateCase{"Locked", nullptr}));

TEST(DecodeGcruStatus, LinesShortOfNumbersPublishNothing) {
  SharedReceiverState state;
  state.Publish(ReceiverValue::PpsTi, "1E-9", true);
  DecodeGcruStatus({"Tracking: 6", "1PPS TI: n/a", "1PPS TI +", "Predict ---"}, state);
  EXPECT_FALSE(state.IsNew(ReceiverValue::Tracked));
  EXPECT_FALSE(state.IsNew(ReceiverValue::Visible));
  EXPECT_EQ(state.Value(ReceiverValue::PpsTi), "1E-9");  // set flags stay set, values stay
  EXPECT_TRUE(state.IsNew(ReceiverValue::PpsTi));
  EXPECT_EQ(state.Value(ReceiverValue::Hup), "0");  // a garbled number reads 0
}

TEST(DecodeGcruStatus, AnEmptyScreenGivesTheLifeCountOnly) {
  SharedReceiverState state;
  DecodeGcruStatus({}, state);
  EXPECT_TRUE(state.IsNew(ReceiverValue::LifeCount));
  EXPECT_EQ(state.Value(ReceiverValue::LifeCount), "1");
  for (ReceiverValue v : {ReceiverValue::Tracked, ReceiverValue::Visible, ReceiverValue::PpsTi, ReceiverValue::Hup,
                          ReceiverValue::OscStatus})
    EXPECT_FALSE(state.IsNew(v));
}

TEST(DecodeGcruStatus, ScalesByTheUnitOnTheLine) {
  SharedReceiverState state;
  DecodeGcruStatus({"1PPS TI 12.5", "Predict 2 ns"}, state);
  EXPECT_EQ(state.Value(ReceiverValue::PpsTi), "12.5");
  EXPECT_EQ(state.Value(ReceiverValue::Hup), "2E-9");
}

struct TimeCodeCase {
  const char* time;
  const char* date;
  const char* code;  // nullptr: not a valid date and time
};

class TimeCodeCases : public ::testing::TestWithParam<TimeCodeCase> {};

TEST_P(TimeCodeCases, BuildsTheF2Code) {
  std::string code = "unchanged";
  const bool ok = BuildTimeCode(GetParam().time, GetParam().date, code);
  if (GetParam().code) {
    ASSERT_TRUE(ok);
    EXPECT_EQ(code, GetParam().code);
  } else {
    EXPECT_FALSE(ok);
    EXPECT_EQ(code, "unchanged");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TimeCodeCases,
    ::testing::Values(TimeCodeCase{"12,34,56", "2013,8,1", "T2201308011234560000"},
                      TimeCodeCase{"0,0,0", "2026,12,9", "T2202612090000000000"}, TimeCodeCase{"12,34,56", "", nullptr},
                      TimeCodeCase{"", "2013,8,1", nullptr}, TimeCodeCase{"12,34", "2013,8,1", nullptr},
                      TimeCodeCase{"12,34,56", "2013,2,29", nullptr}, TimeCodeCase{"24,0,0", "2013,8,1", nullptr},
                      TimeCodeCase{"garbage", "noise", nullptr}, TimeCodeCase{"99999999999,1,1", "2013,8,1", nullptr}));

TEST(AddTrace, StampsWithUtcAndHonoursHold) {
  SharedReceiverState state;
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 10, 400}));
  AddTrace(state, clock, true, "Send    : :PTIM:TINT?");
  AddTrace(state, clock, false, "");
  state.TraceHold = true;
  AddTrace(state, clock, true, "dropped");
  const auto lines = state.DrainTrace();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "2013-08-01 12:00:10 Send    : :PTIM:TINT?\r\n");
  EXPECT_EQ(lines[1], "\r\n");
}

}  // namespace
