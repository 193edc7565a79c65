// The manual command window against the simulated receiver on a pseudo-terminal, with
// every window and the poll thread real and time virtual (ten times the wall).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "controls/ui/ConsoleWidget.h"
#include "controls/ui/LEDPaint.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"
#include "windows/ui/CommandUnit.h"

namespace {

// Runs the event loop until `done` holds or `realSeconds` of wall time pass.
bool WaitFor(const std::function<bool()>& done, double realSeconds) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(realSeconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string ConsoleText(TCommandForm& form) {
  const TConsoleScreen& screen = form.Console1()->Screen();
  std::string text;
  for (int y = 0; y <= screen.CursorY(); ++y) text += screen.RowText(y) + "\n";
  return text;
}

int CountOf(const std::vector<std::string>& commands, const std::string& command) {
  return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

class CommandEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    dir_ = FreshTestFolder("varnex_command_end_to_end");
    clock_.SetRealTimeFactor(0.1);
    SimOptions options;
    options.family = SimFamily::Z3801;
    options.baud = 0;
    options.clock = &clock_;
    sim_ = std::make_unique<ReceiverSim>(options);
    ASSERT_TRUE(sim_->Start());
    std::ofstream(dir_ / "Varnex.ini", std::ios::binary) << "[Serial]\r\nDevice=" << sim_->SlavePath() << "\r\n";
    context_ = std::make_unique<VarnexContext>(state_, clock_, dir_.string());
    windows_ = std::make_unique<VarnexWindows>(*context_);
    context_->MainForm->show();
    form_ = context_->CommandForm;
  }
  void TearDown() override {
    windows_.reset();
    if (sim_) sim_->Stop();
  }
  double VirtualSeconds() const { return const_cast<VirtualClock&>(clock_).UtcNow() * SecondsPerDay; }
  int Polls() const { return CountOf(sim_->ReceivedCommands(), ":PTIM:TINT?"); }
  void Open() { context_->MainForm->Action("ManualCommandEntry1")->trigger(); }

  std::filesystem::path dir_;
  VirtualClock clock_{EncodeDateTime({2013, 8, 1, 12, 0, 7, 0})};
  std::unique_ptr<ReceiverSim> sim_;
  SharedReceiverState state_;
  std::unique_ptr<VarnexContext> context_;
  std::unique_ptr<VarnexWindows> windows_;
  TCommandForm* form_ = nullptr;
};

TEST_F(CommandEndToEnd, PausesPollingSendsAndResumes) {
  const std::string pictures = ::testing::TempDir();
  // Open while a cycle runs: the receiver holds its answers, so the cycle is slow.
  ASSERT_TRUE(WaitFor([&] { return Polls() >= 1 && !state_.PollBusy; }, 30)) << "no first cycle";
  sim_->SetFault(SimFault::Silent);
  ASSERT_TRUE(WaitFor([&] { return state_.PollBusy.load(); }, 30)) << "no second cycle";
  Open();
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(state_.ManualMode);
  WaitFor([] { return false; }, 0.3);  // three watch periods within the cycle
  ASSERT_TRUE(state_.PollBusy) << "the silent cycle ended too soon for this check";
  EXPECT_FALSE(form_->LEDPaint1()->LEDOn());
  EXPECT_FALSE(form_->SendButton()->isEnabled());

  // The cycle runs to its end; then the line is free and no cycle starts.
  sim_->SetFault(SimFault::None);
  ASSERT_TRUE(WaitFor([&] { return form_->LEDPaint1()->LEDOn(); }, 60)) << "the cycle never ended";
  EXPECT_TRUE(form_->SendButton()->isEnabled());
  EXPECT_EQ(CountOf(sim_->ReceivedCommands(), ":LED:ACT OFF;"), 1) << "the second cycle ran to its end";
  ASSERT_EQ(state_.DeviceFamily, FamilyZ3801);
  const int commandsWhileOpen = sim_->CommandCount();
  const double openedAt = VirtualSeconds();
  ASSERT_TRUE(WaitFor([&] { return VirtualSeconds() > openedAt + 25; }, 30));
  EXPECT_EQ(sim_->CommandCount(), commandsWhileOpen) << "a cycle started while the window was open";

  // Send: exactly the text and one carriage return, and the answer in the console.
  ASSERT_EQ(form_->ComboBox1()->currentText(), "*IDN?");
  const std::uint64_t rawBefore = sim_->RawInputCount();
  form_->SendButton()->click();
  ASSERT_TRUE(WaitFor([&] { return ConsoleText(*form_).find("Z3801A") != std::string::npos; }, 10))
      << ConsoleText(*form_);
  WaitFor([] { return false; }, 0.2);
  EXPECT_EQ(sim_->RawInputCount() - rawBefore, 6u);
  const std::string raw = sim_->RawInput();
  EXPECT_EQ(raw.substr(raw.size() - 6), "*IDN?\r");
  EXPECT_EQ(sim_->CommandCount(), commandsWhileOpen + 1);
  for (const char* command : {":PTIME:TINTERVAL?", ":DIAG:ROSC:EFC:ABS?", ":SYST:ERR?"}) {
    // The previous answer can show before the line is free again and the
    // button enabled; a click on a disabled button does nothing.
    ASSERT_TRUE(WaitFor([&] { return form_->SendButton()->isEnabled(); }, 10)) << command;
    const std::size_t before = ConsoleText(*form_).size();
    form_->ComboBox1()->setEditText(command);
    form_->SendButton()->click();
    ASSERT_TRUE(WaitFor([&] { return ConsoleText(*form_).size() > before + 8; }, 10)) << command;
  }
  // The longest text the edit field takes goes out whole, its carriage return last.
  std::string longText = ":SYST:ERR?";
  while (longText.size() < 32767) longText += static_cast<char>('A' + longText.size() % 26);
  form_->ComboBox1()->setEditText(QString::fromStdString(longText));
  ASSERT_TRUE(WaitFor([&] { return form_->SendButton()->isEnabled(); }, 10));
  const std::uint64_t rawBeforeLong = sim_->RawInputCount();
  form_->SendButton()->click();
  const std::uint64_t want = longText.size() + 1;
  ASSERT_TRUE(WaitFor([&] { return sim_->RawInputCount() - rawBeforeLong >= want; }, 60));
  ASSERT_TRUE(WaitFor([&] { return form_->SendButton()->isEnabled(); }, 5));
  const std::string rawLong = sim_->RawInput();
  EXPECT_EQ(sim_->RawInputCount() - rawBeforeLong, want);
  EXPECT_TRUE(rawLong.substr(rawLong.size() - want) == longText + "\r");
  EXPECT_EQ(ConsoleText(*form_).find("Not sent"), std::string::npos) << ConsoleText(*form_);
  form_->ComboBox1()->setEditText("*IDN?");

  WaitFor([] { return false; }, 0.3);
  EXPECT_TRUE(form_->grab().save(QString::fromStdString(pictures + "/varnex_command_lit.png")));

  // Closed: polling resumes at the next tick (held slow again, to open during it).
  form_->close();
  EXPECT_FALSE(state_.ManualMode);
  sim_->SetFault(SimFault::Silent);
  const int polls = Polls();
  const double closedAt = VirtualSeconds();
  ASSERT_TRUE(WaitFor([&] { return Polls() > polls; }, 30));
  EXPECT_LT(VirtualSeconds() - closedAt, 12.0);

  // Re-opened during that cycle: dark again, the console as it was.
  ASSERT_TRUE(state_.PollBusy);
  Open();
  EXPECT_FALSE(form_->LEDPaint1()->LEDOn());
  EXPECT_NE(ConsoleText(*form_).find("Z3801A"), std::string::npos) << "the console keeps its text";
  QApplication::processEvents();
  EXPECT_TRUE(form_->grab().save(QString::fromStdString(pictures + "/varnex_command_dark.png")));
  sim_->SetFault(SimFault::None);
  ASSERT_TRUE(WaitFor([&] { return form_->LEDPaint1()->LEDOn(); }, 60));

  // Untouched, the window closes itself a little after 180 s and polling resumes.
  const double reopenedAt = form_->Watch().LastCommandActivity() * SecondsPerDay;
  clock_.Advance(std::max(0.0, reopenedAt + 175 - VirtualSeconds()) * 1000);
  WaitFor([] { return false; }, 0.3);
  EXPECT_TRUE(form_->isVisible());
  clock_.Advance(10000);
  ASSERT_TRUE(WaitFor([&] { return !form_->isVisible(); }, 5));
  EXPECT_FALSE(state_.ManualMode);
  const int pollsAfter = Polls();
  EXPECT_TRUE(WaitFor([&] { return Polls() > pollsAfter; }, 30));
}

// A receiver spewing random bytes, then a line that goes away: the console takes every
// byte, the window keeps answering, and Send on the dead line says nothing.
TEST_F(CommandEndToEnd, GarbageAndALostLineLeaveTheWindowUsable) {
  ASSERT_TRUE(WaitFor([&] { return Polls() >= 1 && !state_.PollBusy; }, 30)) << "no first cycle";
  Open();
  ASSERT_TRUE(WaitFor([&] { return form_->LEDPaint1()->LEDOn(); }, 30));
  const TConsoleScreen& screen = form_->Console1()->Screen();
  const int rowBefore = screen.CursorY(), colBefore = screen.CursorX();
  sim_->SetFault(SimFault::Garbage);
  int ticks = 0;
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout, [&] { ++ticks; });
  beat.start(50);
  WaitFor([] { return false; }, 1.5);
  beat.stop();
  EXPECT_GE(ticks, 10) << "the event loop stalled under the flood";
  EXPECT_TRUE(screen.CursorY() != rowBefore || screen.CursorX() != colBefore) << "no garbage reached the console";

  sim_->SetFault(SimFault::None);
  WaitFor([] { return false; }, 0.3);
  form_->SendButton()->click();
  EXPECT_TRUE(WaitFor([&] { return ConsoleText(*form_).find("Z3801A") != std::string::npos; }, 10));
  // The button follows the line at the window's next tick; a click before it would be ignored.
  ASSERT_TRUE(WaitFor([&] { return form_->SendButton()->isEnabled(); }, 10));

  sim_->Stop();
  form_->SendButton()->click();
  QApplication::processEvents();
  EXPECT_TRUE(form_->isVisible());
  // The text on the dead line goes nowhere, and the line is free again for the next.
  EXPECT_TRUE(WaitFor([&] { return form_->SendButton()->isEnabled(); }, 10));
  form_->close();
  EXPECT_FALSE(state_.ManualMode);
}

}  // namespace
