#include <gtest/gtest.h>

#include "frontend/WindowPlacement.h"

TEST(WindowPlacement, ClientSizeLeavesRoomForTheFrame) {
  struct Case {
    int outerW, outerH;
    FrameMargins m;
    int w, h;
  } cases[] = {
      {841, 447, {}, 841, 447},
      {841, 447, {4, 29, 4, 4}, 833, 414},
      {409, 443, {4, 50, 4, 4}, 401, 389},  // a frame with a menu bar inside the outer size
      {10, 10, {20, 20, 20, 20}, 1, 1},     // absurd margins never give an empty window
  };
  for (const Case& c : cases) {
    const WindowBox box = ClientSizeForOuter(c.outerW, c.outerH, c.m);
    EXPECT_EQ(box.Width, c.w) << c.outerW;
    EXPECT_EQ(box.Height, c.h) << c.outerH;
  }
}

TEST(WindowPlacement, FrameIsCentredOverTheReference) {
  const FrameMargins m{4, 29, 4, 4};
  const WindowBox screen{0, 0, 1920, 1080};
  const WindowBox box = CentredClientBox(833, 414, m, screen);
  // The frame (841 x 447) sits centred: equal room left and right, above and below.
  const int frameLeft = box.X - m.Left, frameTop = box.Y - m.Top;
  EXPECT_EQ(frameLeft, (1920 - 841) / 2);
  EXPECT_EQ(frameTop, (1080 - 447) / 2);
  EXPECT_EQ(box.Width, 833);

  // Over a window placed away from the origin, and larger than the reference.
  const WindowBox main{100, 200, 300, 100};
  const WindowBox over = CentredClientBox(400, 300, {}, main);
  EXPECT_EQ(over.X + over.Width / 2, main.X + main.Width / 2);
  EXPECT_EQ(over.Y + over.Height / 2, main.Y + main.Height / 2);
}
