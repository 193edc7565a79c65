#include "charting/ui/ChartEditor.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "charting/ui/SaveImageDialog.h"

namespace {

struct StyleName {
  PointStyle style;
  const char* name;
};

const StyleName kStyles[] = {{PointStyle::None, "None"},         {PointStyle::Circle, "Circle"},
                             {PointStyle::Square, "Square"},     {PointStyle::Diamond, "Diamond"},
                             {PointStyle::Triangle, "Triangle"}, {PointStyle::Cross, "Cross"},
                             {PointStyle::Plus, "Plus"},         {PointStyle::Star, "Star"}};

struct AxisName {
  AxisSide side;
  const char* name;
};

const AxisName kAxes[] = {
    {AxisSide::Left, "Left"}, {AxisSide::Right, "Right"}, {AxisSide::Bottom, "Bottom"}, {AxisSide::Top, "Top"}};

// Numbers typed by the user: "." or "," as decimal point, exponents allowed.
bool ParseNumber(QString text, double& value) {
  text = text.trimmed().replace(',', '.');
  bool ok = false;
  value = QLocale::c().toDouble(text, &ok);
  return ok && std::isfinite(value);
}

QString NumberText(double value) { return QLocale::c().toString(value, 'g', 10); }

void SetSwatch(QPushButton* button, QColor color) {
  QPixmap swatch(28, 14);
  swatch.fill(color);
  button->setIcon(QIcon(swatch));
  button->setIconSize(swatch.size());
  button->setText(color.name());
}

}  // namespace

TChartEditor::TChartEditor(TChartBase* chart, QWidget* parent, const QString& caption)
    : QDialog(parent), chart_(chart) {
  setWindowTitle(caption.isEmpty() ? tr("Chart Editor") : caption);
  auto* tabs = new QTabWidget(this);
  tabs->addTab(BuildSeriesPage(), tr("Series"));
  tabs->addTab(BuildAxesPage(), tr("Axes"));
  tabs->addTab(BuildChartPage(), tr("Chart"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  saveImage_ = buttons->addButton(tr("Save image…"), QDialogButtonBox::ActionRole);
  connect(saveImage_, &QPushButton::clicked, this, [this] { TSaveImageDialog::Run(chart_->Plot(), this); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  resize(460, 340);
  LoadSeries();
  LoadAxis();
}

void TChartEditor::Edit(TChartBase* chart, QWidget* parent, const QString& caption) {
  TChartEditor editor(chart, parent, caption);
  editor.exec();
}

void TChartEditor::Refresh() { chart_->Replot(); }

QWidget* TChartEditor::BuildSeriesPage() {
  auto* page = new QWidget;
  seriesList_ = new QListWidget(page);
  for (int i = 0; i < chart_->SeriesCount(); ++i) {
    auto* item = new QListWidgetItem(chart_->SeriesTitle(i), seriesList_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(chart_->SeriesVisible(i) ? Qt::Checked : Qt::Unchecked);
  }
  connect(seriesList_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (loading_) return;
    chart_->SetSeriesVisible(seriesList_->row(item), item->checkState() == Qt::Checked);
    Refresh();
  });
  connect(seriesList_, &QListWidget::currentRowChanged, this, [this] { LoadSeries(); });
  // The chart's legend check boxes and the list stay in step.
  connect(chart_, &TChartBase::SeriesVisibilityChanged, this, [this](int index, bool visible) {
    if (QListWidgetItem* item = seriesList_->item(index)) {
      loading_ = true;
      item->setCheckState(visible ? Qt::Checked : Qt::Unchecked);
      loading_ = false;
    }
  });

  colorButton_ = new QPushButton(page);
  connect(colorButton_, &QPushButton::clicked, this, &TChartEditor::PickColor);
  lineWidth_ = new QDoubleSpinBox(page);
  lineWidth_->setRange(0.5, 8.0);
  lineWidth_->setSingleStep(0.5);
  lineWidth_->setDecimals(1);
  connect(lineWidth_, &QDoubleSpinBox::valueChanged, this, [this](double width) {
    if (loading_ || CurrentSeries() < 0) return;
    chart_->SetSeriesLineWidth(CurrentSeries(), width);
    Refresh();
  });
  line_ = new QCheckBox(tr("Join points with a line"), page);
  connect(line_, &QCheckBox::toggled, this, [this](bool on) {
    if (loading_ || CurrentSeries() < 0) return;
    chart_->SetSeriesLine(CurrentSeries(), on);
    Refresh();
  });
  pointStyle_ = new QComboBox(page);
  for (const StyleName& s : kStyles) pointStyle_->addItem(tr(s.name), static_cast<int>(s.style));
  connect(pointStyle_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (loading_ || CurrentSeries() < 0 || index < 0) return;
    chart_->SetSeriesPointStyle(CurrentSeries(), static_cast<PointStyle>(pointStyle_->itemData(index).toInt()));
    Refresh();
  });

  auto* form = new QFormLayout;
  form->addRow(tr("Colour"), colorButton_);
  form->addRow(tr("Line width"), lineWidth_);
  form->addRow(QString(), line_);
  form->addRow(tr("Point symbol"), pointStyle_);
  auto* layout = new QHBoxLayout(page);
  layout->addWidget(seriesList_, 1);
  layout->addLayout(form, 1);
  if (chart_->SeriesCount() > 0) seriesList_->setCurrentRow(0);
  return page;
}

QWidget* TChartEditor::BuildAxesPage() {
  auto* page = new QWidget;
  axisBox_ = new QComboBox(page);
  for (const AxisName& a : kAxes)
    if (chart_->AxisVisible(a.side)) axisBox_->addItem(tr(a.name), static_cast<int>(a.side));
  connect(axisBox_, &QComboBox::currentIndexChanged, this, [this] { LoadAxis(); });
  axisTitle_ = new QLineEdit(page);
  connect(axisTitle_, &QLineEdit::textEdited, this, [this](const QString& text) {
    chart_->SetAxisTitle(CurrentAxis(), text, QColor());  // keeps the title's colour
    Refresh();
  });
  automatic_ = new QCheckBox(tr("Automatic range"), page);
  minEdit_ = new QLineEdit(page);
  maxEdit_ = new QLineEdit(page);
  connect(automatic_, &QCheckBox::toggled, this, [this](bool on) {
    minEdit_->setEnabled(!on);
    maxEdit_->setEnabled(!on);
    if (loading_) return;
    if (on) {
      chart_->SetAxisAutomatic(CurrentAxis(), true);
      Refresh();
    } else {
      ApplyRange();
    }
  });
  connect(minEdit_, &QLineEdit::editingFinished, this, &TChartEditor::ApplyRange);
  connect(maxEdit_, &QLineEdit::editingFinished, this, &TChartEditor::ApplyRange);
  logarithmic_ = new QCheckBox(tr("Logarithmic"), page);
  connect(logarithmic_, &QCheckBox::toggled, this, [this](bool on) {
    if (loading_) return;
    chart_->SetAxisLogarithmic(CurrentAxis(), on);
    Refresh();
  });
  grid_ = new QCheckBox(tr("Grid lines"), page);
  connect(grid_, &QCheckBox::toggled, this, [this](bool on) {
    if (loading_) return;
    chart_->SetAxisGrid(CurrentAxis(), on);
    Refresh();
  });
  auto* form = new QFormLayout(page);
  form->addRow(tr("Axis"), axisBox_);
  form->addRow(tr("Title"), axisTitle_);
  form->addRow(QString(), automatic_);
  form->addRow(tr("Minimum"), minEdit_);
  form->addRow(tr("Maximum"), maxEdit_);
  form->addRow(QString(), logarithmic_);
  form->addRow(QString(), grid_);
  return page;
}

QWidget* TChartEditor::BuildChartPage() {
  auto* page = new QWidget;
  title_ = new QLineEdit(chart_->Title(), page);
  connect(title_, &QLineEdit::textEdited, this, [this](const QString& text) {
    chart_->SetTitle(text);
    Refresh();
  });
  legend_ = new QCheckBox(tr("Show legend"), page);
  legend_->setChecked(chart_->LegendVisible());
  connect(legend_, &QCheckBox::toggled, this, [this](bool on) {
    chart_->SetLegendVisible(on);
    Refresh();
  });
  auto* form = new QFormLayout(page);
  form->addRow(tr("Title"), title_);
  form->addRow(QString(), legend_);
  if (chart_->HasErrorBars()) {
    errorBars_ = new QCheckBox(tr("Show error bars (68 % confidence interval)"), page);
    errorBars_->setChecked(chart_->ErrorBarsShown());
    connect(errorBars_, &QCheckBox::toggled, this, [this](bool on) {
      chart_->SetErrorBarsShown(on);
      Refresh();
    });
    form->addRow(QString(), errorBars_);
  }
  return page;
}

int TChartEditor::CurrentSeries() const { return seriesList_ ? seriesList_->currentRow() : -1; }

AxisSide TChartEditor::CurrentAxis() const { return static_cast<AxisSide>(axisBox_->currentData().toInt()); }

void TChartEditor::LoadSeries() {
  const int index = CurrentSeries();
  const bool any = index >= 0 && index < chart_->SeriesCount();
  for (QWidget* w : {static_cast<QWidget*>(colorButton_), static_cast<QWidget*>(lineWidth_),
                     static_cast<QWidget*>(line_), static_cast<QWidget*>(pointStyle_)})
    w->setEnabled(any);
  if (!any) return;
  loading_ = true;
  SetSwatch(colorButton_, chart_->SeriesColor(index));
  lineWidth_->setValue(chart_->SeriesLineWidth(index));
  line_->setChecked(chart_->SeriesLine(index));
  pointStyle_->setCurrentIndex(pointStyle_->findData(static_cast<int>(chart_->SeriesPointStyle(index))));
  loading_ = false;
}

void TChartEditor::LoadAxis() {
  if (axisBox_->count() == 0) return;
  const AxisSide side = CurrentAxis();
  loading_ = true;
  axisTitle_->setText(chart_->AxisTitle(side));
  automatic_->setChecked(chart_->AxisAutomatic(side));
  minEdit_->setEnabled(!chart_->AxisAutomatic(side));
  maxEdit_->setEnabled(!chart_->AxisAutomatic(side));
  minEdit_->setText(NumberText(chart_->AxisMin(side)));
  maxEdit_->setText(NumberText(chart_->AxisMax(side)));
  logarithmic_->setChecked(chart_->AxisLogarithmic(side));
  grid_->setChecked(chart_->AxisGrid(side));
  loading_ = false;
}

void TChartEditor::ApplyRange() {
  if (loading_ || automatic_->isChecked()) return;
  double lo = 0, hi = 0;
  if (!ParseNumber(minEdit_->text(), lo) || !ParseNumber(maxEdit_->text(), hi) || lo == hi) {
    LoadAxis();  // show what is in force again
    return;
  }
  chart_->SetAxisRange(CurrentAxis(), lo, hi);
  Refresh();
}

void TChartEditor::PickColor() {
  const int index = CurrentSeries();
  if (index < 0) return;
  QColor color = QColorDialog::getColor(chart_->SeriesColor(index), this, tr("Series colour"));
  if (color.isValid()) ApplyColor(color);
}

void TChartEditor::ApplyColor(QColor color) {
  const int index = CurrentSeries();
  if (index < 0) return;
  chart_->SetSeriesColor(index, color);
  SetSwatch(colorButton_, color);
  Refresh();
}
