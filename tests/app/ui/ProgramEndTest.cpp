// Every way out ends the running program within three seconds, whatever windows and
// dialogs are open, with the settings saved once: a real event loop, every window
// shown, a quit asked for by the close box or by a signal.
#include <cstdint>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "analysis/ui/StatUnit.h"
#include "app/ui/ProgramEnd.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/ui/MainUnit.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/DebugUnit.h"
#include "windows/ui/PolarUnit.h"

namespace {

enum class Open { Nothing, ResetQuestion, CommentBox, ChartEditor, StabilityRun };

struct EndCase {
  const char* name;
  int signal;  // 0: the main window's close box
  Open open;   // what is running when the quit comes
  bool writable;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

void OpenWhat(Open open, VarnexContext& context) {
  switch (open) {
    case Open::Nothing:
      break;
    case Open::ResetQuestion:
      context.PolarForm->ResetHorizonLine1Click();
      break;
    case Open::CommentBox:
      context.MainForm->Action("WritteCommenttoLog1")->trigger();
      break;
    case Open::ChartEditor:
      context.MainForm->Action("Charteditor1")->trigger();
      break;
    case Open::StabilityRun:
      context.StatForm->TimeStabClick();
      break;
  }
}

class ProgramEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(ProgramEnd, EndsWithinThreeSecondsWithEveryWindowShownAndSavesOnce) {
  const EndCase& c = GetParam();
  TestApplication();
  const std::string folder = FreshTestFolder("varnex_end");
  // A folder of that name can be neither read as a settings file nor replaced by one.
  if (!c.writable) std::filesystem::create_directory(folder + "/Varnex.ini");
  SharedReceiverState state;
  SystemClock clock;
  VarnexContext context(state, clock, folder);
  VarnexWindows windows(context);
  ASSERT_TRUE(CatchEndRequests(context, context.MainForm));

  if (c.open == Open::StabilityRun) {
    // Enough samples that a whole run takes far longer than the bound.
    std::uint32_t noise = 1;
    for (int i = 0; i < 1000000; ++i) {
      noise = noise * 1664525u + 1013904223u;
      context.MainForm->Series1.Add(41487.5 + i / 8640.0, 1e-9 * static_cast<double>(noise >> 24));
    }
  }
  for (QWidget* w : windows.Created()) w->show();
  context.DebugForm->LogtoFile1()->setChecked(true);
  context.Settings.HorizonTable[200] = 5;  // learned since start
  int polarSaves = 0;
  auto save = context.PolarForm->SaveSettings;
  context.PolarForm->SaveSettings = [&polarSaves, save](std::string* error) {
    ++polarSaves;
    return save(error);
  };

  QElapsedTimer sinceRequest;
  bool busyAtRequest = false;
  QTimer openTimer, requestTimer, watchdog;
  for (QTimer* t : {&openTimer, &requestTimer, &watchdog}) t->setSingleShot(true);
  QObject::connect(&openTimer, &QTimer::timeout, [&] { OpenWhat(c.open, context); });
  QObject::connect(&requestTimer, &QTimer::timeout, [&] {
    sinceRequest.start();
    busyAtRequest = QApplication::activeModalWidget() != nullptr || context.StatForm->Running();
    if (c.signal != 0)
      ::kill(::getpid(), c.signal);
    else
      context.MainForm->close();
  });
  // A program that does not end is ended here, and the test says so.
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  openTimer.start(200);
  requestTimer.start(700);
  watchdog.start(10000);

  const int code = QApplication::exec();
  const qint64 took = sinceRequest.elapsed();
  EXPECT_EQ(busyAtRequest, c.open != Open::Nothing);
  EXPECT_EQ(code, 0) << "the program did not end";
  EXPECT_LT(took, 3000);
  EXPECT_TRUE(context.MainForm->ComThread() == nullptr || !context.MainForm->ComThread()->Running());
  EXPECT_EQ(polarSaves, 0);  // the stop sequence saved, and nothing after it
  if (c.writable) {
    EXPECT_NE(ReadFile(folder + "/Varnex.ini").find("Az[200]=5\r\n"), std::string::npos);
  } else {
    EXPECT_EQ(CountOf(ReadFile(folder + "/VarnexDebug.Txt"), " A error in \"SaveSettings\" has occurred"), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    WaysOut, ProgramEnd,
    ::testing::Values(EndCase{"CloseBox", 0, Open::Nothing, true},
                      EndCase{"CloseBoxUnwritableSettings", 0, Open::Nothing, false},
                      EndCase{"Term", SIGTERM, Open::Nothing, true}, EndCase{"Int", SIGINT, Open::Nothing, true},
                      EndCase{"Hup", SIGHUP, Open::Nothing, true},
                      EndCase{"TermDuringTheResetQuestion", SIGTERM, Open::ResetQuestion, true},
                      EndCase{"TermDuringTheCommentBox", SIGTERM, Open::CommentBox, true},
                      EndCase{"HupDuringTheChartEditor", SIGHUP, Open::ChartEditor, true},
                      EndCase{"IntDuringAStabilityRun", SIGINT, Open::StabilityRun, true},
                      EndCase{"TermUnwritableSettingsDuringTheResetQuestion", SIGTERM, Open::ResetQuestion, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Logging out asks the program to save first; another program may still cancel the
// logout, so the program saves and goes on running. It ends when the session does,
// through its windows' closing.
TEST(SessionEnd, TheCommitRequestSavesAndTheProgramRunsOn) {
  TestApplication();
  const std::string folder = FreshTestFolder("varnex_commit");
  SharedReceiverState state;
  SystemClock clock;
  VarnexContext context(state, clock, folder);
  VarnexWindows windows(context);
  ASSERT_TRUE(CatchEndRequests(context, context.MainForm));
  context.MainForm->show();
  context.Settings.HorizonTable[200] = 5;  // learned since start

  std::string savedAtCommit;
  bool runningAfterCommit = false, endingAfterCommit = true;
  QTimer commitTimer, lookTimer, closeTimer, watchdog;
  for (QTimer* t : {&commitTimer, &lookTimer, &closeTimer, &watchdog}) t->setSingleShot(true);
  QObject::connect(&commitTimer, &QTimer::timeout, [&] {
    CommitSessionData(context);
    savedAtCommit = ReadFile(folder + "/Varnex.ini");
  });
  QObject::connect(&lookTimer, &QTimer::timeout, [&] {
    runningAfterCommit =
        context.MainForm->ComThread() && context.MainForm->ComThread()->Running() && context.MainForm->isVisible();
    endingAfterCommit = context.Ending;
    context.Settings.HorizonTable[200] = 7;  // learned after a cancelled logout
  });
  // The session really ends: its windows are closed.
  QObject::connect(&closeTimer, &QTimer::timeout, [&] { context.MainForm->close(); });
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  commitTimer.start(200);
  lookTimer.start(700);
  closeTimer.start(1200);
  watchdog.start(10000);
  const int code = QApplication::exec();

  EXPECT_NE(savedAtCommit.find("Az[200]=5\r\n"), std::string::npos);
  EXPECT_TRUE(runningAfterCommit) << "the commit request ended the program";
  EXPECT_FALSE(endingAfterCommit);
  EXPECT_EQ(code, 0);
  EXPECT_NE(ReadFile(folder + "/Varnex.ini").find("Az[200]=7\r\n"), std::string::npos);
}

}  // namespace
