// The chart editor's pages for the titles, the legend and one axis.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cmath>

#include "charting/ui/ChartEditor.h"

namespace {

// Numbers typed by the user: "." or "," as decimal point, exponents allowed.
bool ParseNumber(QString text, double& value) {
  text = text.trimmed().replace(',', '.');
  bool ok = false;
  value = QLocale::c().toDouble(text, &ok);
  return ok && std::isfinite(value);
}

QString NumberText(double value) { return QLocale::c().toString(value, 'g', 10); }

constexpr int kHidden = -1;

struct PlaceName {
  int place;
  const char* name;
};

const PlaceName kPlaces[] = {{static_cast<int>(LegendPosition::Inside), "Inside the plot, top right"},
                             {static_cast<int>(LegendPosition::Right), "Right of the plot"},
                             {static_cast<int>(LegendPosition::Left), "Left of the plot"},
                             {static_cast<int>(LegendPosition::Top), "Above the plot"},
                             {static_cast<int>(LegendPosition::Bottom), "Below the plot"},
                             {kHidden, "Hidden"}};

}  // namespace

QWidget* TChartEditor::BuildTitlesPage() {
  auto* page = new QWidget;
  title_ = new QLineEdit(chart_->Title(), page);
  title_->setPlaceholderText(tr("(no title)"));
  connect(title_, &QLineEdit::textEdited, this, [this](const QString& text) {
    chart_->SetTitle(text, QColor());  // keeps the title's colour
    Refresh();
  });
  // One form, so the chart's title and the axes' line up.
  axisTitles_ = new QFormLayout(page);
  axisTitles_->setContentsMargins(0, 4, 0, 0);
  axisTitles_->addRow(tr("Chart title"), title_);
  auto* axes = new QLabel(tr("Axis titles"), page);
  QFont bold = axes->font();
  bold.setBold(true);
  axes->setFont(bold);
  axes->setContentsMargins(0, 10, 0, 0);
  axisTitles_->addRow(axes);
  for (AxisSide side : {AxisSide::Left, AxisSide::Right, AxisSide::Bottom, AxisSide::Top}) {
    if (!chart_->AxisVisible(side)) continue;
    auto* edit = new QLineEdit(chart_->AxisTitle(side), page);
    edit->setObjectName(QString("AxisTitle%1").arg(static_cast<int>(side)));
    connect(edit, &QLineEdit::textEdited, this, [this, side](const QString& text) {
      chart_->SetAxisTitle(side, text, QColor());  // keeps the title's colour
      Refresh();
    });
    axisTitles_->addRow(AxisName(side), edit);
  }
  return page;
}

void TChartEditor::LoadTitles() {
  title_->setText(chart_->Title());
  for (int row = 0; row < axisTitles_->rowCount(); ++row) {
    QLayoutItem* field = axisTitles_->itemAt(row, QFormLayout::FieldRole);
    auto* edit = field ? qobject_cast<QLineEdit*>(field->widget()) : nullptr;
    if (!edit || !edit->objectName().startsWith("AxisTitle")) continue;
    const auto side = static_cast<AxisSide>(edit->objectName().mid(9).toInt());
    edit->setText(chart_->AxisTitle(side));
  }
}

QWidget* TChartEditor::BuildLegendPage() {
  auto* page = new QWidget;
  legendPlace_ = new QComboBox(page);
  for (const PlaceName& p : kPlaces) legendPlace_->addItem(tr(p.name), p.place);
  connect(legendPlace_, &QComboBox::currentIndexChanged, this, [this] {
    if (loading_) return;
    const int place = legendPlace_->currentData().toInt();
    if (place == kHidden) {
      chart_->SetLegendVisible(false);
    } else {
      chart_->SetLegendAt(static_cast<LegendPosition>(place));
      chart_->SetLegendVisible(true);
    }
    legendTitle_->setEnabled(place != kHidden);
    Refresh();
  });
  legendTitle_ = new QLineEdit(page);
  legendTitle_->setPlaceholderText(tr("(no heading)"));
  connect(legendTitle_, &QLineEdit::textEdited, this, [this](const QString& text) {
    chart_->SetLegendTitle(text);
    Refresh();
  });
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 4, 0, 0);
  form->addRow(tr("Place"), legendPlace_);
  form->addRow(tr("Heading"), legendTitle_);
  auto* note = new QLabel(tr("The legend lists the series in their drawing order; the order is set on the "
                             "Series page."),
                          page);
  note->setWordWrap(true);
  form->addRow(note);
  return page;
}

void TChartEditor::LoadLegend() {
  const bool was = loading_;
  loading_ = true;
  const int place = chart_->LegendVisible() ? static_cast<int>(chart_->LegendAt()) : kHidden;
  legendPlace_->setCurrentIndex(legendPlace_->findData(place));
  legendTitle_->setText(chart_->LegendTitle());
  legendTitle_->setEnabled(place != kHidden);
  loading_ = was;
}

QWidget* TChartEditor::BuildAxisPage() {
  auto* page = new QWidget;
  axisTitle_ = new QLineEdit(page);
  connect(axisTitle_, &QLineEdit::textEdited, this, [this](const QString& text) {
    chart_->SetAxisTitle(currentAxis_, text, QColor());  // keeps the title's colour
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
      chart_->SetAxisAutomatic(currentAxis_, true);
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
    chart_->SetAxisLogarithmic(currentAxis_, on);
    Refresh();
  });
  grid_ = new QCheckBox(tr("Grid lines"), page);
  connect(grid_, &QCheckBox::toggled, this, [this](bool on) {
    if (loading_) return;
    chart_->SetAxisGrid(currentAxis_, on);
    Refresh();
  });
  auto* form = new QFormLayout(page);
  form->setContentsMargins(0, 4, 0, 0);
  form->addRow(tr("Title"), axisTitle_);
  form->addRow(QString(), automatic_);
  form->addRow(tr("Minimum"), minEdit_);
  form->addRow(tr("Maximum"), maxEdit_);
  form->addRow(QString(), logarithmic_);
  form->addRow(QString(), grid_);
  return page;
}

void TChartEditor::LoadAxis() {
  const AxisSide side = currentAxis_;
  const bool was = loading_;
  loading_ = true;
  axisTitle_->setText(chart_->AxisTitle(side));
  automatic_->setChecked(chart_->AxisAutomatic(side));
  minEdit_->setEnabled(!chart_->AxisAutomatic(side));
  maxEdit_->setEnabled(!chart_->AxisAutomatic(side));
  minEdit_->setText(NumberText(chart_->AxisMin(side)));
  maxEdit_->setText(NumberText(chart_->AxisMax(side)));
  logarithmic_->setChecked(chart_->AxisLogarithmic(side));
  grid_->setChecked(chart_->AxisGrid(side));
  loading_ = was;
}

void TChartEditor::ApplyRange() {
  if (loading_ || automatic_->isChecked()) return;
  double lo = 0, hi = 0;
  if (!ParseNumber(minEdit_->text(), lo) || !ParseNumber(maxEdit_->text(), hi) || lo == hi) {
    LoadAxis();  // show what is in force again
    return;
  }
  chart_->SetAxisRange(currentAxis_, lo, hi);
  Refresh();
}
