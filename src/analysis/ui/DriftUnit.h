#pragma once
// The EFC statistics window: smallest and largest EFC value in the main chart's
// displayed time interval, the EFC drift per day from a straight-line fit, and
// that line drawn on the main chart while the window is open.
#include <QWidget>

#include "analysis/CurveFit.h"

class QLineEdit;
class ChartSeries;
class TTimeChart;
struct VarnexContext;

class TDriftForm : public QWidget {
  Q_OBJECT
 public:
  explicit TDriftForm(VarnexContext& context, QWidget* parent = nullptr);

  static constexpr const char* FitLineTitle = "EFC Linear Fit";

  // The main window's "&EFC Statistics": opens and computes, or only raises.
  void OCXODift1Click();
  // Edit1 ... Edit7 (index 0 ... 6).
  QLineEdit* Edit(int index) const { return edits_[index]; }

  // The chart and series the window reads; the main window's by default.
  void SetSource(TTimeChart* chart, const ChartSeries* efc);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormShow();
  void FormClose();
  TTimeChart* Chart() const;
  const ChartSeries* Efc() const;

  VarnexContext& context_;
  TCurveFit CurveFit;
  QLineEdit* edits_[7] = {};
  TTimeChart* chart_ = nullptr;
  const ChartSeries* efc_ = nullptr;
  bool busyCursor_ = false;
};
