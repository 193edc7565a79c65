#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPainter>

#include "WindowsTestSupport.h"
#include "windows/ClockFace.h"
#include "windows/ui/ClockUnit.h"

namespace {

struct ClockFormTest : ::testing::Test, WindowFixture {
  TClockForm form{context};
  QImage Cell(const QImage& face, int n) const {
    return face.copy(DigitCellX(n), DigitCellTop, DigitImageWidth, DigitImageHeight)
        .convertToFormat(QImage::Format_ARGB32);
  }
  // Which digit image a cell of the face shows, or -1.
  int DigitIn(const QImage& face, int n) const {
    const QImage cell = Cell(face, n);
    for (int d = 0; d < 10; ++d)
      if (cell == form.ImageList1()[static_cast<std::size_t>(d)].convertToFormat(QImage::Format_ARGB32)) return d;
    return -1;
  }
  std::string Shown(const QImage& face) const {
    std::string s;
    for (int n = 0; n < DigitCells; ++n) {
      if (n > 0 && n % 2 == 0) s += ' ';
      const int d = DigitIn(face, n);
      s += d < 0 ? '?' : static_cast<char>('0' + d);
    }
    return s;
  }
};

TEST_F(ClockFormTest, EachSecondCopiesTwelveDigitImagesOntoTheFace) {
  // Black until the first second is drawn.
  const QImage blank = form.grab().toImage();
  for (int y = 0; y < blank.height(); y += 3)
    for (int x = 0; x < blank.width(); x += 3) ASSERT_EQ(qGray(blank.pixel(x, y)), 0) << x << "," << y;
  EXPECT_EQ(Shown(blank), "?? ?? ?? ?? ?? ??");

  form.ShowDateTime(EncodeDateTime({2013, 8, 1, 14, 5, 9, 500}));
  EXPECT_EQ(form.Draws(), 1);
  EXPECT_EQ(Shown(form.Face()), "13 08 01 14 05 09");
  // A repaint (the window uncovered) shows the same second without drawing it again.
  EXPECT_EQ(Shown(form.grab().toImage()), "13 08 01 14 05 09");
  EXPECT_EQ(form.Draws(), 1);

  form.DrawDigitPairs(2100, 12, 31, 23, 59, 58);
  EXPECT_EQ(Shown(form.grab().toImage()), "00 12 31 23 59 58");
  EXPECT_EQ(form.Draws(), 2);
}

TEST_F(ClockFormTest, TenDistinctOrangeTubesOnADarkGround) {
  const auto& images = form.ImageList1();
  for (int d = 0; d < 10; ++d) {
    const QImage& img = images[static_cast<std::size_t>(d)];
    ASSERT_EQ(img.size(), QSize(DigitImageWidth, DigitImageHeight));
    EXPECT_EQ(img.depth(), 32);
    for (int e = 0; e < d; ++e) EXPECT_NE(img, images[static_cast<std::size_t>(e)]) << d << " looks like " << e;
    // The glow: bright pixels are orange (red over green over blue); the corners stay dark.
    long red = 0, green = 0, blue = 0;
    int bright = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c.red() < 160) continue;
        ++bright, red += c.red(), green += c.green(), blue += c.blue();
      }
    EXPECT_GT(bright, 40) << d;
    EXPECT_GT(red, green * 13 / 10) << d;
    EXPECT_GT(green, blue * 3 / 2) << d;
    for (QPoint corner : {QPoint(0, 0), QPoint(44, 0), QPoint(0, 63), QPoint(44, 63)})
      EXPECT_LT(qGray(img.pixel(corner)), 40) << d;
  }
}

TEST_F(ClockFormTest, WindowStaysOnTopWithAFixedBlackFaceThatDragsTheWindow) {
  EXPECT_EQ(form.windowTitle(), "Varnex Clock Display");
  EXPECT_EQ(form.toolTip(), "Drag here");
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  form.show();
  // Outer 615 x 105, unless the frame would leave less than the twelve whole cells.
  const QSize frame = form.frameGeometry().size();
  EXPECT_EQ(frame.height(), 105);
  EXPECT_EQ(frame.width(), std::max(615, ClockFaceWidth() + frame.width() - form.width()));
  EXPECT_GE(form.width(), ClockFaceWidth());
  EXPECT_EQ(form.minimumSize(), form.maximumSize());

  const QPoint start = form.pos();
  const QPoint grip(300, 40);
  const QPoint global = form.mapToGlobal(grip);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(grip), QPointF(global), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&form, &press);
  QMouseEvent drag(QEvent::MouseMove, QPointF(grip + QPoint(40, 25)), QPointF(global + QPoint(40, 25)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &drag);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(grip), QPointF(global + QPoint(40, 25)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &release);
  EXPECT_EQ(form.pos(), start + QPoint(40, 25));
  form.hide();
}

TEST_F(ClockFormTest, PictureOfTheFace) {
  form.show();
  form.ShowDateTime(EncodeDateTime({2013, 8, 1, 14, 5, 9, 0}));
  // The face as a window frame with a title bar leaves it: cells and a margin below.
  const QImage face = form.grab(QRect(0, 0, form.width(), DigitCellTop + DigitCellHeight + DigitCellTop)).toImage();
  ASSERT_TRUE(face.save(PicturePath("varnex_clock.png")));
  ASSERT_TRUE(face.scaled(face.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                  .save(PicturePath("varnex_clock_x3.png")));
  QImage all(DigitImageWidth * 10 + 9 * 4, DigitImageHeight, QImage::Format_RGB32);
  all.fill(Qt::black);
  QPainter p(&all);
  for (int d = 0; d < 10; ++d)
    p.drawImage(d * (DigitImageWidth + 4), 0, form.ImageList1()[static_cast<std::size_t>(d)]);
  p.end();
  ASSERT_TRUE(all.scaled(all.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                  .save(PicturePath("varnex_digits_x4.png")));
  form.hide();
}

}  // namespace
