#include "windows/ui/ClockUnit.h"

#include "app/ui/VarnexContext.h"

TClockForm::TClockForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Clock Display");
}

void TClockForm::ShowDateTime(TDateTime t) {
  shown_ = t;
  update();
}
