#include "analysis/ui/StatUnit.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QVBoxLayout>
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
  // The notes line stands under the chart only while it has something to say.
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(chart_, 1);
  notes_ = new QLabel(central);
  notes_->setObjectName("FurtherNotes");
  notes_->setWordWrap(true);
  notes_->setContentsMargins(8, 3, 8, 4);
  notes_->setStyleSheet("QLabel { color: #505058; background: #f4f4f6; border-top: 1px solid #d0d2d8; }");
  notes_->hide();
  column->addWidget(notes_);
  setCentralWidget(central);
  BuildFurtherMenu();
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
  runFurther_.clear();
  notes_->clear();
  notes_->hide();
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
  runFurther_.push_back(FurtherMeasure::Time);  // not read for the nine
  return static_cast<int>(runSeries_.size()) - 1;
}

int TStatForm::AddFurtherSeries(const FurtherMeasureInfo& info) {
  const int index = chart_->AddFurtherSeries(info);
  runSeries_.push_back(chart_->Plottable(index));
  runFurther_.push_back(info.measure);
  return static_cast<int>(runSeries_.size()) - 1;
}

int TStatForm::RunSeriesIndex(int series) const {
  // The chart editor may have moved series or added its own meanwhile: the run's
  // series is found by its plottable. One taken off, or the program ending, ends this run.
  if (context_.Ending || series < 0 || static_cast<std::size_t>(series) >= runSeries_.size()) return -1;
  for (int i = 0; i < chart_->SeriesCount(); ++i)
    if (chart_->Plottable(i) == runSeries_[static_cast<std::size_t>(series)]) return i;
  return -1;
}

bool TStatForm::AddMeasurePoint(int series, const StabilityPoint& point, const StabilityInterval& interval) {
  const int index = RunSeriesIndex(series);
  if (index < 0) return false;
  chart_->AddMeasurePoint(index, point, interval);
  return true;
}

bool TStatForm::AddFurtherPoint(int series, const FurtherPoint& point) {
  const int index = RunSeriesIndex(series);
  if (index < 0) return false;
  chart_->AddFurtherPoint(index, runFurther_[static_cast<std::size_t>(series)], point);
  return true;
}

void TStatForm::ShowFurtherNote(const std::string& line) {
  QString text = notes_->text();
  if (!text.isEmpty()) text += '\n';
  notes_->setText(text + QString::fromStdString(line));
  notes_->show();
}

void TStatForm::BuildFurtherMenu() {
  furtherMenu_ = new QMenu(this);
  furtherMenu_->setObjectName("FurtherMenu");
  furtherMenu_->addSection("Further measures");
  for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue) {
    QAction* action = furtherMenu_->addAction(QString::fromUtf8(info.title.data(), info.title.size()));
    action->setCheckable(true);
    furtherActions_.push_back(action);
    action->setToolTip(QString::fromUtf8(info.meaning.data(), info.meaning.size()));
    const FurtherMeasure measure = info.measure;
    connect(action, &QAction::toggled, this, [this, measure](bool on) { SetFurtherMeasureOn(measure, on); });
  }
  furtherMenu_->setToolTipsVisible(true);
  chart_->Plot()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(chart_->Plot(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { furtherMenu_->popup(chart_->Plot()->mapToGlobal(at)); });
}

void TStatForm::SetFurtherMeasureOn(FurtherMeasure measure, bool on) {
  if (!further_.Set(measure, on)) return;
  // Switched from code, the menu shows it too; its toggle comes back here and changes nothing.
  QAction* action = furtherActions_[static_cast<std::size_t>(measure)];
  if (action->isChecked() != on) action->setChecked(on);
  runner_.SetFurtherMeasures(further_.SwitchedOn());
  if (ppsTi_ && ppsTi_->Count() > kTooFewPpsTiPoints) runner_.Start();
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
