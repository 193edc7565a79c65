#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

#include "QtTestApp.h"
#include "controls/ui/FixedPitchFont.h"

// The classic faces resolve to a face that is drawn fixed-pitch, whatever fontconfig
// would have substituted for the missing name.
TEST(FixedPitchFont, ClassicFacesAreDrawnFixedPitch) {
  TestApplication();
  for (const char* face : {"Fixedsys", "Courier", "Courier New"}) {
    const QString family = FixedPitchFamily(face);
    EXPECT_TRUE(QFontDatabase::isFixedPitch(family)) << face << " -> " << family.toStdString();
    for (int pixels : {11, 13}) {
      const QFont font = FixedPitchFont(face, pixels);
      EXPECT_EQ(QFontInfo(font).family(), family) << face;
      const QFontMetricsF m(font);
      const qreal w = m.horizontalAdvance(QLatin1Char('W'));
      EXPECT_GT(w, 0);
      for (QChar c : QStringLiteral("i.|0 M"))
        EXPECT_EQ(m.horizontalAdvance(c), w) << face << " at " << pixels << " px, '" << c.toLatin1() << "'";
    }
  }
}
