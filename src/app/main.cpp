// Varnex: monitor and logger for GPS-disciplined frequency and time references.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>

#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/FolderLock.h"
#include "platform/ProgramFolder.h"

namespace {
int signalPipe[2] = {-1, -1};

void OnTerminate(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}
}  // namespace

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

  // SIGTERM and SIGINT close the main window as its close box does, so the
  // settings are saved and the poll thread is joined.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, [&context] {
      char c;
      [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &c, 1);
      context.MainForm->close();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
  }

  context.MainForm->show();
  if (!folderProblem.empty()) ShowFolderProblem(context.MainForm, folderProblem);
  return app.exec();
}
