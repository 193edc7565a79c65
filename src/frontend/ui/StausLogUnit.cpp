#include "frontend/ui/StausLogUnit.h"

#include "app/ui/VarnexContext.h"

TStatusLogForm::TStatusLogForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Status Log");
}
