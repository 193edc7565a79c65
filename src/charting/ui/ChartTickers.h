#pragma once
// Axis tickers that label with our own number and date-time patterns.
#include <qcustomplot.h>

#include <string>

#include "charting/AxisFormat.h"

// Scientific labels come out as "1.50e-9"; the axis (number format "ebc")
// then typesets them as 1.50×10 with a raised exponent.
QString TickText(double value, const NumberPattern& pattern);

class TFormatTicker : public QCPAxisTicker {
 public:
  explicit TFormatTicker(const std::string& format) : pattern_(ParseNumberPattern(format)) {}

 protected:
  double getTickStep(const QCPRange& range) override;
  QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override;

 private:
  NumberPattern pattern_;
};

class TLogFormatTicker : public QCPAxisTickerLog {
 public:
  explicit TLogFormatTicker(const std::string& format) : pattern_(ParseNumberPattern(format)) {}

 protected:
  QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override;

 private:
  NumberPattern pattern_;
};

// X in TDateTime days. Bound to an axis, the ticks stand on round times chosen for
// the axis' width and its labels' width (TimeAxisTickStep); unbound, steps from
// 1 s to months that fall on whole clock units, at most tickCount of them.
class TDateTimeTicker : public QCPAxisTicker {
 public:
  explicit TDateTimeTicker(const std::string& format, QCPAxis* axis = nullptr) : format_(format), axis_(axis) {}
  void SetFormat(const std::string& format) { format_ = format; }
  // The widest label the format can give in the axis' label font, in pixels.
  double LabelWidth(double anyTick) const;
  // The axis' length in pixels at the plot's present size.
  double AxisPixels() const;

 protected:
  double getTickStep(const QCPRange& range) override;
  int getSubTickCount(double tickStep) override;
  QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override;

 private:
  std::string format_;
  QCPAxis* axis_;
};
