#pragma once
// Writes a chart to an image file: PNG and PDF through QCustomPlot's own
// export, SVG through Qt's SVG generator.
#include <QString>

#include "charting/ChartImage.h"

class QCustomPlot;

// Draws plot at request's size (and, for PNG, scale) into path. The image is
// written beside path and renamed into place, so a failure leaves nothing
// under that name. Returns an empty string, or a message for the user.
QString SaveChartImage(QCustomPlot* plot, const QString& path, ImageFormat format, const ImageRequest& request);
