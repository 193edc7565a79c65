#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPalette>

#include "QtTestApp.h"
#include "controls/ui/LEDPaint.h"

namespace {

QColor ToQColor(LampColor c) { return QColor(c.R, c.G, c.B); }

bool Greyish(QColor c, int low, int high) {
  return std::abs(c.red() - c.green()) < 16 && std::abs(c.green() - c.blue()) < 16 && c.red() >= low && c.red() <= high;
}

TEST(LEDPaint, CommandWindowLampAsPainted) {
  TestApplication();
  QWidget host;
  host.resize(40, 40);
  auto* led = new TLEDPaint(&host);
  EXPECT_EQ(led->geometry(), QRect(0, 0, 19, 19));
  led->setGeometry(10, 10, 20, 20);
  led->SetLEDColor(LampColors::Yellow);
  led->SetLEDOffColor(LampColors::Black);
  const LampPalette colours = led->Colours();
  for (bool on : {true, false}) {
    led->SetLEDOn(on);
    const QImage image = led->grab().toImage();
    ASSERT_EQ(image.size(), QSize(20, 20));
    image.scaled(160, 160).save(
        QString::fromStdString(::testing::TempDir() + (on ? "/varnex_led_lit_x8.png" : "/varnex_led_dark_x8.png")));
    EXPECT_EQ(image.pixelColor(10, 10), on ? QColor(255, 255, 0) : QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(0, 10), ToQColor(colours.ButtonHighlight));
    EXPECT_EQ(image.pixelColor(10, 1), ToQColor(colours.ButtonHighlight));
    EXPECT_EQ(image.pixelColor(19, 10), ToQColor(colours.ButtonShadow));
    EXPECT_EQ(image.pixelColor(10, 18), ToQColor(colours.ButtonShadow));
    EXPECT_EQ(image.pixelColor(2, 2), ToQColor(colours.ButtonFace)) << "the square's corner is outside the circle";
    EXPECT_EQ(image.pixelColor(17, 17), ToQColor(colours.ButtonFace));
    // The outline at the circle's top, left, right and bottom: grey lit, silver dark.
    for (QPoint p : {QPoint(10, 2), QPoint(2, 10), QPoint(17, 9), QPoint(9, 17)}) {
      const QColor c = image.pixelColor(p);
      EXPECT_TRUE(on ? Greyish(c, 100, 170) : Greyish(c, 170, 215))
          << on << " at " << p.x() << "," << p.y() << ": " << c.name().toStdString();
    }
  }
}

TEST(LEDPaint, OnlyRealChangesRepaint) {
  TestApplication();
  QWidget host;
  host.resize(60, 60);
  auto* led = new TLEDPaint(&host);
  host.show();
  QApplication::processEvents();
  QApplication::processEvents();
  const int painted = led->PaintCount();
  ASSERT_GT(painted, 0);
  led->SetLEDOn(false);
  led->SetLEDColor(LampColors::Red);
  led->SetBevelOuter(TBevelCut::bvRaised);
  QApplication::processEvents();
  EXPECT_EQ(led->PaintCount(), painted);
  led->SetLEDOn(true);
  QApplication::processEvents();
  EXPECT_GT(led->PaintCount(), painted);
}

}  // namespace
