#include "analysis/ui/EFCUnit.h"

#include "app/ui/VarnexContext.h"

TEFCForm::TEFCForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Holdover Uncertainity & Sats");
}

void TEFCForm::ChartsChanged() { update(); }
