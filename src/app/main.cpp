// Varnex: monitor and logger for GPS-disciplined frequency and time references.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include "app/ui/ProgramEnd.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/FolderLock.h"
#include "platform/ProgramFolder.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setApplicationName("Varnex");
  app.setDesktopFileName("org.varnex.Varnex");
  app.setWindowIcon(QIcon(":/org.varnex.Varnex.svg"));
  app.setQuitOnLastWindowClosed(false);

  std::string folderProblem;
  const std::string folder = DataFolder(&folderProblem);
  // One program per folder: a second Varnex or a varnex-logger here would interleave
  // their appends and poll the same port. A folder that cannot be used holds no
  // files, so there is nothing to guard; the program runs on and says why.
  FolderLock folderLock;
  std::string lockError;
  if (folderProblem.empty() && !folderLock.Acquire(folder, "Varnex", &lockError)) {
    QMessageBox::critical(nullptr, "Varnex", QString::fromStdString(lockError));
    return 1;
  }

  // Never freed: a poll thread that overran its stop may still use them at exit.
  SharedReceiverState& state = *new SharedReceiverState;
  SystemClock& clock = *new SystemClock;
  VarnexContext context(state, clock, folder);
  context.FolderProblem = folderProblem;
  VarnexWindows windows(context);

  // SIGTERM, SIGINT, SIGHUP and a session logging out end the program as its close
  // box does: the settings saved once, the poll thread joined.
  CatchEndRequests(context, &app);

  context.MainForm->show();
  if (!folderProblem.empty()) ShowFolderProblem(context.MainForm, folderProblem);
  return app.exec();
}
