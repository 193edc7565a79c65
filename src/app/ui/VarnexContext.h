#pragma once
// What every window of one Varnex run shares: the receiver state, the clock,
// the program folder and the windows themselves (created once, in order).
#include <string>

#include "frontend/EventSettings.h"
#include "frontend/Settings.h"

class QWidget;
class SharedReceiverState;
class Clock;
class TMainForm;
class TParameterForm;
class TStatusForm;
class TPolarForm;
class TErrorForm;
class TStatusLogForm;
class TEFCForm;
class TStatForm;
class TDebugForm;
class TAboutBox;
class TLevelForm;
class TClockForm;
class TDriftForm;
class TCommandForm;
class DesktopEvents;

struct VarnexContext {
  VarnexContext(SharedReceiverState& state, Clock& clock, std::string folder)
      : State(state), clock(clock), Folder(std::move(folder)) {}

  SharedReceiverState& State;
  Clock& clock;
  std::string Folder;         // every file of the program lives here
  std::string FolderProblem;  // why Folder cannot be written, when it cannot
  // A view of a folder another program writes: no port, no lock, nothing written into
  // Folder; the viewer's own settings go to OwnFolder (none are kept when it is empty).
  bool ViewOnly = false;
  std::string OwnFolder;
  VarnexSettings Settings;
  // The "Events" section; the main window runs what it says.
  EventSettings EventConfig;
  DesktopEvents* Events = nullptr;
  // Set by the stop sequence: from then on windows close without saving or asking.
  bool Ending = false;

  TMainForm* MainForm = nullptr;
  // The main window as a plain widget, for windows that only centre over it.
  QWidget* MainWindow = nullptr;
  TParameterForm* ParameterForm = nullptr;
  TStatusForm* StatusForm = nullptr;
  TPolarForm* PolarForm = nullptr;
  TErrorForm* ErrorForm = nullptr;
  TStatusLogForm* StatusLogForm = nullptr;
  TEFCForm* EFCForm = nullptr;
  TStatForm* StatForm = nullptr;
  TDebugForm* DebugForm = nullptr;
  TAboutBox* AboutBox = nullptr;
  TLevelForm* LevelForm = nullptr;
  TClockForm* ClockForm = nullptr;
  TDriftForm* DriftForm = nullptr;
  TCommandForm* CommandForm = nullptr;
};
