#pragma once
// The holdover window: the receiver's predicted holdover uncertainty and the
// number of tracked satellites over the chart span. Filled from the data files
// at start and by the main window's refresh tick afterwards, shown or not.
#include <QMainWindow>

#include "charting/ChartSeries.h"

class QAction;
class TTimeChart;
struct VarnexContext;

class TEFCForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TEFCForm(VarnexContext& context, QWidget* parent = nullptr);

  // Fed by the main window's refresh tick, which also trims them to the span.
  ChartSeries Series1{"HUD"};
  ChartSeries Series2{"Sats"};
  // Points were added or trimmed.
  void ChartsChanged();
  // Refills both series from the data files (the caller empties them when needed).
  void LoadHoldoverHistory();

  TTimeChart* Chart1() const { return chart1_; }
  QAction* Charteditor1() const { return charteditor1_; }
  void Charteditor1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();

  VarnexContext& context_;
  TTimeChart* chart1_ = nullptr;
  QAction* charteditor1_ = nullptr;
};
