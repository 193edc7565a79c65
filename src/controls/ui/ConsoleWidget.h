#pragma once
// TConsole: the widget that shows a TConsoleScreen in one fixed-pitch font with both scroll
// bars, and TFixedFont, the font with a cell background colour that it paints with.
#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QRawFont>
#include <QString>
#include <array>
#include <functional>
#include <string_view>

#include "controls/Console.h"

class QEventLoop;

class TFixedFont {
 public:
  TFixedFont();

  QString Name() const { return name_; }
  void SetName(const QString& name);
  // Character height in pixels (without internal leading).
  int Height() const { return height_; }
  void SetHeight(int pixels);
  bool Bold() const { return bold_; }
  void SetBold(bool bold);
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  QColor BkColor() const { return bkColor_; }
  void SetBkColor(const QColor& color);
  // Copies everything, BkColor included; when the change is refused, BkColor is put back
  // before the failure goes on.
  void Assign(const TFixedFont& source);
  // Same face, height and style (what the metrics depend on).
  bool SameShape(const TFixedFont& other) const;
  // The toolkit font to measure and draw with.
  QFont ToQFont() const;

  // Called after every change; may throw to refuse it.
  std::function<void()> OnChange;

 private:
  friend class TConsole;
  void Changed();
  QString name_;
  int height_ = 11;
  bool bold_ = false;
  QColor color_;
  QColor bkColor_;
};

class TConsole : public QAbstractScrollArea, private ConsoleView {
  Q_OBJECT
 public:
  explicit TConsole(QWidget* parent = nullptr);
  ~TConsole() override;

  TConsoleScreen& Screen() { return screen_; }
  const TConsoleScreen& Screen() const { return screen_; }

  int Cols() const { return screen_.Cols(); }
  void SetCols(int cols);
  int Rows() const { return screen_.Rows(); }
  void SetRows(int rows);
  TConsoleOptions Options() const { return screen_.Options(); }
  void SetOptions(TConsoleOptions options) { screen_.SetOptions(options); }
  TConsoleLineBreak LineBreak() const { return screen_.LineBreak(); }
  void SetLineBreak(TConsoleLineBreak lineBreak) { screen_.SetLineBreak(lineBreak); }
  // Changes of this font are checked (fixed pitch) and measured at once.
  TFixedFont& Font() { return font_; }
  void SetFont(const TFixedFont& font) { font_.Assign(font); }

  void WriteString(std::string_view text) { screen_.WriteString(text); }
  void WriteChar(char ch) { screen_.WriteChar(ch); }
  void WriteBlock(const char* buffer, std::size_t count) { screen_.WriteBlock(buffer, count); }
  void ClearScreen() { screen_.ClearScreen(); }
  void ResetConsole() { screen_.ResetConsole(); }
  char ReadKey() { return screen_.ReadKey(); }
  int ReadLine(char* buffer, int length) { return screen_.ReadLine(buffer, length); }

  int CellWidth() const { return cellWidth_; }
  int CellHeight() const { return cellHeight_; }
  int Overhang() const { return overhang_; }
  bool CursorShown() const { return cursorShown_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool event(QEvent* event) override;

 private:
  // ConsoleView
  void InvalidateCells(int y, int left, int right, bool now) override;
  void InvalidateAll() override;
  void RemeasureFont() override;
  void OriginMoved(int oldX, int oldY) override;
  void PostScrollRequest() override;
  void PostTrackingRequest() override;
  void Beep() override;
  void CursorMoved() override;
  void ProcessPendingEvents() override;
  bool WaitForEvent() override;
  void FocusForReading() override;
  void ReadingChanged(bool reading) override;

  void FontChanged();
  void ApplyFontMetrics(const QFont& font);
  void UpdateGeometry();
  void SyncScrollBars();
  bool CursorWanted() const;
  void ShowCursor();
  void HideCursor();
  QRect CursorRect() const;
  void PaintRect(QPainter& painter, const QRect& rect);
  // Adds the glyphs of cells firstCol..lastCol-1 of a row; false when the font lacks one.
  bool AppendRowGlyphs(int row, int firstCol, int lastCol, QList<quint32>& indexes, QList<QPointF>& positions) const;
  void DrawRowFallback(QPainter& painter, int row, int firstCol, int lastCol);

  TConsoleScreen screen_;
  TFixedFont font_;
  TFixedFont measured_;  // the font whose metrics are applied
  bool measuredValid_ = false;
  QFont drawFont_;
  QRawFont rawFont_;
  std::array<quint32, 256> glyphs_{};  // glyph of each byte in rawFont_, 0 when missing
  int cellWidth_ = 0;
  int cellHeight_ = 0;
  int ascent_ = 0;
  int overhang_ = 0;
  bool cursorShown_ = false;
  QRect cursorRect_;
  QEventLoop* waitLoop_ = nullptr;
};
