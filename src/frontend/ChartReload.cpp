#include "frontend/ChartReload.h"

void ChartReloadGate::Run(const std::function<void()>& reload) {
  if (running_) {
    again_ = true;
    return;
  }
  running_ = true;
  try {
    do {
      again_ = false;
      reload();
    } while (again_);
  } catch (...) {
    running_ = false;
    throw;
  }
  running_ = false;
}
