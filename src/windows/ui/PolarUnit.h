#pragma once
#include <QWidget>
#include <vector>

#include "frontend/StatusScreen.h"

struct VarnexContext;

class TPolarForm : public QWidget {
  Q_OBJECT
 public:
  explicit TPolarForm(VarnexContext& context, QWidget* parent = nullptr);

  // The satellites of the latest status screen (the "Sats" points).
  void SetSatellites(const std::vector<SkyPoint>& points);
  const std::vector<SkyPoint>& Satellites() const { return satellites_; }
  // Moves the drawn horizon line outward to the learned HorizonTable.
  void UpdateHorizonLine();
  int HorizonUpdates() const { return horizonUpdates_; }

 private:
  VarnexContext& context_;
  std::vector<SkyPoint> satellites_;
  int horizonUpdates_ = 0;
};
