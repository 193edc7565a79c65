#include <gtest/gtest.h>

#include "charting/ChartImage.h"

TEST(ChartImage, NamesFormatsAndSizes) {
  EXPECT_EQ(ImageFormatOfName("a/b/Chart.PNG"), ImageFormat::Png);
  EXPECT_EQ(ImageFormatOfName("chart.pdf"), ImageFormat::Pdf);
  EXPECT_EQ(ImageFormatOfName("chart.Svg"), ImageFormat::Svg);
  EXPECT_FALSE(ImageFormatOfName("chart.jpg"));
  EXPECT_FALSE(ImageFormatOfName("png"));
  EXPECT_EQ(WithImageSuffix("chart", ImageFormat::Pdf), "chart.pdf");
  EXPECT_EQ(WithImageSuffix("chart.PDF", ImageFormat::Pdf), "chart.PDF");
  EXPECT_EQ(WithImageSuffix("chart.png", ImageFormat::Svg), "chart.png.svg");

  const struct {
    bool shown;
    int w, h, scale;
    ImageFormat format;
    bool ok;
    ImageRequest expected;
  } cases[] = {
      {true, 0, 0, 3, ImageFormat::Png, true, {841, 447, 1}},  // the size shown ignores the fields
      {false, 1200, 800, 2, ImageFormat::Png, true, {1200, 800, 2}},
      {false, 1200, 800, 2, ImageFormat::Pdf, true, {1200, 800, 1}},  // vectors have no pixels to multiply
      {false, kMinImageSide - 1, 800, 1, ImageFormat::Png, false, {}},
      {false, 800, kMaxImageSide + 1, 1, ImageFormat::Svg, false, {}},
      {false, 800, 600, 0, ImageFormat::Png, false, {}},
      {false, 800, 600, kMaxImageScale + 1, ImageFormat::Png, false, {}},
  };
  for (const auto& c : cases) {
    const auto r = ResolveImageRequest(c.shown, 841, 447, c.w, c.h, c.scale, c.format);
    ASSERT_EQ(r.has_value(), c.ok) << c.w << "x" << c.h;
    if (r) {
      EXPECT_EQ(r->width, c.expected.width);
      EXPECT_EQ(r->height, c.expected.height);
      EXPECT_EQ(r->scale, c.expected.scale);
    }
  }
  EXPECT_FALSE(ResolveImageRequest(true, 0, 447, 0, 0, 1, ImageFormat::Png));
}
