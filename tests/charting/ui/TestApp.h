#pragma once
// One QApplication for all widget tests of this program (offscreen).
#include <QApplication>
#include <QString>
#include <filesystem>

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "test_charting_ui";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: tearing Qt down after main() has returned crashes.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// Where the widget pictures go for a look.
inline QString PicturePath(const char* file) {
  auto dir = std::filesystem::temp_directory_path() / "varnex-pictures";
  std::filesystem::create_directories(dir);
  return QString::fromStdString((dir / file).string());
}
