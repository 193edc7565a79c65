#include "analysis/ui/DriftUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include "analysis/DriftStatistics.h"
#include "app/ui/VarnexContext.h"
#include "charting/ui/TimeChart.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"

namespace {
QLabel* Caption(const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}
}  // namespace

TDriftForm::TDriftForm(VarnexContext& context, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      context_(context) {
  setObjectName("DriftForm");
  setWindowTitle("Varnex EFC Statistics");
  QFont small = font();
  small.setPointSizeF(8);
  setFont(small);

  for (int i = 0; i < 7; ++i) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString("Edit%1").arg(i + 1));
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(i == 6 ? 104 : 70);
    edits_[i] = edit;
  }
  setStyleSheet(
      "QLineEdit { background: #f7f8fa; border: 1px solid #c6cad2; border-radius: 2px; padding: 1px 3px; "
      "color: #1d2330; }");

  // The first two rows share their columns; the third has its own, with its last
  // field ending where the rows above end.
  auto* rows = new QGridLayout;
  rows->setHorizontalSpacing(5);
  rows->setVerticalSpacing(4);
  rows->addWidget(Caption("Minimum EFC value in displayed time interval", this), 0, 0);
  rows->addWidget(edits_[0], 0, 1);
  rows->addWidget(Caption("resembling a relative frequency offset of", this), 0, 2);
  rows->addWidget(edits_[2], 0, 3);
  rows->addWidget(Caption("Maximum EFC value in displayed time interval", this), 1, 0);
  rows->addWidget(edits_[1], 1, 1);
  rows->addWidget(Caption("resembling a relative frequency offset of", this), 1, 2);
  rows->addWidget(edits_[3], 1, 3);
  rows->setColumnStretch(2, 1);

  auto* slope = new QHBoxLayout;
  slope->setSpacing(5);
  slope->addWidget(Caption("EFC Slope", this));
  slope->addWidget(edits_[4]);
  slope->addWidget(Caption("per day resembling a relative OCXO drift of ", this));
  slope->addWidget(edits_[5]);
  slope->addWidget(Caption("per day  QOF", this));
  slope->addStretch(1);
  slope->addWidget(edits_[6]);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 7, 8, 7);
  layout->setSpacing(4);
  layout->addLayout(rows);
  layout->addLayout(slope);

  const QWidget* main = context_.MainForm;
  PlaceWindow(*this, {QSize(620, 85), DesignSize::Client, main, true});
}

void TDriftForm::SetSource(TTimeChart* chart, const ChartSeries* efc) {
  chart_ = chart;
  efc_ = efc;
}

TTimeChart* TDriftForm::Chart() const {
  if (chart_) return chart_;
  return context_.MainForm ? context_.MainForm->Chart1() : nullptr;
}

const ChartSeries* TDriftForm::Efc() const {
  if (efc_) return efc_;
  return context_.MainForm ? &context_.MainForm->Series2 : nullptr;
}

void TDriftForm::OCXODift1Click() {
  if (isVisible()) {
    raise();
    activateWindow();
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  busyCursor_ = true;
  QApplication::processEvents();
  show();
  raise();
  activateWindow();
  if (busyCursor_) {  // shown without running FormShow (it was shown meanwhile)
    busyCursor_ = false;
    QApplication::restoreOverrideCursor();
  }
}

void TDriftForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TDriftForm::FormShow() {
  try {
    edits_[0]->clear();
    edits_[1]->clear();
    QApplication::processEvents();
    TTimeChart* chart = Chart();
    const ChartSeries* efc = Efc();
    if (chart && efc) {
      const double scale = EfcScale(context_.Settings.EfcMantissa, context_.Settings.EfcExponent);
      const DriftResult r = ComputeDrift(*efc, chart->AxisMin(AxisSide::Bottom), chart->AxisMax(AxisSide::Bottom),
                                         scale, QLocale().decimalPoint().toStdString(), CurveFit);
      if (r.Fitted) {
        for (int i = 0; i < 7; ++i) edits_[i]->setText(QString::fromStdString(r.Fields[static_cast<std::size_t>(i)]));
        chart->AddFitLine(FitLineTitle, AxisSide::Right, Qt::black, r.LineX0, r.LineY0, r.LineX1, r.LineY1);
        chart->SetLegendVisible(true);
        chart->Replot();
      }
    }
  } catch (...) {
    // The rest is skipped; what was filled stays.
  }
  if (busyCursor_) {
    busyCursor_ = false;
    QApplication::restoreOverrideCursor();
  }
}

void TDriftForm::closeEvent(QCloseEvent* event) {
  FormClose();
  QWidget::closeEvent(event);
}

void TDriftForm::FormClose() {
  TTimeChart* chart = Chart();
  if (!chart) return;
  chart->RemoveSeriesTitled(FitLineTitle);
  chart->SetLegendVisible(false);
  chart->Replot();
}
