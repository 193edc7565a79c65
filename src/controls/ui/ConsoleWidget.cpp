#include "controls/ui/ConsoleWidget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "controls/ui/FixedPitchFont.h"

namespace {
const QEvent::Type ScrollRequestEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type TrackingRequestEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

QColor WindowColor() { return QApplication::palette().color(QPalette::Base); }
QColor WindowTextColor() { return QApplication::palette().color(QPalette::Text); }

// The classic faces the console is given by name are resolved to an installed
// fixed-pitch face (see FixedPitchFont.h); other faces are taken as named.
QFont ResolveFont(const QString& face, int pixelHeight, bool bold) {
  const bool classic = face.compare("Courier", Qt::CaseInsensitive) == 0 ||
                       face.compare("Courier New", Qt::CaseInsensitive) == 0 ||
                       face.compare("Fixedsys", Qt::CaseInsensitive) == 0;
  if (classic) return FixedPitchFont(face, pixelHeight, bold);
  QFont font(face);
  font.setPixelSize(std::max(1, pixelHeight));
  font.setBold(bold);
  font.setKerning(false);
  return font;
}

bool IsFixedPitch(const QFont& font) {
  if (QFontInfo(font).fixedPitch()) return true;
  // Some fonts do not declare their spacing; equal advances of narrow and wide letters
  // tell the same.
  QFontMetricsF m(font);
  const qreal w = m.horizontalAdvance(QLatin1Char('W'));
  return w > 0 && m.horizontalAdvance(QLatin1Char('i')) == w && m.horizontalAdvance(QLatin1Char('.')) == w;
}
}  // namespace

// ---------------------------------------------------------------- TFixedFont

TFixedFont::TFixedFont() : name_("Courier New"), color_(WindowTextColor()), bkColor_(WindowColor()) {}

void TFixedFont::SetName(const QString& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFixedFont::SetHeight(int pixels) {
  pixels = std::clamp(pixels, 1, 500);
  if (pixels == height_) return;
  height_ = pixels;
  Changed();
}

void TFixedFont::SetBold(bool bold) {
  if (bold == bold_) return;
  bold_ = bold;
  Changed();
}

void TFixedFont::SetColor(const QColor& color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFixedFont::SetBkColor(const QColor& color) {
  if (color == bkColor_) return;
  bkColor_ = color;
  Changed();
}

void TFixedFont::Assign(const TFixedFont& source) {
  const QColor previousBk = bkColor_;
  bkColor_ = source.bkColor_;
  try {
    name_ = source.name_;
    height_ = source.height_;
    bold_ = source.bold_;
    color_ = source.color_;
    Changed();
  } catch (...) {
    bkColor_ = previousBk;
    throw;
  }
}

bool TFixedFont::SameShape(const TFixedFont& other) const {
  return name_ == other.name_ && height_ == other.height_ && bold_ == other.bold_;
}

QFont TFixedFont::ToQFont() const { return ResolveFont(name_, height_, bold_); }

void TFixedFont::Changed() {
  if (OnChange) OnChange();
}

// ---------------------------------------------------------------- TConsole

TConsole::TConsole(QWidget* parent) : QAbstractScrollArea(parent) {
  resize(160, 88);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // A little room between the frame and the first column and row, in the cell colour.
  setViewportMargins(4, 2, 0, 0);
  // Every pixel is painted by paintEvent; no background erase, no full repaint on resize.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_StaticContents);
  viewport()->setAttribute(Qt::WA_InputMethodEnabled, false);
  viewport()->setCursor(Qt::IBeamCursor);

  // The measured font starts as an installed fixed-pitch face, so a refused first face
  // falls back to a face that works.
  measured_.name_ = FixedPitchFamily("Courier");
  font_.name_ = "Courier";
  font_.OnChange = [this] { FontChanged(); };

  connect(horizontalScrollBar(), &QScrollBar::valueChanged, this,
          [this](int v) { screen_.ScrollCommand(ConsoleAxis::Horizontal, ConsoleScrollAction::Thumb, v); });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this](int v) { screen_.ScrollCommand(ConsoleAxis::Vertical, ConsoleScrollAction::Thumb, v); });

  screen_.AttachView(this);
  RemeasureFont();
}

TConsole::~TConsole() {
  if (waitLoop_) waitLoop_->exit(1);
  screen_.SetOptions(screen_.Options().Without(coStdInput).Without(coStdOutput));
  screen_.AttachView(nullptr);
}

void TConsole::SetCols(int cols) {
  screen_.SetCols(cols);
  UpdateGeometry();
}

void TConsole::SetRows(int rows) {
  screen_.SetRows(rows);
  UpdateGeometry();
}

// ------------------------------------------------------------ fonts and geometry

void TConsole::FontChanged() {
  if (!measuredValid_ || !font_.SameShape(measured_)) {
    const QFont candidate = font_.ToQFont();
    if (screen_.Options().Has(coFixedPitchOnly) && !IsFixedPitch(candidate)) {
      const QString refused = font_.name_;
      font_.name_ = measured_.name_;
      throw EInvalidFont(("TConsole: " + refused + " is not fixed-pitch").toStdString());
    }
    ApplyFontMetrics(candidate);
  }
  measured_.name_ = font_.name_;
  measured_.height_ = font_.height_;
  measured_.bold_ = font_.bold_;
  measured_.color_ = font_.color_;
  measured_.bkColor_ = font_.bkColor_;
  measuredValid_ = true;
  viewport()->update();
  update();
}

void TConsole::ApplyFontMetrics(const QFont& font) {
  QFontMetricsF m(font);
  const qreal advance = m.horizontalAdvance(QLatin1Char('M'));
  cellWidth_ = std::max(1, static_cast<int>(std::lround(advance)));
  cellHeight_ = std::max(1, static_cast<int>(std::ceil(m.height() + m.leading())));
  ascent_ = static_cast<int>(std::lround(m.ascent()));
  overhang_ = std::max(0, static_cast<int>(std::ceil(m.maxWidth())) - cellWidth_);
  overhang_ = std::min(overhang_, cellWidth_);

  // Glyphs are placed on whole-pixel cells; the glyph table lets a row be drawn without
  // shaping. Bytes are Latin-1 characters.
  drawFont_ = font;
  rawFont_ = QRawFont::fromFont(font);
  glyphs_.fill(0);
  if (rawFont_.isValid()) {
    QString all;
    for (int i = 32; i < 256; ++i) all.append(QChar(i));
    QList<quint32> indexes = rawFont_.glyphIndexesForString(all);
    for (int i = 32; i < 256 && i - 32 < indexes.size(); ++i) glyphs_[i] = indexes[i - 32];
  }
  viewport()->update();
  UpdateGeometry();
}

void TConsole::RemeasureFont() {
  measuredValid_ = false;
  cellWidth_ = cellHeight_ = ascent_ = overhang_ = 0;
  // The current font was accepted when it was set; measuring it again needs no check.
  ApplyFontMetrics(font_.ToQFont());
  measured_.name_ = font_.name_;
  measured_.height_ = font_.height_;
  measured_.bold_ = font_.bold_;
  measuredValid_ = true;
}

void TConsole::UpdateGeometry() {
  if (cellWidth_ <= 0 || cellHeight_ <= 0) return;
  screen_.SetVisibleCells(viewport()->width() / cellWidth_, viewport()->height() / cellHeight_);
  SyncScrollBars();
}

void TConsole::SyncScrollBars() {
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  // A range never below 1 keeps both bars present even when the whole grid is visible.
  h->setRange(0, std::max(1, screen_.RangeX()));
  v->setRange(0, std::max(1, screen_.RangeY()));
  h->setPageStep(std::max(1, screen_.VisibleCols() / 2));
  v->setPageStep(std::max(1, screen_.VisibleRows()));
  h->setSingleStep(1);
  v->setSingleStep(1);
  h->setValue(screen_.OriginX());
  v->setValue(screen_.OriginY());
}

void TConsole::resizeEvent(QResizeEvent* event) {
  const bool cursor = cursorShown_;
  if (cursor) HideCursor();
  QAbstractScrollArea::resizeEvent(event);
  UpdateGeometry();
  if (cursor || CursorWanted()) ShowCursor();
}

void TConsole::scrollContentsBy(int, int) {
  // The scroll bars' values are followed through ScrollTo, which moves the pixels itself.
}

// ------------------------------------------------------------ view requests

void TConsole::InvalidateCells(int y, int left, int right, bool now) {
  if (cellWidth_ <= 0) return;
  const QRect r((left - screen_.OriginX()) * cellWidth_, (y - screen_.OriginY()) * cellHeight_,
                (right - left) * cellWidth_ + overhang_, cellHeight_);
  if (!r.intersects(viewport()->rect())) return;
  if (now) {
    viewport()->repaint(r);
  } else {
    viewport()->update(r);
  }
}

void TConsole::InvalidateAll() {
  SyncScrollBars();
  viewport()->update();
  if (cursorShown_) ShowCursor();
}

void TConsole::OriginMoved(int oldX, int oldY) {
  const int dx = (oldX - screen_.OriginX()) * cellWidth_;
  const int dy = (oldY - screen_.OriginY()) * cellHeight_;
  QWidget* vp = viewport();
  if (std::abs(dx) >= vp->width() || std::abs(dy) >= vp->height()) {
    vp->update();
  } else {
    // Move what is already drawn; Qt repaints only the strip the move exposed.
    vp->scroll(dx, dy);
    // Glyphs that reach into the next cell were cut off at the old left edge.
    if (dx != 0 && overhang_ > 0) vp->update(QRect(0, 0, overhang_ + std::max(0, dx), vp->height()));
    // The partial row below the whole rows shows a cut row; draw it whole again.
    if (dy != 0) {
      const int whole = screen_.VisibleRows() * cellHeight_;
      vp->update(QRect(0, whole - std::max(0, -dy), vp->width(), vp->height()));
    }
  }
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  if (h->value() != screen_.OriginX()) h->setValue(screen_.OriginX());
  if (v->value() != screen_.OriginY()) v->setValue(screen_.OriginY());
  if (cursorShown_) ShowCursor();
}

void TConsole::PostScrollRequest() { QCoreApplication::postEvent(this, new QEvent(ScrollRequestEvent)); }

void TConsole::PostTrackingRequest() { QCoreApplication::postEvent(this, new QEvent(TrackingRequestEvent)); }

bool TConsole::event(QEvent* event) {
  if (event->type() == ScrollRequestEvent) {
    screen_.DeliverScroll();
    return true;
  }
  if (event->type() == TrackingRequestEvent) {
    screen_.DeliverTracking();
    return true;
  }
  if (event->type() == QEvent::Paint) {
    // The margins around the viewport; the frame, the bars' corner and the viewport
    // paint over this afterwards.
    QPainter painter(this);
    painter.fillRect(contentsRect(), font_.BkColor());
  }
  return QAbstractScrollArea::event(event);
}

void TConsole::Beep() { QApplication::beep(); }

// ------------------------------------------------------------ text cursor

bool TConsole::CursorWanted() const {
  return hasFocus() && (screen_.Reading() || screen_.Options().Has(coFulltimeCursor));
}

QRect TConsole::CursorRect() const {
  return QRect((screen_.CursorX() - screen_.OriginX()) * cellWidth_,
               (screen_.CursorY() - screen_.OriginY()) * cellHeight_ + ascent_, cellWidth_, 2);
}

void TConsole::ShowCursor() {
  if (cursorShown_) viewport()->update(cursorRect_);
  cursorRect_ = CursorRect();
  cursorShown_ = true;
  viewport()->update(cursorRect_);
}

void TConsole::HideCursor() {
  if (!cursorShown_) return;
  cursorShown_ = false;
  viewport()->update(cursorRect_);
}

void TConsole::CursorMoved() {
  if (CursorWanted()) ShowCursor();
}

void TConsole::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  if (CursorWanted()) ShowCursor();
}

void TConsole::focusOutEvent(QFocusEvent* event) {
  HideCursor();
  QAbstractScrollArea::focusOutEvent(event);
}

// ------------------------------------------------------------ keyboard and reading

void TConsole::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  const bool ctrlOnly = mods == Qt::ControlModifier;
  const int key = event->key();
  if ((key == Qt::Key_Pause || key == Qt::Key_Cancel) && (mods & Qt::ControlModifier)) screen_.BreakKeyPressed();

  struct KeyRow {
    int key;
    bool ctrl;
    ConsoleAxis axis;
    ConsoleScrollAction action;
  };
  using A = ConsoleScrollAction;
  static const KeyRow table[] = {
      {Qt::Key_Left, false, ConsoleAxis::Horizontal, A::LineUp},
      {Qt::Key_Right, false, ConsoleAxis::Horizontal, A::LineDown},
      {Qt::Key_Left, true, ConsoleAxis::Horizontal, A::PageUp},
      {Qt::Key_Right, true, ConsoleAxis::Horizontal, A::PageDown},
      {Qt::Key_Home, false, ConsoleAxis::Horizontal, A::Top},
      {Qt::Key_End, false, ConsoleAxis::Horizontal, A::Bottom},
      {Qt::Key_Up, false, ConsoleAxis::Vertical, A::LineUp},
      {Qt::Key_Down, false, ConsoleAxis::Vertical, A::LineDown},
      {Qt::Key_PageUp, false, ConsoleAxis::Vertical, A::PageUp},
      {Qt::Key_PageDown, false, ConsoleAxis::Vertical, A::PageDown},
      {Qt::Key_Home, true, ConsoleAxis::Vertical, A::Top},
      {Qt::Key_End, true, ConsoleAxis::Vertical, A::Bottom},
  };
  for (const KeyRow& row : table) {
    if (row.key == key && row.ctrl == ctrlOnly) {
      screen_.ScrollCommand(row.axis, row.action);
      event->accept();
      return;
    }
  }

  const QString text = event->text();
  bool typed = false;
  for (QChar ch : text) {
    if (ch.unicode() > 255) continue;
    screen_.KeyTyped(static_cast<char>(ch.unicode()));
    typed = true;
  }
  if (typed) {
    if (waitLoop_) waitLoop_->exit(0);
    event->accept();
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void TConsole::ProcessPendingEvents() { QCoreApplication::processEvents(); }

bool TConsole::WaitForEvent() {
  if (QCoreApplication::closingDown()) return false;
  QEventLoop loop;
  waitLoop_ = &loop;
  // Only a typed key, the application's exit or this console's destruction ends the loop.
  loop.exec();
  waitLoop_ = nullptr;
  return screen_.KeyCount() > 0;
}

void TConsole::FocusForReading() { setFocus(Qt::OtherFocusReason); }

void TConsole::ReadingChanged(bool reading) {
  if (reading) {
    if (hasFocus()) ShowCursor();
  } else if (!screen_.Options().Has(coFulltimeCursor)) {
    HideCursor();
  }
}

// ------------------------------------------------------------ painting

void TConsole::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  for (const QRect& rect : event->region()) PaintRect(painter, rect);
  if (cursorShown_ && event->region().intersects(cursorRect_)) painter.fillRect(cursorRect_, font_.Color());
}

void TConsole::PaintRect(QPainter& painter, const QRect& rect) {
  painter.fillRect(rect, font_.BkColor());
  if (cellWidth_ <= 0 || cellHeight_ <= 0) return;
  // The rectangle in grid pixels; right and bottom are exclusive.
  const int gx = screen_.OriginX() * cellWidth_;
  const int gy = screen_.OriginY() * cellHeight_;
  const int left = rect.left() + gx;
  const int right = rect.left() + rect.width() + gx;
  const int top = rect.top() + gy;
  const int bottom = rect.top() + rect.height() + gy;
  const int firstCol = std::max(screen_.OriginX(), std::max(0, left - overhang_) / cellWidth_);
  const int lastCol = std::min(screen_.Cols(), (right + cellWidth_) / cellWidth_);
  const int firstRow = std::max(0, top >= 0 ? top / cellHeight_ : 0);
  const int endRow = std::min(screen_.Rows(), bottom > 0 ? (bottom + cellHeight_ - 1) / cellHeight_ : 0);
  if (firstCol >= lastCol || firstRow >= endRow) return;
  painter.setPen(font_.Color());
  painter.setFont(drawFont_);

  // All glyphs of the rectangle go out as one run, placed on whole-pixel cells; rows with
  // a character the font lacks are drawn on their own with the toolkit's font fallback.
  static thread_local QList<quint32> indexes;
  static thread_local QList<QPointF> positions;
  indexes.clear();
  positions.clear();
  for (int row = firstRow; row < endRow; ++row) {
    const std::size_t before = static_cast<std::size_t>(indexes.size());
    if (!AppendRowGlyphs(row, firstCol, lastCol, indexes, positions)) {
      indexes.resize(static_cast<qsizetype>(before));
      positions.resize(static_cast<qsizetype>(before));
      DrawRowFallback(painter, row, firstCol, lastCol);
    }
  }
  if (indexes.isEmpty()) return;
  QGlyphRun run;
  run.setRawFont(rawFont_);
  run.setGlyphIndexes(indexes);
  run.setPositions(positions);
  painter.drawGlyphRun(QPointF(-gx, ascent_ - gy), run);
}

bool TConsole::AppendRowGlyphs(int row, int firstCol, int lastCol, QList<quint32>& indexes,
                               QList<QPointF>& positions) const {
  if (!rawFont_.isValid()) return false;
  const std::string_view cells = screen_.Row(row);
  const qreal y = static_cast<qreal>(row) * cellHeight_;
  for (int col = firstCol; col < lastCol; ++col) {
    const auto byte = static_cast<unsigned char>(cells[static_cast<std::size_t>(col)]);
    if (byte == ' ') continue;
    const quint32 glyph = glyphs_[byte];
    if (glyph == 0) return false;
    indexes.append(glyph);
    positions.append(QPointF(static_cast<qreal>(col) * cellWidth_, y));
  }
  return true;
}

void TConsole::DrawRowFallback(QPainter& painter, int row, int firstCol, int lastCol) {
  const std::string_view cells = screen_.Row(row);
  const int baseline = (row - screen_.OriginY()) * cellHeight_ + ascent_;
  for (int col = firstCol; col < lastCol; ++col) {
    const auto byte = static_cast<unsigned char>(cells[static_cast<std::size_t>(col)]);
    if (byte == ' ') continue;
    painter.drawText(QPointF((col - screen_.OriginX()) * cellWidth_, baseline), QString(QChar(byte)));
  }
}
