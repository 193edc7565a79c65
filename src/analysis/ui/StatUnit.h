#pragma once
// The time stability window: the nine stability measures of the PPS TI data on
// one log-log chart. A run is started from the main window's menu; closing the
// window only hides it and keeps the series.
#include <QMainWindow>
#include <QTimer>

#include "analysis/StabilityFurther.h"
#include "analysis/StabilityView.h"

class ChartSeries;
class QAction;
class QLabel;
class QMenu;
class TStatChart;
struct VarnexContext;

class TStatForm : public QMainWindow, private StabilityRunView {
  Q_OBJECT
 public:
  explicit TStatForm(VarnexContext& context, QWidget* parent = nullptr);

  // The main window's "&Time Stabililty Measures": the too-few-data notice, or a run
  // over the main chart's PPS TI series (a run already going starts over).
  void TimeStabClick();
  void TimeStabClick(const ChartSeries& ppsTi);
  bool Running() const { return runner_.Running(); }

  TStatChart* StatChart() const { return chart_; }
  QAction* Charteditor1() const { return charteditor1_; }
  QTimer& Timer1() { return timer1_; }

  // Legend click: the extra legend, then the axes.
  void StatChartClickLegend();
  void UpdateExtraLegend();
  void Timer1Timer();
  void Charteditor1Click();

  // The chart's context menu switches the further measures on and off; a
  // change after a run runs again with the choice of now.
  QMenu* FurtherMenu() const { return furtherMenu_; }
  void SetFurtherMeasureOn(FurtherMeasure measure, bool on);
  const FurtherChoice& Further() const { return further_; }
  // The lines saying why a further measure has no points; hidden while there are none.
  QLabel* FurtherNotes() const { return notes_; }

 private:
  // StabilityRunView
  std::vector<double> LoadPhaseSamples() override;
  void ShowAndRaise() override;
  void SuspendRepaint() override;
  void RemoveAllSeries() override;
  void SetBusyCursor(bool busy) override;
  void ProcessEvents() override;
  int AddMeasureSeries(const MeasureInfo& info) override;
  bool AddMeasurePoint(int series, const StabilityPoint& point, const StabilityInterval& interval) override;
  int AddFurtherSeries(const FurtherMeasureInfo& info) override;
  bool AddFurtherPoint(int series, const FurtherPoint& point) override;
  void ShowFurtherNote(const std::string& line) override;
  void RescaleStabilityAxes() override;
  void ResumeRepaint() override;
  void Compute(const std::function<void()>& work) override;

  void StatChartAfterDraw();
  void BuildFurtherMenu();
  // The chart's index of a series this run made, or -1 once it is gone.
  int RunSeriesIndex(int series) const;

  VarnexContext& context_;
  TStatChart* chart_ = nullptr;
  QAction* charteditor1_ = nullptr;
  QTimer timer1_;
  StabilityRunner runner_{*this};
  const ChartSeries* ppsTi_ = nullptr;
  std::vector<const void*> runSeries_;      // the plottables this run made, to notice removals
  std::vector<FurtherMeasure> runFurther_;  // beside runSeries_: the measure of a further series
  FurtherChoice further_;
  QMenu* furtherMenu_ = nullptr;
  std::vector<QAction*> furtherActions_;  // in catalogue order
  QLabel* notes_ = nullptr;
};
