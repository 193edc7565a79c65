#include "controls/ui/LEDPaint.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

QColor ToQColor(LampColor c) { return QColor(c.R, c.G, c.B); }

LampColor FromQColor(const QColor& c) {
  return LampColor::Rgb(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                        static_cast<std::uint8_t>(c.blue()));
}

// The ellipse's 1 px outline stays inside its box, as the box's pixels count it.
QRectF StrokeBox(const LampRect& r) { return QRectF(r.Left + 0.5, r.Top + 0.5, r.Width() - 1.0, r.Height() - 1.0); }

}  // namespace

TLEDPaint::TLEDPaint(QWidget* parent) : QWidget(parent) { setGeometry(0, 0, 19, 19); }

LampPalette TLEDPaint::Colours() const {
  const QPalette& p = palette();
  LampPalette colours;
  colours.ButtonFace = FromQColor(p.color(QPalette::Button));
  colours.ButtonShadow = FromQColor(p.color(QPalette::Dark));
  colours.ButtonHighlight = FromQColor(p.color(QPalette::Light));
  colours.Window = FromQColor(p.color(QPalette::Base));
  return colours;
}

void TLEDPaint::Repaint(LEDRepaint kind) {
  if (kind == LEDRepaint::None) return;
  const LampRect r = lamp_.RepaintArea(kind, width(), height());
  // Only the invalid part is drawn again; what lies under it is still painted whole.
  update(QRect(r.Left, r.Top, r.Width(), r.Height()));
}

void TLEDPaint::paintEvent(QPaintEvent* event) {
  ++paintCount_;
  QPainter painter(this);
  painter.setClipRegion(event->region());
  for (const LampShape& s : lamp_.Paint(width(), height(), true, Colours())) {
    switch (s.Type) {
      case LampShape::Kind::Fill:
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(QRect(s.Rect.Left, s.Rect.Top, s.Rect.Width(), s.Rect.Height()), ToQColor(s.Brush));
        break;
      case LampShape::Kind::Ellipse:
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(ToQColor(s.Pen), 1.0));
        painter.setBrush(ToQColor(s.Brush));
        painter.drawEllipse(StrokeBox(s.Rect));
        break;
      case LampShape::Kind::Arc:
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(ToQColor(s.Pen), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(StrokeBox(s.Rect), static_cast<int>(s.StartDegrees * 16), static_cast<int>(s.SpanDegrees * 16));
        break;
    }
  }
}
