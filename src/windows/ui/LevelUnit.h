#pragma once
// The C/N chart: one bar per satellite of the latest status screen, in table order.
#include <QMainWindow>
#include <vector>

#include "frontend/StatusScreen.h"

class QAction;
class TBarChart;
struct VarnexContext;

class TLevelForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TLevelForm(VarnexContext& context, QWidget* parent = nullptr);

  // Refills the bars (value = C/N, label "PRN " + PRN) and redraws.
  void SetLevels(const std::vector<LevelBar>& bars);
  const std::vector<LevelBar>& Levels() const { return levels_; }

  TBarChart* Chart1() const { return chart_; }
  QAction* ChartEditor1() const { return editor_; }
  // Opens the chart editor on the live chart; its changes last for the run.
  void ChartEditor1Click();

 private:
  VarnexContext& context_;
  TBarChart* chart_ = nullptr;
  QAction* editor_ = nullptr;
  std::vector<LevelBar> levels_;
};
