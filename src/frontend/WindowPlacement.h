#pragma once
// Where a window goes the first time it is shown. Design sizes are either the
// outer size (frame included) or the client area; the window is centred over
// the screen or over another window. Plain arithmetic, so tests need no display.

struct WindowBox {
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
};

struct FrameMargins {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

// The client size of a window whose frame, with these margins, is outerWidth x outerHeight.
// Never below 1 x 1, whatever the margins claim.
WindowBox ClientSizeForOuter(int outerWidth, int outerHeight, const FrameMargins& margins);

// The client area's place and size that centre a window of this client size and
// these margins over `over` (a screen's available area or another window's frame).
WindowBox CentredClientBox(int clientWidth, int clientHeight, const FrameMargins& margins, const WindowBox& over);
