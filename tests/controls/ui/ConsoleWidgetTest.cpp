#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <string>

#include "controls/ui/ConsoleWidget.h"

namespace {

void EnsureApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "test_controls_ui";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives for the whole test program
}

class ConsoleWidgetTest : public testing::Test {
 protected:
  void SetUp() override { EnsureApp(); }
  static void Drain() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  static QImage Picture(TConsole& c) { return c.viewport()->grab().toImage(); }
  // True when some pixel of cell (x, y) on screen differs from the background.
  static bool CellInked(TConsole& c, const QImage& img, int x, int y) {
    const QRgb bk = c.Font().BkColor().rgb();
    for (int py = y * c.CellHeight(); py < (y + 1) * c.CellHeight(); ++py)
      for (int px = x * c.CellWidth(); px < (x + 1) * c.CellWidth(); ++px)
        if (img.pixel(px, py) != bk) return true;
    return false;
  }
  static void Key(TConsole& c, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(&c, &press);
  }
};

TEST_F(ConsoleWidgetTest, StartsWithACourierLikeFixedFont) {
  TConsole c;
  EXPECT_EQ(c.Font().Name(), "Courier");
  // Where no Courier is installed, the face drawn with is still a fixed-pitch one.
  EXPECT_TRUE(QFontInfo(c.Font().ToQFont()).fixedPitch());
  const QString family = QFontInfo(c.Font().ToQFont()).family();
  EXPECT_TRUE(QFontDatabase::hasFamily(family) && QFontDatabase::isFixedPitch(family)) << family.toStdString();
  EXPECT_EQ(c.Options(), DefaultConsoleOptions);
  EXPECT_GT(c.CellWidth(), 0);
  EXPECT_GT(c.CellHeight(), 0);
  EXPECT_EQ(c.Cols(), 80);
  EXPECT_EQ(c.Rows(), 25);
  EXPECT_EQ(c.size(), QSize(160, 88));
}

TEST_F(ConsoleWidgetTest, ProportionalFaceRefusedAndPreviousKept) {
  TConsole c;
  const QString proportional = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
  const int width = c.CellWidth();
  try {
    c.Font().SetName(proportional);
    FAIL() << "proportional face accepted";
  } catch (const EInvalidFont& e) {
    EXPECT_EQ(std::string(e.what()), ("TConsole: " + proportional + " is not fixed-pitch").toStdString());
  }
  EXPECT_EQ(c.Font().Name(), "Courier");
  EXPECT_EQ(c.CellWidth(), width);

  // Assign restores the background colour when the copy is refused.
  TFixedFont other;
  other.SetName(proportional);
  other.SetBkColor(Qt::yellow);
  const QColor bk = c.Font().BkColor();
  EXPECT_THROW(c.SetFont(other), EInvalidFont);
  EXPECT_EQ(c.Font().BkColor(), bk);

  // Without coFixedPitchOnly any face is taken.
  c.SetOptions(c.Options().Without(coFixedPitchOnly));
  EXPECT_NO_THROW(c.Font().SetName(proportional));
  EXPECT_EQ(c.Font().Name(), proportional);
}

TEST_F(ConsoleWidgetTest, AssignCopiesBkColorAndHeight) {
  TConsole c;
  TFixedFont f;
  f.SetName("Courier");
  f.SetHeight(20);
  f.SetBkColor(QColor(10, 20, 30));
  const int small = c.CellHeight();
  c.SetFont(f);
  EXPECT_EQ(c.Font().BkColor(), QColor(10, 20, 30));
  EXPECT_GT(c.CellHeight(), small);
}

TEST_F(ConsoleWidgetTest, LargerThanGridKeepsScrollBarsAndPaintsBackground) {
  TConsole c;
  c.SetCols(10);
  c.SetRows(5);
  c.Font().SetBkColor(QColor(0, 0, 128));
  c.resize(600, 400);
  c.show();
  Drain();
  for (QScrollBar* bar : {c.horizontalScrollBar(), c.verticalScrollBar()}) {
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 1);
  }
  c.WriteString("0123456789");
  Drain();
  const QImage img = Picture(c);
  EXPECT_TRUE(CellInked(c, img, 9, 0));
  EXPECT_FALSE(CellInked(c, img, 9, 1));
  // Beyond the last column and the last row: background only.
  EXPECT_EQ(img.pixel(img.width() - 2, 2), QColor(0, 0, 128).rgb());
  EXPECT_EQ(img.pixel(2, img.height() - 2), QColor(0, 0, 128).rgb());
  EXPECT_FALSE(CellInked(c, img, 10, 0));
}

TEST_F(ConsoleWidgetTest, CharactersLandInTheirCells) {
  TConsole c;
  c.resize(700, 300);
  c.show();
  c.WriteString("A\r\n\r\n   \xe9\xff");
  Drain();
  const QImage img = Picture(c);
  EXPECT_TRUE(CellInked(c, img, 0, 0));
  EXPECT_FALSE(CellInked(c, img, 1, 0));
  EXPECT_FALSE(CellInked(c, img, 0, 1));
  EXPECT_FALSE(CellInked(c, img, 2, 2));
  EXPECT_TRUE(CellInked(c, img, 3, 2));  // bytes above 127 are drawn as characters
  EXPECT_TRUE(CellInked(c, img, 4, 2));
}

TEST_F(ConsoleWidgetTest, LazyWriteWaitsForTheEventLoop) {
  TConsole c;
  c.SetRows(500);
  c.resize(400, 200);
  c.show();
  Drain();
  const int visible = c.Screen().VisibleRows();
  ASSERT_GT(visible, 2);
  for (int i = 0; i < 100; ++i) c.WriteString("line " + std::to_string(i) + "\r\n");
  // Tracking is one pending request: nothing has moved yet.
  EXPECT_EQ(c.Screen().OriginY(), 0);
  EXPECT_TRUE(c.Screen().TrackingRequestPending());
  Drain();
  EXPECT_FALSE(c.Screen().TrackingRequestPending());
  EXPECT_EQ(c.Screen().OriginY(), 100 - visible + 1);
  EXPECT_EQ(c.verticalScrollBar()->value(), c.Screen().OriginY());

  // Without lazy writing the view follows at once.
  c.SetOptions(c.Options().Without(coLazyWrite));
  for (int i = 0; i < 10; ++i) c.WriteString("more\r\n");
  EXPECT_EQ(c.Screen().OriginY(), 110 - visible + 1);
}

TEST_F(ConsoleWidgetTest, FullRingScrollsStayMergedAndCorrect) {
  TConsole c;
  c.SetRows(30);
  c.resize(400, 200);
  c.show();
  Drain();
  for (int i = 0; i < 30; ++i) c.WriteString("fill\r\n");
  Drain();
  c.WriteString("a\r\nb\r\n");
  EXPECT_TRUE(c.Screen().ScrollRequestPending());
  EXPECT_EQ(c.Screen().PendingScrollY(), 2);
  Drain();
  EXPECT_FALSE(c.Screen().ScrollRequestPending());
  EXPECT_EQ(c.Screen().OriginY(), c.Screen().RangeY());
  // The last lines are on screen, just above the cursor row.
  const QImage img = Picture(c);
  const int cursorRow = c.Screen().CursorY() - c.Screen().OriginY();
  EXPECT_TRUE(CellInked(c, img, 0, cursorRow - 1));
  EXPECT_FALSE(CellInked(c, img, 0, cursorRow));
}

struct KeyCase {
  const char* name;
  int key;
  Qt::KeyboardModifiers mods;
  int x, y;  // origin after the key, starting from (50, 100)
};

class ConsoleKeyTest : public ConsoleWidgetTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(ConsoleKeyTest, ScrollKeys) {
  const KeyCase& k = GetParam();
  TConsole c;
  c.SetOptions(c.Options().Without(coAutoTracking));
  c.SetCols(300);
  c.SetRows(400);
  c.resize(400, 300);
  c.show();
  Drain();
  c.Screen().ScrollTo(50, 100);
  const int vc = c.Screen().VisibleCols();
  const int vr = c.Screen().VisibleRows();
  Key(c, k.key, k.mods);
  const int x = k.x == -1 ? 50 + vc / 2 : k.x == -2 ? 50 - vc / 2 : k.x == -3 ? c.Screen().RangeX() : k.x;
  const int y = k.y == -1 ? 100 + vr : k.y == -2 ? 100 - vr : k.y == -3 ? c.Screen().RangeY() : k.y;
  EXPECT_EQ(c.Screen().OriginX(), x);
  EXPECT_EQ(c.Screen().OriginY(), y);
}

// -1: plus a page, -2: minus a page, -3: the end of the range.
INSTANTIATE_TEST_SUITE_P(Keys, ConsoleKeyTest,
                         testing::Values(KeyCase{"Left", Qt::Key_Left, Qt::NoModifier, 49, 100},
                                         KeyCase{"Right", Qt::Key_Right, Qt::NoModifier, 51, 100},
                                         KeyCase{"ShiftRight", Qt::Key_Right, Qt::ShiftModifier, 51, 100},
                                         KeyCase{"CtrlLeft", Qt::Key_Left, Qt::ControlModifier, -2, 100},
                                         KeyCase{"CtrlRight", Qt::Key_Right, Qt::ControlModifier, -1, 100},
                                         KeyCase{"Home", Qt::Key_Home, Qt::NoModifier, 0, 100},
                                         KeyCase{"End", Qt::Key_End, Qt::NoModifier, -3, 100},
                                         KeyCase{"Up", Qt::Key_Up, Qt::NoModifier, 50, 99},
                                         KeyCase{"Down", Qt::Key_Down, Qt::NoModifier, 50, 101},
                                         KeyCase{"PageUp", Qt::Key_PageUp, Qt::NoModifier, 50, -2},
                                         KeyCase{"PageDown", Qt::Key_PageDown, Qt::NoModifier, 50, -1},
                                         KeyCase{"CtrlHome", Qt::Key_Home, Qt::ControlModifier, 50, 0},
                                         KeyCase{"CtrlEnd", Qt::Key_End, Qt::ControlModifier, 50, -3},
                                         KeyCase{"CtrlShiftHome", Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier,
                                                 0, 100}),
                         [](const testing::TestParamInfo<KeyCase>& i) { return std::string(i.param.name); });

TEST_F(ConsoleWidgetTest, TypedCharactersQueueAndReadLineEchoes) {
  TConsole c;
  c.resize(400, 200);
  c.show();
  int breaks = 0;
  c.Screen().BreakRequested = [&] { ++breaks; };
  for (QChar ch : QString("hi\r")) Key(c, 0, Qt::NoModifier, QString(ch));
  Key(c, Qt::Key_C, Qt::ControlModifier, QString(QChar(3)));
  EXPECT_EQ(breaks, 1);
  EXPECT_EQ(c.Screen().KeyCount(), 4);
  char buf[16];
  EXPECT_EQ(c.ReadLine(buf, 16), 4);
  EXPECT_EQ(std::string(buf, 4), "hi\r\n");
  EXPECT_EQ(c.Screen().RowText(0), "hi");
  EXPECT_EQ(c.Screen().CursorY(), 1);
}

TEST_F(ConsoleWidgetTest, ResetConsoleClearsPicture) {
  TConsole c;
  c.resize(400, 200);
  c.show();
  c.WriteString("text");
  Drain();
  EXPECT_TRUE(CellInked(c, Picture(c), 0, 0));
  c.ResetConsole();
  Drain();
  EXPECT_FALSE(CellInked(c, Picture(c), 0, 0));
  EXPECT_EQ(c.Screen().CursorX(), 0);
}

}  // namespace

namespace {

// What is on screen after many small incremental repaints and pixel moves must equal a
// fresh paint of the same content.
TEST_F(ConsoleWidgetTest, IncrementalPaintingMatchesFullPaint) {
  TConsole c;
  c.SetRows(40);
  c.resize(420, 260);
  c.show();
  Drain();
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || screen->grabWindow(c.winId()).isNull()) GTEST_SKIP() << "no window grab on this platform";
  for (int burst = 0; burst < 30; ++burst) {
    for (int i = 0; i <= burst % 4; ++i) {
      c.WriteString("burst " + std::to_string(burst) + " line " + std::to_string(i) + " ");
      c.WriteString(std::string(static_cast<std::size_t>(burst * 3 % 70), '=') + "\r\n");
    }
    c.WriteString("partial\b\b");
    Drain();
  }
  Key(c, Qt::Key_Right, Qt::ControlModifier);
  Key(c, Qt::Key_Up);
  Drain();
  const QPoint at = c.viewport()->mapTo(&c, QPoint(0, 0));
  const QImage onScreen =
      screen->grabWindow(c.winId(), at.x(), at.y(), c.viewport()->width(), c.viewport()->height()).toImage();
  const QImage fresh = Picture(c);
  ASSERT_EQ(onScreen.size(), fresh.size());
  EXPECT_EQ(onScreen.convertToFormat(QImage::Format_RGB32), fresh.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
