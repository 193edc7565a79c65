#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <chrono>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "controls/ui/ConsoleWidget.h"
#include "frontend/ui/AboutUnit.h"
#include "frontend/ui/MainUnit.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/DebugUnit.h"

namespace {
QApplication& App() { return TestApplication(); }
}  // namespace

TEST(Startup, CreatesFourteenWindowsInOrderWithCaptions) {
  App();
  SharedReceiverState state;
  SystemClock clock;
  VarnexContext context(state, clock, FreshTestFolder("varnex_startup"));
  {
    VarnexWindows windows(context);
    // The main window's caption goes on with its device and folder.
    const std::string mainTitle = "Varnex Vers 20130801 \u2014 /dev/ttyS0 \u2014 " + context.Folder;
    const char* captions[] = {mainTitle.c_str(),
                              "Varnex Parameters",
                              "Varnex Receiver Status",
                              "Varnex Satellite Azimuth/Elevation Chart",
                              "Varnex Error Log",
                              "Varnex Status Log",
                              "Varnex Holdover Uncertainity & Sats",
                              "Varnex Time Stability Measures",
                              "Varnex Debug Window",
                              "About Varnex",
                              "Varnex Satellite C/N levels",
                              "Varnex Clock Display",
                              "Varnex EFC Statistics",
                              "Varnex Manual Command Entry"};
    ASSERT_EQ(windows.Created().size(), 14u);
    for (int i = 0; i < 14; ++i) {
      EXPECT_EQ(windows.Created()[i]->windowTitle(), captions[i]) << "window " << i + 1;
      EXPECT_FALSE(windows.Created()[i]->isVisible()) << "window " << i + 1;
    }
    EXPECT_EQ(context.MainForm->windowTitle().toStdString(), mainTitle);
    EXPECT_TRUE(state.StartGate.load());
    EXPECT_FALSE(context.MainForm->Action("TimeStab")->isEnabled());
    EXPECT_FALSE(context.MainForm->Action("Clock")->isEnabled());
    EXPECT_EQ(context.MainForm->Timer1().interval(), 100);
    EXPECT_TRUE(context.MainForm->Timer1().isActive());
    ASSERT_NE(context.MainForm->ComThread(), nullptr);
    EXPECT_TRUE(context.MainForm->ComThread()->Running());

    // The about box carries the name, the version and a hyperlink label.
    QWidget* about = context.AboutBox;
    bool hasVersion = false;
    for (QLabel* label : about->findChildren<QLabel*>()) hasVersion |= label->text().contains("20130801");
    EXPECT_TRUE(hasVersion);
    EXPECT_NE(about->findChild<QLabel*>("HyperLink"), nullptr);
    // Both say where the files are.
    const QLabel* files = about->findChild<QLabel*>("FilesFolder");
    ASSERT_NE(files, nullptr);
    EXPECT_TRUE(files->text().contains(QString::fromStdString(context.Folder))) << files->text().toStdString();
    EXPECT_EQ(context.DebugForm->Console1()->Screen().RowText(0), "Files in " + context.Folder);
    about->grab().save(QString::fromStdString(::testing::TempDir() + "varnex_about.png"));

    const auto start = std::chrono::steady_clock::now();
    context.MainForm->close();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_FALSE(context.MainForm->ComThread()->Running());
  }
  EXPECT_EQ(context.MainForm, nullptr);
}

TEST(Startup, FolderProblemBoxNamesTheFolderAndHoldsUpOnlyTheMainWindow) {
  App();
  QWidget main;
  main.resize(640, 400);
  main.show();
  QMessageBox* box = ShowFolderProblem(&main, "cannot create the folder /home/ann/file/varnex: not a directory");
  QApplication::processEvents();
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->windowModality(), Qt::WindowModal);
  EXPECT_EQ(box->text().toStdString(),
            "Varnex cannot keep its settings, data files and logs: cannot create the folder "
            "/home/ann/file/varnex: not a directory.\n\nIt runs on without them.");
  box->grab().save(QString::fromStdString(::testing::TempDir() + "varnex_folder_problem.png"));
  QPointer<QMessageBox> gone(box);
  box->accept();
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(gone.isNull());
}
