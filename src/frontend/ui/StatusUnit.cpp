#include "frontend/ui/StatusUnit.h"

#include "app/ui/VarnexContext.h"

TStatusForm::TStatusForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Receiver Status");
}
