#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "controls/LEDLamp.h"

namespace {

const LampPalette Palette;  // face F0, shadow A0, highlight FF, window FF

std::vector<LampShape> OfKind(const std::vector<LampShape>& shapes, LampShape::Kind kind) {
  std::vector<LampShape> out;
  for (const LampShape& s : shapes)
    if (s.Type == kind) out.push_back(s);
  return out;
}

// The colour a whole repaint leaves at pixel (x, y), the ellipse taken as its box.
LampColor FillAt(const std::vector<LampShape>& shapes, int x, int y) {
  LampColor c = LampColor::Rgb(1, 2, 3);  // untouched
  for (const LampShape& s : shapes)
    if (s.Type == LampShape::Kind::Fill && x >= s.Rect.Left && x < s.Rect.Right && y >= s.Rect.Top && y < s.Rect.Bottom)
      c = s.Brush;
  return c;
}

TEST(LEDLamp, ConstructionValues) {
  const LEDLamp lamp;
  EXPECT_EQ(lamp.BackGround(), LampColors::ButtonFace);
  EXPECT_EQ(lamp.BevelOuter(), TBevelCut::bvRaised);
  EXPECT_EQ(lamp.BevelInner(), TBevelCut::bvRaised);
  EXPECT_EQ(lamp.BevelWidth(), 1);
  EXPECT_EQ(lamp.LEDColor(), LampColor::Rgb(0xFF, 0, 0));
  EXPECT_EQ(lamp.LEDOffColor(), LampColor::Rgb(0x80, 0, 0));
  EXPECT_FALSE(lamp.LEDOn());
  EXPECT_EQ(lamp.LEDType(), TLEDType::ltRound);
  EXPECT_FALSE(lamp.DrawEllipse());
  EXPECT_EQ(lamp.LEDInset(), 2);
}

// Every setter: the current value repaints nothing, a new one the part it affects, and
// the bevels keep LEDInset up to date.
TEST(LEDLamp, SettersRepaintWhatTheyChange) {
  struct Case {
    std::string name;
    std::function<LEDRepaint(LEDLamp&)> same, change;
    LEDRepaint expected;
    int insetAfter;
  };
  const std::vector<Case> cases = {
      {"BackGround", [](LEDLamp& l) { return l.SetBackGround(LampColors::ButtonFace); },
       [](LEDLamp& l) { return l.SetBackGround(LampColors::Window); }, LEDRepaint::Whole, 2},
      {"LEDType", [](LEDLamp& l) { return l.SetLEDType(TLEDType::ltRound); },
       [](LEDLamp& l) { return l.SetLEDType(TLEDType::ltRect); }, LEDRepaint::Whole, 2},
      {"BevelOuter", [](LEDLamp& l) { return l.SetBevelOuter(TBevelCut::bvRaised); },
       [](LEDLamp& l) { return l.SetBevelOuter(TBevelCut::bvNone); }, LEDRepaint::Whole, 1},
      {"BevelInner", [](LEDLamp& l) { return l.SetBevelInner(TBevelCut::bvRaised); },
       [](LEDLamp& l) { return l.SetBevelInner(TBevelCut::bvSpace); }, LEDRepaint::Whole, 2},
      {"BevelWidth", [](LEDLamp& l) { return l.SetBevelWidth(1); }, [](LEDLamp& l) { return l.SetBevelWidth(3); },
       LEDRepaint::Whole, 6},
      {"LEDOn", [](LEDLamp& l) { return l.SetLEDOn(false); }, [](LEDLamp& l) { return l.SetLEDOn(true); },
       LEDRepaint::Lamp, 2},
      {"LEDColor", [](LEDLamp& l) { return l.SetLEDColor(LampColors::Red); },
       [](LEDLamp& l) { return l.SetLEDColor(LampColors::Yellow); }, LEDRepaint::Lamp, 2},
      {"LEDOffColor", [](LEDLamp& l) { return l.SetLEDOffColor(LampColors::Maroon); },
       [](LEDLamp& l) { return l.SetLEDOffColor(LampColors::Black); }, LEDRepaint::Lamp, 2},
      {"DrawEllipse", [](LEDLamp& l) { return l.SetDrawEllipse(false); },
       [](LEDLamp& l) { return l.SetDrawEllipse(true); }, LEDRepaint::Lamp, 2},
  };
  for (const Case& c : cases) {
    LEDLamp lamp;
    EXPECT_EQ(c.same(lamp), LEDRepaint::None) << c.name;
    EXPECT_EQ(c.change(lamp), c.expected) << c.name;
    EXPECT_EQ(c.change(lamp), LEDRepaint::None) << c.name << " set twice";
    EXPECT_EQ(lamp.LEDInset(), c.insetAfter) << c.name;
    const LampRect area = lamp.RepaintArea(c.expected, 20, 20);
    if (c.expected == LEDRepaint::Whole)
      EXPECT_EQ(area, (LampRect{0, 0, 20, 20})) << c.name;
    else
      EXPECT_EQ(area, (LampRect{2, 2, 18, 18})) << c.name;
  }
  LEDLamp flat;
  flat.SetBevelOuter(TBevelCut::bvNone);
  flat.SetBevelInner(TBevelCut::bvNone);
  flat.SetBevelWidth(5);
  EXPECT_EQ(flat.LEDInset(), 0);
}

// The command window's lamp: 20 x 20, raised bevels of 1 px, yellow lit and black dark.
TEST(LEDLamp, CommandWindowLamp) {
  LEDLamp lamp;
  lamp.SetLEDColor(LampColors::Yellow);
  lamp.SetLEDOffColor(LampColors::Black);
  for (bool on : {true, false}) {
    lamp.SetLEDOn(on);
    const std::vector<LampShape> shapes = lamp.Paint(20, 20, true, Palette);
    // Raised: light from the top left, both rings.
    for (int ring : {0, 1}) {
      EXPECT_EQ(FillAt(shapes, ring, 10), Palette.ButtonHighlight) << ring;
      EXPECT_EQ(FillAt(shapes, 10, ring), Palette.ButtonHighlight) << ring;
      EXPECT_EQ(FillAt(shapes, 19 - ring, 10), Palette.ButtonShadow) << ring;
      EXPECT_EQ(FillAt(shapes, 10, 19 - ring), Palette.ButtonShadow) << ring;
      EXPECT_EQ(FillAt(shapes, 19 - ring, ring), Palette.ButtonShadow) << "far corner " << ring;
    }
    EXPECT_EQ(FillAt(shapes, 2, 2), Palette.ButtonFace);
    EXPECT_EQ(FillAt(shapes, 17, 17), Palette.ButtonFace);
    const auto ellipses = OfKind(shapes, LampShape::Kind::Ellipse);
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_EQ(ellipses[0].Rect, (LampRect{2, 2, 18, 18}));
    EXPECT_EQ(ellipses[0].Brush, on ? LampColors::Yellow : LampColors::Black);
    EXPECT_EQ(ellipses[0].Pen, on ? LampColors::Gray : LampColors::Silver);
    EXPECT_TRUE(OfKind(shapes, LampShape::Kind::Arc).empty());
    // A lamp-only repaint draws the lamp and nothing around it.
    const std::vector<LampShape> lampOnly = lamp.Paint(20, 20, false, Palette);
    ASSERT_EQ(lampOnly.size(), 1u);
    EXPECT_EQ(lampOnly[0].Type, LampShape::Kind::Ellipse);
  }
}

TEST(LEDLamp, BackgroundBevelsAndFlatLamp) {
  LEDLamp lamp;
  lamp.SetBevelOuter(TBevelCut::bvLowered);
  lamp.SetBevelInner(TBevelCut::bvSpace);
  lamp.SetBevelWidth(2);
  auto shapes = lamp.Paint(24, 24, true, Palette);
  for (int ring : {0, 1}) {  // lowered outer: shadow top left
    EXPECT_EQ(FillAt(shapes, ring, 12), Palette.ButtonShadow);
    EXPECT_EQ(FillAt(shapes, 23 - ring, 12), Palette.ButtonHighlight);
  }
  for (int ring : {2, 3}) {  // space inner: like raised
    EXPECT_EQ(FillAt(shapes, ring, 12), Palette.ButtonHighlight);
    EXPECT_EQ(FillAt(shapes, 23 - ring, 12), Palette.ButtonShadow);
  }
  EXPECT_EQ(OfKind(shapes, LampShape::Kind::Ellipse)[0].Rect, (LampRect{4, 4, 20, 20}));

  // The window colour as background means no fill at all; any other is resolved.
  lamp.SetBackGround(LampColors::Window);
  shapes = lamp.Paint(24, 24, true, Palette);
  EXPECT_EQ(FillAt(shapes, 10, 10), LampColor::Rgb(1, 2, 3));
  lamp.SetBackGround(LampColor::Rgb(0, 0x40, 0));
  EXPECT_EQ(FillAt(lamp.Paint(24, 24, true, Palette), 10, 10), LampColor::Rgb(0, 0x40, 0));

  LEDLamp flat;
  flat.SetBevelOuter(TBevelCut::bvNone);
  flat.SetBevelInner(TBevelCut::bvNone);
  shapes = flat.Paint(19, 19, true, Palette);
  ASSERT_EQ(shapes.size(), 2u);  // background and lamp, no bevel
  EXPECT_EQ(OfKind(shapes, LampShape::Kind::Ellipse)[0].Rect, (LampRect{0, 0, 19, 19}));
}

TEST(LEDLamp, OffColourIsItsOwn) {
  LEDLamp lamp;
  const auto before = lamp.Paint(19, 19, true, Palette);
  EXPECT_EQ(lamp.SetLEDColor(LampColors::Yellow), LEDRepaint::Lamp);
  const auto after = lamp.Paint(19, 19, true, Palette);
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(before[i].Brush, after[i].Brush) << i;
    EXPECT_EQ(before[i].Pen, after[i].Pen) << i;
  }
  EXPECT_EQ(lamp.LEDOffColor(), LampColors::Maroon);
  lamp.SetLEDOn(true);
  EXPECT_EQ(OfKind(lamp.Paint(19, 19, true, Palette), LampShape::Kind::Ellipse)[0].Brush, LampColors::Yellow);
}

TEST(LEDLamp, HighlightArcOnTheUpperLeftHalf) {
  LEDLamp lamp;
  lamp.SetDrawEllipse(true);
  for (bool on : {true, false}) {
    lamp.SetLEDOn(on);
    const auto arcs = OfKind(lamp.Paint(19, 19, true, Palette), LampShape::Kind::Arc);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_EQ(arcs[0].Rect, (LampRect{5, 5, 14, 14}));  // lamp 2..17 shrunk by 19 div 6
    EXPECT_EQ(arcs[0].Pen, on ? LampColors::Silver : LampColors::Gray);
    EXPECT_DOUBLE_EQ(arcs[0].StartDegrees, 45.0);
    EXPECT_DOUBLE_EQ(arcs[0].SpanDegrees, 180.0);
  }
  // A wide lamp: the directions of the corners, not fixed angles.
  const auto wide = OfKind(lamp.Paint(40, 30, true, Palette), LampShape::Kind::Arc);
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0].Rect, (LampRect{8, 8, 32, 22}));
  EXPECT_NEAR(wide[0].StartDegrees, std::atan2(7.0, 12.0) * 180.0 / std::numbers::pi, 1e-9);
  EXPECT_NEAR(wide[0].SpanDegrees, 180.0, 1e-9);
  lamp.SetDrawEllipse(false);
  EXPECT_TRUE(OfKind(lamp.Paint(19, 19, true, Palette), LampShape::Kind::Arc).empty());
}

// The rectangular lamp's 1 px frame follows the inner bevel, or the outer one without it.
TEST(LEDLamp, RectangularLampFrame) {
  struct Case {
    TBevelCut outer, inner;
    bool framed;
    LampColor topLeft;
  };
  const LampColor W = LampColors::White, B = LampColors::Black;
  const Case cases[] = {
      {TBevelCut::bvRaised, TBevelCut::bvLowered, true, W}, {TBevelCut::bvLowered, TBevelCut::bvRaised, true, B},
      {TBevelCut::bvRaised, TBevelCut::bvSpace, false, W},  {TBevelCut::bvLowered, TBevelCut::bvNone, true, W},
      {TBevelCut::bvRaised, TBevelCut::bvNone, true, B},    {TBevelCut::bvSpace, TBevelCut::bvNone, true, B},
      {TBevelCut::bvNone, TBevelCut::bvNone, true, B},
  };
  for (const Case& c : cases) {
    LEDLamp lamp;
    lamp.SetLEDType(TLEDType::ltRect);
    lamp.SetBevelOuter(c.outer);
    lamp.SetBevelInner(c.inner);
    lamp.SetLEDOn(true);
    const int in = lamp.LEDInset();
    const auto shapes = lamp.Paint(19, 19, false, Palette);
    EXPECT_TRUE(OfKind(shapes, LampShape::Kind::Ellipse).empty());
    const int lampEdge = c.framed ? in + 1 : in;
    EXPECT_EQ(FillAt(shapes, lampEdge, lampEdge), LampColors::Red) << int(c.outer) << int(c.inner);
    EXPECT_EQ(FillAt(shapes, 18 - lampEdge, 18 - lampEdge), LampColors::Red);
    if (c.framed) {
      const LampColor bottomRight = c.topLeft == W ? B : W;
      EXPECT_EQ(FillAt(shapes, in, 9), c.topLeft) << int(c.outer) << int(c.inner);
      EXPECT_EQ(FillAt(shapes, 9, in), c.topLeft);
      EXPECT_EQ(FillAt(shapes, 18 - in, 9), bottomRight);
      EXPECT_EQ(FillAt(shapes, 9, 18 - in), bottomRight);
    }
  }
}

}  // namespace
