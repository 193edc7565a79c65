#pragma once
// The lamp behind TLEDPaint: its properties, what each change needs repainting, and the
// drawing it makes as plain shapes with resolved colours, so the look is testable
// without a display. The widget only carries the shapes out.
#include <cstdint>
#include <vector>

enum class TBevelCut : std::uint8_t { bvNone = 0, bvLowered = 1, bvRaised = 2, bvSpace = 3 };
enum class TLEDType : std::uint8_t { ltRound = 0, ltRect = 1 };

// A colour as a property holds it: either plain RGB or one of the palette's roles,
// which are looked up only when painting (so the window colour can mean "no fill").
struct LampColor {
  enum class Role : std::uint8_t { Rgb, ButtonFace, ButtonShadow, ButtonHighlight, Window };
  Role Source = Role::Rgb;
  std::uint8_t R = 0, G = 0, B = 0;

  static constexpr LampColor Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {Role::Rgb, r, g, b}; }
  static constexpr LampColor System(Role role) { return {role, 0, 0, 0}; }
  constexpr bool operator==(const LampColor&) const = default;
};

namespace LampColors {
inline constexpr LampColor Red = LampColor::Rgb(0xFF, 0, 0);
inline constexpr LampColor Maroon = LampColor::Rgb(0x80, 0, 0);
inline constexpr LampColor Yellow = LampColor::Rgb(0xFF, 0xFF, 0);
inline constexpr LampColor Black = LampColor::Rgb(0, 0, 0);
inline constexpr LampColor White = LampColor::Rgb(0xFF, 0xFF, 0xFF);
inline constexpr LampColor Gray = LampColor::Rgb(0x80, 0x80, 0x80);
inline constexpr LampColor Silver = LampColor::Rgb(0xC0, 0xC0, 0xC0);
inline constexpr LampColor ButtonFace = LampColor::System(LampColor::Role::ButtonFace);
inline constexpr LampColor Window = LampColor::System(LampColor::Role::Window);
}  // namespace LampColors

// The palette's colours for the roles, as RGB.
struct LampPalette {
  LampColor ButtonFace = LampColor::Rgb(0xF0, 0xF0, 0xF0);
  LampColor ButtonShadow = LampColor::Rgb(0xA0, 0xA0, 0xA0);
  LampColor ButtonHighlight = LampColor::Rgb(0xFF, 0xFF, 0xFF);
  LampColor Window = LampColor::Rgb(0xFF, 0xFF, 0xFF);
  LampColor Resolve(LampColor c) const;
};

// Right and bottom are exclusive.
struct LampRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  LampRect Shrunk(int by) const { return {Left + by, Top + by, Right - by, Bottom - by}; }
  bool operator==(const LampRect&) const = default;
};

// One shape of the drawing, in painting order. Colours are always RGB here.
struct LampShape {
  enum class Kind : std::uint8_t {
    Fill,     // Rect filled with Brush
    Ellipse,  // the ellipse that fills Rect: outlined 1 px in Pen, filled with Brush
    Arc,      // 1 px arc of the ellipse inscribed in Rect, in Pen, counter-clockwise
  };
  Kind Type = Kind::Fill;
  LampRect Rect;
  LampColor Pen;
  LampColor Brush;
  double StartDegrees = 0;  // arcs: 0 is three o'clock, counter-clockwise positive
  double SpanDegrees = 0;
};

enum class LEDRepaint : std::uint8_t { None, Lamp, Whole };

class LEDLamp {
 public:
  LampColor BackGround() const { return backGround_; }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  TBevelCut BevelInner() const { return bevelInner_; }
  std::uint8_t BevelWidth() const { return bevelWidth_; }
  LampColor LEDColor() const { return ledColor_; }
  LampColor LEDOffColor() const { return ledOffColor_; }
  bool LEDOn() const { return ledOn_; }
  TLEDType LEDType() const { return ledType_; }
  bool DrawEllipse() const { return drawEllipse_; }
  int LEDInset() const { return ledInset_; }

  // Each setter says what must be repainted; None when the value did not change.
  LEDRepaint SetBackGround(LampColor c) { return Set(backGround_, c, LEDRepaint::Whole); }
  LEDRepaint SetLEDType(TLEDType t) { return Set(ledType_, t, LEDRepaint::Whole); }
  LEDRepaint SetBevelOuter(TBevelCut b) { return SetBevel(bevelOuter_, b); }
  LEDRepaint SetBevelInner(TBevelCut b) { return SetBevel(bevelInner_, b); }
  LEDRepaint SetBevelWidth(std::uint8_t w) { return SetBevel(bevelWidth_, w); }
  LEDRepaint SetLEDColor(LampColor c) { return Set(ledColor_, c, LEDRepaint::Lamp); }
  LEDRepaint SetLEDOffColor(LampColor c) { return Set(ledOffColor_, c, LEDRepaint::Lamp); }
  LEDRepaint SetLEDOn(bool on) { return Set(ledOn_, on, LEDRepaint::Lamp); }
  LEDRepaint SetDrawEllipse(bool on) { return Set(drawEllipse_, on, LEDRepaint::Lamp); }

  // The area a repaint of this kind covers in a control of this size.
  LampRect RepaintArea(LEDRepaint kind, int width, int height) const;
  // The lamp's area: the client shrunk by LEDInset.
  LampRect LampArea(int width, int height) const { return LampRect{0, 0, width, height}.Shrunk(ledInset_); }
  // Bevels, background and lamp for a whole repaint; the lamp alone otherwise.
  std::vector<LampShape> Paint(int width, int height, bool whole, const LampPalette& palette) const;

 private:
  template <class T>
  LEDRepaint Set(T& field, T value, LEDRepaint kind) {
    if (field == value) return LEDRepaint::None;
    field = value;
    return kind;
  }
  template <class T>
  LEDRepaint SetBevel(T& field, T value) {
    const LEDRepaint r = Set(field, value, LEDRepaint::Whole);
    ledInset_ = Inset();
    return r;
  }
  int Inset() const;
  void PaintLamp(LampRect r, int width, std::vector<LampShape>& out) const;

  LampColor backGround_ = LampColors::ButtonFace;
  TBevelCut bevelOuter_ = TBevelCut::bvRaised;
  TBevelCut bevelInner_ = TBevelCut::bvRaised;
  std::uint8_t bevelWidth_ = 1;
  LampColor ledColor_ = LampColors::Red;
  LampColor ledOffColor_ = LampColors::Maroon;
  bool ledOn_ = false;
  TLEDType ledType_ = TLEDType::ltRound;
  bool drawEllipse_ = false;
  int ledInset_ = 2;
};

// A 3-D frame of the given width on the edge of r: the top and left strips in `topLeft`,
// the bottom and right ones in `bottomRight`, which own the two far corners. r shrinks by
// the width.
void AddFrame3D(LampRect& r, LampColor topLeft, LampColor bottomRight, int width, std::vector<LampShape>& out);
