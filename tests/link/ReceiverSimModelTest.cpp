// The simulated receiver's physics, screens and command interpreter, without a line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "link/ScanNumbers.h"
#include "receiver_sim/ReceiverModel.h"
#include "receiver_sim/ScpiReceiver.h"

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s) {
  DateTimeParts p;
  p.year = y, p.month = mo, p.day = d, p.hour = h, p.minute = mi, p.second = s;
  return EncodeDateTime(p);
}

const TDateTime Start = At(2013, 8, 1, 12, 0, 0);

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The index of the satellite table's header: the last line holding "PRN".
int HeaderLine(const std::vector<std::string>& lines) {
  int header = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (Upper(lines[i]).find("PRN") != std::string::npos) header = static_cast<int>(i);
  return header;
}

ModelTimings Quick() {
  ModelTimings t;
  t.powerUpSeconds = 20;
  t.recoverySeconds = 60;
  t.holdEveryMinutes = 0;
  return t;
}

}  // namespace

TEST(ReceiverModel, SmartClockGoesPowerUpRecoveryLockAndHolds) {
  ModelTimings t = Quick();
  t.holdEveryMinutes = 10;
  t.holdMinutes = 3;
  ReceiverModel m(SimFamily::Z3801, 7, t);
  m.AdvanceTo(Start);
  EXPECT_EQ(m.Mode(), SmartClockMode::PowerUp);
  std::vector<SmartClockMode> seen{m.Mode()};
  for (int s = 1; s <= 3 * 3600; ++s) {
    m.AdvanceTo(Start + s * OneSecond);
    if (m.Mode() != seen.back()) seen.push_back(m.Mode());
  }
  ASSERT_GE(seen.size(), 6u);
  EXPECT_EQ(seen[1], SmartClockMode::Recovery);
  EXPECT_EQ(seen[2], SmartClockMode::Locked);
  EXPECT_EQ(seen[3], SmartClockMode::Holdover);
  EXPECT_EQ(seen[4], SmartClockMode::Recovery);
  EXPECT_EQ(seen[5], SmartClockMode::Locked);
  EXPECT_STREQ(ModeText(SmartClockMode::Holdover), "HOLD");
}

TEST(ReceiverModel, LockedPhysicsArePlausible) {
  ReceiverModel m(SimFamily::Z3801, 3, Quick());
  m.AdvanceTo(Start);
  m.AdvanceTo(Start + 600 * OneSecond);
  ASSERT_EQ(m.Mode(), SmartClockMode::Locked);
  const double efc0 = m.Efc();
  const double hup0 = m.HoldoverUncertaintySeconds();
  double sum = 0, sumSq = 0, diffSq = 0, previous = m.PpsTiSeconds();
  const int n = 3600;
  for (int s = 1; s <= n; ++s) {
    m.AdvanceTo(Start + (600 + s) * OneSecond);
    const double ti = m.PpsTiSeconds();
    EXPECT_LT(std::fabs(ti), 50e-9);
    sum += ti, sumSq += ti * ti, diffSq += (ti - previous) * (ti - previous);
    previous = ti;
  }
  const double mean = sum / n, sd = std::sqrt(sumSq / n - mean * mean);
  EXPECT_GT(sd, 0.3e-9);                     // noisy ...
  EXPECT_LT(sd, 10e-9);                      // ... at the few-ns level
  EXPECT_GT(std::sqrt(diffSq / n), 0.5e-9);  // white noise from second to second
  // Prediction improves, the EFC creeps upwards by ageing.
  EXPECT_LT(m.HoldoverUncertaintySeconds(), hup0);
  EXPECT_GT(m.HoldoverUncertaintySeconds(), 1e-6);
  m.AdvanceTo(Start + 86400 * OneSecond);
  EXPECT_GT(m.Efc() - efc0, 5.0);
  EXPECT_LT(m.Efc() - efc0, 30.0);
}

TEST(ReceiverModel, SameSeedSameRunOtherSeedOtherSky) {
  ReceiverModel a(SimFamily::Z3815, 11), b(SimFamily::Z3815, 11), c(SimFamily::Z3815, 12);
  for (int s = 0; s <= 900; s += 7) {
    a.AdvanceTo(Start + s * OneSecond);
    b.AdvanceTo(Start + s * OneSecond);
    c.AdvanceTo(Start + s * OneSecond);
  }
  EXPECT_EQ(a.StatusScreen(), b.StatusScreen());
  EXPECT_EQ(a.PpsTiSeconds(), b.PpsTiSeconds());
  EXPECT_NE(a.StatusScreen(), c.StatusScreen());
}

TEST(ReceiverModel, SatellitesMoveAndTheBuildingBlocksItsSector) {
  ReceiverModel m(SimFamily::Z3801, 5, Quick());
  m.AdvanceTo(Start);
  int blockedSeen = 0, lowTrackedElsewhere = 0;
  double lowestTrackedInSector = 90;
  std::set<int> prns;
  for (int minute = 2; minute <= 24 * 60; minute += 5) {
    m.AdvanceTo(Start + minute * 60 * OneSecond);
    const auto sky = m.Sky();
    int tracked = 0;
    for (const SkySatellite& s : sky) {
      EXPECT_GT(s.elevation, 0);
      EXPECT_LE(s.elevation, 90);
      EXPECT_GE(s.azimuth, 0);
      EXPECT_LT(s.azimuth, 360);
      if (s.tracked) {
        ++tracked;
        prns.insert(s.prn);
        EXPECT_GE(s.cn, 28);
        EXPECT_LE(s.cn, 50);
        if (s.azimuth >= 200 && s.azimuth <= 250)
          lowestTrackedInSector = std::min(lowestTrackedInSector, s.elevation);
        else if (s.elevation < 15)
          ++lowTrackedElsewhere;
      } else {
        EXPECT_EQ(s.cn, 0);
      }
      if (s.blocked) {
        ++blockedSeen;
        EXPECT_FALSE(s.tracked);
      }
    }
    EXPECT_LE(tracked, m.Channels());
    EXPECT_EQ(tracked, m.TrackedCount());
    EXPECT_EQ(static_cast<int>(sky.size()), m.VisibleCount());
  }
  EXPECT_GT(blockedSeen, 0);
  EXPECT_GE(lowestTrackedInSector, 30.0);  // the learned horizon shows the building
  EXPECT_GT(lowTrackedElsewhere, 0);
  EXPECT_GT(prns.size(), 15u);  // the constellation moves across the sky
}

TEST(ReceiverModel, StatusScreenShapeAndSatelliteRows) {
  for (SimFamily family : {SimFamily::Z3801, SimFamily::Hp58503, SimFamily::JacksonLabs, SimFamily::Gcru}) {
    SCOPED_TRACE(FamilyName(family));
    ReceiverModel m(family, 21, Quick());
    m.AdvanceTo(Start);
    bool sawAcquiring = false;
    for (int minute = 5; minute <= 12 * 60; minute += 37) {
      m.AdvanceTo(Start + minute * 60 * OneSecond);
      const auto lines = m.StatusScreen();
      for (const std::string& line : lines) EXPECT_EQ(line.size(), 79u) << line;
      const int header = HeaderLine(lines);
      ASSERT_GT(header, 0);
      EXPECT_NE(lines[header].find("PRN  El  Az"), std::string::npos);
      // The rows below the header, as many as the receiver says it tracks, give the
      // tracked satellites: PRN, elevation, azimuth, C/N.
      std::vector<SkySatellite> tracked;
      for (const SkySatellite& s : m.Sky())
        if (s.tracked) tracked.push_back(s);
      ASSERT_FALSE(tracked.empty());
      ASSERT_LT(header + tracked.size(), lines.size());
      for (std::size_t k = 0; k < tracked.size(); ++k) {
        NumberList n;
        ASSERT_TRUE(ScanNumbers(Upper(lines[header + 1 + k]), n));
        ASSERT_GE(n.Count, 4);
        EXPECT_EQ(n[1], tracked[k].prn);
        EXPECT_EQ(n[2], std::lround(tracked[k].elevation));
        EXPECT_EQ(n[3], std::lround(tracked[k].azimuth) % 360);
        EXPECT_EQ(n[4], tracked[k].cn);
      }
      for (const std::string& line : lines) sawAcquiring |= line.find("Acq .") != std::string::npos;
      // Mode marker on exactly one line.
      int marks = 0;
      for (const std::string& line : lines) marks += line.rfind(">> ", 0) == 0 ? 1 : 0;
      EXPECT_EQ(marks, 1);
    }
    EXPECT_TRUE(sawAcquiring);
  }
}

// The GCRU screen as its poll cycle decodes it: "TRACKING:" gives tracked and not-tracked
// counts, "1PPS TI" its second number with the unit, "PREDICT" its first, ">>" the mode.
TEST(ReceiverModel, GcruScreenCarriesTheDecodedValues) {
  ModelTimings t = Quick();
  t.holdEveryMinutes = 20;
  ReceiverModel m(SimFamily::Gcru, 9, t);
  m.AdvanceTo(Start);
  std::set<std::string> states;
  for (int s = 0; s <= 3 * 3600; s += 10) {
    m.AdvanceTo(Start + s * OneSecond);
    int tracking = 0, pps = 0, predict = 0, marks = 0;
    for (const std::string& raw : m.StatusScreen()) {
      std::string line = Upper(raw);
      NumberList n;
      if (line.find("TRACKING:") != std::string::npos && ScanNumbers(line, n)) {
        ++tracking;
        ASSERT_GE(n.Count, 2);
        EXPECT_EQ(n[1], m.TrackedCount());
        EXPECT_EQ(n[1] + n[2], m.VisibleCount());
      }
      if (line.find("1PPS TI") != std::string::npos) {
        ++pps;
        line.erase(std::remove(line.begin(), line.end(), '+'), line.end());
        ASSERT_TRUE(ScanNumbers(line, n));
        ASSERT_GE(n.Count, 2);
        EXPECT_EQ(n[1], 1);
        ASSERT_NE(line.find("NS"), std::string::npos);
        EXPECT_NEAR(n[2] * 1e-9, m.PpsTiSeconds(), 0.051e-9);
      }
      if (line.find("PREDICT") != std::string::npos && ScanNumbers(line, n)) {
        ++predict;
        EXPECT_EQ(line.find("NS"), std::string::npos);
        ASSERT_NE(line.find("US"), std::string::npos);
        EXPECT_NEAR(n[1] * 1e-6, m.HoldoverUncertaintySeconds(), 0.051e-6);
      }
      if (line.find(">>") != std::string::npos) {
        ++marks;
        const char* words[] = {"LOCKED", "RECOVERY", "HOLDOVER", "POWER"};
        const char* codes[] = {"LOCK", "REC", "HOLD", "POW"};
        std::string decoded;
        for (int i = 0; i < 4 && decoded.empty(); ++i)
          if (line.find(words[i]) != std::string::npos) decoded = codes[i];
        EXPECT_EQ(decoded, ModeText(m.Mode()));
        states.insert(decoded);
      }
    }
    EXPECT_EQ(tracking, 1);
    EXPECT_EQ(pps, 1);
    EXPECT_EQ(predict, 1);
    EXPECT_EQ(marks, 1);
  }
  EXPECT_EQ(states, (std::set<std::string>{"POW", "REC", "LOCK", "HOLD"}));
}

TEST(ReceiverModel, TimeCodeIsF2WithChecksum) {
  ReceiverModel m(SimFamily::Z3801, 1);
  m.AdvanceTo(At(2013, 8, 1, 12, 34, 56) + 0.7 * OneSecond);
  const std::string code = m.TimeCode();
  ASSERT_EQ(code.size(), 23u);
  EXPECT_EQ(code.substr(0, 16), "T220130801123456");
  unsigned sum = 0;
  for (int i = 0; i < 21; ++i) sum += static_cast<unsigned char>(code[i]);
  EXPECT_EQ(std::strtoul(code.substr(21).c_str(), nullptr, 16), sum & 0xFF);
  EXPECT_EQ(m.TimeCode(false).substr(0, 2), "T1");
}

TEST(ScpiReceiver, AnswerFormsPerFamily) {
  struct Case {
    SimFamily family;
    const char* command;
    const char* pattern;  // '#' a digit, 's' a sign, '*' anything to the end
  };
  const Case cases[] = {
      {SimFamily::Z3801, ":PTIM:TINT?", "s#.#E-0##"},
      {SimFamily::Z3801, ":SYNC:HOLD:TUNC:PRED?", "+#.#E-0##,0"},
      {SimFamily::Z3801, ":DIAG:LIF:COUN?", "+#*"},
      {SimFamily::Z3801, ":PTIM:GPS:SAT:TRAC:COUN?", "+#*"},
      {SimFamily::Z3801, ":PTIM:GPS:SAT:VIS:PRED:COUN?", "+#*"},
      {SimFamily::Z3801, ":DIAG:ROSC:EFC:ABS?", "+#*"},
      {SimFamily::Z3801, ":SYST:ERR?", "+0,\"No error\""},
      {SimFamily::Z3801, ":PTIM:TCOD:FORM?", "F1"},
      {SimFamily::Gcru, ":DIAG:ROSC:EFC:ABS?", "+#.######"},
      {SimFamily::JacksonLabs, "PTIM:TIME?", "12,34,56"},
      {SimFamily::JacksonLabs, "PTIM:DATE?", "2013,8,1"},
      {SimFamily::JacksonLabs, "GPS:SAT:TRACKING:COUNT?", "#*"},
      {SimFamily::Mtron, "GPS:SAT:VISIBLE:COUNT?", "#*"},
      {SimFamily::Mtron, ":DIAG:LIF:COUN?", "#*"},
      {SimFamily::JacksonLabs, ":DIAG:ROSC:EFC:ABS?", "#*"},
      {SimFamily::Z3816, "*idn?", "Symmetricom,Z3816A*"},
      {SimFamily::Hp55300, ":diagnostic:lifetime:count?", "+#*"},
  };
  auto matches = [](const std::string& s, const std::string& p) {
    std::size_t i = 0;
    for (std::size_t k = 0; k < p.size(); ++k) {
      if (p[k] == '*') return k + 1 == p.size();
      if (i >= s.size()) return false;
      const bool ok = p[k] == '#'   ? std::isdigit(static_cast<unsigned char>(s[i])) != 0
                      : p[k] == 's' ? s[i] == '+' || s[i] == '-'
                                    : p[k] == s[i];
      if (!ok) return false;
      ++i;
    }
    return i == s.size();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(FamilyName(c.family)) + " " + c.command);
    ScpiReceiver r(c.family, 4, Quick());
    const std::string reply = r.HandleLine(c.command, At(2013, 8, 1, 12, 34, 56), true);
    ASSERT_GE(reply.size(), 9u);
    EXPECT_EQ(reply.substr(reply.size() - 9), "\r\nscpi > ");
    const std::string answer = reply.substr(0, reply.size() - 9);
    EXPECT_TRUE(matches(answer, c.pattern)) << answer;
  }
}

TEST(ScpiReceiver, DialectsRejectEachOthersCommands) {
  ScpiReceiver z(SimFamily::Z3801, 1), j(SimFamily::JacksonLabs, 1);
  EXPECT_EQ(z.HandleLine("PTIM:TIME?", Start), "E-113> ");
  EXPECT_EQ(z.HandleLine("GPS:SAT:TRACKING:COUNT?", Start), "E-113> ");
  EXPECT_EQ(j.HandleLine(":PTIM:TCOD?", Start), "E-113> ");
  EXPECT_EQ(j.HandleLine(":LED:ACT ON;", Start), "E-113> ");
}

TEST(ScpiReceiver, SetupAndLedCommandsAreAcknowledged) {
  ScpiReceiver r(SimFamily::Z3805, 1);
  r.SetEcho(true);
  for (const char* command : {"PTIM:TCOD:CONT 0", "*CLS", ":LED:ACT ON;", ":LED:ACT OFF;", ":PTIM:TCOD:FORM F2"})
    EXPECT_EQ(r.HandleLine(command, Start), std::string(command) + "\r\nscpi > ") << command;
  EXPECT_EQ(r.HandleLine(":PTIM:TCOD:FORM?", Start), ":PTIM:TCOD:FORM?\r\nF2\r\nscpi > ");
  // Full-duplex echo off is the last thing echoed.
  EXPECT_EQ(r.HandleLine(":SYST:COMM:SER1:FDUP 0", Start), ":SYST:COMM:SER1:FDUP 0\r\nscpi > ");
  EXPECT_FALSE(r.Echo());
  EXPECT_EQ(r.HandleLine(":LED:ACT?", Start), "0\r\nscpi > ");
  EXPECT_EQ(r.HandleLine(":PTIM:TCOD:FORM F9", Start), "E-224> ");
  EXPECT_EQ(r.HandleLine(":SYST:ERR?", Start), "-224,\"Illegal parameter value\"\r\nscpi > ");
  EXPECT_EQ(r.HandleLine("*IDN?;:ROSC:STAT?", Start), IdnAnswer(SimFamily::Z3805) + ";POW\r\nscpi > ");
}

TEST(ScpiReceiver, ErrorQueueIsBoundedAndClearedByCls) {
  ScpiReceiver r(SimFamily::Z3801, 1);
  for (int i = 0; i < 100; ++i) r.HandleLine("NOPE", Start);
  EXPECT_EQ(r.ErrorCount(), 30u);
  std::string last;
  for (int i = 0; i < 30; ++i) last = r.HandleLine(":SYST:ERR?", Start);
  EXPECT_EQ(last, "-350,\"Queue overflow\"\r\nscpi > ");
  r.HandleLine("NOPE", Start);
  EXPECT_EQ(r.Prompt(), "E-113> ");
  r.HandleLine("*CLS", Start);
  EXPECT_EQ(r.Prompt(), "scpi > ");
}
