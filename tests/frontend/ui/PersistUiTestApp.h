#pragma once
// The application object, a context on a temporary folder and picture output for the
// settings dialog and log window tests.
#include <QApplication>
#include <QString>
#include <filesystem>
#include <memory>

#include "app/ui/VarnexContext.h"
#include "frontend/PersistTestFiles.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

inline void EnsurePersistTestApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "test_frontend_ui";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  new QApplication(argc, argv);  // lives for the whole test program
}

struct PersistUiFixture {
  PersistUiFixture() : clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0})), context(state, clock, folder.Path()) {
    EnsurePersistTestApp();
  }
  TempFolder folder;
  SharedReceiverState state;
  VirtualClock clock;
  VarnexContext context;
};

inline QString PersistPicturePath(const char* file) {
  auto dir = std::filesystem::temp_directory_path() / "varnex-pictures";
  std::filesystem::create_directories(dir);
  return QString::fromStdString((dir / file).string());
}
