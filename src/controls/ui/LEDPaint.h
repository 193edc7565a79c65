#pragma once
// TLEDPaint: a small lamp, round or rectangular, lit or dark, inside up to two bevels.
// What it draws comes from LEDLamp; this widget maps the palette and paints the shapes.
#include <QWidget>

#include "controls/LEDLamp.h"

class TLEDPaint : public QWidget {
  Q_OBJECT
 public:
  explicit TLEDPaint(QWidget* parent = nullptr);

  LampColor BackGround() const { return lamp_.BackGround(); }
  void SetBackGround(LampColor c) { Repaint(lamp_.SetBackGround(c)); }
  TBevelCut BevelOuter() const { return lamp_.BevelOuter(); }
  void SetBevelOuter(TBevelCut b) { Repaint(lamp_.SetBevelOuter(b)); }
  TBevelCut BevelInner() const { return lamp_.BevelInner(); }
  void SetBevelInner(TBevelCut b) { Repaint(lamp_.SetBevelInner(b)); }
  std::uint8_t BevelWidth() const { return lamp_.BevelWidth(); }
  void SetBevelWidth(std::uint8_t w) { Repaint(lamp_.SetBevelWidth(w)); }
  LampColor LEDColor() const { return lamp_.LEDColor(); }
  void SetLEDColor(LampColor c) { Repaint(lamp_.SetLEDColor(c)); }
  LampColor LEDOffColor() const { return lamp_.LEDOffColor(); }
  void SetLEDOffColor(LampColor c) { Repaint(lamp_.SetLEDOffColor(c)); }
  bool LEDOn() const { return lamp_.LEDOn(); }
  void SetLEDOn(bool on) { Repaint(lamp_.SetLEDOn(on)); }
  TLEDType LEDType() const { return lamp_.LEDType(); }
  void SetLEDType(TLEDType t) { Repaint(lamp_.SetLEDType(t)); }
  bool DrawEllipse() const { return lamp_.DrawEllipse(); }
  void SetDrawEllipse(bool on) { Repaint(lamp_.SetDrawEllipse(on)); }
  int LEDInset() const { return lamp_.LEDInset(); }

  const LEDLamp& Lamp() const { return lamp_; }
  // The palette's colours the bevels and a role background are painted in.
  LampPalette Colours() const;
  // Paint events handled so far.
  int PaintCount() const { return paintCount_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Repaint(LEDRepaint kind);

  LEDLamp lamp_;
  int paintCount_ = 0;
};
