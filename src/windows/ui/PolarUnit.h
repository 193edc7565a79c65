#pragma once
// The sky view: the satellites of the latest status screen on an azimuth/elevation
// chart, and the horizon line learned over the hours, which only ever moves outward.
#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

#include "frontend/StatusScreen.h"
#include "windows/SkyView.h"

class QAction;
class TPolarChart;
struct VarnexContext;

class TPolarForm : public QMainWindow {
  Q_OBJECT
 public:
  // Draws the line from the horizon table the settings have loaded.
  explicit TPolarForm(VarnexContext& context, QWidget* parent = nullptr);

  // The satellites of the latest status screen (the "Sats" points).
  void SetSatellites(const std::vector<SkyPoint>& points);
  const std::vector<SkyPoint>& Satellites() const { return satellites_; }
  // Moves the drawn horizon line outward to the learned HorizonTable.
  void UpdateHorizonLine();
  int HorizonUpdates() const { return horizonUpdates_; }
  // The "Horizont" series: the point at angle k has radius Horizon().Radius[k].
  const HorizonLine& Horizon() const { return horizon_; }

  TPolarChart* Chart1() const { return chart_; }
  QAction* ResetHorizonLine1() const { return reset_; }
  QAction* Print1() const { return print_; }

  // Asks, then forgets the learned horizon and saves the settings at once.
  void ResetHorizonLine1Click();
  void Print1Click();

  // Writes the settings file; false with the reason when it could not. The main
  // window's save unless replaced.
  std::function<bool(std::string* error)> SaveSettings;
  // Shows a file error; the framework's error box unless replaced.
  std::function<void(const QString& text)> ShowError;

 protected:
  // Hides the window after saving the settings; stays open when the save fails.
  void closeEvent(QCloseEvent* event) override;

 private:
  bool Save();
  void ShowHorizon();

  VarnexContext& context_;
  TPolarChart* chart_ = nullptr;
  QAction* reset_ = nullptr;
  QAction* print_ = nullptr;
  std::vector<SkyPoint> satellites_;
  HorizonLine horizon_;
  int horizonUpdates_ = 0;
};
