#include "charting/ui/PolarChart.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double kPi = 3.14159265358979323846;
}

TPolarChart::TPolarChart(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 160);
  tipTimer_ = new QTimer(this);
  tipTimer_->setSingleShot(true);
  tipTimer_->setInterval(TipDelayMs);
  connect(tipTimer_, &QTimer::timeout, this, &TPolarChart::ShowTip);
}

void TPolarChart::SetTitle(const QString& title) {
  title_ = title;
  BackdropChanged();
}

void TPolarChart::SetLabelsVisible(bool visible) {
  labels_ = visible;
  BackdropChanged();
}

void TPolarChart::SetCompassLabelsOnly(bool on) {
  compassOnly_ = on;
  BackdropChanged();
}

void TPolarChart::SetGridSteps(int ringDegrees, int spokeDegrees) {
  ringStep_ = std::clamp(ringDegrees, 1, 90);
  spokeStep_ = std::clamp(spokeDegrees, 1, 360);
  BackdropChanged();
}

void TPolarChart::SetHorizonShade(QColor color) {
  horizonShade_ = color;
  HorizonChanged();
}

void TPolarChart::BackdropChanged() {
  gridValid_ = false;
  HorizonChanged();
}

void TPolarChart::HorizonChanged() {
  backdropValid_ = false;
  update();
}

void TPolarChart::ClearPoints() {
  points_.clear();
  update();
}

void TPolarChart::AddPoint(double azimuth, double elevation, const QString& label) {
  points_.push_back({azimuth, elevation, label});
  update();
}

void TPolarChart::SetPointColor(QColor color) {
  pointColor_ = color;
  update();
}

void TPolarChart::SetPointSize(double pixels) {
  pointSize_ = pixels;
  update();
}

void TPolarChart::SetHorizon(const std::vector<double>& elevations) {
  for (int k = 0; k < HorizonPoints; ++k) horizon_[k] = k < int(elevations.size()) ? elevations[k] : 0.0;
  HorizonChanged();
}

void TPolarChart::SetHorizonElevation(int azimuth, double elevation) {
  if (azimuth < 0 || azimuth >= HorizonPoints) return;
  horizon_[azimuth] = elevation;
  HorizonChanged();
}

void TPolarChart::SetHorizonColor(QColor color) {
  horizonColor_ = color;
  HorizonChanged();
}

void TPolarChart::SetHorizonVisible(bool visible) {
  horizonVisible_ = visible;
  HorizonChanged();
}

QRectF TPolarChart::Circle(const QRect& target) const {
  QFontMetricsF fm(font());
  const double top = title_.isEmpty() ? 0.0 : fm.height() + 8;
  const double margin = labels_ ? fm.height() + 8 : 8;
  QRectF area = QRectF(target).adjusted(margin, margin + top, -margin, -margin);
  const double d = std::max(10.0, std::min(area.width(), area.height()));
  return QRectF(area.center().x() - d / 2, area.center().y() - d / 2, d, d);
}

QPointF TPolarChart::Place(const QRectF& circle, double azimuth, double elevation) {
  const double r = (90.0 - std::clamp(elevation, 0.0, 90.0)) / 90.0 * circle.width() / 2;
  const double a = azimuth * kPi / 180.0;
  return {circle.center().x() + r * std::sin(a), circle.center().y() - r * std::cos(a)};
}

QPointF TPolarChart::ToPixel(double azimuth, double elevation) const {
  return Place(Circle(rect()), azimuth, elevation);
}

void TPolarChart::Render(QPainter* painter, const QRect& target) const {
  RenderGrid(painter, target);
  RenderHorizon(painter, target);
  RenderPoints(painter, target);
}

void TPolarChart::RenderGrid(QPainter* painter, const QRect& target) const {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, true);
  painter->fillRect(target, Qt::white);
  painter->setFont(font());
  const QRectF circle = Circle(target);
  const QPointF c = circle.center();
  const double radius = circle.width() / 2;

  if (!title_.isEmpty()) {
    QFont bold = font();
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(QColor(40, 40, 40));
    painter->drawText(QRectF(target.left(), target.top() + 4, target.width(), QFontMetricsF(bold).height()),
                      Qt::AlignHCenter | Qt::AlignTop, title_);
    painter->setFont(font());
  }

  painter->setPen(Qt::NoPen);
  painter->setBrush(QColor(251, 252, 254));
  painter->drawEllipse(circle);

  // Elevation rings and azimuth spokes; the spokes of the main directions a little stronger,
  // the others start at the first ring so the zenith stays clear.
  painter->setBrush(Qt::NoBrush);
  const QPen ringPen(QColor(222, 225, 231), 1);
  painter->setPen(ringPen);
  for (int el = ringStep_; el < 90; el += ringStep_) {
    const double r = (90.0 - el) / 90.0 * radius;
    painter->setPen(el % 30 == 0 ? QPen(QColor(200, 204, 212), 1) : ringPen);
    painter->drawEllipse(c, r, r);
  }
  const double inner = (90.0 - (90 - ringStep_)) / 90.0 * radius;
  for (int az = 0; az < 360; az += spokeStep_) {
    const bool main = az % 90 == 0;
    painter->setPen(main ? QPen(QColor(196, 200, 208), 1) : QPen(QColor(230, 232, 237), 1));
    const double a = az * kPi / 180.0;
    const QPointF from = main ? c : QPointF(c.x() + inner * std::sin(a), c.y() - inner * std::cos(a));
    painter->drawLine(from, Place(circle, az, 0));
  }
  painter->setPen(QPen(QColor(140, 144, 152), 1.2));
  painter->drawEllipse(circle);

  if (labels_ && compassOnly_) {
    QFont bold = font();
    bold.setBold(true);
    painter->setFont(bold);
    QFontMetricsF fm(bold);
    painter->setPen(QColor(55, 60, 70));
    const char* names[] = {"N", "E", "S", "W"};
    for (int k = 0; k < 4; ++k) {
      const double a = k * 90 * kPi / 180.0;
      const double r = radius + fm.height() * 0.7;
      QPointF p(c.x() + r * std::sin(a), c.y() - r * std::cos(a));
      painter->drawText(QRectF(p.x() - 20, p.y() - fm.height() / 2, 40, fm.height()), Qt::AlignCenter,
                        QString::fromLatin1(names[k]));
    }
    painter->setFont(font());
  } else if (labels_) {
    QFontMetricsF fm(font());
    painter->setPen(QColor(60, 60, 65));
    const char* names[] = {"N", "30", "60", "E", "120", "150", "S", "210", "240", "W", "300", "330"};
    for (int k = 0; k < 12; ++k) {
      const double a = k * 30 * kPi / 180.0;
      const double r = radius + fm.height() * 0.75;
      QPointF p(c.x() + r * std::sin(a), c.y() - r * std::cos(a));
      QRectF box(p.x() - 20, p.y() - fm.height() / 2, 40, fm.height());
      painter->drawText(box, Qt::AlignCenter, QString::fromLatin1(names[k]));
    }
    painter->setPen(QColor(150, 150, 155));
    for (int el = 30; el < 90; el += 30) {
      QPointF p = Place(circle, 0, el);
      painter->drawText(QRectF(p.x() + 3, p.y() - fm.height(), 40, fm.height()), Qt::AlignLeft | Qt::AlignBottom,
                        QString::number(el) + QChar(0x00b0));
    }
  }

  painter->restore();
}

void TPolarChart::RenderHorizon(QPainter* painter, const QRect& target) const {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, true);
  const QRectF circle = Circle(target);
  if (horizonVisible_) {
    QPolygonF line;
    for (int k = 0; k < HorizonPoints; ++k) line << Place(circle, k, horizon_[k]);
    if (horizonShade_.isValid()) {
      QPainterPath hidden;
      hidden.setFillRule(Qt::OddEvenFill);
      hidden.addEllipse(circle);
      hidden.addPolygon(line);
      // The line drawn over it hides the edge, so the faint tint needs no smoothing.
      painter->setRenderHint(QPainter::Antialiasing, false);
      painter->fillPath(hidden, horizonShade_);
      painter->setRenderHint(QPainter::Antialiasing, true);
    }
    painter->setPen(QPen(horizonColor_, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->drawPolygon(line);
  }

  painter->restore();
}

void TPolarChart::RenderPoints(QPainter* painter, const QRect& target) const {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, true);
  const QRectF circle = Circle(target);
  painter->setPen(QPen(pointColor_.darker(140), 1));
  painter->setBrush(pointColor_);
  const double half = pointSize_ / 2;
  for (const SkyPoint& p : points_) painter->drawEllipse(Place(circle, p.azimuth, p.elevation), half, half);
  painter->restore();
}

void TPolarChart::paintEvent(QPaintEvent*) {
  // Kept in layers by how often they change: the grid and labels almost never, the
  // horizon now and then, the satellites with every status screen.
  const qreal ratio = devicePixelRatioF();
  if (grid_.size() != size() * ratio) {
    grid_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    grid_.setDevicePixelRatio(ratio);
    backdrop_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    backdrop_.setDevicePixelRatio(ratio);
    gridValid_ = backdropValid_ = false;
  }
  if (!gridValid_) {
    QPainter p(&grid_);
    RenderGrid(&p, rect());
    gridValid_ = true;
  }
  if (!backdropValid_) {
    std::memcpy(backdrop_.bits(), grid_.constBits(), static_cast<std::size_t>(grid_.sizeInBytes()));
    QPainter p(&backdrop_);
    RenderHorizon(&p, rect());
    backdropValid_ = true;
  }
  QPainter painter(this);
  painter.drawImage(QPointF(0, 0), backdrop_);
  RenderPoints(&painter, rect());
}

void TPolarChart::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) gridValid_ = backdropValid_ = false;
  QWidget::changeEvent(event);
}

QString TPolarChart::TipTextAt(const QPoint& pos) const {
  const double reach = std::max(5.0, pointSize_);
  double best = reach * reach;
  QString text;
  for (const SkyPoint& p : points_) {
    const QPointF at = ToPixel(p.azimuth, p.elevation);
    const double dx = at.x() - pos.x(), dy = at.y() - pos.y();
    if (dx * dx + dy * dy <= best) {
      best = dx * dx + dy * dy;
      text = p.label;
    }
  }
  return text;
}

void TPolarChart::ShowTip() {
  const QString text = TipTextAt(tipPos_);
  if (text.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(mapToGlobal(tipPos_), text, this);
}

void TPolarChart::mouseMoveEvent(QMouseEvent* event) {
  tipPos_ = event->pos();
  tipTimer_->start();
  QWidget::mouseMoveEvent(event);
}

void TPolarChart::leaveEvent(QEvent* event) {
  tipTimer_->stop();
  QWidget::leaveEvent(event);
}

void ShowPrintPreview(TPolarChart* chart, QWidget* parent) {
  QPrinter printer(QPrinter::HighResolution);
  QPrintPreviewDialog dialog(&printer, parent);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, [chart](QPrinter* p) {
    QPainter painter(p);
    const QRect page = p->pageLayout().paintRectPixels(p->resolution());
    // Draw at screen size and scale up, so fonts and lines keep their proportions.
    const QSize size = chart->size().expandedTo(QSize(400, 400));
    const double scale = std::min(double(page.width()) / size.width(), double(page.height()) / size.height());
    painter.translate((page.width() - size.width() * scale) / 2, (page.height() - size.height() * scale) / 2);
    painter.scale(scale, scale);
    chart->Render(&painter, QRect(QPoint(0, 0), size));
  });
  dialog.exec();
}
