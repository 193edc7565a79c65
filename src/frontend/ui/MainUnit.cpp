#include "frontend/ui/MainUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QThread>

#include "app/ui/VarnexContext.h"
#include "analysis/ui/DriftUnit.h"
#include "analysis/ui/EFCUnit.h"
#include "analysis/ui/StatUnit.h"
#include "frontend/Version.h"
#include "frontend/ui/AboutUnit.h"
#include "frontend/ui/ErrorUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/StatusUnit.h"
#include "frontend/ui/StausLogUnit.h"
#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/ClockUnit.h"
#include "windows/ui/CommandUnit.h"
#include "windows/ui/DebugUnit.h"
#include "windows/ui/LevelUnit.h"
#include "windows/ui/PolarUnit.h"

namespace {
constexpr int PollThreadJoinMs = 2000;

void ShowWindow(QWidget* w) {
  if (!w) return;
  w->show();
  w->raise();
  w->activateWindow();
}
}  // namespace

TMainForm::TMainForm(VarnexContext& context, QWidget* parent)
    : QMainWindow(parent), context_(context), comport_(std::make_unique<T_AdvCom32>()) {
  setObjectName("MainForm");
  setWindowTitle(VarnexDesignCaption);
  resize(841, 447);
  BuildMenu();
  BuildStatusBar();
  auto* chartArea = new QWidget(this);
  chartArea->setObjectName("Chart1");
  setCentralWidget(chartArea);
  timer1_.setInterval(100);
  connect(&timer1_, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  FormCreate();
}

TMainForm::~TMainForm() { StopSequence(); }

void TMainForm::FormCreate() {
  firstShow_ = true;
  designPixelsPerInch_ = 96;
  setWindowTitle(windowTitle() + VarnexVersion);

  QApplication::setOverrideCursor(Qt::WaitCursor);
  for (int i = 0; i < 3; ++i) {
    QApplication::processEvents();
    QThread::msleep(10);
  }

  comport_->SetShowErrors(false);
  comport_->Open();

  comThread_ = std::make_unique<TComThread>(context_.State, *comport_, context_.clock, this);
  comThread_->Start();

  timer1_.start();
  QApplication::restoreOverrideCursor();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TMainForm::FormShow() {
  if (!firstShow_) return;
  firstShow_ = false;
  const int ppi = screen() ? static_cast<int>(screen()->logicalDotsPerInch()) : designPixelsPerInch_;
  if (ppi != designPixelsPerInch_) resize(ppi * width() / designPixelsPerInch_, ppi * height() / designPixelsPerInch_);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  StopSequence();
  event->accept();
  QApplication::quit();
}

void TMainForm::StopSequence() {
  if (stopped_) return;
  stopped_ = true;
  timer1_.stop();
  if (comThread_) {
    comThread_->RequestStop();
    comThread_->Join(PollThreadJoinMs);
  }
}

QAction* TMainForm::AddItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* a = menu ? menu->addAction(caption) : menuBar()->addAction(caption);
  a->setObjectName(name);
  return a;
}

QAction* TMainForm::Action(const char* name) const { return findChild<QAction*>(name); }

void TMainForm::BuildMenu() {
  QMenuBar* bar = menuBar();
  connect(AddItem(nullptr, "Parameters1", "&Parameters"), &QAction::triggered, this,
          [this] { ShowWindow(context_.ParameterForm); });

  QMenu* view = bar->addMenu("&View");
  view->menuAction()->setObjectName("View1");
  auto show = [this, view](const char* name, const QString& caption, auto member) {
    connect(AddItem(view, name, caption), &QAction::triggered, this,
            [this, member] { ShowWindow(context_.*member); });
  };
  show("SatelliteAzimuthElevationChart1", "&Satellite Azimuth/Elevation Chart", &VarnexContext::PolarForm);
  show("SatelliteCNlevels1", "Satellite C/N Level Chart", &VarnexContext::LevelForm);
  show("EFCSats1", "&Holdover Uncertainity && Sats", &VarnexContext::EFCForm);
  QAction* timeStab = AddItem(view, "TimeStab", "&Time Stabililty Measures");
  timeStab->setEnabled(false);
  connect(timeStab, &QAction::triggered, this, [this] { ShowWindow(context_.StatForm); });
  QAction* clock = AddItem(view, "Clock", "Clock Display");
  clock->setEnabled(false);
  connect(clock, &QAction::triggered, this, [this] { ShowWindow(context_.ClockForm); });
  show("OCXODift1", "&EFC Statistics", &VarnexContext::DriftForm);
  show("ReceiverStatus1", "&Receiver Status", &VarnexContext::StatusForm);
  show("StatusLog1", "Status &Log", &VarnexContext::StatusLogForm);
  show("ErrorList1", "&Error Log", &VarnexContext::ErrorForm);

  connect(AddItem(nullptr, "ManualCommandEntry1", "&Manual Command Entry"), &QAction::triggered, this,
          [this] { ShowWindow(context_.CommandForm); });
  AddItem(nullptr, "WritteCommenttoLog1", "&Write Comment to Log");
  AddItem(nullptr, "Charteditor1", "&Chart Editor");
  connect(AddItem(nullptr, "DebugWindow1", "&Debug Window"), &QAction::triggered, this,
          [this] { ShowWindow(context_.DebugForm); });
  connect(AddItem(nullptr, "About1", "&About"), &QAction::triggered, this,
          [this] { ShowWindow(context_.AboutBox); });
}

void TMainForm::BuildStatusBar() {
  static const int widths[7] = {130, 110, 110, 110, 75, 85, 200};
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(true);
  for (int i = 0; i < 7; ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QString("Panel%1").arg(i));
    panel->setFixedWidth(widths[i]);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(panel, i == 6 ? 1 : 0);
    panels_[i] = panel;
  }
}

void TMainForm::Timer1Timer() {}

void TMainForm::SetStabilityMenuEnabled(bool enabled) {
  QMetaObject::invokeMethod(
      this, [this, enabled] { Action("TimeStab")->setEnabled(enabled); }, Qt::QueuedConnection);
}

void TMainForm::ManualAnswer(const std::string& text) {
  QMetaObject::invokeMethod(
      this, [this, text] { (void)text; }, Qt::QueuedConnection);
}
