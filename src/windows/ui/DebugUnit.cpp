#include "windows/ui/DebugUnit.h"

#include "app/ui/VarnexContext.h"
#include "link/SharedReceiverState.h"

TDebugForm::TDebugForm(VarnexContext& context, QWidget* parent) : QMainWindow(parent), context_(context) {
  setWindowTitle("Varnex Debug Window");
  // The poll thread starts only once this window exists.
  context_.State.StartGate = true;
}
