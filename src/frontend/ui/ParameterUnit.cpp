#include "frontend/ui/ParameterUnit.h"

#include "app/ui/VarnexContext.h"

TParameterForm::TParameterForm(VarnexContext& context, QWidget* parent) : QDialog(parent), context_(context) {
  setWindowTitle("Varnex Parameters");
}
