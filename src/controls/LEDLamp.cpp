#include "controls/LEDLamp.h"

#include <cmath>
#include <numbers>

LampColor LampPalette::Resolve(LampColor c) const {
  switch (c.Source) {
    case LampColor::Role::ButtonFace:
      return ButtonFace;
    case LampColor::Role::ButtonShadow:
      return ButtonShadow;
    case LampColor::Role::ButtonHighlight:
      return ButtonHighlight;
    case LampColor::Role::Window:
      return Window;
    case LampColor::Role::Rgb:
      break;
  }
  return c;
}

namespace {

bool Empty(const LampRect& r) { return r.Width() <= 0 || r.Height() <= 0; }

void Fill(const LampRect& r, LampColor c, std::vector<LampShape>& out) {
  if (Empty(r)) return;
  LampShape s;
  s.Type = LampShape::Kind::Fill;
  s.Rect = r;
  s.Pen = c;
  s.Brush = c;
  out.push_back(s);
}

// Screen direction from the centre of r to a point, in degrees counter-clockwise from
// three o'clock, in [0, 360).
double Direction(const LampRect& r, double x, double y) {
  const double cx = (r.Left + r.Right) / 2.0;
  const double cy = (r.Top + r.Bottom) / 2.0;
  double degrees = std::atan2(cy - y, x - cx) * 180.0 / std::numbers::pi;
  if (degrees < 0) degrees += 360.0;
  return degrees;
}

}  // namespace

void AddFrame3D(LampRect& r, LampColor topLeft, LampColor bottomRight, int width, std::vector<LampShape>& out) {
  for (int i = 0; i < width && !Empty(r); ++i) {
    Fill({r.Left, r.Top, r.Right - 1, r.Top + 1}, topLeft, out);
    Fill({r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1}, topLeft, out);
    Fill({r.Right - 1, r.Top, r.Right, r.Bottom}, bottomRight, out);
    Fill({r.Left, r.Bottom - 1, r.Right - 1, r.Bottom}, bottomRight, out);
    r = r.Shrunk(1);
  }
}

int LEDLamp::Inset() const {
  return (bevelOuter_ != TBevelCut::bvNone ? bevelWidth_ : 0) + (bevelInner_ != TBevelCut::bvNone ? bevelWidth_ : 0);
}

LampRect LEDLamp::RepaintArea(LEDRepaint kind, int width, int height) const {
  switch (kind) {
    case LEDRepaint::None:
      return {};
    case LEDRepaint::Lamp:
      return LampArea(width, height);
    case LEDRepaint::Whole:
      break;
  }
  return {0, 0, width, height};
}

std::vector<LampShape> LEDLamp::Paint(int width, int height, bool whole, const LampPalette& palette) const {
  std::vector<LampShape> out;
  if (whole) {
    LampRect r{0, 0, width, height};
    const LampColor shadow = palette.ButtonShadow;
    const LampColor highlight = palette.ButtonHighlight;
    for (TBevelCut bevel : {bevelOuter_, bevelInner_}) {
      if (bevel == TBevelCut::bvNone) continue;
      // Lowered: lit from the bottom right; raised and space: from the top left.
      const bool lowered = bevel == TBevelCut::bvLowered;
      AddFrame3D(r, lowered ? shadow : highlight, lowered ? highlight : shadow, bevelWidth_, out);
    }
    if (backGround_.Source != LampColor::Role::Window) Fill(LampArea(width, height), palette.Resolve(backGround_), out);
  }
  PaintLamp(LampArea(width, height), width, out);
  // Colours reach the painter resolved.
  for (LampShape& s : out) {
    s.Pen = palette.Resolve(s.Pen);
    s.Brush = palette.Resolve(s.Brush);
  }
  return out;
}

void LEDLamp::PaintLamp(LampRect r, int width, std::vector<LampShape>& out) const {
  if (Empty(r)) return;
  const LampColor brush = ledOn_ ? ledColor_ : ledOffColor_;
  if (ledType_ == TLEDType::ltRound) {
    LampShape lamp;
    lamp.Type = LampShape::Kind::Ellipse;
    lamp.Rect = r;
    lamp.Pen = ledOn_ ? LampColors::Gray : LampColors::Silver;
    lamp.Brush = brush;
    out.push_back(lamp);
    const LampRect inner = r.Shrunk(width / 6);
    if (drawEllipse_ && !Empty(inner)) {
      // A reflection on the upper left half.
      LampShape arc;
      arc.Type = LampShape::Kind::Arc;
      arc.Rect = inner;
      arc.Pen = ledOn_ ? LampColors::Silver : LampColors::Gray;
      arc.Brush = brush;
      arc.StartDegrees = Direction(inner, inner.Right, inner.Top);
      double span = Direction(inner, inner.Left, inner.Bottom) - arc.StartDegrees;
      if (span <= 0) span += 360.0;
      arc.SpanDegrees = span;
      out.push_back(arc);
    }
    return;
  }
  // The rectangular lamp's own edge follows the inner bevel, or the outer one without it.
  const TBevelCut edge = bevelInner_ != TBevelCut::bvNone ? bevelInner_ : bevelOuter_;
  if (edge == TBevelCut::bvLowered) {
    AddFrame3D(r, LampColors::White, LampColors::Black, 1, out);
  } else if (bevelInner_ != TBevelCut::bvSpace) {
    AddFrame3D(r, LampColors::Black, LampColors::White, 1, out);
  }
  Fill(r, brush, out);
}
