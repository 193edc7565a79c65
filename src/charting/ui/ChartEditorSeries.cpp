// The chart editor's series pages: the list with its operations, and one series'
// look and data source.
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "charting/ui/ChartEditor.h"

namespace {

struct StyleName {
  PointStyle style;
  const char* name;
};

const StyleName kStyles[] = {{PointStyle::None, "None"},         {PointStyle::Circle, "Circle"},
                             {PointStyle::Square, "Square"},     {PointStyle::Diamond, "Diamond"},
                             {PointStyle::Triangle, "Triangle"}, {PointStyle::Cross, "Cross"},
                             {PointStyle::Plus, "Plus"},         {PointStyle::Star, "Star"}};

// The window a new moving average starts with: ten minutes of PPS TI.
constexpr int kDefaultWindow = 60;

void SetSwatch(QPushButton* button, QColor color) {
  QPixmap swatch(28, 14);
  swatch.fill(color);
  button->setIcon(QIcon(swatch));
  button->setIconSize(swatch.size());
  button->setText(color.name());
}

QIcon ListSwatch(QColor color) {
  QPixmap pixmap(14, 10);
  pixmap.fill(color);
  return QIcon(pixmap);
}

QLabel* NoteLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setWordWrap(true);
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, p.color(QPalette::Disabled, QPalette::WindowText).darker(130));
  label->setPalette(p);
  return label;
}

}  // namespace

QWidget* TChartEditor::BuildSeriesListPage() {
  auto* page = new QWidget;
  seriesList_ = new QListWidget(page);
  seriesList_->setIconSize(QSize(14, 10));
  connect(seriesList_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (loading_) return;
    chart_->SetSeriesVisible(seriesList_->row(item), item->checkState() == Qt::Checked);
    Refresh();
  });
  connect(seriesList_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (loading_) return;
    currentSeries_ = row;
    UpdateSeriesButtons();
    LoadSeries();
  });
  connect(seriesList_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { SelectSeries(seriesList_->row(item)); });

  addButton_ = new QToolButton(page);
  addButton_->setText(tr("Add"));
  addButton_->setPopupMode(QToolButton::InstantPopup);
  addButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  addButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  auto* menu = new QMenu(addButton_);
  connect(menu->addAction(tr("Copy of its points")), &QAction::triggered, this,
          [this] { AddSeries(SeriesSourceKind::Copy); });
  connect(menu->addAction(tr("Moving average")), &QAction::triggered, this,
          [this] { AddSeries(SeriesSourceKind::MovingAverage); });
  connect(menu->addAction(tr("Least-squares line")), &QAction::triggered, this,
          [this] { AddSeries(SeriesSourceKind::LeastSquares); });
  addButton_->setMenu(menu);
  cloneButton_ = new QPushButton(tr("Clone"), page);
  connect(cloneButton_, &QPushButton::clicked, this, [this] { CloneCurrent(); });
  deleteButton_ = new QPushButton(tr("Delete"), page);
  connect(deleteButton_, &QPushButton::clicked, this, [this] { DeleteCurrent(); });
  upButton_ = new QPushButton(tr("Move up"), page);
  connect(upButton_, &QPushButton::clicked, this, [this] { MoveCurrent(-1); });
  downButton_ = new QPushButton(tr("Move down"), page);
  connect(downButton_, &QPushButton::clicked, this, [this] { MoveCurrent(+1); });

  auto* buttons = new QVBoxLayout;
  for (QWidget* b :
       {static_cast<QWidget*>(addButton_), static_cast<QWidget*>(cloneButton_), static_cast<QWidget*>(deleteButton_)})
    buttons->addWidget(b);
  buttons->addSpacing(12);
  buttons->addWidget(upButton_);
  buttons->addWidget(downButton_);
  buttons->addStretch(1);

  auto* row = new QHBoxLayout;
  row->addWidget(seriesList_, 1);
  row->addLayout(buttons);
  seriesNote_ = NoteLabel(page);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->addLayout(row, 1);
  layout->addWidget(seriesNote_);
  if (chart_->HasErrorBars()) {
    errorBars_ = new QCheckBox(tr("Show error bars (68 % confidence interval)"), page);
    errorBars_->setChecked(chart_->ErrorBarsShown());
    connect(errorBars_, &QCheckBox::toggled, this, [this](bool on) {
      chart_->SetErrorBarsShown(on);
      Refresh();
    });
    layout->addWidget(errorBars_);
  }
  return page;
}

QWidget* TChartEditor::BuildSeriesPage() {
  auto* page = new QWidget;
  auto* look = new QGroupBox(tr("Appearance"), page);
  seriesTitle_ = new QLineEdit(look);
  connect(seriesTitle_, &QLineEdit::textEdited, this, [this](const QString& text) {
    const int index = CurrentSeries();
    if (index < 0) return;
    chart_->SetSeriesTitle(index, text);
    // Only the labels change; the tree keeps its selection and the field its cursor.
    if (QTreeWidgetItem* item = tree_->currentItem()) item->setText(0, text);
    if (QListWidgetItem* item = seriesList_->item(index)) item->setText(text);
    pageTitle_->setText(tr("Series: %1").arg(text));
    Refresh();
  });
  seriesShown_ = new QCheckBox(tr("Shown"), look);
  connect(seriesShown_, &QCheckBox::toggled, this, [this](bool on) {
    if (loading_ || CurrentSeries() < 0) return;
    chart_->SetSeriesVisible(CurrentSeries(), on);
    Refresh();
  });
  colorButton_ = new QPushButton(look);
  connect(colorButton_, &QPushButton::clicked, this, &TChartEditor::PickColor);
  lineWidth_ = new QDoubleSpinBox(look);
  lineWidth_->setRange(0.5, 8.0);
  lineWidth_->setSingleStep(0.5);
  lineWidth_->setDecimals(1);
  connect(lineWidth_, &QDoubleSpinBox::valueChanged, this, [this](double width) {
    if (loading_ || CurrentSeries() < 0) return;
    chart_->SetSeriesLineWidth(CurrentSeries(), width);
    Refresh();
  });
  line_ = new QCheckBox(tr("Join points with a line"), look);
  connect(line_, &QCheckBox::toggled, this, [this](bool on) {
    if (loading_ || CurrentSeries() < 0) return;
    chart_->SetSeriesLine(CurrentSeries(), on);
    Refresh();
  });
  pointStyle_ = new QComboBox(look);
  for (const StyleName& s : kStyles) pointStyle_->addItem(tr(s.name), static_cast<int>(s.style));
  connect(pointStyle_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (loading_ || CurrentSeries() < 0 || index < 0) return;
    chart_->SetSeriesPointStyle(CurrentSeries(), static_cast<PointStyle>(pointStyle_->itemData(index).toInt()));
    Refresh();
  });
  auto* lookForm = new QFormLayout(look);
  lookForm->addRow(tr("Name"), seriesTitle_);
  lookForm->addRow(QString(), seriesShown_);
  auto* styleRow = new QHBoxLayout;
  styleRow->addWidget(colorButton_);
  styleRow->addSpacing(8);
  styleRow->addWidget(new QLabel(tr("Width"), look));
  styleRow->addWidget(lineWidth_);
  styleRow->addStretch(1);
  lookForm->addRow(tr("Colour"), styleRow);
  lookForm->addRow(QString(), line_);
  lookForm->addRow(tr("Point symbol"), pointStyle_);

  auto* data = new QGroupBox(tr("Data source"), page);
  sourceNote_ = NoteLabel(data);
  sourceFields_ = new QWidget(data);
  sourceKind_ = new QComboBox(sourceFields_);
  sourceKind_->addItem(tr("Copy of the points as they stand"), static_cast<int>(SeriesSourceKind::Copy));
  sourceKind_->addItem(tr("Moving average"), static_cast<int>(SeriesSourceKind::MovingAverage));
  sourceKind_->addItem(tr("Least-squares line"), static_cast<int>(SeriesSourceKind::LeastSquares));
  sourceSeries_ = new QComboBox(sourceFields_);
  window_ = new QSpinBox(sourceFields_);
  // The value counts once the field is left or Enter is pressed: a recomputation per digit helps nobody.
  window_->setKeyboardTracking(false);
  window_->setSuffix(tr(" points"));
  connect(sourceKind_, &QComboBox::currentIndexChanged, this, [this] { ApplySource(); });
  connect(sourceSeries_, &QComboBox::currentIndexChanged, this, [this] { ApplySource(); });
  connect(window_, &QSpinBox::valueChanged, this, [this] { ApplySource(); });
  auto* sourceForm = new QFormLayout(sourceFields_);
  sourceForm->setContentsMargins(0, 0, 0, 0);
  sourceForm->addRow(tr("Made as"), sourceKind_);
  sourceForm->addRow(tr("From"), sourceSeries_);
  sourceForm->addRow(tr("Average over"), window_);
  auto* dataLayout = new QVBoxLayout(data);
  dataLayout->addWidget(sourceFields_);
  dataLayout->addWidget(sourceNote_);

  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->addWidget(look);
  layout->addWidget(data);
  layout->addStretch(1);
  return page;
}

int TChartEditor::CurrentSeries() const {
  return currentSeries_ >= 0 && currentSeries_ < chart_->SeriesCount() ? currentSeries_ : -1;
}

void TChartEditor::SetCurrentSeries(int index) {
  currentSeries_ = index;
  const bool was = loading_;
  loading_ = true;
  seriesList_->setCurrentRow(CurrentSeries());
  loading_ = was;
  UpdateSeriesButtons();
}

void TChartEditor::RefreshSeriesList() {
  if (currentSeries_ >= chart_->SeriesCount()) currentSeries_ = chart_->SeriesCount() - 1;
  const bool was = loading_;
  loading_ = true;
  seriesList_->clear();
  for (int i = 0; i < chart_->SeriesCount(); ++i) {
    const QString title = chart_->SeriesTitle(i);
    auto* item = new QListWidgetItem(title.isEmpty() ? tr("Series %1").arg(i + 1) : title, seriesList_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(chart_->SeriesVisible(i) ? Qt::Checked : Qt::Unchecked);
    item->setIcon(ListSwatch(chart_->SeriesColor(i)));
    item->setToolTip(chart_->SeriesIsProgram(i) ? tr("Fed by the program") : tr("Added in the editor"));
    if (!chart_->SeriesIsProgram(i)) {
      QFont f = item->font();
      f.setItalic(true);
      item->setFont(f);
    }
  }
  seriesList_->setCurrentRow(CurrentSeries());
  loading_ = was;
  UpdateSeriesButtons();
}

void TChartEditor::UpdateSeriesButtons() {
  const int index = CurrentSeries();
  const bool any = index >= 0;
  const bool adds = chart_->CanAddSeries() && any && chart_->Roster().Points(index) != nullptr;
  addButton_->setEnabled(adds);
  cloneButton_->setEnabled(adds);
  deleteButton_->setEnabled(any && chart_->Roster().CanDelete(index));
  upButton_->setEnabled(any && index > 0);
  downButton_->setEnabled(any && index + 1 < chart_->SeriesCount());
  QString note;
  if (!chart_->CanAddSeries())
    note = tr("This chart shows the program's own series; they can be restyled and hidden.");
  else if (any && chart_->SeriesIsProgram(index))
    note =
        tr("“%1” is fed by the program: it can be restyled and hidden, not deleted.").arg(chart_->SeriesTitle(index));
  else if (any)
    note = tr("“%1” was added here: it can be changed and deleted.").arg(chart_->SeriesTitle(index));
  seriesNote_->setText(note);
}

int TChartEditor::AddSeries(SeriesSourceKind kind) {
  const int index = CurrentSeries();
  if (index < 0 || !chart_->CanAddSeries()) return -1;
  const ChartSeries* points = chart_->Roster().Points(index);
  if (!points) return -1;
  SeriesSource source{kind, chart_->SeriesId(index), 0};
  if (kind == SeriesSourceKind::MovingAverage) {
    if (points->Empty()) {
      seriesNote_->setText(tr("“%1” has no points yet to average.").arg(chart_->SeriesTitle(index)));
      return -1;
    }
    source.window = std::min<int>(kDefaultWindow, static_cast<int>(points->Count()));
  }
  const int added = chart_->AddUserSeries(source);
  if (added < 0) return -1;
  Refresh();
  SelectSeries(added);
  return added;
}

int TChartEditor::CloneCurrent() {
  const int index = CurrentSeries();
  if (index < 0) return -1;
  const int clone = chart_->CloneSeries(index);
  if (clone < 0) return -1;
  Refresh();
  SelectSeries(clone);
  return clone;
}

bool TChartEditor::DeleteCurrent() {
  const int index = CurrentSeries();
  if (index < 0 || !chart_->Roster().CanDelete(index)) return false;
  // The series after it takes its place in the selection.
  currentSeries_ = std::min(index, chart_->SeriesCount() - 2);
  if (!chart_->DeleteSeries(index)) {
    currentSeries_ = index;
    return false;
  }
  Refresh();
  return true;
}

bool TChartEditor::MoveCurrent(int step) {
  const int index = CurrentSeries();
  const int to = index + step;
  if (index < 0 || to < 0 || to >= chart_->SeriesCount()) return false;
  currentSeries_ = to;  // the selection goes with the series
  if (!chart_->MoveSeries(index, to)) {
    currentSeries_ = index;
    return false;
  }
  Refresh();
  return true;
}

void TChartEditor::LoadSeries() {
  const int index = CurrentSeries();
  const bool any = index >= 0;
  for (QWidget* w :
       {static_cast<QWidget*>(seriesTitle_), static_cast<QWidget*>(seriesShown_), static_cast<QWidget*>(colorButton_),
        static_cast<QWidget*>(lineWidth_), static_cast<QWidget*>(line_), static_cast<QWidget*>(pointStyle_)})
    w->setEnabled(any);
  if (!any) return;
  const bool was = loading_;
  loading_ = true;
  seriesTitle_->setText(chart_->SeriesTitle(index));
  seriesShown_->setChecked(chart_->SeriesVisible(index));
  SetSwatch(colorButton_, chart_->SeriesColor(index));
  lineWidth_->setValue(chart_->SeriesLineWidth(index));
  line_->setChecked(chart_->SeriesLine(index));
  pointStyle_->setCurrentIndex(pointStyle_->findData(static_cast<int>(chart_->SeriesPointStyle(index))));
  loading_ = was;
  LoadSource();
}

void TChartEditor::LoadSource() {
  const int index = CurrentSeries();
  if (index < 0) return;
  const SeriesRoster& roster = chart_->Roster();
  const SeriesSource& source = roster.Source(index);
  if (source.kind == SeriesSourceKind::Program) {
    sourceFields_->setVisible(false);
    sourceNote_->setText(
        tr("Fed by the program, which keeps adding its points. It can be restyled and "
           "hidden, not deleted or given another source."));
    return;
  }
  const bool was = loading_;
  loading_ = true;
  sourceFields_->setVisible(true);
  sourceKind_->setCurrentIndex(sourceKind_->findData(static_cast<int>(source.kind)));
  sourceSeries_->clear();
  for (int i : roster.SourceCandidates(index)) sourceSeries_->addItem(chart_->SeriesTitle(i), roster.Id(i));
  if (source.sourceId < 0) sourceSeries_->addItem(tr("(deleted)"), -1);
  sourceSeries_->setCurrentIndex(sourceSeries_->findData(source.sourceId));
  const int from = roster.IndexOf(source.sourceId);
  const std::size_t count = from >= 0 && roster.Points(from) ? roster.Points(from)->Count() : 0;
  // The field takes 1 to as many points as the source has, and nothing else.
  window_->setRange(1, std::max<int>(1, static_cast<int>(count)));
  window_->setValue(std::max(1, source.window));
  const bool average = source.kind == SeriesSourceKind::MovingAverage;
  window_->setEnabled(average);
  window_->setToolTip(tr("1 to %1 points: as many as the source has").arg(count));
  loading_ = was;
  switch (source.kind) {
    case SeriesSourceKind::Copy:
      sourceNote_->setText(source.sourceId < 0
                               ? tr("Its source was deleted; it keeps the points it had.")
                               : tr("The points as they stood when copied; choosing a source again copies anew."));
      break;
    case SeriesSourceKind::MovingAverage:
      sourceNote_->setText(tr("Mean of the last %1 points of each unbroken stretch of the source (1 to %2); "
                              "it follows the source as points arrive.")
                               .arg(source.window)
                               .arg(count));
      break;
    case SeriesSourceKind::LeastSquares:
      sourceNote_->setText(
          tr("The straight line fitted to every point of the source, drawn over each unbroken "
             "stretch; it follows the source as points arrive."));
      break;
    case SeriesSourceKind::Program:
      break;
  }
}

void TChartEditor::ApplySource() {
  const int index = CurrentSeries();
  if (loading_ || index < 0 || chart_->SeriesIsProgram(index)) return;
  const SeriesRoster& roster = chart_->Roster();
  const SeriesSource before = roster.Source(index);
  SeriesSource source;
  source.kind = static_cast<SeriesSourceKind>(sourceKind_->currentData().toInt());
  source.sourceId = sourceSeries_->currentData().toInt();
  const int from = roster.IndexOf(source.sourceId);
  const int count = from >= 0 && roster.Points(from) ? static_cast<int>(roster.Points(from)->Count()) : 0;
  if (source.kind == SeriesSourceKind::MovingAverage)
    source.window = before.kind == SeriesSourceKind::MovingAverage ? window_->value() : std::min(kDefaultWindow, count);
  if (source == before) return;
  const std::string problem = roster.SourceProblem(index, source);
  if (!problem.empty()) {
    LoadSource();
    sourceNote_->setText(QString::fromStdString(problem));
    return;
  }
  // A name the editor gave follows the new source; one the user typed stays.
  const int oldFrom = roster.IndexOf(before.sourceId);
  const QString oldDefault =
      oldFrom >= 0 ? QString::fromStdString(AddedSeriesTitle(before, chart_->SeriesTitle(oldFrom).toStdString()))
                   : QString();
  const bool renames = !oldDefault.isEmpty() && chart_->SeriesTitle(index) == oldDefault;
  chart_->SetSeriesSource(index, source);
  if (renames) {
    const QString title = QString::fromStdString(AddedSeriesTitle(source, chart_->SeriesTitle(from).toStdString()));
    chart_->SetSeriesTitle(index, title);
    if (QTreeWidgetItem* item = tree_->currentItem()) item->setText(0, title);
    if (QListWidgetItem* item = seriesList_->item(index)) item->setText(title);
    pageTitle_->setText(tr("Series: %1").arg(title));
    const bool was = loading_;
    loading_ = true;
    seriesTitle_->setText(title);
    loading_ = was;
  }
  Refresh();
  LoadSource();
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
  if (QListWidgetItem* item = seriesList_->item(index)) item->setIcon(ListSwatch(color));
  Refresh();
}
