#include "windows/ui/DebugUnit.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QTimer>

#include "app/ui/VarnexContext.h"
#include "controls/DebugLog.h"
#include "controls/ui/ConsoleWidget.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"
#include "link/SharedReceiverState.h"

namespace {
constexpr int DrainPeriodMs = 100;
}

TDebugForm::TDebugForm(VarnexContext& context, QWidget* parent) : QMainWindow(parent), context_(context) {
  setObjectName("DebugForm");
  setWindowTitle("Varnex Debug Window");
  PlaceWindow(*this, {QSize(733, 392), DesignSize::Outer, context_.MainForm});

  console_ = new TConsole(this);
  console_->setObjectName("Console1");
  console_->SetRows(500);
  console_->SetCols(80);
  console_->SetLineBreak(TConsoleLineBreak::CRLF);
  console_->Font().SetName("Courier");
  console_->Font().SetHeight(11);
  console_->ResetConsole();
  setCentralWidget(console_);

  QMenu* file = menuBar()->addMenu("&File");
  file->menuAction()->setObjectName("File1");
  logToFile_ = file->addAction("Log to File");
  logToFile_->setObjectName("LogtoFile1");
  logToFile_->setCheckable(true);

  QMenu* window = menuBar()->addMenu("&Window");
  window->menuAction()->setObjectName("Window1");
  hold_ = window->addAction("&Hold");
  hold_->setObjectName("Hold1");
  hold_->setCheckable(true);
  connect(hold_, &QAction::toggled, this, [this] { Hold1Click(); });
  clear_ = window->addAction("&Clear");
  clear_->setObjectName("Clear1");
  connect(clear_, &QAction::triggered, this, [this] { Clear1Click(); });

  timer_ = new QTimer(this);
  timer_->setObjectName("Timer1");
  timer_->setInterval(DrainPeriodMs);
  connect(timer_, &QTimer::timeout, this, [this] { Timer1Timer(); });
  timer_->start();

  // The poll thread starts only once this window exists.
  context_.State.StartGate = true;
}

void TDebugForm::Timer1Timer() {
  SharedReceiverState& state = context_.State;
  if (state.TraceCount() == 0) return;
  // One locked pass over the lines present now, file appends included.
  DrainTraceLines(state.TraceLock, state.TraceLines, console_->Screen(),
                  logToFile_->isChecked() ? &context_.Folder : nullptr);
}

void TDebugForm::Hold1Click() {
  // Producers read this flag and drop ordinary lines while it is set.
  context_.State.TraceHold = hold_->isChecked();
}

void TDebugForm::Clear1Click() { console_->ResetConsole(); }
