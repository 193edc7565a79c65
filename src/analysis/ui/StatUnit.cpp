#include "analysis/ui/StatUnit.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <chrono>
#include <future>

#include "analysis/ui/StatChart.h"
#include "app/ui/VarnexContext.h"
#include "charting/ChartSeries.h"
#include "charting/ui/ChartEditor.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"

namespace {
// While a long point is computed elsewhere, pending events run this often.
constexpr auto kPassInterval = std::chrono::milliseconds(15);
}  // namespace

TStatForm::TStatForm(VarnexContext& context, QWidget* parent) : QMainWindow(parent), context_(context) {
  setObjectName("StatForm");
  setWindowTitle("Varnex Time Stability Measures");
  chart_ = new TStatChart(this);
  chart_->setObjectName("StatChart");
  setCentralWidget(chart_);
  // Not repainted until the end of the first run.
  chart_->SetRepaintSuspended(true);

  charteditor1_ = menuBar()->addAction("&Chart Editor");
  charteditor1_->setObjectName("Charteditor1");
  charteditor1_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  addAction(charteditor1_);
  connect(charteditor1_, &QAction::triggered, this, &TStatForm::Charteditor1Click);

  connect(chart_, &TChartBase::SeriesVisibilityChanged, this, [this] { StatChartClickLegend(); });
  connect(chart_->Plot(), &QCustomPlot::afterReplot, this, &TStatForm::StatChartAfterDraw);
  timer1_.setInterval(200);
  connect(&timer1_, &QTimer::timeout, this, &TStatForm::Timer1Timer);
  timer1_.start();

  PlaceWindow(*this, {QSize(649, 400), DesignSize::Outer, nullptr, false});
}

void TStatForm::TimeStabClick() {
  if (context_.MainForm) TimeStabClick(context_.MainForm->Series1);
}

void TStatForm::TimeStabClick(const ChartSeries& ppsTi) {
  if (ppsTi.Count() <= kTooFewPpsTiPoints) {
    QMessageBox box(QMessageBox::Warning, "Attention",
                    "You need first to collect data for 100 s\nbefore the statistics can be displayed.",
                    QMessageBox::Ok, context_.MainForm);
    box.exec();
    return;
  }
  ppsTi_ = &ppsTi;
  runner_.Start();
}

std::vector<double> TStatForm::LoadPhaseSamples() {
  return ppsTi_ ? ::LoadPhaseSamples(*ppsTi_) : std::vector<double>{};
}

void TStatForm::ShowAndRaise() {
  show();
  raise();
  activateWindow();
}

void TStatForm::SuspendRepaint() { chart_->SetRepaintSuspended(true); }

void TStatForm::RemoveAllSeries() {
  chart_->SetExtraLegend(ExtraLegend{});
  chart_->RemoveAllSeries();
  runSeries_.clear();
}

void TStatForm::SetBusyCursor(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void TStatForm::ProcessEvents() { QApplication::processEvents(); }

int TStatForm::AddMeasureSeries(const MeasureInfo& info) {
  const int index = chart_->AddMeasureSeries(info);
  runSeries_.push_back(chart_->Plottable(index));
  return static_cast<int>(runSeries_.size()) - 1;
}

bool TStatForm::AddMeasurePoint(int series, const StabilityPoint& point, const StabilityInterval& interval) {
  // The chart editor may have moved series or added its own meanwhile: the run's
  // series is found by its plottable. One taken off, or the program ending, ends this run.
  if (context_.Ending || series < 0 || static_cast<std::size_t>(series) >= runSeries_.size()) return false;
  for (int i = 0; i < chart_->SeriesCount(); ++i) {
    if (chart_->Plottable(i) != runSeries_[static_cast<std::size_t>(series)]) continue;
    chart_->AddMeasurePoint(i, point, interval);
    return true;
  }
  return false;
}

void TStatForm::RescaleStabilityAxes() {
  // Series added in the chart editor count as much as the measures.
  std::vector<std::vector<StabilityPoint>> points;
  for (int i = 0; i < chart_->SeriesCount(); ++i)
    if (chart_->SeriesVisible(i)) points.push_back(chart_->SeriesPoints(i));
  const std::vector<std::span<const StabilityPoint>> on(points.begin(), points.end());
  const StabilityAxes before{{chart_->AxisMin(AxisSide::Left), chart_->AxisMax(AxisSide::Left)},
                             {chart_->AxisMin(AxisSide::Bottom), chart_->AxisMax(AxisSide::Bottom)}};
  const StabilityAxes after = ::RescaleStabilityAxes(on, before);
  if (after.Left != before.Left) chart_->SetAxisRange(AxisSide::Left, after.Left.Min, after.Left.Max);
  if (after.Bottom != before.Bottom) chart_->SetAxisRange(AxisSide::Bottom, after.Bottom.Min, after.Bottom.Max);
}

void TStatForm::ResumeRepaint() {
  chart_->SetRepaintSuspended(false);
  chart_->Replot();
}

void TStatForm::Compute(const std::function<void()>& work) {
  // A long point (Theo1 at large tau) is computed on a helper thread while pending
  // events keep running here; the samples it reads belong to the run.
  std::future<void> done;
  try {
    done = std::async(std::launch::async, work);
  } catch (const std::system_error&) {
    work();  // no thread to spare
    return;
  }
  while (done.wait_for(kPassInterval) != std::future_status::ready) ProcessEvents();
  done.get();
}

void TStatForm::StatChartClickLegend() {
  UpdateExtraLegend();
  RescaleStabilityAxes();
}

void TStatForm::UpdateExtraLegend() {
  chart_->SetExtraLegend(::UpdateExtraLegend(chart_->LegendVisible(), chart_->LegendAtRight(), chart_->SwitchedOn(),
                                             chart_->LegendPlace()));
}

void TStatForm::StatChartAfterDraw() {
  const ExtraLegend before = chart_->CurrentExtraLegend();
  UpdateExtraLegend();
  // The legend's box is known only after a drawing; draw once more where it moved.
  if (!(chart_->CurrentExtraLegend() == before)) chart_->Plot()->replot(QCustomPlot::rpQueuedReplot);
}

void TStatForm::Timer1Timer() {
  const ExtraLegend before = chart_->CurrentExtraLegend();
  if (!before.Active || !isVisible()) return;
  chart_->SetExtraLegend(
      ExtraLegendTimer(before, chart_->LegendVisible(), chart_->LegendAtRight(), chart_->LegendPlace()));
  chart_->Replot();
}

void TStatForm::Charteditor1Click() { TChartEditor::Edit(chart_, this, "Chart editor for time stability measures"); }
