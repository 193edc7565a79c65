#include "windows/ui/PolarUnit.h"

#include "app/ui/VarnexContext.h"

TPolarForm::TPolarForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Satellite Azimuth/Elevation Chart");
}
