#pragma once
// What the sky view, C/N chart and clock tests share: a context on a fresh folder,
// answers to modal boxes and where pictures go.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "QtTestApp.h"
#include "app/ui/VarnexContext.h"
#include "frontend/PersistTestFiles.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

struct WindowFixture {
  WindowFixture() : clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0})), context(state, clock, folder.Path()) {
    TestApplication();
  }
  TempFolder folder;
  SharedReceiverState state;
  VirtualClock clock;
  VarnexContext context;
};

struct SeenBox {
  bool Seen = false;
  QString Caption, Text;
};

// The next modal message box is answered with `button` (or closed, for NoButton).
inline void AnswerNextBox(QMessageBox::StandardButton button, SeenBox& seen) {
  QTimer::singleShot(0, [button, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = {true, box->windowTitle(), box->text()};
    if (button == QMessageBox::NoButton)
      box->close();
    else
      box->button(button)->click();
  });
}

inline QString PicturePath(const char* file) {
  const auto dir = std::filesystem::temp_directory_path() / "varnex-pictures";
  std::filesystem::create_directories(dir);
  return QString::fromStdString((dir / file).string());
}
