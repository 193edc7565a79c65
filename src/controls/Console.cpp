#include "controls/Console.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace {
constexpr unsigned char Blank = ' ';
// Grid sizes beyond this would only eat memory; the windows use at most 1000 x 1000.
constexpr int MaxGridSide = 10000;

bool anyReading = false;
TConsoleScreen* stdInOwner = nullptr;
TConsoleScreen* stdOutOwner = nullptr;
}  // namespace

// Carries std::cin or std::cout to a console through a 128-byte buffer: output is gathered
// and handed to WriteBlock on every flush; input is refilled one edited line at a time.
class ConsoleStreamBuf : public std::streambuf {
 public:
  static constexpr int BufferSize = 128;

  ConsoleStreamBuf(TConsoleScreen& console, bool output) : console_(console), output_(output) {
    if (output_) {
      setp(buffer_, buffer_ + BufferSize);
    } else {
      setg(buffer_, buffer_, buffer_);
    }
  }

 protected:
  int_type overflow(int_type ch) override {
    if (!output_) return traits_type::eof();
    Flush();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }

  int sync() override {
    if (output_) Flush();
    return 0;
  }

  int_type underflow() override {
    if (output_) return traits_type::eof();
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    int n = console_.ReadLine(buffer_, BufferSize);
    // Ctrl+Z (with coCheckEOF) ends the input; what was typed before it still counts.
    if (n > 0 && buffer_[n - 1] == 26) --n;
    if (n <= 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + n);
    return traits_type::to_int_type(*gptr());
  }

 private:
  void Flush() {
    std::ptrdiff_t n = pptr() - pbase();
    setp(buffer_, buffer_ + BufferSize);
    if (n > 0) console_.WriteBlock(buffer_, static_cast<std::size_t>(n));
  }

  TConsoleScreen& console_;
  bool output_;
  char buffer_[BufferSize];
};

namespace {
struct StreamAttachment {
  std::streambuf* previous = nullptr;
};
StreamAttachment savedIn;
StreamAttachment savedOut;
}  // namespace

TConsoleScreen::TConsoleScreen() { ResizeBuffer(); }

TConsoleScreen::~TConsoleScreen() {
  // Release the standard streams before the buffer they write into goes away.
  try {
    SetOptions(options_.Without(coStdInput).Without(coStdOutput));
  } catch (...) {
  }
}

void TConsoleScreen::SetCols(int cols) {
  cols = std::clamp(cols, 1, MaxGridSide);
  if (cols == cols_) return;
  cols_ = cols;
  ResizeBuffer();
}

void TConsoleScreen::SetRows(int rows) {
  rows = std::clamp(rows, 1, MaxGridSide);
  if (rows == rows_) return;
  rows_ = rows;
  ResizeBuffer();
}

void TConsoleScreen::ResizeBuffer() {
  std::vector<unsigned char> fresh(static_cast<std::size_t>(cols_) * static_cast<std::size_t>(rows_), Blank);
  buffer_.swap(fresh);
  // The old ring position and cursor may lie outside the new grid; keep them inside so
  // that the next write never addresses a cell that does not exist.
  topRow_ = 0;
  cursorX_ = std::min(cursorX_, cols_ - 1);
  cursorY_ = std::min(cursorY_, rows_ - 1);
  UpdateRanges();
  originX_ = std::clamp(originX_, 0, rangeX_);
  originY_ = std::clamp(originY_, 0, rangeY_);
  if (view_) view_->InvalidateAll();
}

void TConsoleScreen::WriteBlock(const char* buffer, std::size_t count) {
  if (ProcessControlCodes) {
    ProcessControlCodes(*this, buffer, static_cast<std::uint32_t>(count));
    return;
  }
  PutBlock(buffer, count);
}

void TConsoleScreen::PutBlock(const char* buffer, std::size_t count) {
  const auto* p = reinterpret_cast<const unsigned char*>(buffer);
  int left = cursorX_;
  int right = cursorX_;
  while (count > 0) {
    std::size_t n = std::min(static_cast<std::size_t>(cols_ - cursorX_), count);
    std::size_t m = 0;
    while (m < n && p[m] >= 32) ++m;
    if (m > 0) {
      StoreChars(cursorX_, cursorY_, static_cast<int>(m), reinterpret_cast<const char*>(p));
      cursorX_ += static_cast<int>(m);
      right = std::max(right, cursorX_);
      p += m;
      count -= m;
      if (m == n && cursorX_ >= cols_) {
        InvalidateSpan(left, right);
        CarriageReturn(left, right);
        NewLine();
        continue;
      }
    }
    if (count == 0) break;
    unsigned char ch = *p++;
    --count;
    switch (ch) {
      case 7:
        if (view_) view_->Beep();
        break;
      case 8:
        if (cursorX_ > 0) {
          --cursorX_;
          FillCells(cursorX_, cursorY_, 1, static_cast<char>(Blank));
          left = std::min(left, cursorX_);
        }
        break;
      case 10:
        InvalidateSpan(left, right);
        if (lineBreak_ == TConsoleLineBreak::LF) CarriageReturn(left, right);
        NewLine();
        // The span belongs to the cursor row, which has changed.
        left = right = cursorX_;
        break;
      case 13:
        InvalidateSpan(left, right);
        CarriageReturn(left, right);
        if (lineBreak_ == TConsoleLineBreak::CR) NewLine();
        break;
      default:
        break;  // every other control code is dropped
    }
  }
  InvalidateSpan(left, right);
  if (options_.Has(coAutoTracking)) TrackCursor();
  if (view_ && options_.Has(coFulltimeCursor)) view_->CursorMoved();
}

void TConsoleScreen::CarriageReturn(int& left, int& right) {
  cursorX_ = 0;
  left = right = 0;
}

void TConsoleScreen::NewLine() {
  ++cursorY_;
  if (cursorY_ < rows_) return;
  cursorY_ = rows_ - 1;
  if (++topRow_ == rows_) topRow_ = 0;
  FillCells(0, cursorY_, cols_, static_cast<char>(Blank));
  // The drawn pixels now show rows numbered one lower; the scroll moves them up again.
  --originY_;
  ScrollBy(0, 1);
}

void TConsoleScreen::InvalidateSpan(int left, int right) {
  if (right > left && view_) view_->InvalidateCells(cursorY_, left, right, !options_.Has(coLazyWrite));
}

void TConsoleScreen::ClearScreen() {
  std::fill(buffer_.begin(), buffer_.end(), Blank);
  originX_ = originY_ = 0;
  cursorX_ = cursorY_ = 0;
  // A merged scroll still waiting would move the empty screen away from its first row.
  pendingDx_ = pendingDy_ = 0;
  if (view_) view_->InvalidateAll();
}

void TConsoleScreen::ResetConsole() {
  ClearScreen();
  if (view_) view_->RemeasureFont();
}

void TConsoleScreen::StoreChars(int x, int y, int count, const char* source) {
  if (x < 0 || y < 0 || y >= rows_ || x >= cols_ || count <= 0) return;
  count = std::min(count, cols_ - x);
  std::memcpy(&buffer_[CellAddress(x, y)], source, static_cast<std::size_t>(count));
}

void TConsoleScreen::FillCells(int x, int y, int count, char ch) {
  if (x < 0 || y < 0 || x >= cols_) return;
  while (count > 0 && y < rows_) {
    int n = std::min(count, cols_ - x);
    std::memset(&buffer_[CellAddress(x, y)], static_cast<unsigned char>(ch), static_cast<std::size_t>(n));
    count -= n;
    x = 0;
    ++y;
  }
}

std::string_view TConsoleScreen::Row(int y) const {
  return {reinterpret_cast<const char*>(&buffer_[CellAddress(0, y)]), static_cast<std::size_t>(cols_)};
}

std::string TConsoleScreen::RowText(int y) const {
  std::string_view row = Row(y);
  std::size_t end = row.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view() : row.substr(0, end + 1));
}

void TConsoleScreen::UpdateRanges() {
  rangeX_ = std::max(0, cols_ - visibleCols_);
  rangeY_ = std::max(0, rows_ - visibleRows_);
}

void TConsoleScreen::SetVisibleCells(int visibleCols, int visibleRows) {
  visibleCols_ = std::max(0, visibleCols);
  visibleRows_ = std::max(0, visibleRows);
  UpdateRanges();
  ScrollTo(std::min(originX_, rangeX_), std::min(originY_, rangeY_));
}

void TConsoleScreen::ScrollTo(int x, int y) {
  x = std::clamp(x, 0, rangeX_);
  y = std::clamp(y, 0, rangeY_);
  if (x == originX_ && y == originY_) return;
  int oldX = originX_;
  int oldY = originY_;
  originX_ = x;
  originY_ = y;
  if (view_) view_->OriginMoved(oldX, oldY);
}

void TConsoleScreen::ScrollBy(int dx, int dy) {
  if (options_.Has(coLazyWrite) && view_) {
    // Merge with the request still waiting; one posted event carries the sum.
    dx += pendingDx_;
    dy += pendingDy_;
    pendingDx_ = pendingDy_ = 0;
    if (std::abs(dx) < std::min(visibleCols_, cols_) / 2 && std::abs(dy) < std::min(visibleRows_, rows_) / 2) {
      if (dx != 0 || dy != 0) {
        pendingDx_ = dx;
        pendingDy_ = dy;
        if (!scrollPending_) {
          scrollPending_ = true;
          view_->PostScrollRequest();
        }
      }
      return;
    }
  }
  ScrollTo(originX_ + dx, originY_ + dy);
}

void TConsoleScreen::DeliverScroll() {
  scrollPending_ = false;
  const int dx = pendingDx_;
  const int dy = pendingDy_;
  pendingDx_ = pendingDy_ = 0;
  if (dx != 0 || dy != 0) ScrollTo(originX_ + dx, originY_ + dy);
}

void TConsoleScreen::TrackCursor() {
  if (!options_.Has(coLazyWrite) || !view_) {
    TrackCursorNow();
    return;
  }
  if (trackPending_) return;
  trackPending_ = true;
  view_->PostTrackingRequest();
}

void TConsoleScreen::DeliverTracking() {
  if (!trackPending_) return;
  trackPending_ = false;
  TrackCursorNow();
}

void TConsoleScreen::TrackCursorNow() {
  int newY = std::max(cursorY_ - visibleRows_ + 1, std::min(originY_, cursorY_));
  int newX = std::max(cursorX_ - visibleCols_ + 1, std::min(originX_, cursorX_));
  ScrollTo(newX, newY);
}

void TConsoleScreen::ScrollCommand(ConsoleAxis axis, ConsoleScrollAction action, int thumbPosition) {
  const bool horizontal = axis == ConsoleAxis::Horizontal;
  const int origin = horizontal ? originX_ : originY_;
  const int page = horizontal ? visibleCols_ / 2 : visibleRows_;
  const int range = horizontal ? rangeX_ : rangeY_;
  int pos = origin;
  switch (action) {
    case ConsoleScrollAction::LineUp:
      pos = origin - 1;
      break;
    case ConsoleScrollAction::LineDown:
      pos = origin + 1;
      break;
    case ConsoleScrollAction::PageUp:
      pos = origin - page;
      break;
    case ConsoleScrollAction::PageDown:
      pos = origin + page;
      break;
    case ConsoleScrollAction::Thumb:
      pos = thumbPosition;
      break;
    case ConsoleScrollAction::Top:
      pos = 0;
      break;
    case ConsoleScrollAction::Bottom:
      pos = range;
      break;
    case ConsoleScrollAction::Other:
      break;
  }
  if (horizontal) {
    ScrollTo(pos, originY_);
  } else {
    ScrollTo(originX_, pos);
  }
}

void TConsoleScreen::KeyTyped(char ch) {
  if (options_.Has(coCheckBreak) && ch == 3 && BreakRequested) BreakRequested();
  if (keyCount_ < KeyQueueSize) keyQueue_[keyCount_++] = ch;
}

void TConsoleScreen::BreakKeyPressed() {
  if (options_.Has(coCheckBreak) && BreakRequested) BreakRequested();
}

bool TConsoleScreen::AnyReading() { return anyReading; }

char TConsoleScreen::ReadKey() {
  TrackCursorNow();
  if (keyCount_ == 0 && view_) view_->ProcessPendingEvents();
  if (keyCount_ == 0) {
    if (view_) view_->FocusForReading();
    if (reading_ || anyReading) throw EInvalidOperation("Read already active");
    reading_ = true;
    anyReading = true;
    if (view_) view_->ReadingChanged(true);
    bool terminating = false;
    try {
      while (keyCount_ == 0) {
        if (!view_ || !view_->WaitForEvent()) {
          terminating = true;
          break;
        }
      }
    } catch (...) {
      reading_ = false;
      anyReading = false;
      if (view_) view_->ReadingChanged(false);
      throw;
    }
    reading_ = false;
    anyReading = false;
    if (view_) view_->ReadingChanged(false);
    if (terminating) throw EInvalidOperation("WM_Quit received during ReadKey");
  }
  char ch = keyQueue_[0];
  std::memmove(keyQueue_.data(), keyQueue_.data() + 1, static_cast<std::size_t>(keyCount_ - 1));
  --keyCount_;
  return ch;
}

int TConsoleScreen::ReadLine(char* buffer, int length) {
  if (!buffer || length <= 0) return 0;
  int n = 0;
  for (;;) {
    const char ch = ReadKey();
    const auto u = static_cast<unsigned char>(ch);
    if (u == 8) {
      if (n > 0) {
        --n;
        WriteChar(ch);
      }
    } else if (u >= 32) {
      if (n < length - 2) {
        buffer[n++] = ch;
        WriteChar(ch);
      }
    } else if (u == 0 || u == 13 || (u == 26 && options_.Has(coCheckEOF))) {
      // The stored text never exceeds length - 2, so the line end always fits.
      if (n < length) buffer[n++] = ch;
      if (u == 13) {
        if (n < length) buffer[n++] = 10;
        PutBlock("\r\n", 2);
      }
      break;
    }
  }
  TrackCursorNow();
  if (view_ && options_.Has(coFulltimeCursor)) view_->CursorMoved();
  return n;
}

void TConsoleScreen::SetOptions(TConsoleOptions options) {
  if (options.Has(coStdInput) != options_.Has(coStdInput)) {
    SetStdInput(options.Has(coStdInput));
    options_ = options.Has(coStdInput) ? options_.With(coStdInput) : options_.Without(coStdInput);
  }
  if (options.Has(coStdOutput) != options_.Has(coStdOutput)) {
    SetStdOutput(options.Has(coStdOutput));
  }
  options_ = options;
}

void TConsoleScreen::SetStdInput(bool on) {
  if (on) {
    if (stdInOwner) throw EInvalidOperation("TConsole.SetOptions: Standard Input is already open");
    stdIn_ = std::make_unique<ConsoleStreamBuf>(*this, false);
    savedIn.previous = std::cin.rdbuf(stdIn_.get());
    stdInOwner = this;
    return;
  }
  if (stdInOwner != this) return;
  std::cin.rdbuf(savedIn.previous);
  std::cin.clear();
  stdInOwner = nullptr;
  stdIn_.reset();
}

void TConsoleScreen::SetStdOutput(bool on) {
  if (on) {
    if (stdOutOwner) throw EInvalidOperation("TConsole.SetOptions: Standard Output is already open");
    std::cout.flush();
    stdOut_ = std::make_unique<ConsoleStreamBuf>(*this, true);
    savedOut.previous = std::cout.rdbuf(stdOut_.get());
    stdOutOwner = this;
    return;
  }
  if (stdOutOwner != this) return;
  std::cout.flush();
  std::cout.rdbuf(savedOut.previous);
  std::cout.clear();
  stdOutOwner = nullptr;
  stdOut_.reset();
}
