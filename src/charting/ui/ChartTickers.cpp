#include "charting/ui/ChartTickers.h"

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

double TDateTimeTicker::getTickStep(const QCPRange& range) { return DateTimeTickStep(range.size(), tickCount()); }

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
