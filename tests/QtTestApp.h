#pragma once
// One QApplication per test program, whichever test asks first. It is never
// destroyed: tearing it down among the process's exit handlers crashes inside Qt.
#include <QApplication>

inline QApplication& TestApplication() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  static int argc = 1;
  static char name[] = "varnex_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}
