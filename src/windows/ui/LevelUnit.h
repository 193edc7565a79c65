#pragma once
#include <QWidget>
#include <vector>

#include "frontend/StatusScreen.h"

struct VarnexContext;

class TLevelForm : public QWidget {
  Q_OBJECT
 public:
  explicit TLevelForm(VarnexContext& context, QWidget* parent = nullptr);

  // One bar per satellite of the latest status screen, in table order.
  void SetLevels(const std::vector<LevelBar>& bars);
  const std::vector<LevelBar>& Levels() const { return levels_; }

 private:
  VarnexContext& context_;
  std::vector<LevelBar> levels_;
};
