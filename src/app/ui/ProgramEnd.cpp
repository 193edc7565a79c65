#include "app/ui/ProgramEnd.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <csignal>

#include "app/ui/VarnexContext.h"
#include "frontend/ui/MainUnit.h"
#include "link/LinkRules.h"

namespace {
// Written by the signal handler, read by the event loop.
int endPipe[2] = {-1, -1};

void OnEndSignal(int) {
  // Only what a signal handler may do: one write, errno left as it was.
  const int saved = errno;
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(endPipe[1], &c, 1);
  errno = saved;
}

// Popups and modal dialogs go without being asked; their own loops end with the rest.
void CloseModalWindows() {
  for (int i = 0; i < 32; ++i) {
    QWidget* w = QApplication::activePopupWidget();
    if (!w) w = QApplication::activeModalWidget();
    if (!w) return;
    if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
    // hide() asks nobody: a close handler could refuse.
    if (w->isVisible()) w->hide();
  }
}
}  // namespace

void EndProgram(VarnexContext& context) {
  if (context.MainForm) context.MainForm->StopSequence();
  context.Ending = true;
  CloseModalWindows();
  // exit(), not quit(): quit() first asks every window to close and gives up when one
  // refuses. Without a running loop there is nothing to end.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void CommitSessionData(VarnexContext& context) {
  // Another program may still cancel the logout, so the program runs on: it saves what
  // it would save at exit, and ends when the session ends and closes its windows.
  if (context.Ending || !context.MainForm) return;
  bool saved = false;
  try {
    saved = context.MainForm->SaveSettingsNow();
  } catch (...) {
  }
  if (!saved) AddTrace(context.State, context.clock, true, "A error in \"SaveSettings\" has occurred");
}

bool CatchEndRequests(VarnexContext& context, QObject* owner) {
  if (endPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, endPipe) != 0) {
    endPipe[0] = endPipe[1] = -1;
    return false;
  }
  auto* notifier = new QSocketNotifier(endPipe[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [&context] {
    char bytes[64];
    while (::read(endPipe[0], bytes, sizeof bytes) > 0) {
    }
    EndProgram(context);
  });
#ifndef QT_NO_SESSIONMANAGER
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, owner,
                   [&context](QSessionManager&) { CommitSessionData(context); });
#endif
  struct sigaction sa {};
  sa.sa_handler = OnEndSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  bool caught = true;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) caught = ::sigaction(signal, &sa, nullptr) == 0 && caught;
  return caught;
}
