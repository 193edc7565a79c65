#include "analysis/ui/StatUnit.h"

#include "app/ui/VarnexContext.h"

TStatForm::TStatForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Time Stability Measures");
}
