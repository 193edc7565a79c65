#pragma once
// A small chart editor: series shown or hidden, colour, line width and point
// symbol; each axis automatic or fixed, logarithmic, its title and grid; the
// chart title and the legend. Every change shows on the chart at once.
// "Save image…" writes the chart to a PNG, PDF or SVG file.
#include <QDialog>

#include "charting/ui/ChartBase.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;

class TChartEditor : public QDialog {
  Q_OBJECT
 public:
  TChartEditor(TChartBase* chart, QWidget* parent = nullptr, const QString& caption = QString());

  // Opens the editor on a chart and returns when the user closes it.
  static void Edit(TChartBase* chart, QWidget* parent, const QString& caption = QString());

  // The widgets, for the user and for tests.
  QListWidget* SeriesList() const { return seriesList_; }
  QPushButton* ColorButton() const { return colorButton_; }
  QDoubleSpinBox* LineWidthEdit() const { return lineWidth_; }
  QComboBox* PointStyleBox() const { return pointStyle_; }
  QCheckBox* LineBox() const { return line_; }
  QComboBox* AxisBox() const { return axisBox_; }
  QCheckBox* AutomaticBox() const { return automatic_; }
  QLineEdit* MinEdit() const { return minEdit_; }
  QLineEdit* MaxEdit() const { return maxEdit_; }
  QCheckBox* LogarithmicBox() const { return logarithmic_; }
  QCheckBox* GridBox() const { return grid_; }
  QLineEdit* AxisTitleEdit() const { return axisTitle_; }
  QLineEdit* TitleEdit() const { return title_; }
  QCheckBox* LegendBox() const { return legend_; }
  // Only for charts that draw error bars; null otherwise.
  QCheckBox* ErrorBarsBox() const { return errorBars_; }
  QPushButton* SaveImageButton() const { return saveImage_; }

  // What the colour button does once the user has picked a colour.
  void ApplyColor(QColor color);

 private:
  QWidget* BuildSeriesPage();
  QWidget* BuildAxesPage();
  QWidget* BuildChartPage();
  void LoadSeries();
  void LoadAxis();
  void ApplyRange();
  void PickColor();
  int CurrentSeries() const;
  AxisSide CurrentAxis() const;
  void Refresh();

  TChartBase* chart_;
  bool loading_ = false;
  QListWidget* seriesList_ = nullptr;
  QPushButton* colorButton_ = nullptr;
  QDoubleSpinBox* lineWidth_ = nullptr;
  QComboBox* pointStyle_ = nullptr;
  QCheckBox* line_ = nullptr;
  QComboBox* axisBox_ = nullptr;
  QCheckBox* automatic_ = nullptr;
  QLineEdit* minEdit_ = nullptr;
  QLineEdit* maxEdit_ = nullptr;
  QCheckBox* logarithmic_ = nullptr;
  QCheckBox* grid_ = nullptr;
  QLineEdit* axisTitle_ = nullptr;
  QLineEdit* title_ = nullptr;
  QCheckBox* legend_ = nullptr;
  QCheckBox* errorBars_ = nullptr;
  QPushButton* saveImage_ = nullptr;
};
