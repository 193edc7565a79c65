// The console's WriteString in each line-break mode, on grids from one cell to
// ten thousand columns, checked cell by cell against a plain model of the
// teletype; the view's repaint requests stay inside the grid and the origin
// inside its range.
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "controls/Console.h"

namespace {

struct GridSize {
  int cols, rows;
};
constexpr GridSize kGrids[] = {{1, 1},    {1, 5},    {5, 1},    {2, 3},     {10, 4},    {80, 25},
                               {132, 60}, {1000, 2}, {3, 1000}, {10000, 1}, {1, 10000}, {500, 400}};

class CheckingView : public ConsoleView {
 public:
  explicit CheckingView(const TConsoleScreen& screen) : screen_(screen) {}
  void InvalidateCells(int y, int left, int right, bool) override {
    FUZZ_CHECK(y >= 0 && y < screen_.Rows());
    FUZZ_CHECK(left >= 0 && left < right && right <= screen_.Cols());
  }

 private:
  const TConsoleScreen& screen_;
};

// The teletype as plainly as it can be said.
struct Model {
  int cols, rows;
  TConsoleLineBreak lineBreak;
  std::vector<std::string> grid;
  int x = 0, y = 0;

  Model(int c, int r, TConsoleLineBreak lb) : cols(c), rows(r), lineBreak(lb), grid(r, std::string(c, ' ')) {}

  void NewLine() {
    if (++y < rows) return;
    y = rows - 1;
    grid.erase(grid.begin());
    grid.emplace_back(cols, ' ');
  }
  void Put(unsigned char ch) {
    if (ch >= 32) {
      grid[y][x] = static_cast<char>(ch);
      if (++x == cols) {
        x = 0;
        NewLine();
      }
    } else if (ch == 8) {
      if (x > 0) grid[y][--x] = ' ';
    } else if (ch == 10) {
      if (lineBreak == TConsoleLineBreak::LF) x = 0;
      NewLine();
    } else if (ch == 13) {
      x = 0;
      if (lineBreak == TConsoleLineBreak::CR) NewLine();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const auto lineBreak = static_cast<TConsoleLineBreak>(in.Byte() % 3);
  const GridSize grid = kGrids[in.Byte() % (sizeof kGrids / sizeof kGrids[0])];
  // No standard streams: the harness's own output must stay where it is.
  const TConsoleOptions options(static_cast<std::uint8_t>(in.Byte() & ~((1u << coStdInput) | (1u << coStdOutput))));
  const int visibleCols = in.Byte() % 90;
  const int visibleRows = in.Byte() % 30;

  TConsoleScreen screen;
  CheckingView view(screen);
  screen.SetOptions(options);
  screen.SetCols(grid.cols);
  screen.SetRows(grid.rows);
  screen.SetLineBreak(lineBreak);
  screen.AttachView(&view);
  screen.SetVisibleCells(visibleCols, visibleRows);
  Model model(grid.cols, grid.rows, lineBreak);

  // Pieces up to each NUL (itself a control code the console drops) go in one call each.
  while (!in.Empty()) {
    const std::string_view piece = in.Until('\0');
    screen.WriteString(piece);
    for (char c : piece) model.Put(static_cast<unsigned char>(c));
    FUZZ_CHECK(screen.CursorX() == model.x && screen.CursorY() == model.y);
    if (screen.ScrollRequestPending()) screen.DeliverScroll();
    if (screen.TrackingRequestPending()) screen.DeliverTracking();
    FUZZ_CHECK(screen.OriginX() >= 0 && screen.OriginX() <= screen.RangeX());
    FUZZ_CHECK(screen.OriginY() >= 0 && screen.OriginY() <= screen.RangeY());
  }
  for (int y = 0; y < grid.rows; ++y) FUZZ_CHECK(screen.Row(y) == model.grid[static_cast<std::size_t>(y)]);
  return 0;
}
