#include "windows/ui/LevelUnit.h"

#include "app/ui/VarnexContext.h"

TLevelForm::TLevelForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setWindowTitle("Varnex Satellite C/N levels");
}

void TLevelForm::SetLevels(const std::vector<LevelBar>& bars) {
  levels_ = bars;
  update();
}
