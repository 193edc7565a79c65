#include "app/ui/Startup.h"

#include <QMessageBox>
#include <cstdio>

#include "analysis/ui/DriftUnit.h"
#include "analysis/ui/EFCUnit.h"
#include "analysis/ui/StatUnit.h"
#include "app/ui/VarnexContext.h"
#include "controls/ui/ConsoleWidget.h"
#include "frontend/ui/AboutUnit.h"
#include "frontend/ui/ErrorUnit.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/StatusUnit.h"
#include "frontend/ui/StausLogUnit.h"
#include "platform/ProgramFolder.h"
#include "windows/ui/ClockUnit.h"
#include "windows/ui/CommandUnit.h"
#include "windows/ui/DebugUnit.h"
#include "windows/ui/LevelUnit.h"
#include "windows/ui/PolarUnit.h"

template <class T>
T* VarnexWindows::Create() {
  T* w = new T(context_);
  created_.push_back(w);
  return w;
}

VarnexWindows::VarnexWindows(VarnexContext& c) : context_(c) {
  // Each window's creation runs before the next is created; the main window
  // starts the poll thread, which waits until the debug window exists.
  c.MainForm = Create<TMainForm>();
  c.MainWindow = c.MainForm;
  c.ParameterForm = Create<TParameterForm>();
  c.StatusForm = Create<TStatusForm>();
  c.PolarForm = Create<TPolarForm>();
  c.ErrorForm = Create<TErrorForm>();
  c.StatusLogForm = Create<TStatusLogForm>();
  c.EFCForm = Create<TEFCForm>();
  c.StatForm = Create<TStatForm>();
  c.DebugForm = Create<TDebugForm>();
  // Its first line tells the user where the files are; the trace follows from the first drain.
  c.DebugForm->Console1()->Screen().WriteString(DataFolderNote(c.Folder, c.FolderProblem) + "\r\n");
  c.AboutBox = Create<TAboutBox>();
  c.LevelForm = Create<TLevelForm>();
  c.ClockForm = Create<TClockForm>();
  c.DriftForm = Create<TDriftForm>();
  // The command window reaches the line through the poll thread, by the shared state.
  c.CommandForm = new TCommandForm(c.State, c.clock, c.MainForm);
  created_.push_back(c.CommandForm);
}

VarnexWindows::~VarnexWindows() {
  VarnexContext& c = context_;
  // The poll thread is joined before anything it uses goes away.
  if (c.MainForm) c.MainForm->StopSequence();
  delete c.CommandForm;
  delete c.DriftForm;
  delete c.ClockForm;
  delete c.LevelForm;
  delete c.AboutBox;
  delete c.DebugForm;
  delete c.StatForm;
  delete c.EFCForm;
  delete c.StatusLogForm;
  delete c.ErrorForm;
  delete c.PolarForm;
  delete c.StatusForm;
  delete c.ParameterForm;
  delete c.MainForm;
  c.MainForm = nullptr;
  c.ParameterForm = nullptr;
  c.StatusForm = nullptr;
  c.PolarForm = nullptr;
  c.ErrorForm = nullptr;
  c.StatusLogForm = nullptr;
  c.EFCForm = nullptr;
  c.StatForm = nullptr;
  c.DebugForm = nullptr;
  c.AboutBox = nullptr;
  c.LevelForm = nullptr;
  c.ClockForm = nullptr;
  c.DriftForm = nullptr;
  c.CommandForm = nullptr;
}

QMessageBox* ShowFolderProblem(QWidget* parent, const std::string& problem) {
  const std::string message = "Varnex cannot keep its settings, data files and logs: " + problem + ".";
  std::fprintf(stderr, "varnex: %s\n", message.c_str());
  auto* box =
      new QMessageBox(QMessageBox::Warning, "Varnex", QString::fromStdString(message + "\n\nIt runs on without them."),
                      QMessageBox::Ok, parent);
  box->setObjectName("FolderProblem");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
  return box;
}
