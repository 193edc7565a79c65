#include "analysis/ui/EFCUnit.h"

#include <QApplication>
#include <QMenuBar>

#include "app/ui/VarnexContext.h"
#include "charting/ui/ChartEditor.h"
#include "charting/ui/TimeChart.h"
#include "frontend/DataFile.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"
#include "platform/Clock.h"

namespace {
const QColor HudBlue(0, 0, 255);
const QColor SatsOrange(255, 128, 0);
const QColor SatsRed(220, 0, 0);
}  // namespace

TEFCForm::TEFCForm(VarnexContext& context, QWidget* parent) : QMainWindow(parent), context_(context) {
  setObjectName("EFCForm");
  setWindowTitle("Varnex Holdover Uncertainity & Sats");

  chart1_ = new TTimeChart(this);
  chart1_->setObjectName("Chart1");
  chart1_->SetTitle("Holdover Uncertainity Prediction & Sats", Qt::black);
  chart1_->SetLegendVisible(false);
  chart1_->SetDateTimeFormat("MM-dd hh:mm");
  chart1_->SetEmptySpan([this] { return context_.clock.UtcNow(); },
                        [this] { return context_.Settings.SpanMinutes / 1440.0; });
  chart1_->SetAxisExtent(AxisSide::Bottom, 2, 98);
  chart1_->SetAxisTitle(AxisSide::Left, "HUD / s", HudBlue);
  chart1_->SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
  chart1_->SetAxisExtent(AxisSide::Left, 3, 97);
  chart1_->SetAxisVisible(AxisSide::Right, true);
  chart1_->SetAxisTitle(AxisSide::Right, "Sats", SatsRed);
  chart1_->SetAxisNumberFormat(AxisSide::Right, "0");
  chart1_->SetAxisGrid(AxisSide::Right, false);
  chart1_->SetAxisExtent(AxisSide::Right, 3, 97);
  chart1_->SetAxisRange(AxisSide::Right, 0, 16);
  chart1_->AddSeries(&Series1, AxisSide::Left, HudBlue, "HUD");
  chart1_->AddSeries(&Series2, AxisSide::Right, SatsOrange, "Sats");
  setCentralWidget(chart1_);

  charteditor1_ = menuBar()->addAction("&Chart Editor");
  charteditor1_->setObjectName("Charteditor1");
  connect(charteditor1_, &QAction::triggered, this, &TEFCForm::Charteditor1Click);

  const QWidget* main = context_.MainForm;
  PlaceWindow(*this, {QSize(748, 406), DesignSize::Outer, main, false});
  FormCreate();
}

void TEFCForm::FormCreate() {
  Series1.Clear();
  Series2.Clear();
  LoadHoldoverHistory();
}

void TEFCForm::LoadHoldoverHistory() {
  const HistorySource source{context_.Folder, &context_.clock, context_.Settings.SpanMinutes,
                             [] { QApplication::processEvents(); }};
  try {
    ::LoadHoldoverHistory(source, Series1, Series2);
  } catch (...) {
    // A file that cannot be read leaves what could be loaded.
  }
  ChartsChanged();
}

void TEFCForm::ChartsChanged() {
  // A hidden window keeps its series; it draws them when it is shown.
  if (isVisible()) chart1_->Replot();
}

void TEFCForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  chart1_->Replot();
}

void TEFCForm::Charteditor1Click() { TChartEditor::Edit(chart1_, this); }
