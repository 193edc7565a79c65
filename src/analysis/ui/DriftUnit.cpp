#include "analysis/ui/DriftUnit.h"

#include "app/ui/VarnexContext.h"

TDriftForm::TDriftForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex EFC Statistics");
}
