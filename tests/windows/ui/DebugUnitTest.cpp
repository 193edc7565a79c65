#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/ui/VarnexContext.h"
#include "controls/DebugLog.h"
#include "controls/ui/ConsoleWidget.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/DebugUnit.h"

namespace fs = std::filesystem;

namespace {

void EnsureApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "test_windows_ui";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives for the whole test program
}

class DebugFormTest : public testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    folder_ = fs::temp_directory_path() / ("varnex-debugform-" + std::to_string(::getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    context_ = std::make_unique<VarnexContext>(state_, clock_, folder_.string());
    form_ = std::make_unique<TDebugForm>(*context_);
  }
  void TearDown() override {
    form_.reset();
    fs::remove_all(folder_);
  }
  void Queue(const std::string& line) { state_.QueueTrace(line + "\r\n"); }
  std::string LogText() const {
    std::ifstream in(folder_ / DebugLogFileName, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Row(int y) const { return form_->Console1()->Screen().RowText(y); }

  SharedReceiverState state_;
  SystemClock clock_;
  fs::path folder_;
  std::unique_ptr<VarnexContext> context_;
  std::unique_ptr<TDebugForm> form_;
};

TEST_F(DebugFormTest, DesignAndStartGate) {
  EXPECT_TRUE(state_.StartGate);
  EXPECT_EQ(form_->windowTitle(), "Varnex Debug Window");
  EXPECT_EQ(form_->size(), QSize(733, 392));
  const QList<QAction*> menus = form_->menuBar()->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), "&File");
  EXPECT_EQ(menus[1]->text(), "&Window");
  EXPECT_EQ(form_->LogtoFile1()->text(), "Log to File");
  EXPECT_EQ(form_->Hold1()->text(), "&Hold");
  EXPECT_EQ(form_->Clear1()->text(), "&Clear");
  EXPECT_TRUE(form_->LogtoFile1()->isCheckable());
  EXPECT_TRUE(form_->Hold1()->isCheckable());
  EXPECT_FALSE(form_->LogtoFile1()->isChecked());
  EXPECT_FALSE(form_->Hold1()->isChecked());
  EXPECT_EQ(form_->Timer1()->interval(), 100);
  EXPECT_TRUE(form_->Timer1()->isActive());
  TConsole* console = form_->Console1();
  EXPECT_EQ(console->Rows(), 500);
  EXPECT_EQ(console->Cols(), 80);
  EXPECT_EQ(console->LineBreak(), TConsoleLineBreak::CRLF);
  EXPECT_EQ(console->Font().Name(), "Courier");
  EXPECT_EQ(console->Font().Height(), 11);
}

TEST_F(DebugFormTest, TickMovesAllQueuedLinesInOrder) {
  Queue("");
  Queue("2013-08-01 12:00:10 Send    : :PTIM:TINT?");
  Queue("2013-08-01 12:00:10 Received: +1.234E-08");
  form_->Timer1Timer();
  EXPECT_EQ(state_.TraceCount(), 0u);
  EXPECT_EQ(Row(0), "");
  EXPECT_EQ(Row(1), "2013-08-01 12:00:10 Send    : :PTIM:TINT?");
  EXPECT_EQ(Row(2), "2013-08-01 12:00:10 Received: +1.234E-08");
  EXPECT_FALSE(fs::exists(folder_ / DebugLogFileName));
}

TEST_F(DebugFormTest, DrainsWhileHidden) {
  ASSERT_FALSE(form_->isVisible());
  Queue("hidden line");
  QElapsedTimer waited;
  waited.start();
  while (state_.TraceCount() > 0 && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(state_.TraceCount(), 0u);
  EXPECT_EQ(Row(0), "hidden line");
}

TEST_F(DebugFormTest, LogToFileToggles) {
  Queue("before");
  form_->Timer1Timer();
  form_->LogtoFile1()->trigger();
  EXPECT_TRUE(form_->LogtoFile1()->isChecked());
  Queue("first");
  Queue("second");
  form_->Timer1Timer();
  form_->LogtoFile1()->trigger();
  Queue("not logged");
  form_->Timer1Timer();
  form_->LogtoFile1()->trigger();
  Queue("third");
  form_->Timer1Timer();
  EXPECT_EQ(LogText(), "Varnex Vers 20130801\r\nfirst\r\nsecond\r\nthird\r\n");
  EXPECT_EQ(Row(3), "not logged");
}

TEST_F(DebugFormTest, HoldSetsTheProducersFlagAndQueuedLinesStillDrain) {
  Queue("queued before hold");
  form_->Hold1()->trigger();
  EXPECT_TRUE(state_.TraceHold);
  form_->Timer1Timer();
  EXPECT_EQ(Row(0), "queued before hold");
  form_->Hold1()->trigger();
  EXPECT_FALSE(state_.TraceHold);
}

TEST_F(DebugFormTest, ClearEmptiesConsoleNotLog) {
  form_->LogtoFile1()->trigger();
  Queue("kept in file");
  form_->Timer1Timer();
  form_->Clear1()->trigger();
  EXPECT_EQ(Row(0), "");
  EXPECT_EQ(form_->Console1()->Screen().CursorY(), 0);
  EXPECT_EQ(LogText(), "Varnex Vers 20130801\r\nkept in file\r\n");
  Queue("after clear");
  form_->Timer1Timer();
  EXPECT_EQ(Row(0), "after clear");
}

TEST_F(DebugFormTest, UnwritableLogLosesOnlyFileLines) {
  fs::create_directory(folder_ / DebugLogFileName);
  form_->LogtoFile1()->trigger();
  Queue("still shown");
  form_->Timer1Timer();
  EXPECT_EQ(Row(0), "still shown");
  EXPECT_EQ(state_.TraceCount(), 0u);
  // Once the file can be written again, the next line gets there.
  fs::remove(folder_ / DebugLogFileName);
  Queue("written");
  form_->Timer1Timer();
  EXPECT_EQ(LogText(), "Varnex Vers 20130801\r\nwritten\r\n");
}

TEST_F(DebugFormTest, LongLinesWrapAndOldRowsDropWhileTheLogKeepsAll) {
  form_->LogtoFile1()->trigger();
  const std::string longLine(100, 'L');
  Queue(longLine);
  for (int i = 0; i < 600; ++i) Queue("line " + std::to_string(i));
  form_->Timer1Timer();
  // 100 characters take two rows, the lines 600 more, and the cursor row: 603 rows in a
  // ring of 500, so the first 103 are gone.
  EXPECT_EQ(Row(0), "line 101");
  EXPECT_EQ(Row(498), "line 599");
  EXPECT_EQ(Row(499), "");
  const std::string log = LogText();
  EXPECT_EQ(log.rfind("Varnex Vers 20130801\r\n" + longLine + "\r\nline 0\r\n", 0), 0u);
  EXPECT_NE(log.find("line 599\r\n"), std::string::npos);

  form_->Clear1()->trigger();
  Queue(longLine);
  form_->Timer1Timer();
  EXPECT_EQ(Row(0), std::string(80, 'L'));
  EXPECT_EQ(Row(1), std::string(20, 'L'));
}

}  // namespace

namespace {

// Saves a picture of the window with a poll cycle's trace in it (for looking at) and checks
// that the text is drawn in the console's font and colours.
TEST_F(DebugFormTest, PictureWithTraceText) {
  const char* lines[] = {"",
                         "",
                         "2013-08-01 12:00:10 Send    : :PTIM:TINT?",
                         "2013-08-01 12:00:10 Received: +1.234E-08",
                         "",
                         "",
                         "2013-08-01 12:00:10 Send    : :DIAG:ROSC:EFC:ABS?",
                         "2013-08-01 12:00:11 Received: 1.3107E+04",
                         "",
                         "",
                         "2013-08-01 12:00:11 Send    : :SYNC:HOLD:TUNC:PRED?",
                         "2013-08-01 12:00:11 Received: +1.000E-06,+1.000E-03",
                         "",
                         "",
                         "2013-08-01 12:00:12 Send    : :SYST:STAT?",
                         "2013-08-01 12:00:13 Received:",
                         "--------------------------- Receiver Status ---------------------------------",
                         "SYNCHRONIZATION ......................................... [ Outputs Valid ]",
                         "SmartClock Mode ___________________________   Reference Outputs _______",
                         ">> Locked to GPS                               TFOM     3     FFOM     0",
                         "   Recovery                                    1PPS TI +10.6 ns relative to GPS",
                         "A error in \"GetTrackedData\" has occurred"};
  for (const char* line : lines) Queue(line);
  form_->show();
  QApplication::processEvents();
  form_->Timer1Timer();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const QImage picture = form_->grab().toImage();
  const std::string path = testing::TempDir() + "VarnexDebugWindow.png";
  EXPECT_TRUE(picture.save(QString::fromStdString(path)));
  std::cout << "picture: " << path << "\n";
  // The status line is on screen: its cells are inked.
  TConsole* console = form_->Console1();
  const QImage view = console->viewport()->grab().toImage();
  const int y = (17 - console->Screen().OriginY()) * console->CellHeight() + console->CellHeight() / 2;
  int inked = 0;
  for (int x = 0; x < view.width(); ++x) inked += view.pixel(x, y) != console->Font().BkColor().rgb();
  EXPECT_GT(inked, 20);

  // After more lines than the console holds, the view follows the newest line.
  for (int i = 0; i < 600; ++i)
    Queue("2013-08-01 12:01:" + std::to_string(10 + i % 50) + " Received: line " + std::to_string(i));
  form_->Timer1Timer();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  EXPECT_TRUE(form_->grab().save(QString::fromStdString(testing::TempDir() + "VarnexDebugWindowScrolled.png")));
  EXPECT_EQ(console->Screen().OriginY(), console->Screen().RangeY());
}

}  // namespace
