#include "windows/ui/LevelUnit.h"

#include <QAction>
#include <QMenuBar>

#include "app/ui/VarnexContext.h"
#include "charting/ui/BarChart.h"
#include "charting/ui/ChartEditor.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"

namespace {
constexpr int ChartWidth = 523;
constexpr int ChartHeight = 339;
}  // namespace

TLevelForm::TLevelForm(VarnexContext& context, QWidget* parent) : QMainWindow(parent), context_(context) {
  setObjectName("LevelForm");
  setWindowTitle("Varnex Satellite C/N levels");

  chart_ = new TBarChart(this);
  chart_->setObjectName("Chart1");
  chart_->SetTitle("Satellite C/N Chart");
  chart_->SetAxisTitle(AxisSide::Left, "Satellite C/N in receiver specific units");
  chart_->SetAxisAutomatic(AxisSide::Left, true);
  chart_->SetAxisVisible(AxisSide::Bottom, false);
  chart_->SetLegendVisible(false);
  chart_->SetSeriesColor(0, Qt::red);
  setCentralWidget(chart_);

  editor_ = menuBar()->addAction("Chart Editor");
  editor_->setObjectName("ChartEditor1");
  connect(editor_, &QAction::triggered, this, &TLevelForm::ChartEditor1Click);

  chart_->Replot();
  WindowPlacementOptions placement;
  placement.Size = QSize(ChartWidth, ChartHeight + menuBar()->sizeHint().height());
  placement.Kind = DesignSize::Client;
  placement.CentreOver = context_.MainForm;
  PlaceWindow(*this, placement);
}

void TLevelForm::SetLevels(const std::vector<LevelBar>& bars) {
  levels_ = bars;
  chart_->Clear();
  for (const LevelBar& b : levels_) chart_->AddBar(b.Value, QString::fromStdString(b.Label));
  chart_->Replot();
}

void TLevelForm::ChartEditor1Click() { TChartEditor::Edit(chart_, this); }
