#include "charting/ChartImage.h"

#include <cctype>

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
  }
  return true;
}

}  // namespace

std::string_view ImageSuffix(ImageFormat format) {
  switch (format) {
    case ImageFormat::Pdf:
      return ".pdf";
    case ImageFormat::Svg:
      return ".svg";
    case ImageFormat::Png:
      break;
  }
  return ".png";
}

std::optional<ImageFormat> ImageFormatOfName(std::string_view fileName) {
  for (ImageFormat format : {ImageFormat::Png, ImageFormat::Pdf, ImageFormat::Svg}) {
    if (EndsWithNoCase(fileName, ImageSuffix(format))) return format;
  }
  return std::nullopt;
}

std::string WithImageSuffix(std::string_view fileName, ImageFormat format) {
  std::string name(fileName);
  if (!EndsWithNoCase(fileName, ImageSuffix(format))) name += ImageSuffix(format);
  return name;
}

std::optional<ImageRequest> ResolveImageRequest(bool atShownSize, int shownWidth, int shownHeight, int width,
                                                int height, int scale, ImageFormat format) {
  if (atShownSize) {
    if (shownWidth < 1 || shownHeight < 1) return std::nullopt;
    return ImageRequest{shownWidth, shownHeight, 1};
  }
  auto inRange = [](int side) { return side >= kMinImageSide && side <= kMaxImageSide; };
  if (!inRange(width) || !inRange(height) || scale < 1 || scale > kMaxImageScale) return std::nullopt;
  // Vector formats have no pixels to multiply.
  return ImageRequest{width, height, format == ImageFormat::Png ? scale : 1};
}
