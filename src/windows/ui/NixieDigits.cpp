#include "windows/ui/NixieDigits.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "windows/ClockFace.h"

namespace {

// Drawn this many times larger, then scaled down, so the thin wires are smooth.
constexpr int Scale = 4;
constexpr double W = DigitImageWidth;
constexpr double H = DigitImageHeight;

// Where the cathodes stand inside the tube, in image pixels.
const QRectF NumeralBox(11.5, 13.0, 22.0, 38.0);
// Front to back, as the cathodes of a tube are stacked.
constexpr int StackOrder[10] = {1, 6, 2, 7, 5, 0, 4, 9, 8, 3};

QPointF At(double u, double v) {
  return {NumeralBox.left() + u * NumeralBox.width(), NumeralBox.top() + v * NumeralBox.height()};
}

QRectF Box(double u, double v, double w, double h) {
  return {At(u, v), QSizeF(w * NumeralBox.width(), h * NumeralBox.height())};
}

// The cathode wire of one numeral, a narrow upright face.
QPainterPath Numeral(int n) {
  QPainterPath p;
  switch (n) {
    case 0:
      p.addEllipse(Box(0.0, 0.0, 1.0, 1.0));
      break;
    case 1:
      p.moveTo(At(0.30, 0.14));
      p.lineTo(At(0.58, 0.0));
      p.lineTo(At(0.58, 1.0));
      break;
    case 2:
      p.arcMoveTo(Box(0.0, 0.0, 1.0, 0.52), 165);
      p.arcTo(Box(0.0, 0.0, 1.0, 0.52), 165, -200);
      p.cubicTo(At(0.80, 0.55), At(0.25, 0.78), At(0.0, 1.0));
      p.lineTo(At(1.0, 1.0));
      break;
    case 3:
      p.arcMoveTo(Box(0.06, 0.0, 0.84, 0.46), 160);
      p.arcTo(Box(0.06, 0.0, 0.84, 0.46), 160, -250);
      p.arcTo(Box(0.0, 0.44, 1.0, 0.56), 90, -255);
      break;
    case 4:
      p.moveTo(At(0.74, 1.0));
      p.lineTo(At(0.74, 0.0));
      p.lineTo(At(0.0, 0.68));
      p.lineTo(At(1.0, 0.68));
      break;
    case 5:
      p.moveTo(At(0.94, 0.0));
      p.lineTo(At(0.14, 0.0));
      p.lineTo(At(0.07, 0.44));
      p.cubicTo(At(0.30, 0.33), At(1.0, 0.32), At(1.0, 0.68));
      p.cubicTo(At(1.0, 1.03), At(0.22, 1.05), At(0.0, 0.86));
      break;
    case 6:
      p.addEllipse(Box(0.0, 0.42, 1.0, 0.58));
      p.moveTo(At(0.84, 0.03));
      p.cubicTo(At(0.34, 0.10), At(0.0, 0.40), At(0.0, 0.71));
      break;
    case 7:
      p.moveTo(At(0.0, 0.0));
      p.lineTo(At(1.0, 0.0));
      p.cubicTo(At(0.70, 0.35), At(0.42, 0.65), At(0.36, 1.0));
      break;
    case 8:
      p.addEllipse(Box(0.09, 0.0, 0.82, 0.45));
      p.addEllipse(Box(0.0, 0.43, 1.0, 0.57));
      break;
    case 9:
      p.addEllipse(Box(0.0, 0.0, 1.0, 0.58));
      p.moveTo(At(1.0, 0.29));
      p.cubicTo(At(1.0, 0.60), At(0.66, 0.90), At(0.16, 0.97));
      break;
  }
  return p;
}

QPainterPath Envelope() {
  // Upright glass tube seen from the front: a domed top, slightly rounded foot.
  QPainterPath p;
  const QRectF r(2.5, 1.0, 40.0, 62.5);
  const double dome = 13.0, foot = 4.0;
  p.moveTo(r.left(), r.top() + dome);
  p.cubicTo(r.left(), r.top() + 2.0, r.left() + 8.0, r.top(), r.center().x(), r.top());
  p.cubicTo(r.right() - 8.0, r.top(), r.right(), r.top() + 2.0, r.right(), r.top() + dome);
  p.lineTo(r.right(), r.bottom() - foot);
  p.quadTo(r.right(), r.bottom(), r.right() - foot, r.bottom());
  p.lineTo(r.left() + foot, r.bottom());
  p.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - foot);
  p.closeSubpath();
  return p;
}

// Three box passes approximate a Gaussian; works on premultiplied pixels in place.
void Blur(QImage& image, int radius) {
  if (radius < 1) return;
  const int w = image.width(), h = image.height();
  std::vector<int> sum(4);
  std::vector<QRgb> line(static_cast<std::size_t>(std::max(w, h)));
  auto pass = [&](auto get, auto set, int length, int count) {
    for (int i = 0; i < count; ++i) {
      for (int k = 0; k < length; ++k) line[static_cast<std::size_t>(k)] = get(i, k);
      int a = 0, r = 0, g = 0, b = 0;
      const int span = 2 * radius + 1;
      auto px = [&](int k) { return line[static_cast<std::size_t>(std::clamp(k, 0, length - 1))]; };
      for (int k = -radius; k <= radius; ++k) {
        const QRgb c = px(k);
        a += qAlpha(c), r += qRed(c), g += qGreen(c), b += qBlue(c);
      }
      for (int k = 0; k < length; ++k) {
        set(i, k, qRgba(r / span, g / span, b / span, a / span));
        const QRgb out = px(k - radius), in = px(k + radius + 1);
        a += qAlpha(in) - qAlpha(out), r += qRed(in) - qRed(out);
        g += qGreen(in) - qGreen(out), b += qBlue(in) - qBlue(out);
      }
    }
  };
  for (int round = 0; round < 3; ++round) {
    pass([&](int y, int x) { return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x]; },
         [&](int y, int x, QRgb c) { reinterpret_cast<QRgb*>(image.scanLine(y))[x] = c; }, w, h);
    pass([&](int x, int y) { return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x]; },
         [&](int x, int y, QRgb c) { reinterpret_cast<QRgb*>(image.scanLine(y))[x] = c; }, h, w);
  }
}

QImage Canvas() {
  QImage image(DigitImageWidth * Scale, DigitImageHeight * Scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// The numeral's light: a wide soft halo and a tighter bright one, to be added on top.
// Soft light needs no fine raster: drawn at half the working scale.
constexpr int GlowScale = Scale / 2;

QImage GlowCanvas() {
  QImage image(DigitImageWidth * GlowScale, DigitImageHeight * GlowScale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// The numeral stroked in one colour and width, then blurred by radius.
QImage BlurredNumeral(int n, QColor color, double width, int radius) {
  QImage image = GlowCanvas();
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(GlowScale, GlowScale);
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(Numeral(n));
  }
  Blur(image, radius);
  return image;
}

QImage Glow(int n) {
  QImage glow = BlurredNumeral(n, QColor(255, 72, 0, 230), 7.0, 7 * GlowScale / 2);
  const QImage tight = BlurredNumeral(n, QColor(255, 115, 25, 255), 3.0, GlowScale);
  QPainter p(&glow);
  p.setCompositionMode(QPainter::CompositionMode_Plus);
  p.drawImage(0, 0, tight);
  return glow;
}

void DrawHoneycomb(QPainter& p, const QRectF& area, QColor color, double width) {
  // Pointy-top hexagons, about two and a half pixels across.
  const double size = 1.45;
  const double dx = std::sqrt(3.0) * size, dy = 1.5 * size;
  QPainterPath mesh;
  int row = 0;
  for (double y = area.top() - size; y < area.bottom() + size; y += dy, ++row) {
    const double offset = (row % 2) ? dx / 2 : 0.0;
    for (double x = area.left() - dx + offset; x < area.right() + dx; x += dx) {
      // Three of the six sides per cell draw the whole mesh once.
      mesh.moveTo(x, y - size);
      mesh.lineTo(x + dx / 2, y - size / 2);
      mesh.moveTo(x, y - size);
      mesh.lineTo(x - dx / 2, y - size / 2);
      mesh.moveTo(x - dx / 2, y - size / 2);
      mesh.lineTo(x - dx / 2, y + size / 2);
    }
  }
  p.save();
  p.setClipRect(area, Qt::IntersectClip);
  p.setPen(QPen(color, width));
  p.drawPath(mesh);
  p.restore();
}

QImage Tube(int lit) {
  QImage image = Canvas();
  image.fill(Qt::black);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(Scale, Scale);
  const QPainterPath envelope = Envelope();
  const QRectF numerals = NumeralBox;
  const QPointF centre = numerals.center();

  // Inside of the glass: dark, a little warmer where the light falls.
  QRadialGradient inside(centre, 30.0);
  inside.setColorAt(0.0, QColor(34, 20, 13));
  inside.setColorAt(0.55, QColor(16, 11, 9));
  inside.setColorAt(1.0, QColor(5, 4, 4));
  p.fillPath(envelope, inside);
  p.setClipPath(envelope);

  // Cathodes behind the lit one catch its light; those in front stand dark against it.
  const int litDepth = static_cast<int>(std::find(std::begin(StackOrder), std::end(StackOrder), lit) - StackOrder);
  const QPen rear(QColor(125, 80, 54, 80), 0.65, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(rear);
  for (int d = 9; d > litDepth; --d) p.drawPath(Numeral(StackOrder[d]));

  // The anode frame and its side rods.
  p.setPen(QPen(QColor(70, 62, 58, 150), 0.6));
  const QRectF frame = numerals.adjusted(-4.0, -4.0, 4.0, 4.0);
  p.drawLine(QPointF(frame.left(), frame.top()), QPointF(frame.left(), frame.bottom() + 5));
  p.drawLine(QPointF(frame.right(), frame.top()), QPointF(frame.right(), frame.bottom() + 5));

  p.resetTransform();
  p.setCompositionMode(QPainter::CompositionMode_Plus);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(QRectF(0, 0, W * Scale, H * Scale), Glow(lit));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.scale(Scale, Scale);

  // The glowing wire itself: orange, hot and pale at its core.
  const QPainterPath numeral = Numeral(lit);
  p.setPen(QPen(QColor(255, 160, 70), 2.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(numeral);
  p.setPen(QPen(QColor(255, 232, 185), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(numeral);

  // Cathodes in front of it.
  p.setPen(QPen(QColor(30, 20, 15, 105), 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  for (int d = litDepth - 1; d >= 0; --d) p.drawPath(Numeral(StackOrder[d]));

  // The honeycomb anode in front of everything: dark over the glow, faintly grey elsewhere.
  DrawHoneycomb(p, frame, QColor(150, 140, 130, 30), 0.35);
  DrawHoneycomb(p, frame, QColor(0, 0, 0, 80), 0.3);

  // The foot of the tube: the pressed stem with its lead wires.
  QLinearGradient stem(0, 56, 0, 64);
  stem.setColorAt(0.0, QColor(0, 0, 0, 0));
  stem.setColorAt(1.0, QColor(40, 36, 34, 200));
  p.fillRect(QRectF(0, 56, W, 8), stem);
  p.setPen(QPen(QColor(90, 80, 72, 110), 0.4));
  for (int k = 0; k < 6; ++k) {
    const double x = 12.5 + k * 4.0;
    p.drawLine(QPointF(x, frame.bottom() + 1), QPointF(x + (x - 22.5) * 0.15, 63));
  }

  // Glass: reflections on the left side and the dome, a thin rim all round.
  p.setClipping(false);
  QLinearGradient streak(3.5, 0, 10.0, 0);
  streak.setColorAt(0.0, QColor(255, 255, 255, 0));
  streak.setColorAt(0.35, QColor(255, 250, 240, 34));
  streak.setColorAt(1.0, QColor(255, 255, 255, 0));
  p.fillRect(QRectF(4.0, 9.0, 6.5, 48.0), streak);
  QLinearGradient right(36.0, 0, 42.0, 0);
  right.setColorAt(0.0, QColor(255, 255, 255, 0));
  right.setColorAt(0.8, QColor(255, 240, 225, 18));
  right.setColorAt(1.0, QColor(255, 255, 255, 0));
  p.fillRect(QRectF(36.0, 12.0, 6.0, 44.0), right);
  QRadialGradient dome(QPointF(15.0, 6.0), 7.0);
  dome.setColorAt(0.0, QColor(255, 255, 255, 60));
  dome.setColorAt(1.0, QColor(255, 255, 255, 0));
  p.fillRect(QRectF(7.0, 1.0, 16.0, 11.0), dome);
  p.setPen(QPen(QColor(140, 130, 125, 90), 0.55));
  p.setBrush(Qt::NoBrush);
  p.drawPath(envelope);
  p.end();
  return image;
}

}  // namespace

std::array<QImage, 10> MakeNixieDigits() {
  std::array<QImage, 10> digits;
  for (int n = 0; n < 10; ++n)
    digits[static_cast<std::size_t>(n)] =
        Tube(n)
            .scaled(DigitImageWidth, DigitImageHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_ARGB32);
  return digits;
}

QImage MakeNeonDot(int diameter) {
  const int size = diameter * Scale;
  QImage big(size, size, QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::transparent);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(size / 2.0, size / 2.0);
    QRadialGradient glow(c, size / 2.0);
    glow.setColorAt(0.0, QColor(255, 190, 120, 255));
    glow.setColorAt(0.25, QColor(255, 120, 30, 235));
    glow.setColorAt(0.55, QColor(200, 60, 0, 90));
    glow.setColorAt(1.0, QColor(120, 30, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(c, size / 2.0, size / 2.0);
  }
  return big.scaled(diameter, diameter, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
