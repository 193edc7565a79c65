#include "charting/ui/ChartTickers.h"

#include <algorithm>
#include <cmath>

QString TickText(double value, const NumberPattern& pattern) {
  NumberLabel label = FormatNumberLabel(value, pattern);
  if (!label.HasExponent()) return QString::fromStdString(label.mantissa);
  return QString::fromStdString(label.mantissa + "e" + label.exponent);
}

double TFormatTicker::getTickStep(const QCPRange& range) {
  // Never finer than the pattern can print, or labels would repeat.
  return std::max(QCPAxisTicker::getTickStep(range), PatternResolution(pattern_));
}

QString TFormatTicker::getTickLabel(double tick, const QLocale&, QChar, int) {
  // Ticks that should be zero come out as tiny residues of the step sums.
  if (std::fabs(tick) < 1e-12 * std::max(1.0, std::fabs(tickOrigin()))) tick = 0.0;
  return TickText(tick, pattern_);
}

QString TLogFormatTicker::getTickLabel(double tick, const QLocale&, QChar, int) { return TickText(tick, pattern_); }

double TDateTimeTicker::LabelWidth(double anyTick) const {
  if (!axis_) return 0.0;
  const QFontMetricsF metrics(axis_->tickLabelFont());
  // Digits differ in width in many faces; every digit drawn as the widest one
  // bounds every label of the format.
  QChar widest = '0';
  for (char d = '0'; d <= '9'; ++d)
    if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(widest)) widest = QChar(d);
  QString text = QString::fromStdString(FormatDateTimeLabel(anyTick, format_));
  for (QChar& c : text)
    if (c.isDigit()) c = widest;
  return metrics.horizontalAdvance(text);
}

double TDateTimeTicker::AxisPixels() const {
  if (!axis_ || !axis_->axisRect() || !axis_->parentPlot()) return 0.0;
  // The plot's width is current even while a resize lays the axis rect out anew
  // (or before the plot was first shown); its margins change far more rarely.
  const QCPAxisRect* rect = axis_->axisRect();
  const QMargins margins = rect->margins();
  const int outer = axis_->parentPlot()->width();
  return std::max(0, outer - margins.left() - margins.right());
}

double TDateTimeTicker::getTickStep(const QCPRange& range) {
  const double pixels = AxisPixels();
  if (pixels <= 0) return DateTimeTickStep(range.size(), tickCount());
  return TimeAxisTickStep(range.size(), pixels, LabelWidth(range.center()));
}

int TDateTimeTicker::getSubTickCount(double tickStep) {
  double seconds = std::round(tickStep * SecondsPerDay);
  for (double parts : {6.0, 5.0, 4.0, 3.0, 2.0}) {
    double sub = seconds / parts;
    if (sub >= 1.0 && std::fabs(sub - std::round(sub)) < 1e-9) return static_cast<int>(parts) - 1;
  }
  return 0;
}

QString TDateTimeTicker::getTickLabel(double tick, const QLocale&, QChar, int) {
  return QString::fromStdString(FormatDateTimeLabel(tick, format_));
}
