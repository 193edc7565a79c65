#include "frontend/ui/MainUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "analysis/ui/DriftUnit.h"
#include "analysis/ui/EFCUnit.h"
#include "analysis/ui/StatUnit.h"
#include "app/ui/ProgramEnd.h"
#include "app/ui/VarnexContext.h"
#include "charting/ui/ChartEditor.h"
#include "charting/ui/TimeChart.h"
#include "frontend/BigIni.h"
#include "frontend/CommandLine.h"
#include "frontend/DataFile.h"
#include "frontend/MetricsOutput.h"
#include "frontend/Settings.h"
#include "frontend/StatusLog.h"
#include "frontend/Version.h"
#include "frontend/ui/AboutUnit.h"
#include "frontend/ui/DesktopEvents.h"
#include "frontend/ui/ErrorUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/StatusUnit.h"
#include "frontend/ui/StausLogUnit.h"
#include "frontend/ui/ViewFollow.h"
#include "frontend/ui/WindowPlacement.h"
#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "link/LinkPort.h"
#include "link/LinkRules.h"
#include "link/SharedReceiverState.h"
#include "link/TimeHelpers.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "windows/ui/ClockUnit.h"
#include "windows/ui/CommandUnit.h"
#include "windows/ui/DebugUnit.h"
#include "windows/ui/LevelUnit.h"
#include "windows/ui/PolarUnit.h"

namespace {
constexpr int PollThreadJoinMs = 2000;
const QColor PpsTiBlue(0, 0, 255);
const QColor EfcOrange(255, 128, 0);
const QColor AxisRed(220, 0, 0);

void ShowWindow(QWidget* w) {
  if (!w) return;
  w->show();
  w->raise();
  w->activateWindow();
}

// Receiver text may hold any byte; Latin-1 shows each one as one character.
QString ReceiverText(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

TMainForm::TMainForm(VarnexContext& context, QWidget* parent)
    : QMainWindow(parent),
      context_(context),
      comport_(std::make_shared<T_AdvCom32>()),
      refresh_(context.State, context.clock, context.Settings, *this, RefreshSeries{&Series1, &Series2}) {
  setObjectName("MainForm");
  setWindowTitle(VarnexDesignCaption);
  PlaceWindow(*this, {QSize(841, 447), DesignSize::Outer, nullptr});
  BuildMenu();
  BuildChart();
  BuildStatusBar();
  timer1_.setInterval(100);
  connect(&timer1_, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  FormCreate();
}

TMainForm::~TMainForm() {
  StopSequence();
  context_.Events = nullptr;
}

void TMainForm::FormCreate() {
  firstShow_ = true;
  designPixelsPerInch_ = 96;
  setWindowTitle(windowTitle() + VarnexVersion);

  QApplication::setOverrideCursor(Qt::WaitCursor);
  for (int i = 0; i < 3; ++i) {
    QApplication::processEvents();
    QThread::msleep(10);
  }

  Series1.Clear();
  Series2.Clear();

  if (context_.ViewOnly) {
    LoadViewSettings();
    viewFollow_ = std::make_unique<TViewFollow>(context_, *this);
    viewFollow_->Start();
    ReloadChartHistory();
    UpdateTitle();
    timer1_.start();
    QApplication::restoreOverrideCursor();
    return;
  }

  // A settings file that cannot be read leaves the defaults; start-up goes on.
  settingsFile_ = std::make_unique<TAppIniFile>(context_.Folder);
  LoadSettings(*settingsFile_, *comport_, context_.Settings);
  context_.EventConfig = LoadEventSettings(*settingsFile_);
  desktopEvents_ = std::make_unique<DesktopEvents>(context_, this);
  context_.Events = desktopEvents_.get();
  // What the sky view learns reaches the file every ten minutes at most, not only at exit.
  refresh_.SetHorizonSave([this] { return SaveSettingsNow(); });
  // Served or written only when [Metrics] asks; what goes wrong is said in the debug trace.
  metrics_.Configure(ReadMetricsConfig(*settingsFile_),
                     [&state = context_.State, &clock = context_.clock](const std::string& line) {
                       AddTrace(state, clock, true, line);
                     });

  ReloadChartHistory();
  UpdateTitle();

  comport_->SetShowErrors(false);
  // A baud rate the line refuses is said in the debug trace. State and clock live for
  // the whole process, so the port may call this from the poll thread at any time.
  comport_->SetFailureReport([&state = context_.State, &clock = context_.clock](const std::string& text) {
    AddTrace(state, clock, true, text);
  });
  comport_->Open();
  desktopEvents_->Configure(comport_->DeviceName());

  events_ = std::make_shared<LinkEventsRelay>(this);
  comThread_ = std::make_unique<TComThread>(context_.State, std::make_shared<AdvCom32LinkPort>(comport_),
                                            context_.clock, events_);
  comThread_->Start();

  refresh_.SetLogs(MakeLogs());
  timer1_.start();
  QApplication::restoreOverrideCursor();
}

void TMainForm::LoadViewSettings() {
  // The viewer's own choices (span, EFC scale) live in its own folder; on the first
  // view they start from the writer's, read but never written.
  const std::string own = context_.OwnFolder.empty() ? std::string() : InFolder(context_.OwnFolder, "Varnex.ini");
  std::error_code ec;
  if (own.empty() || !std::filesystem::exists(own, ec)) {
    try {
      const TAppIniFile writers(context_.Folder);
      LoadSettings(writers, *comport_, context_.Settings);
    } catch (...) {
    }
  }
  if (own.empty()) return;  // nowhere of its own to keep them
  settingsFile_ = std::make_unique<TAppIniFile>(context_.OwnFolder);
  if (std::filesystem::exists(own, ec)) LoadSettings(*settingsFile_, *comport_, context_.Settings);
}

void TMainForm::UpdateTitle() {
  const char* home = std::getenv("HOME");
  const QString title =
      QString::fromStdString(VarnexWindowTitle(std::string(VarnexDesignCaption) + VarnexVersion, context_.Folder,
                                               comport_->DeviceName(), context_.ViewOnly, home ? home : ""));
  if (windowTitle() != title) setWindowTitle(title);
}

// Every file write counts for the metrics and may be an event.
void TMainForm::NoteFileWrite(const std::string& name, bool ok, TDateTime stamp) {
  if (!ok) metrics_.Recorder().WriteFailed();
  if (desktopEvents_) desktopEvents_->FileWritten(name, ok, stamp);
}

RefreshLogs TMainForm::MakeLogs() {
  RefreshLogs logs;
  // The log windows write the files and show what they wrote; before they exist
  // (they are created after this window) the files are written directly.
  logs.AppendStatusHistory = [this](TDateTime stamp, const std::string& message) {
    const bool ok = context_.StatusLogForm
                        ? context_.StatusLogForm->AppendStatusHistory(message, stamp)
                        : ::AppendStatusHistory(context_.Folder, stamp, message, &context_.State).has_value();
    NoteFileWrite(StatusHistoryFileName, ok, stamp);
  };
  logs.AppendErrorLog = [this](TDateTime stamp, const std::string& message) {
    const bool ok = context_.ErrorForm ? context_.ErrorForm->AppendErrorLog(message, stamp)
                                       : ::AppendErrorLog(context_.Folder, stamp, message, &context_.State).has_value();
    NoteFileWrite(ErrorLogFileName, ok, stamp);
  };
  logs.AppendDataLine = [this](const MeasurementRecord& r) {
    const bool ok = ::AppendDataLine(
        context_.Folder, DataRecord{r.Time, r.PpsTi, r.Efc, r.Hup, static_cast<double>(r.Tracked)}, &context_.State);
    if (ok) metrics_.Recorder().DataLineWritten();
    NoteFileWrite(DataFileName(r.Time), ok, r.Time);
  };
  return logs;
}

HistorySource TMainForm::History() {
  // Loading a week of lines takes a while; the refresh tick keeps going meanwhile.
  return HistorySource{context_.Folder, &context_.clock, context_.Settings.SpanMinutes,
                       [] { QApplication::processEvents(); }};
}

void TMainForm::ReloadChartHistory() {
  Series1.Clear();
  Series2.Clear();
  try {
    LoadChartHistory(History(), Series1, Series2);
  } catch (...) {
    // A file that cannot be read leaves what could be loaded.
  }
  if (chart1_) chart1_->Replot();
}

void TMainForm::ReloadAllCharts() {
  reloadGate_.Run([this] {
    ReloadChartHistory();
    if (!context_.EFCForm) return;
    context_.EFCForm->Series1.Clear();
    context_.EFCForm->Series2.Clear();
    context_.EFCForm->LoadHoldoverHistory();
  });
}

void TMainForm::JoinWindows() {
  // The other windows are created after this one; they are joined once, before the
  // first tick uses them and before the parameters dialog can be opened.
  if (windowsJoined_ || !context_.EFCForm || !context_.StatusLogForm || !context_.ParameterForm) return;
  windowsJoined_ = true;
  refresh_.SetSeries({&Series1, &Series2, &context_.EFCForm->Series1, &context_.EFCForm->Series2});
  refresh_.LastStatusCode = context_.StatusLogForm->LastStatusCode();
  // A view has no line to set up: the dialog changes only the span and the EFC scale,
  // kept in the viewer's own settings when it closes.
  context_.ParameterForm->Attach(viewFollow_ ? nullptr : comport_.get(), settingsFile_.get());
  context_.ParameterForm->ReloadCharts = [this] { ReloadAllCharts(); };
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
  event->accept();
  EndProgram(context_);
}

bool TMainForm::SaveSettingsNow(std::string* error) {
  if (!settingsFile_) return false;
  SaveEventSettings(*settingsFile_, context_.EventConfig);
  return SaveSettings(*settingsFile_, *comport_, context_.Settings, error);
}

void TMainForm::StopSequence() {
  if (stopped_) return;
  stopped_ = true;
  context_.Ending = true;
  timer1_.stop();
  if (desktopEvents_) desktopEvents_->Stop();
  // An unwritable settings file must not keep the program from stopping: it is traced,
  // whatever the debug window's hold, and nobody is asked.
  bool saved = false;
  try {
    saved = SaveSettingsNow();
  } catch (...) {
  }
  if (!saved)
    context_.State.QueueTrace(FormatStamp(UtcNow(context_.clock)) + " A error in \"SaveSettings\" has occurred\r\n");
  if (context_.ParameterForm) context_.ParameterForm->Attach(viewFollow_ ? nullptr : comport_.get(), nullptr);
  settingsFile_.reset();
  if (events_) events_->Detach();  // this window goes soon; the thread must not reach it
  if (comThread_) {
    comThread_->RequestStop();
    // A thread stuck past the bound is let go with what it holds (port, events relay).
    if (!comThread_->Join(PollThreadJoinMs)) TComThread::StopWithin(std::move(comThread_), 0);
  }
  // The last lines, a failed save's among them, still reach the debug log.
  if (context_.DebugForm) context_.DebugForm->Timer1Timer();
}

QAction* TMainForm::AddItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* a = menu ? menu->addAction(caption) : menuBar()->addAction(caption);
  a->setObjectName(name);
  return a;
}

QAction* TMainForm::Action(const char* name) const { return findChild<QAction*>(name); }

void TMainForm::BuildChart() {
  chart1_ = new TTimeChart(this);
  chart1_->setObjectName("Chart1");
  chart1_->SetTitle("PPS TI & EFC");
  chart1_->SetLegendVisible(false);
  chart1_->SetDateTimeFormat("MM-dd hh:mm");
  chart1_->SetEmptySpan([this] { return context_.clock.UtcNow(); },
                        [this] { return context_.Settings.SpanMinutes / 1440.0; });
  chart1_->SetAxisExtent(AxisSide::Bottom, 2, 98);
  chart1_->SetAxisVisible(AxisSide::Left, true);
  chart1_->SetAxisTitle(AxisSide::Left, "PPS TI / s", PpsTiBlue);
  chart1_->SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
  chart1_->SetAxisExtent(AxisSide::Left, 3, 97);
  chart1_->SetAxisVisible(AxisSide::Right, true);
  chart1_->SetAxisTitle(AxisSide::Right, "EFC value", AxisRed);
  chart1_->SetAxisNumberFormat(AxisSide::Right, "0");
  chart1_->SetAxisGrid(AxisSide::Right, false);
  chart1_->SetAxisExtent(AxisSide::Right, 3, 97);
  chart1_->AddSeries(&Series1, AxisSide::Left, PpsTiBlue, "PPS TI");
  chart1_->AddSeries(&Series2, AxisSide::Right, EfcOrange, "EFC");
  setCentralWidget(chart1_);
}

void TMainForm::BuildMenu() {
  QMenuBar* bar = menuBar();
  connect(AddItem(nullptr, "Parameters1", "&Parameters"), &QAction::triggered, this, [this] {
    JoinWindows();
    ShowWindow(context_.ParameterForm);
  });

  QMenu* view = bar->addMenu("&View");
  view->menuAction()->setObjectName("View1");
  auto show = [this, view](const char* name, const QString& caption, auto member) {
    connect(AddItem(view, name, caption), &QAction::triggered, this, [this, member] { ShowWindow(context_.*member); });
  };
  show("SatelliteAzimuthElevationChart1", "&Satellite Azimuth/Elevation Chart", &VarnexContext::PolarForm);
  show("SatelliteCNlevels1", "Satellite C/N Level Chart", &VarnexContext::LevelForm);
  show("EFCSats1", "&Holdover Uncertainity && Sats", &VarnexContext::EFCForm);
  QAction* timeStab = AddItem(view, "TimeStab", "&Time Stabililty Measures");
  timeStab->setEnabled(false);
  connect(timeStab, &QAction::triggered, this, [this] {
    if (context_.StatForm) context_.StatForm->TimeStabClick();
  });
  QAction* clock = AddItem(view, "Clock", "Clock Display");
  clock->setEnabled(false);
  connect(clock, &QAction::triggered, this, [this] { ShowWindow(context_.ClockForm); });
  connect(AddItem(view, "OCXODift1", "&EFC Statistics"), &QAction::triggered, this, [this] {
    if (context_.DriftForm) context_.DriftForm->OCXODift1Click();
  });
  show("ReceiverStatus1", "&Receiver Status", &VarnexContext::StatusForm);
  show("StatusLog1", "Status &Log", &VarnexContext::StatusLogForm);
  show("ErrorList1", "&Error Log", &VarnexContext::ErrorForm);

  connect(AddItem(nullptr, "ManualCommandEntry1", "&Manual Command Entry"), &QAction::triggered, this,
          [this] { ShowWindow(context_.CommandForm); });
  connect(AddItem(nullptr, "WritteCommenttoLog1", "&Write Comment to Log"), &QAction::triggered, this,
          &TMainForm::WritteCommenttoLog1Click);
  connect(AddItem(nullptr, "Charteditor1", "&Chart Editor"), &QAction::triggered, this, &TMainForm::Charteditor1Click);
  connect(AddItem(nullptr, "DebugWindow1", "&Debug Window"), &QAction::triggered, this,
          [this] { ShowWindow(context_.DebugForm); });
  connect(AddItem(nullptr, "About1", "&About"), &QAction::triggered, this, [this] { ShowWindow(context_.AboutBox); });
}

void TMainForm::Charteditor1Click() {
  // Modal, but the refresh tick keeps running underneath; edits apply live.
  TChartEditor::Edit(chart1_, this);
}

void TMainForm::WritteCommenttoLog1Click() {
  if (context_.StatusLogForm) context_.StatusLogForm->WriteUserComment();
}

void TMainForm::BuildStatusBar() {
  // Design widths at 96 dpi; a panel grows when the font needs more room for its
  // widest usual reading, so the values are never cut off.
  static const int widths[7] = {130, 110, 110, 110, 75, 85, 200};
  static const char* widest[7] = {"PPS TI = -8.88E-10 s",
                                  "EFC = -32768.12345",
                                  "HUP = 8.88E-06 s",
                                  "LIFE = 8888888",
                                  "Visible = 88",
                                  "Tracked = 88",
                                  ""};
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  bar->setStyleSheet(
      "QStatusBar { background: #f4f5f7; border-top: 1px solid #d4d7dd; }"
      "QStatusBar::item { border: none; }"
      "QLabel { color: #1d2330; border: none; border-right: 1px solid #c9cdd4; padding: 1px 6px; }");
  QFont font = bar->font();
  font.setPointSizeF(8.5);
  const QFontMetrics metrics(font);
  for (int i = 0; i < 7; ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QString("Panel%1").arg(i));
    panel->setFont(font);
    panel->setIndent(0);
    const int needed = metrics.horizontalAdvance(QString::fromLatin1(widest[i])) + 14;
    if (i == 6) {
      panel->setMinimumWidth(widths[i]);
    } else {
      panel->setFixedWidth(std::max(widths[i], needed));
    }
    bar->addWidget(panel, i == 6 ? 1 : 0);
    panels_[i] = panel;
  }
}

void TMainForm::Timer1Timer() {
  JoinWindows();
  if (viewFollow_) {
    viewFollow_->Tick();
    return;
  }
  refresh_.Tick();
  metrics_.Tick(refresh_, context_.Settings, context_.State, context_.clock.UtcNow());
  // The parameters dialog may have pointed the program at another device.
  UpdateTitle();
  if (desktopEvents_) desktopEvents_->AfterTick(refresh_);
}

void TMainForm::SetPanel(int index, const std::string& text) {
  if (index < 0 || index >= 7) return;
  panels_[index]->setText(ReceiverText(text));
  // A long identification may not fit its panel; the tip shows all of it.
  if (index == RefreshCycle::PanelIdn) panels_[index]->setToolTip(panels_[index]->text());
}

void TMainForm::ShowStatusLines(const std::vector<std::string>& lines) {
  if (context_.StatusForm) context_.StatusForm->SetLines(lines);
}

void TMainForm::ShowSatellites(const SatelliteDisplay& display) {
  if (context_.PolarForm) context_.PolarForm->SetSatellites(display.Sky);
  if (context_.LevelForm) context_.LevelForm->SetLevels(display.Bars);
}

void TMainForm::UpdateHorizonLine() {
  if (context_.PolarForm) context_.PolarForm->UpdateHorizonLine();
}

void TMainForm::SetRightAxisDecimals() { chart1_->SetAxisNumberFormat(AxisSide::Right, "0.000000"); }

void TMainForm::SetClockMenuEnabled(bool enabled) { Action("Clock")->setEnabled(enabled); }

void TMainForm::ShowDateTime(TDateTime t) {
  if (context_.ClockForm) context_.ClockForm->ShowDateTime(t);
}

void TMainForm::ChartsChanged() {
  chart1_->Replot();
  if (context_.EFCForm) context_.EFCForm->ChartsChanged();
}

void TMainForm::SetStabilityMenuEnabled(bool enabled) {
  QMetaObject::invokeMethod(
      this, [this, enabled] { Action("TimeStab")->setEnabled(enabled); }, Qt::QueuedConnection);
}

void TMainForm::ManualAnswer(const std::string& text) {
  // Queued calls run in the order they were posted, so the text keeps its order.
  QMetaObject::invokeMethod(
      this,
      [this, text] {
        if (context_.CommandForm) context_.CommandForm->ShowAnswer(text);
      },
      Qt::QueuedConnection);
}
