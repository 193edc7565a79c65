// Varnex: monitor and logger for GPS-disciplined frequency and time references.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>

#include "app/ui/ProgramEnd.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/CommandLine.h"
#include "frontend/FolderFollower.h"
#include "frontend/Version.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/FolderLock.h"
#include "platform/ProgramFolder.h"

namespace {
// Said on standard error and, since Varnex is mostly started from a menu, in a box.
int Refuse(const std::string& text) {
  std::fprintf(stderr, "varnex: %s\n", text.c_str());
  std::fflush(stderr);
  QMessageBox::critical(nullptr, "Varnex", QString::fromStdString(text));
  return 1;
}

std::string Absolute(const std::string& folder) {
  return QDir::cleanPath(QDir(QString::fromStdString(folder)).absolutePath()).toStdString();
}

// The exit status for --help, --version or a wrong option, having answered it; -1
// for a command line that starts the program.
int AnswerOptions(const VarnexOptions& options) {
  if (!options.Error.empty()) {
    std::fprintf(stderr, "varnex: %s\nTry 'varnex --help'.\n", options.Error.c_str());
    return 2;
  }
  if (options.Help) {
    std::fputs(VarnexUsage().c_str(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("varnex %s\n", VarnexVersion);
    return 0;
  }
  return -1;
}

// --help, --version and a wrong option are answered before the toolkit starts, which
// needs a display; the toolkit's own options (-platform, -style ...) have a single dash
// and are left to it.
int AnswerWithoutDisplay(int argc, char* argv[]) {
  std::vector<std::string> raw(argv + 1, argv + argc);
  for (const std::string& a : raw)
    if (a.size() > 1 && a[0] == '-' && a[1] != '-' && a != "-h") return -1;
  return AnswerOptions(ParseVarnexOptions(raw));
}
}  // namespace

int main(int argc, char* argv[]) {
  if (const int answered = AnswerWithoutDisplay(argc, argv); answered >= 0) return answered;
  QApplication app(argc, argv);
  app.setApplicationName("Varnex");
  app.setDesktopFileName("org.varnex.Varnex");
  app.setWindowIcon(QIcon(":/org.varnex.Varnex.svg"));
  app.setQuitOnLastWindowClosed(false);

  // The toolkit has taken its own options (-platform, -style ...) out already.
  std::vector<std::string> args;
  for (const QString& a : app.arguments().mid(1)) args.push_back(a.toStdString());
  const VarnexOptions options = ParseVarnexOptions(args);
  if (const int answered = AnswerOptions(options); answered >= 0) return answered;

  std::string folderProblem;
  std::string folder;
  std::string ownFolder;
  if (options.View) {
    std::string dir = options.ViewDir;
    if (dir.empty()) {
      dir = QFileDialog::getExistingDirectory(nullptr, "View a data folder", QDir::homePath()).toStdString();
      if (dir.empty()) return 0;
    }
    folder = Absolute(dir);
    if (const std::string problem = FollowFolderProblem(folder); !problem.empty())
      return Refuse("Cannot view " + folder + ": " + problem + ".");
    // The viewer's own settings go beside the usual data folder, never into the viewed
    // one: viewing the usual data folder itself keeps no settings at all.
    ownFolder = InFolder(DataFolder(&folderProblem), "view");
    if ((ownFolder + "/").rfind(folder + "/", 0) == 0) ownFolder.clear();
    std::error_code ec;
    if (!ownFolder.empty()) std::filesystem::create_directories(ownFolder, ec);
  } else if (!options.Folder.empty()) {
    folder = Absolute(options.Folder);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec))
      return Refuse("The folder " + folder + " cannot be made or is not a folder.");
  } else {
    folder = DataFolder(&folderProblem);
  }

  // One program per folder: a second Varnex or a varnex-logger here would interleave
  // their appends and poll the same port. A folder that cannot be used holds no
  // files, so there is nothing to guard; the program runs on and says why. A view
  // writes nothing and takes no lock: the writer keeps the folder.
  FolderLock folderLock;
  std::string lockError;
  if (!options.View && folderProblem.empty() && !folderLock.Acquire(folder, "Varnex", &lockError))
    return Refuse(lockError);

  // Never freed: a poll thread that overran its stop may still use them at exit.
  SharedReceiverState& state = *new SharedReceiverState;
  SystemClock& clock = *new SystemClock;
  VarnexContext context(state, clock, folder);
  context.FolderProblem = options.View ? std::string() : folderProblem;
  context.ViewOnly = options.View;
  context.OwnFolder = ownFolder;
  VarnexWindows windows(context);

  // SIGTERM, SIGINT, SIGHUP and a session logging out end the program as its close
  // box does: the settings saved once, the poll thread joined.
  CatchEndRequests(context, &app);

  context.MainForm->show();
  if (!context.FolderProblem.empty()) ShowFolderProblem(context.MainForm, folderProblem);
  return app.exec();
}
