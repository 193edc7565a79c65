#include "windows/ui/PolarUnit.h"

#include "app/ui/VarnexContext.h"

TPolarForm::TPolarForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Satellite Azimuth/Elevation Chart");
}

void TPolarForm::SetSatellites(const std::vector<SkyPoint>& points) {
  satellites_ = points;
  update();
}

void TPolarForm::UpdateHorizonLine() {
  ++horizonUpdates_;
  update();
}
