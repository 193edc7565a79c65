#include "charting/ui/ChartImageExport.h"

#include <qcustomplot.h>

#include <QFileInfo>
#include <QSvgGenerator>
#include <filesystem>
#include <random>
#include <system_error>

namespace {

bool WriteSvg(QCustomPlot* plot, const QString& path, const ImageRequest& request) {
  QSvgGenerator svg;
  svg.setFileName(path);
  svg.setSize(QSize(request.width, request.height));
  svg.setViewBox(QRect(0, 0, request.width, request.height));
  svg.setTitle(QStringLiteral("Varnex chart"));
  QCPPainter painter;
  if (!painter.begin(&svg)) return false;
  painter.setMode(QCPPainter::pmVectorized);
  painter.setMode(QCPPainter::pmNoCaching);
  plot->toPainter(&painter, request.width, request.height);
  return painter.end();
}

}  // namespace

QString SaveChartImage(QCustomPlot* plot, const QString& path, ImageFormat format, const ImageRequest& request) {
  namespace fs = std::filesystem;
  const QString failed = QObject::tr("Cannot write the image to %1").arg(path);
  if (plot == nullptr || path.isEmpty() || request.width < 1 || request.height < 1 || request.scale < 1) return failed;
  const fs::path target = path.toStdString();
  std::error_code ec;
  if (fs::is_directory(target, ec)) return failed + QObject::tr(": it is a folder.");
  const QString temp = path + QStringLiteral(".part%1").arg(std::random_device{}() % 1000000) +
                       QString::fromUtf8(ImageSuffix(format).data(), static_cast<int>(ImageSuffix(format).size()));
  bool written = false;
  switch (format) {
    case ImageFormat::Png:
      written = plot->savePng(temp, request.width, request.height, request.scale);
      break;
    case ImageFormat::Pdf:
      written = plot->savePdf(temp, request.width, request.height, QCP::epNoCosmetic, QStringLiteral("Varnex"),
                              QStringLiteral("Varnex chart"));
      break;
    case ImageFormat::Svg:
      written = WriteSvg(plot, temp, request);
      break;
  }
  const fs::path tempPath = temp.toStdString();
  written = written && fs::exists(tempPath, ec) && fs::file_size(tempPath, ec) > 0 && !ec;
  if (written) {
    fs::rename(tempPath, target, ec);
    written = !ec;
  }
  if (!written) {
    fs::remove(tempPath, ec);
    return failed + QStringLiteral(".");
  }
  return {};
}
