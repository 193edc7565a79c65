#pragma once
// The image formats a chart can be saved in, and how a file name and a size
// choice turn into what is written.
#include <optional>
#include <string>
#include <string_view>

enum class ImageFormat : int { Png, Pdf, Svg };

// The format a file name's suffix names (any letter case), if any.
std::optional<ImageFormat> ImageFormatOfName(std::string_view fileName);
// ".png", ".pdf", ".svg".
std::string_view ImageSuffix(ImageFormat format);
// The name with the format's suffix added unless it already ends in it.
std::string WithImageSuffix(std::string_view fileName, ImageFormat format);

struct ImageRequest {
  int width = 0;  // pixels for PNG, points for PDF and SVG
  int height = 0;
  int scale = 1;  // PNG only: pixels per point of the laid-out chart
};

// Limits of a chosen size; the size shown is always allowed.
inline constexpr int kMinImageSide = 100;
inline constexpr int kMaxImageSide = 10000;
inline constexpr int kMaxImageScale = 4;

// What to write: at the size shown (shownWidth x shownHeight, scale 1) or at
// the chosen size and scale. Empty when the chosen values are out of range
// or the size shown is empty.
std::optional<ImageRequest> ResolveImageRequest(bool atShownSize, int shownWidth, int shownHeight, int width,
                                                int height, int scale, ImageFormat format);
