#include "frontend/ui/ErrorUnit.h"

#include "app/ui/VarnexContext.h"

TErrorForm::TErrorForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Error Log");
}
