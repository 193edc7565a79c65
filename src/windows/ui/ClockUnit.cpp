#include "windows/ui/ClockUnit.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "app/ui/VarnexContext.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"
#include "windows/ClockFace.h"
#include "windows/ui/NixieDigits.h"

namespace {
constexpr int OuterWidth = 615;
constexpr int OuterHeight = 105;
constexpr int SeparatorDiameter = 5;

// Neon lamps in the gaps: a colon between hours, minutes and seconds, a low dot
// between the parts of the date.
void DrawSeparators(QPainter& p, const QImage& dot) {
  const int r = dot.width() / 2;
  const int top = DigitCellTop;
  for (int gap = 0; gap < 2; ++gap) {
    const int dateX = (DigitCellX(2 * gap + 1) + DigitCellWidth + DigitCellX(2 * gap + 2)) / 2;
    const int timeX = (DigitCellX(6 + 2 * gap + 1) + DigitCellWidth + DigitCellX(6 + 2 * gap + 2)) / 2;
    p.drawImage(dateX - r, top + 50 - r, dot);
    p.drawImage(timeX - r, top + 24 - r, dot);
    p.drawImage(timeX - r, top + 41 - r, dot);
  }
}
}  // namespace

TClockForm::TClockForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setObjectName("ClockForm");
  setWindowTitle("Varnex Clock Display");
  setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setToolTip("Drag here");
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(false);

  images_ = MakeNixieDigits();
  separator_ = MakeNeonDot(SeparatorDiameter);

  WindowPlacementOptions placement;
  placement.Size = QSize(OuterWidth, OuterHeight);
  placement.Kind = DesignSize::Outer;
  placement.CentreOver = context_.MainForm;
  placement.Fixed = true;
  // A thick caption must not cut off the digits.
  placement.MinimumClient = QSize(ClockFaceWidth(), DigitCellTop + DigitCellHeight + DigitCellTop);
  PlaceWindow(*this, placement);
  NewFace(size());
}

void TClockForm::NewFace(const QSize& size) {
  QImage face(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  face.fill(Qt::black);
  // Whatever the last second drew stays.
  if (!face_.isNull() && draws_ > 0) {
    QPainter p(&face);
    p.drawImage(0, 0, face_);
  }
  face_ = face;
}

void TClockForm::ShowDateTime(TDateTime t) {
  shown_ = t;
  const DateTimeParts parts = DecodeDateTime(t);
  DrawDigitPairs(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
}

void TClockForm::DrawDigitPairs(int year, int month, int day, int hour, int minute, int second) {
  QPainter p(&face_);
  DrawSeparators(p, separator_);
  for (const DigitCell& cell : DigitPairCells(year, month, day, hour, minute, second)) {
    const QRect target(cell.X, DigitCellTop, DigitCellWidth, DigitCellHeight);
    p.fillRect(target, Qt::black);
    p.drawImage(target.topLeft(), images_[static_cast<std::size_t>(cell.Digit)],
                QRect(0, 0, DigitCellWidth, DigitCellHeight));
  }
  p.end();
  ++draws_;
  update(QRect(0, DigitCellTop, ClockFaceWidth(), DigitCellHeight));
}

void TClockForm::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.drawImage(event->rect(), face_, event->rect());
}

void TClockForm::resizeEvent(QResizeEvent* event) {
  if (face_.size() != size()) NewFace(size());
  QWidget::resizeEvent(event);
}

void TClockForm::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  // The window manager moves the window where it can; otherwise we follow the mouse.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TClockForm::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - dragOffset_);
  QWidget::mouseMoveEvent(event);
}

void TClockForm::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}
