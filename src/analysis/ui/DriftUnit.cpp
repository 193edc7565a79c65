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
constexpr const char* kMinimumCaption = "Minimum EFC value in displayed time interval";
constexpr const char* kMaximumCaption = "Maximum EFC value in displayed time interval";
constexpr const char* kOffsetCaption = "resembling a relative frequency offset of";
constexpr const char* kDriftCaption = "per day resembling a relative OCXO drift of ";
constexpr const char* kQofCaption = "per day  QOF";
constexpr int kSpacing = 5;
constexpr int kMargin = 8;

QLabel* Caption(const char* text, QWidget* parent, Qt::Alignment side = Qt::AlignLeft) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setAlignment(side | Qt::AlignVCenter);
  return label;
}
}  // namespace

TDriftForm::TDriftForm(VarnexContext& context, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      context_(context) {
  setObjectName("DriftForm");
  setWindowTitle("Varnex EFC Statistics");
  for (int i = 0; i < 7; ++i) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString("Edit%1").arg(i + 1));
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    edit->setAlignment(Qt::AlignRight);
    edits_[i] = edit;
  }
  setStyleSheet(
      "QLineEdit { background: #f7f8fa; border: 1px solid #c6cad2; border-radius: 2px; padding: 1px 3px; "
      "color: #1d2330; }");
  // The first two rows share their columns; the third has its own, with its last
  // field ending where the rows above end.
  auto* rows = new QGridLayout;
  rows->setHorizontalSpacing(kSpacing);
  rows->setVerticalSpacing(4);
  rows->addWidget(Caption(kMinimumCaption, this), 0, 0);
  rows->addWidget(edits_[0], 0, 1);
  rows->addWidget(Caption(kOffsetCaption, this, Qt::AlignRight), 0, 2);
  rows->addWidget(edits_[2], 0, 3);
  rows->addWidget(Caption(kMaximumCaption, this), 1, 0);
  rows->addWidget(edits_[1], 1, 1);
  rows->addWidget(Caption(kOffsetCaption, this, Qt::AlignRight), 1, 2);
  rows->addWidget(edits_[3], 1, 3);
  rows->setColumnStretch(2, 1);

  auto* slope = new QHBoxLayout;
  slope->setSpacing(kSpacing);
  slope->addWidget(Caption("EFC Slope", this));
  slope->addWidget(edits_[4]);
  slope->addWidget(Caption(kDriftCaption, this));
  slope->addWidget(edits_[5]);
  slope->addWidget(Caption(kQofCaption, this));
  slope->addStretch(1);
  slope->addWidget(edits_[6]);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kMargin, 7, kMargin, 7);
  layout->setSpacing(4);
  layout->addLayout(rows);
  layout->addLayout(slope);

  // The rows must fit the fixed 620 pixels: a narrow face, a size smaller if need be.
  QFont face = font();
  face.setFamilies({"DejaVu Sans Condensed", "Liberation Sans Narrow", "Arial Narrow", face.family()});
  for (double points : {8.5, 8.0, 7.5, 7.0}) {
    face.setPointSizeF(points);
    const QFontMetrics metrics(face);
    const int field = metrics.horizontalAdvance("-8.888E-88") + 14;
    // The widest text of the general format: a sign, "0.0000" and fifteen digits.
    const int qofField = metrics.horizontalAdvance("-0.0000888888888888888") + 14;
    auto text = [&metrics](const char* t) { return metrics.horizontalAdvance(QString::fromLatin1(t)) + 2; };
    const int top = text(kMinimumCaption) + text(kOffsetCaption) + 2 * field + 3 * kSpacing;
    const int third = text("EFC Slope") + text(kDriftCaption) + text(kQofCaption) + 2 * field + qofField + 5 * kSpacing;
    for (int i = 0; i < 7; ++i) edits_[i]->setFixedWidth(i == 6 ? qofField : field);
    if (std::max(top, third) + 2 * kMargin <= 620) break;
  }
  // Set on each control: a style sheet stops the window's font from reaching them.
  setFont(face);
  for (QWidget* child : findChildren<QWidget*>()) child->setFont(face);

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
