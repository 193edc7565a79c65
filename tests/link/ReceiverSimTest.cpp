// The simulated receiver over its pseudo-terminal, read and written like a serial line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "TestFolder.h"
#include "link/AdvCom32.h"
#include "link/ScanNumbers.h"
#include "receiver_sim/ReceiverSim.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// The program's side of the line.
class Line {
 public:
  explicit Line(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ >= 0) {
      termios t{};
      tcgetattr(fd_, &t);
      cfmakeraw(&t);
      tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~Line() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  void Send(const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
      const ssize_t n = write(fd_, s.data() + done, s.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return;  // the line is gone
      } else {
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 10);
      }
    }
  }
  // Reads until `until` returns true for what has arrived, the time runs out or the line hangs up.
  template <typename Until>
  std::string ReadUntil(Until until, int timeoutMs) {
    std::string got;
    const auto end = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (!until(got) && SteadyClock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 5) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n > 0) {
        got.append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        hungUp_ = true;
        break;
      }
    }
    return got;
  }
  std::string ReadFor(int ms) {
    return ReadUntil([](const std::string&) { return false; }, ms);
  }
  // Sends a command and collects the answer up to and including the prompt.
  std::string Query(const std::string& command, int timeoutMs = 3000) {
    Send(command + "\r");
    return ReadUntil([](const std::string& s) { return s.size() >= 2 && s.compare(s.size() - 2, 2, "> ") == 0; },
                     timeoutMs);
  }
  bool HungUp() const { return hungUp_; }

 private:
  int fd_ = -1;
  bool hungUp_ = false;
};

SimOptions Fast(SimFamily family = SimFamily::Z3801) {
  SimOptions o;
  o.family = family;
  o.baud = 0;
  return o;
}

// The family the link derives from an identification answer: the keys in their order,
// the last match winning.
int FamilyCode(std::string answer) {
  for (char& c : answer) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto has = [&](const char* key) { return answer.find(key) != std::string::npos; };
  int family = 10;
  const std::pair<const char*, int> keys[] = {{"Z3801", 0}, {"Z3805", 1}, {"Z3815", 2}, {"Z3816", 3},
                                              {"Z3817", 4}, {"GCRU", 5},  {"58503", 7}, {"55300", 8}};
  for (const auto& [key, code] : keys)
    if (has(key)) family = code;
  if (has("JACKSON") || has("CSAC") || has("GPSTCXO") || has("GPSOCXO") || has("LC_XO")) family = 6;
  if (has("MTRON")) family = 9;
  return family;
}

}  // namespace

TEST(ReceiverSim, IdentifiesEachFamily) {
  const std::pair<SimFamily, int> families[] = {
      {SimFamily::Z3801, 0},   {SimFamily::Z3805, 1}, {SimFamily::Z3815, 2},       {SimFamily::Z3816, 3},
      {SimFamily::Z3817, 4},   {SimFamily::Gcru, 5},  {SimFamily::JacksonLabs, 6}, {SimFamily::Hp58503, 7},
      {SimFamily::Hp55300, 8}, {SimFamily::Mtron, 9}, {SimFamily::Unknown, 10},
  };
  for (auto [family, code] : families) {
    SCOPED_TRACE(FamilyName(family));
    ReceiverSim sim(Fast(family));
    ASSERT_TRUE(sim.Start());
    Line line(sim.SlavePath());
    ASSERT_TRUE(line.Ok());
    const std::string reply = line.Query("*IDN?");
    EXPECT_EQ(reply, IdnAnswer(family) + "\r\nscpi > ");
    EXPECT_EQ(FamilyCode(IdnAnswer(family)), code);
    SimFamily parsed;
    ASSERT_TRUE(ParseFamily(FamilyName(family), parsed));
    EXPECT_EQ(parsed, family);
  }
}

TEST(ReceiverSim, PromptAfterEveryAnswerAndEchoOnOff) {
  ReceiverSim sim(Fast(SimFamily::Z3801));
  ASSERT_TRUE(sim.Start());
  Line line(sim.SlavePath());
  const char* commands[] = {"*IDN?",
                            ":PTIM:TINT?",
                            ":PTIM:TCOD:FORM F2",
                            ":PTIM:TCOD?",
                            ":DIAG:ROSC:EFC:ABS?",
                            ":SYNC:HOLD:TUNC:PRED?",
                            ":DIAG:LIF:COUN?",
                            ":ROSC:STAT?",
                            ":PTIM:GPS:SAT:TRAC:COUN?",
                            ":PTIM:GPS:SAT:VIS:PRED:COUN?",
                            ":SYST:ERR?",
                            ":LED:ACT ON;",
                            ""};
  std::vector<std::string> plain;
  for (const char* c : commands) {
    const std::string reply = line.Query(c);
    ASSERT_GE(reply.size(), 7u) << c;
    EXPECT_EQ(reply.substr(reply.size() - 7), "scpi > ") << c;
    EXPECT_FALSE(*c && reply.rfind(c, 0) == 0) << "echoed without echo: " << c;
    plain.push_back(reply);
  }
  EXPECT_EQ(plain[3].size(), 23u + 2 + 7);  // F2 time code, CR LF, prompt

  sim.SetEcho(true);
  const std::string echoed = line.Query(":PTIM:TCOD:FORM?");
  EXPECT_EQ(echoed, ":PTIM:TCOD:FORM?\r\nF2\r\nscpi > ");
  // Line feeds are ignored; the command ends at its carriage return.
  line.Send("*I");
  line.Send("DN?\n");
  EXPECT_EQ(line.Query(""), "*IDN?\r\n" + IdnAnswer(SimFamily::Z3801) + "\r\nscpi > ");
  const std::vector<std::string> received = sim.ReceivedCommands();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back(), "*IDN?");
  EXPECT_EQ(sim.CommandCount(), 15);
}

TEST(ReceiverSim, ErrorQueueAndErrorPrompt) {
  ReceiverSim sim(Fast());
  ASSERT_TRUE(sim.Start());
  Line line(sim.SlavePath());
  EXPECT_EQ(line.Query(":SYST:ERR?"), "+0,\"No error\"\r\nscpi > ");
  EXPECT_EQ(line.Query(":BOGUS:CMD?"), "E-113> ");
  EXPECT_EQ(line.Query("*IDN?"), IdnAnswer(SimFamily::Z3801) + "\r\nE-113> ");
  EXPECT_EQ(line.Query(":SYST:ERR?"), "-113,\"Undefined header\"\r\nscpi > ");
  EXPECT_EQ(line.Query(":SYST:ERR?"), "+0,\"No error\"\r\nscpi > ");
}

TEST(ReceiverSim, InjectedAnswersAreExact) {
  ReceiverSim sim(Fast());
  ASSERT_TRUE(sim.Start());
  sim.SetAnswer(":PTIM:TINT?", "+7.2E-009");
  sim.SetAnswer(":SYST:STAT?", "line one\r\nline two");
  Line line(sim.SlavePath());
  EXPECT_EQ(line.Query(":PTIM:TINT?"), "+7.2E-009\r\nscpi > ");
  EXPECT_EQ(line.Query("ptim:tint?"), "+7.2E-009\r\nscpi > ");
  EXPECT_EQ(line.Query(":SYST:STAT?"), "line one\r\nline two\r\nscpi > ");
  sim.ClearAnswers();
  EXPECT_NE(line.Query(":PTIM:TINT?"), "+7.2E-009\r\nscpi > ");
}

TEST(ReceiverSim, StatusScreenOverTheLine) {
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0}));
  SimOptions o = Fast();
  o.clock = &clock;
  o.timings.powerUpSeconds = 10;
  o.timings.recoverySeconds = 20;
  ReceiverSim sim(o);
  ASSERT_TRUE(sim.Start());
  Line line(sim.SlavePath());
  EXPECT_EQ(line.Query(":ROSC:STAT?"), "POW\r\nscpi > ");
  clock.Advance(60000);
  EXPECT_EQ(line.Query(":ROSC:STAT?"), "LOCK\r\nscpi > ");
  EXPECT_EQ(line.Query(":PTIM:TCOD:FORM F2"), "scpi > ");
  EXPECT_EQ(line.Query(":PTIM:TCOD?").substr(0, 16), "T220130801120100");
  const std::string tracked = line.Query(":PTIM:GPS:SAT:TRAC:COUN?");
  const int trackedCount = std::atoi(tracked.c_str());
  ASSERT_GT(trackedCount, 0);

  const std::string screen = line.Query(":SYST:STAT?");
  ASSERT_GE(screen.size(), 7u);
  EXPECT_EQ(screen.substr(screen.size() - 7), "scpi > ");
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = screen.find("\r\n", from)) != std::string::npos; from = at + 2)
    lines.push_back(screen.substr(from, at - from));
  ASSERT_GT(lines.size(), 15u);
  int header = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].size(), 79u);
    if (lines[i].find("PRN") != std::string::npos) header = static_cast<int>(i);
  }
  ASSERT_GT(header, 0);
  int rows = 0;
  for (int k = 1; k <= trackedCount; ++k) {
    NumberList n;
    ASSERT_TRUE(ScanNumbers(lines[header + k], n));
    EXPECT_GE(n.Count, 4);
    EXPECT_GE(n[1], 1);
    EXPECT_LE(n[1], 32);
    ++rows;
  }
  EXPECT_EQ(rows, trackedCount);
}

TEST(ReceiverSim, PacedAtTheBaudRate) {
  SimOptions o = Fast();
  o.baud = 9600;
  ReceiverSim sim(o);
  ASSERT_TRUE(sim.Start());
  Line line(sim.SlavePath());
  const auto start = SteadyClock::now();
  const std::string reply = line.Query("*IDN?");
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
  EXPECT_EQ(reply, IdnAnswer(SimFamily::Z3801) + "\r\nscpi > ");
  // About a millisecond per character at 9600 baud.
  EXPECT_GE(ms, static_cast<long long>(reply.size() * 8 / 10));
}

TEST(ReceiverSim, FaultModes) {
  struct Case {
    SimFault fault;
    std::function<void(ReceiverSim&, Line&)> check;
  };
  const Case cases[] = {
      {SimFault::Silent,
       [](ReceiverSim& sim, Line& line) {
         line.Send("*IDN?\r");
         EXPECT_EQ(line.ReadFor(200), "");
         EXPECT_EQ(sim.CommandCount(), 1);
       }},
      {SimFault::NoPrompt,
       [](ReceiverSim&, Line& line) {
         line.Send("*IDN?\r");
         const std::string answer = line.ReadUntil([](const std::string& s) { return s.find('\n') != s.npos; }, 3000);
         EXPECT_EQ(answer + line.ReadFor(150), IdnAnswer(SimFamily::Z3801) + "\r\n");
       }},
      {SimFault::Chatter,
       [](ReceiverSim&, Line& line) {
         const std::string got = line.ReadUntil([](const std::string& s) { return s.size() > 4000; }, 2000);
         ASSERT_GT(got.size(), 4000u);
         EXPECT_EQ(got.find('>'), std::string::npos);
         EXPECT_EQ(got.substr(0, 2), "T1");
       }},
      {SimFault::Garbage,
       [](ReceiverSim&, Line& line) {
         const std::string got = line.ReadUntil([](const std::string& s) { return s.size() > 8000; }, 2000);
         ASSERT_GT(got.size(), 8000u);
         std::set<unsigned char> values(got.begin(), got.end());
         EXPECT_GT(values.size(), 250u);
       }},
      {SimFault::Trickle,
       [](ReceiverSim&, Line& line) {
         line.Send("*IDN?\r");
         std::string first = line.ReadUntil([](const std::string& s) { return !s.empty(); }, 3000);
         first += line.ReadFor(60);
         EXPECT_GE(first.size(), 1u);
         EXPECT_LE(first.size(), 8u);  // a character every 30 ms
         const std::string rest =
             line.ReadUntil([](const std::string& s) { return s.find("> ") != std::string::npos; }, 5000);
         EXPECT_EQ(first + rest, IdnAnswer(SimFamily::Z3801) + "\r\nscpi > ");
       }},
      {SimFault::Disconnect,
       [](ReceiverSim& sim, Line& line) {
         EXPECT_EQ(line.Query("*IDN?"), IdnAnswer(SimFamily::Z3801) + "\r\nscpi > ");
         EXPECT_EQ(line.Query("*CLS"), "scpi > ");
         EXPECT_EQ(line.Query("*IDN?", 1000), "");
         EXPECT_TRUE(line.HungUp());
         EXPECT_TRUE(sim.Disconnected());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FaultName(c.fault));
    SimOptions o = Fast();
    o.fault = c.fault;
    o.trickleMs = 30;
    o.disconnectAfter = 2;
    ReceiverSim sim(o);
    ASSERT_TRUE(sim.Start());
    Line line(sim.SlavePath());
    ASSERT_TRUE(line.Ok());
    c.check(sim, line);
    if (c.fault == SimFault::Disconnect) continue;
    // Once the fault clears, the receiver answers normally again.
    sim.SetFault(SimFault::None);
    for (int i = 0; i < 50 && !line.ReadFor(100).empty(); ++i) {
    }
    line.Query("");
    EXPECT_EQ(line.Query("*IDN?"), IdnAnswer(SimFamily::Z3801) + "\r\nscpi > ");
  }
}

// A flood of input without line ends, then thousands of commands: the receiver keeps
// only bounded state and goes on answering.
TEST(ReceiverSim, BoundedUnderFloods) {
  ReceiverSim sim(Fast());
  ASSERT_TRUE(sim.Start());
  Line line(sim.SlavePath());
  std::string junk(1 << 20, 'x');
  for (std::size_t i = 0; i < junk.size(); ++i)
    if (i % 7 == 0 && char(i % 251) != '\r') junk[i] = char(i % 251);
  std::thread drain([&] { line.ReadFor(1500); });
  line.Send(junk);
  drain.join();
  EXPECT_EQ(line.Query(""), "E-112> ");
  EXPECT_EQ(line.Query(":SYST:ERR?"), "-112,\"Program mnemonic too long\"\r\nscpi > ");

  std::string many;
  for (int i = 0; i < 2500; ++i) many += "*CLS\r";
  std::string replies;
  std::thread reader(
      [&] { replies = line.ReadUntil([](const std::string& s) { return s.size() >= 2500 * 7; }, 10000); });
  line.Send(many);
  reader.join();
  EXPECT_EQ(replies.size(), 2500u * 7);
  EXPECT_LE(sim.ReceivedCommands().size(), 1000u);
  EXPECT_EQ(line.Query("*IDN?"), IdnAnswer(SimFamily::Z3801) + "\r\nscpi > ");
}

TEST(ReceiverSim, ParsesItsCommandLineNames) {
  SimFault f;
  EXPECT_TRUE(ParseFault("no-prompt", f));
  EXPECT_EQ(f, SimFault::NoPrompt);
  EXPECT_TRUE(ParseFault("Garbage", f));
  EXPECT_EQ(f, SimFault::Garbage);
  EXPECT_FALSE(ParseFault("meltdown", f));
  SimFamily family;
  EXPECT_TRUE(ParseFamily("jackson", family));
  EXPECT_EQ(family, SimFamily::JacksonLabs);
  EXPECT_TRUE(ParseFamily("hp58503", family));
  EXPECT_EQ(family, SimFamily::Hp58503);
  EXPECT_FALSE(ParseFamily("Z3802", family));
}

TEST(ReceiverSim, StopAndRestartAreClean) {
  ReceiverSim sim(Fast());
  ASSERT_TRUE(sim.Start());
  const std::string path = sim.SlavePath();
  EXPECT_TRUE(sim.Running());
  sim.Stop();
  sim.Stop();
  EXPECT_FALSE(sim.Running());
  Line gone(path);
  EXPECT_FALSE(gone.Ok());
}

// The serial port on the simulator: answers survive a re-open of the port, and a
// receiver that goes away leaves a port whose writes fail and reads stay empty.
TEST(ReceiverSim, ServesTheSerialPort) {
  SimOptions o = Fast(SimFamily::Gcru);
  o.fault = SimFault::Disconnect;
  o.disconnectAfter = 3;
  ReceiverSim sim(o);
  ASSERT_TRUE(sim.Start());
  T_AdvCom32 port;
  port.SetDevicePath(sim.SlavePath());
  ASSERT_TRUE(port.Open());
  auto query = [&](const std::string& command) {
    port.Read();
    if (!port.Write(command + "\r")) return std::string("(write failed)");
    std::string answer;
    for (int i = 0; i < 300 && answer.find('>') == std::string::npos; ++i) {
      answer += port.Read();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return answer;
  };
  EXPECT_EQ(query("*IDN?"), IdnAnswer(SimFamily::Gcru) + "\r\nscpi > ");
  port.Close();
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(query(":SYST:ERR?"), "+0,\"No error\"\r\nscpi > ");
  EXPECT_EQ(query("*CLS"), "scpi > ");
  for (int i = 0; i < 300 && !sim.Disconnected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(sim.Disconnected());
  EXPECT_TRUE(port.Opened());
  EXPECT_EQ(query("*IDN?"), "(write failed)");
  EXPECT_EQ(port.Read(), "");
  EXPECT_EQ(port.InCount(), 0);
}

// Continuous time codes, once a second of the receiver's clock, until switched off.
TEST(ReceiverSim, ContinuousTimeCodeUntilSwitchedOff) {
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0}));
  SimOptions o = Fast(SimFamily::Z3815);
  o.clock = &clock;
  o.continuousTimeCode = true;
  ReceiverSim sim(o);
  ASSERT_TRUE(sim.Start());
  Line line(sim.SlavePath());
  auto lineEnd = [](const std::string& s) { return s.find("\r\n") != std::string::npos; };
  EXPECT_EQ(line.ReadUntil(lineEnd, 2000).substr(0, 16), "T120130801120000");
  clock.Advance(1000);
  EXPECT_EQ(line.ReadUntil(lineEnd, 2000).substr(0, 16), "T120130801120001");
  EXPECT_EQ(line.ReadFor(50), "");  // nothing more within the same second
  EXPECT_EQ(line.Query("PTIM:TCOD:CONT 0"), "scpi > ");
  clock.Advance(3000);
  EXPECT_EQ(line.ReadFor(100), "");
}

// The control file puts the running receiver into a state and lets it go again; the
// state shows in its answers and its status screen, and held states outlast the times
// its own sequence would give them.
TEST(ReceiverSim, StateFromTheControlFile) {
  const std::string folder = FreshTestFolder("sim");
  const std::string control = folder + "/state";
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0}));
  SimOptions o = Fast();
  o.clock = &clock;
  o.controlPath = control;
  ReceiverSim sim(o);
  ASSERT_TRUE(sim.Start());
  Line line(sim.SlavePath());
  ASSERT_TRUE(line.Ok());
  int serial = 0;
  auto write = [&](const std::string& text) {
    // Replaced whole, as a careful writer does; a fresh inode is seen at once.
    const std::string temp = control + ".new" + std::to_string(++serial);
    std::ofstream(temp) << text;
    std::filesystem::rename(temp, control);
  };
  struct Step {
    const char* text;  // nullptr: no file
    int advanceSeconds;
    const char* mode;        // answer to ":ROSC:STAT?", nullptr: no answer at all
    const char* screenMark;  // the marked line of the status screen
    SimControlState state;
  };
  const Step steps[] = {
      {nullptr, 0, "POW", ">> Power-up", SimControlState::Auto},
      {"locked\n", 1, "LOCK", ">> Locked to GPS", SimControlState::Locked},
      {"  HOLDOVER please", 600, "HOLD", ">> Holdover", SimControlState::Holdover},
      {"unlocked", 3600, "REC", ">> Recovery", SimControlState::Unlocked},
      {"silent", 1, nullptr, nullptr, SimControlState::Silent},
      {"holdover", 600, "HOLD", ">> Holdover", SimControlState::Holdover},
      // Let go after ten minutes of holdover, its own sequence ends the episode.
      {"auto", 1, "REC", ">> Recovery", SimControlState::Auto},
      {"locked", 1, "LOCK", ">> Locked to GPS", SimControlState::Locked},
      {"bogus", 1, "LOCK", ">> Locked to GPS", SimControlState::Auto},
      {"", 1, "LOCK", ">> Locked to GPS", SimControlState::Auto},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.text ? step.text : "(no file)");
    if (step.text)
      write(step.text);
    else
      std::filesystem::remove(control);
    clock.Advance(step.advanceSeconds * 1000.0);
    if (!step.mode) {
      line.Send(":ROSC:STAT?\r");
      EXPECT_EQ(line.ReadFor(300), "");
      EXPECT_EQ(sim.ControlState(), step.state);
      continue;
    }
    EXPECT_EQ(line.Query(":ROSC:STAT?"), std::string(step.mode) + "\r\nscpi > ");
    EXPECT_EQ(sim.ControlState(), step.state);
    line.Send("SYST:STAT?\r");
    const std::string status = line.ReadUntil(
        [](const std::string& s) { return s.find("HEALTH") != std::string::npos && s.find("> ") != s.npos; }, 3000);
    EXPECT_NE(status.find(step.screenMark), std::string::npos) << status;
  }
  // Changed in place (same inode) to another length, the file is read again too.
  std::ofstream(control, std::ios::trunc) << "holdover\n";
  EXPECT_EQ(line.Query(":ROSC:STAT?"), "HOLD\r\nscpi > ");
}

TEST(ReceiverSim, ParsesControlWords) {
  const std::pair<const char*, SimControlState> good[] = {
      {"locked", SimControlState::Locked},
      {"Holdover\n", SimControlState::Holdover},
      {"\t unlocked now", SimControlState::Unlocked},
      {"SILENT", SimControlState::Silent},
      {"auto", SimControlState::Auto},
  };
  for (const auto& [text, state] : good) {
    SimControlState parsed = SimControlState::Silent;
    EXPECT_TRUE(ParseControlState(text, parsed)) << text;
    EXPECT_EQ(parsed, state) << text;
    EXPECT_TRUE(ParseControlState(ControlStateName(state), parsed));
    EXPECT_EQ(parsed, state);
  }
  for (const char* bad : {"", "   ", "lock", "holdovers", "locked-ish"}) {
    SimControlState parsed = SimControlState::Locked;
    EXPECT_FALSE(ParseControlState(bad, parsed)) << bad;
  }
}
