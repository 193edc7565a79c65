#pragma once
// One series of labelled bars (e.g. C/N per satellite): bar k stands at
// position k in the order added, drawn with a vertical colour gradient and its
// label above it.
#include <vector>

#include "charting/ui/ChartBase.h"

class QCPBars;
class QCPItemText;

class TBarChart : public TChartBase {
  Q_OBJECT
 public:
  explicit TBarChart(QWidget* parent = nullptr);

  void Clear();
  void AddBar(double value, const QString& label);
  int BarCount() const { return static_cast<int>(labels_.size()); }
  double BarValue(int i) const;
  QString BarLabel(int i) const { return labels_[i]; }

  void Replot() override;
  QString TipTextAt(const QPoint& pos) const override;

 protected:
  void ApplySeriesStyle(int index) override;
  bool DataRange(AxisSide side, double& lo, double& hi) const override;

 private:
  QCPBars* bars_ = nullptr;
  std::vector<QString> labels_;
  std::vector<QCPItemText*> marks_;
};
