#pragma once
// The teletype screen behind TConsole: a fixed grid of Cols x Rows 8-bit cells kept as a
// ring of rows, a write cursor with wrap, a few control codes, a view origin that follows
// the cursor, and the typed-key queue. No toolkit code lives here; the widget that paints
// the grid attaches itself as a ConsoleView and receives repaint, scroll and post requests.
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum TConsoleOption : std::uint8_t {
  coAutoTracking = 0,
  coCheckEOF = 1,
  coCheckBreak = 2,
  coFulltimeCursor = 3,
  coLazyWrite = 4,
  coStdInput = 5,
  coStdOutput = 6,
  coFixedPitchOnly = 7
};

// A set of TConsoleOption; option n is bit n of one byte.
class TConsoleOptions {
 public:
  constexpr TConsoleOptions() = default;
  constexpr explicit TConsoleOptions(std::uint8_t bits) : bits_(bits) {}
  constexpr TConsoleOptions(std::initializer_list<TConsoleOption> options) {
    for (TConsoleOption o : options) bits_ |= Bit(o);
  }
  constexpr bool Has(TConsoleOption o) const { return (bits_ & Bit(o)) != 0; }
  constexpr TConsoleOptions With(TConsoleOption o) const { return TConsoleOptions(bits_ | Bit(o)); }
  constexpr TConsoleOptions Without(TConsoleOption o) const {
    return TConsoleOptions(static_cast<std::uint8_t>(bits_ & ~Bit(o)));
  }
  constexpr std::uint8_t Bits() const { return bits_; }
  constexpr bool operator==(const TConsoleOptions&) const = default;

 private:
  static constexpr std::uint8_t Bit(TConsoleOption o) { return static_cast<std::uint8_t>(1u << o); }
  std::uint8_t bits_ = 0;
};

inline constexpr TConsoleOptions DefaultConsoleOptions{coAutoTracking, coCheckBreak, coLazyWrite, coFixedPitchOnly};

enum class TConsoleLineBreak : std::uint8_t { CRLF = 0, CR = 1, LF = 2 };

class EInvalidFont : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Misuse of the console: a second read, a standard stream that is already attached.
class EInvalidOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Scroll actions of the scroll bars and keys, one axis at a time.
enum class ConsoleScrollAction { LineUp, LineDown, PageUp, PageDown, Thumb, Top, Bottom, Other };
enum class ConsoleAxis { Horizontal, Vertical };

// What the painting side does for the screen model. Every hook has a harmless default, so
// the model works on its own (as it does in tests and benchmarks).
class ConsoleView {
 public:
  virtual ~ConsoleView() = default;
  // Cells left..right-1 of logical row y changed; `now` asks for an immediate repaint.
  virtual void InvalidateCells(int /*y*/, int /*left*/, int /*right*/, bool /*now*/) {}
  virtual void InvalidateAll() {}
  // ResetConsole: forget the measured font so that the current one is measured afresh.
  virtual void RemeasureFont() {}
  // The origin moved from (oldX, oldY); move the drawn pixels and the scroll bars.
  virtual void OriginMoved(int /*oldX*/, int /*oldY*/) {}
  // Ask for DeliverScroll / DeliverTracking on a later pass of the event loop.
  virtual void PostScrollRequest() {}
  virtual void PostTrackingRequest() {}
  virtual void Beep() {}
  virtual void CursorMoved() {}
  // ReadKey: run pending events once; then wait for one event. False when the
  // application is terminating and no key can come any more.
  virtual void ProcessPendingEvents() {}
  virtual bool WaitForEvent() { return false; }
  virtual void FocusForReading() {}
  virtual void ReadingChanged(bool /*reading*/) {}
};

class ConsoleStreamBuf;

class TConsoleScreen {
 public:
  using ControlCodeHandler = std::function<void(TConsoleScreen& sender, const char* buffer, std::uint32_t count)>;
  static constexpr int KeyQueueSize = 64;

  TConsoleScreen();
  ~TConsoleScreen();
  TConsoleScreen(const TConsoleScreen&) = delete;
  TConsoleScreen& operator=(const TConsoleScreen&) = delete;

  // --- properties
  int Cols() const { return cols_; }
  int Rows() const { return rows_; }
  // A new size re-creates the buffer blank; the cursor and view are kept inside the new grid.
  void SetCols(int cols);
  void SetRows(int rows);
  TConsoleOptions Options() const { return options_; }
  // Attaches or releases std::cin / std::cout for coStdInput / coStdOutput.
  void SetOptions(TConsoleOptions options);
  TConsoleLineBreak LineBreak() const { return lineBreak_; }
  void SetLineBreak(TConsoleLineBreak lineBreak) { lineBreak_ = lineBreak; }
  ControlCodeHandler ProcessControlCodes;

  // --- writing
  void WriteString(std::string_view text) { WriteBlock(text.data(), text.size()); }
  void WriteChar(char ch) { WriteBlock(&ch, 1); }
  void WriteBlock(const char* buffer, std::size_t count);
  void PutBlock(const char* buffer, std::size_t count);
  void ClearScreen();
  // ClearScreen plus a fresh font measurement by the view (see ConsoleView::InvalidateAll).
  void ResetConsole();

  // --- buffer primitives
  void StoreChars(int x, int y, int count, const char* source);
  void FillCells(int x, int y, int count, char ch);
  // Logical row y (0 = oldest) as Cols bytes.
  std::string_view Row(int y) const;
  // Logical row y with trailing blanks removed.
  std::string RowText(int y) const;
  char Cell(int x, int y) const { return static_cast<char>(buffer_[CellAddress(x, y)]); }
  int TopRow() const { return topRow_; }
  int CursorX() const { return cursorX_; }
  int CursorY() const { return cursorY_; }

  // --- view
  void AttachView(ConsoleView* view) { view_ = view; }
  bool HasView() const { return view_ != nullptr; }
  int OriginX() const { return originX_; }
  int OriginY() const { return originY_; }
  int VisibleCols() const { return visibleCols_; }
  int VisibleRows() const { return visibleRows_; }
  int RangeX() const { return rangeX_; }
  int RangeY() const { return rangeY_; }
  // The view's client area holds this many whole cells; re-clamps the origin.
  void SetVisibleCells(int visibleCols, int visibleRows);
  void ScrollTo(int x, int y);
  void ScrollBy(int dx, int dy);
  void TrackCursor();
  void TrackCursorNow();
  void ScrollCommand(ConsoleAxis axis, ConsoleScrollAction action, int thumbPosition = 0);
  // Deliveries of the posted requests.
  void DeliverScroll();
  void DeliverTracking();
  // A scroll request is posted and not yet delivered; PendingScroll* is what it will move.
  bool ScrollRequestPending() const { return scrollPending_; }
  int PendingScrollX() const { return pendingDx_; }
  int PendingScrollY() const { return pendingDy_; }
  bool TrackingRequestPending() const { return trackPending_; }

  // --- keyboard and reading
  // A typed character: Ctrl+C may call BreakRequested; queued unless 64 wait already.
  void KeyTyped(char ch);
  void BreakKeyPressed();
  std::function<void()> BreakRequested;
  int KeyCount() const { return keyCount_; }
  char ReadKey();
  // Reads one edited line into buffer; returns the count stored, line end included.
  int ReadLine(char* buffer, int length);
  bool Reading() const { return reading_; }
  static bool AnyReading();

 private:
  std::size_t CellAddress(int x, int y) const {
    int r = y + topRow_;
    if (r >= rows_) r -= rows_;
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(x);
  }
  void ResizeBuffer();
  void CarriageReturn(int& left, int& right);
  void NewLine();
  void InvalidateSpan(int left, int right);
  void UpdateRanges();
  void SetStdInput(bool on);
  void SetStdOutput(bool on);

  int cols_ = 80;
  int rows_ = 25;
  std::vector<unsigned char> buffer_;
  int topRow_ = 0;
  int cursorX_ = 0;
  int cursorY_ = 0;
  int originX_ = 0;
  int originY_ = 0;
  int visibleCols_ = 0;
  int visibleRows_ = 0;
  int rangeX_ = 0;
  int rangeY_ = 0;
  TConsoleOptions options_ = DefaultConsoleOptions;
  TConsoleLineBreak lineBreak_ = TConsoleLineBreak::CRLF;
  ConsoleView* view_ = nullptr;

  bool scrollPending_ = false;
  int pendingDx_ = 0;
  int pendingDy_ = 0;
  bool trackPending_ = false;

  std::array<char, KeyQueueSize> keyQueue_{};
  int keyCount_ = 0;
  bool reading_ = false;

  std::unique_ptr<ConsoleStreamBuf> stdIn_;
  std::unique_ptr<ConsoleStreamBuf> stdOut_;
};
