#include "windows/ui/PolarUnit.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>

#include "app/ui/VarnexContext.h"
#include "charting/ui/PolarChart.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"

namespace {
// The chart's design size; the window adds its menu bar.
constexpr int ChartWidth = 401;
constexpr int ChartHeight = 389;
}  // namespace

TPolarForm::TPolarForm(VarnexContext& context, QWidget* parent) : QMainWindow(parent), context_(context) {
  setObjectName("PolarForm");
  setWindowTitle("Varnex Satellite Azimuth/Elevation Chart");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  chart_ = new TPolarChart(this);
  chart_->setObjectName("Chart1");
  chart_->SetTitle(QString());
  chart_->SetCompassLabelsOnly(true);
  chart_->SetGridSteps(10, 10);
  chart_->SetPointColor(QColor(0xFF, 0x80, 0x00));
  chart_->SetPointSize(6);
  chart_->SetHorizonColor(QColor(0, 0, 255));
  // The sky below the learned line, where the antenna sees nothing, faintly tinted.
  chart_->SetHorizonShade(QColor(40, 60, 150, 26));
  setCentralWidget(chart_);

  reset_ = menuBar()->addAction("&Reset Horizon Line");
  reset_->setObjectName("ResetHorizonLine1");
  connect(reset_, &QAction::triggered, this, &TPolarForm::ResetHorizonLine1Click);
  print_ = menuBar()->addAction("&Print");
  print_->setObjectName("Print1");
  connect(print_, &QAction::triggered, this, &TPolarForm::Print1Click);

  SaveSettings = [this](std::string* error) {
    if (!context_.MainForm) return true;  // nothing to write to
    return context_.MainForm->SaveSettingsNow(error);
  };
  ShowError = [this](const QString& text) { QMessageBox::critical(this, "Varnex", text); };

  horizon_ = BuildHorizonLine(context_.Settings.HorizonTable);
  ShowHorizon();

  WindowPlacementOptions placement;
  placement.Size = QSize(ChartWidth, ChartHeight + menuBar()->sizeHint().height());
  placement.Kind = DesignSize::Client;
  placement.CentreOver = context_.MainForm;
  PlaceWindow(*this, placement);
}

void TPolarForm::SetSatellites(const std::vector<SkyPoint>& points) {
  satellites_ = points;
  chart_->ClearPoints();
  for (const SkyPoint& p : satellites_) {
    const SkyDirection d = DirectionOf(p.Angle, p.Radius);
    chart_->AddPoint(d.Azimuth, d.Elevation, QString::fromStdString(p.Label));
  }
}

void TPolarForm::UpdateHorizonLine() {
  ++horizonUpdates_;
  if (::UpdateHorizonLine(horizon_, context_.Settings.HorizonTable) > 0) ShowHorizon();
}

void TPolarForm::ShowHorizon() {
  const auto elevations = HorizonByAzimuth(horizon_);
  chart_->SetHorizon(std::vector<double>(elevations.begin(), elevations.end()));
}

void TPolarForm::ResetHorizonLine1Click() {
  const auto answer = QMessageBox::question(this, "Attention",
                                            "It will take at least 12 h to\nacquire a new horizon line\n \nContinue ?",
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  ResetHorizon(context_.Settings.HorizonTable, horizon_);
  ShowHorizon();
  Save();
}

void TPolarForm::Print1Click() { ShowPrintPreview(chart_, this); }

bool TPolarForm::Save() {
  std::string error;
  if (SaveSettings && !SaveSettings(&error)) {
    if (ShowError) ShowError(QString::fromStdString(error.empty() ? "The settings file could not be written" : error));
    return false;
  }
  return true;
}

void TPolarForm::closeEvent(QCloseEvent* event) {
  // While the program ends its stop sequence has saved the settings already, once.
  if (context_.Ending) {
    event->accept();
    return;
  }
  // The learned horizon reaches the settings file here while the program runs.
  if (Save())
    event->accept();
  else
    event->ignore();
}
