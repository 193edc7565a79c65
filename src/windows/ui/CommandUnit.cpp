#include "windows/ui/CommandUnit.h"

#include "app/ui/VarnexContext.h"

TCommandForm::TCommandForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Manual Command Entry");
}
