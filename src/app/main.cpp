// Varnex: monitor and logger for GPS-disciplined frequency and time references.
#include <QApplication>

#include "app/ui/ProgramEnd.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setApplicationName("Varnex");
  app.setQuitOnLastWindowClosed(false);

  // Never freed: a poll thread that overran its stop may still use them at exit.
  SharedReceiverState& state = *new SharedReceiverState;
  SystemClock& clock = *new SystemClock;
  VarnexContext context(state, clock, ProgramFolder());
  VarnexWindows windows(context);

  // SIGTERM, SIGINT, SIGHUP and a session logging out end the program as its close
  // box does: the settings saved once, the poll thread joined.
  CatchEndRequests(context, &app);

  context.MainForm->show();
  return app.exec();
}
