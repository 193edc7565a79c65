#include <gtest/gtest.h>

#include "windows/SkyView.h"

namespace {

HorizonTable Empty() {
  HorizonTable t;
  t.fill(90);
  return t;
}

SatelliteTable Table(std::initializer_list<SatelliteRow> rows) {
  SatelliteTable t;
  for (const SatelliteRow& r : rows) t.Rows[static_cast<std::size_t>(t.Count++)] = r;
  return t;
}

// One status update as the main window runs it: points and lowering, then the line.
SatelliteDisplay Update(const SatelliteTable& sats, HorizonTable& table, HorizonLine& line) {
  SatelliteDisplay d = BuildSatelliteDisplay(sats, table);
  UpdateHorizonLine(line, table);
  return d;
}

TEST(HorizonLine, WithoutLearnedEntriesTheWholeLineIsAtTheCentre) {
  const HorizonLine line = BuildHorizonLine(Empty());
  for (double r : line.Radius) EXPECT_EQ(r, 0.0);
}

TEST(HorizonLine, ALowSatelliteMovesItsPointOutwardAndAHigherOneChangesNothing) {
  HorizonTable table = Empty();
  HorizonLine line = BuildHorizonLine(table);
  const SatelliteDisplay d = Update(Table({{9, 41, 200, 5}}), table, line);
  EXPECT_EQ(table[200], 5);
  EXPECT_EQ(line.Radius[159], 85.0);
  ASSERT_EQ(d.Sky.size(), 1u);
  EXPECT_EQ(d.Sky[0].Angle, 160.0);  // the satellite itself, one degree further round
  EXPECT_EQ(d.Sky[0].Radius, 85.0);

  const HorizonLine before = line;
  Update(Table({{9, 41, 200, 12}}), table, line);
  EXPECT_EQ(table[200], 5);
  EXPECT_EQ(line.Radius, before.Radius);
}

TEST(HorizonLine, EntryZeroIsDrawnAtAngle359AndASatelliteAtAzimuthZeroAt360) {
  HorizonTable table = Empty();
  table[0] = 20;
  const HorizonLine line = BuildHorizonLine(table);
  EXPECT_EQ(line.Radius[359], 70.0);
  EXPECT_EQ(HorizonByAzimuth(line)[1], 20.0);  // angle 359 points one degree east of north

  const SatelliteDisplay d = BuildSatelliteDisplay(Table({{3, 40, 0, 30}}), table);
  ASSERT_EQ(d.Sky.size(), 1u);
  EXPECT_EQ(d.Sky[0].Angle, 360.0);
  const SkyDirection dir = DirectionOf(d.Sky[0].Angle, d.Sky[0].Radius);
  EXPECT_EQ(dir.Azimuth, 0.0);
  EXPECT_EQ(dir.Elevation, 30.0);
}

TEST(HorizonLine, RaisedEntriesShowAtCreationButNeverPullThePointInward) {
  HorizonTable table = Empty();
  table[10] = 40;  // as read from an edited settings file
  HorizonLine line = BuildHorizonLine(table);
  EXPECT_EQ(line.Radius[349], 50.0);

  table[10] = 70;  // raised while running: the drawn point stays where it is
  EXPECT_EQ(UpdateHorizonLine(line, table), 0);
  EXPECT_EQ(line.Radius[349], 50.0);
  table[10] = 25;
  EXPECT_EQ(UpdateHorizonLine(line, table), 1);
  EXPECT_EQ(line.Radius[349], 65.0);
}

TEST(HorizonLine, SatellitesOutsideTheTablesRangeNeverTouchTheLine) {
  // Azimuth/elevation pairs a broken screen might give, with PRN or C/N 0 among them;
  // none may lower an entry or move a point, only the sane one at the end does.
  HorizonTable table = Empty();
  HorizonLine line = BuildHorizonLine(table);
  SatelliteTable sats;
  const SatelliteRow rows[] = {{1, 40, 360, 10},
                               {2, 40, -1, 10},
                               {3, 40, 100, -5},
                               {4, 40, 100, 91},
                               {0, 40, 50, 10},
                               {5, 0, 50, 10},
                               {6, 40, 2147483647, -2147483647 - 1}};
  for (const SatelliteRow& r : rows) sats.Rows[static_cast<std::size_t>(sats.Count++)] = r;
  for (int i = sats.Count; i < SatelliteTable::Capacity; ++i)
    sats.Rows[static_cast<std::size_t>(sats.Count++)] = {i + 1, 30, 359, 45};
  EXPECT_EQ(Update(sats, table, line).Sky.size(), 22u);  // 24 rows less the PRN 0 and C/N 0 ones
  for (int az = 0; az < 359; ++az) EXPECT_EQ(table[az], 90) << az;
  EXPECT_EQ(table[359], 45);
  for (int k = 0; k < 360; ++k) EXPECT_EQ(line.Radius[k], k == 0 ? 45.0 : 0.0) << k;
}

TEST(SkyDirection, AnglesAreTurnedIntoCompassAzimuths) {
  struct Case {
    double angle, radius, azimuth, elevation;
  } cases[] = {{0, 0, 0, 90},     {360, 90, 0, 0},   {90, 45, 270, 45},     {270, 10, 90, 80},
               {159, 85, 201, 5}, {-40, 30, 40, 60}, {720.5, 0, 359.5, 90}, {1, -5, 359, 95}};
  for (const Case& c : cases) {
    const SkyDirection d = DirectionOf(c.angle, c.radius);
    EXPECT_DOUBLE_EQ(d.Azimuth, c.azimuth) << c.angle;
    EXPECT_DOUBLE_EQ(d.Elevation, c.elevation) << c.angle;
  }
}

}  // namespace
