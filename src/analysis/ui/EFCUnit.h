#pragma once
#include <QWidget>

#include "charting/ChartSeries.h"

struct VarnexContext;

class TEFCForm : public QWidget {
  Q_OBJECT
 public:
  explicit TEFCForm(VarnexContext& context, QWidget* parent = nullptr);

  // Fed by the main window's refresh tick, which also trims them to the span.
  ChartSeries Series1{"HUD"};
  ChartSeries Series2{"Sats"};
  // Points were added or trimmed.
  void ChartsChanged();

 private:
  VarnexContext& context_;
};
