#include "frontend/WindowPlacement.h"

#include <algorithm>

WindowBox ClientSizeForOuter(int outerWidth, int outerHeight, const FrameMargins& margins) {
  WindowBox box;
  box.Width = std::max(1, outerWidth - margins.Left - margins.Right);
  box.Height = std::max(1, outerHeight - margins.Top - margins.Bottom);
  return box;
}

WindowBox CentredClientBox(int clientWidth, int clientHeight, const FrameMargins& margins, const WindowBox& over) {
  const int outerWidth = clientWidth + margins.Left + margins.Right;
  const int outerHeight = clientHeight + margins.Top + margins.Bottom;
  WindowBox box;
  box.Width = clientWidth;
  box.Height = clientHeight;
  box.X = over.X + (over.Width - outerWidth) / 2 + margins.Left;
  box.Y = over.Y + (over.Height - outerHeight) / 2 + margins.Top;
  return box;
}
