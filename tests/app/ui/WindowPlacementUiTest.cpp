#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdlib>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/ui/ErrorUnit.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/StatusUnit.h"
#include "frontend/ui/StausLogUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/DebugUnit.h"

namespace {
void ExpectCentredOver(const QRect& frame, const QRect& over, const char* what) {
  EXPECT_LE(std::abs(frame.center().x() - over.center().x()), 1) << what;
  EXPECT_LE(std::abs(frame.center().y() - over.center().y()), 1) << what;
}
}  // namespace

// Design sizes are what a user measures on screen, frame included (the client area
// where the window says so), and each window opens centred where it belongs.
TEST(WindowPlacementUi, WindowsOpenAtTheirSizesCentredWhereTheyBelong) {
  TestApplication();
  SharedReceiverState state;
  SystemClock clock;
  VarnexContext context(state, clock, FreshTestFolder("varnex_placement"));
  VarnexWindows windows(context);

  QWidget* main = context.MainForm;
  // Moved away first, so a centring that does nothing would show.
  main->move(3, 7);
  main->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(main->frameGeometry().size(), QSize(841, 447));
  const QRect screen = main->screen()->availableGeometry();
  const QRect frame = main->frameGeometry();
  // Centred on the screen, but never pushed past its edge (the test screen may be narrower).
  if (frame.width() <= screen.width())
    EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
  else
    EXPECT_EQ(frame.left(), screen.left());
  EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);

  // Moved off the centre before their first show, so the check sees the placement.
  main->move(0, 40);
  QCoreApplication::processEvents();
  const struct {
    QWidget* window;
    QSize size;
    bool client;
  } cases[] = {
      {context.StatusForm, {680, 484}, false},   {context.StatusLogForm, {568, 375}, false},
      {context.ErrorForm, {497, 359}, false},    {context.DebugForm, {733, 392}, false},
      {context.ParameterForm, {659, 201}, true},
  };
  for (const auto& c : cases) {
    c.window->show();
    QCoreApplication::processEvents();
    const QByteArray name = c.window->windowTitle().toUtf8();
    EXPECT_EQ(c.client ? c.window->size() : c.window->frameGeometry().size(), c.size) << name.constData();
    ExpectCentredOver(c.window->frameGeometry(), main->frameGeometry(), name.constData());
    c.window->hide();
  }
  // A window the user moved keeps its place at the next show.
  context.ErrorForm->move(5, 5);
  context.ErrorForm->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(context.ErrorForm->pos(), QPoint(5, 5));
  context.ErrorForm->hide();
  main->hide();
}
