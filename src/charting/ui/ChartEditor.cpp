#include "charting/ui/ChartEditor.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "charting/ui/SaveImageDialog.h"

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

QIcon Swatch(QColor color, bool shown) {
  QPixmap pixmap(14, 10);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  QColor fill = color;
  if (!shown) fill.setAlpha(70);
  painter.setPen(QPen(fill.darker(130), 1));
  painter.setBrush(fill);
  painter.drawRect(QRectF(0.5, 0.5, 13, 9));
  return QIcon(pixmap);
}

}  // namespace

TChartEditor::TChartEditor(TChartBase* chart, QWidget* parent, const QString& caption)
    : QDialog(parent), chart_(chart) {
  setWindowTitle(caption.isEmpty() ? tr("Chart Editor") : caption);

  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setIndentation(14);
  tree_->setUniformRowHeights(true);
  tree_->setMinimumWidth(220);
  tree_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { NodeSelected(); });

  pageTitle_ = new QLabel(this);
  QFont headFont = pageTitle_->font();
  headFont.setBold(true);
  headFont.setPointSizeF(headFont.pointSizeF() + 1.5);
  pageTitle_->setFont(headFont);
  pageTitle_->setContentsMargins(2, 0, 0, 4);

  pages_ = new QStackedWidget(this);
  pages_->insertWidget(SeriesListPage, BuildSeriesListPage());
  pages_->insertWidget(TitlesPage, BuildTitlesPage());
  pages_->insertWidget(LegendPage, BuildLegendPage());
  pages_->insertWidget(AxisPage, BuildAxisPage());
  pages_->insertWidget(SeriesPage, BuildSeriesPage());

  auto* right = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(10, 2, 2, 0);
  rightLayout->addWidget(pageTitle_);
  auto* rule = new QFrame(right);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  rightLayout->addWidget(rule);
  rightLayout->addWidget(pages_, 1);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(tree_);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setChildrenCollapsible(false);
  splitter->setSizes({230, 480});

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  helpButton_ = buttons->addButton(QDialogButtonBox::Help);
  connect(helpButton_, &QPushButton::clicked, this, &TChartEditor::ShowHelp);
  saveImage_ = buttons->addButton(tr("Save image…"), QDialogButtonBox::ActionRole);
  connect(saveImage_, &QPushButton::clicked, this, [this] { TSaveImageDialog::Run(chart_->Plot(), this); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addWidget(buttons);
  resize(740, 440);

  // The chart may change under the editor: a stability run starts over, a fit
  // line comes and goes, the legend's check boxes switch series.
  connect(chart_, &TChartBase::SeriesListChanged, this, [this] {
    RefreshSeriesList();
    RebuildTree();
  });
  connect(chart_, &TChartBase::SeriesVisibilityChanged, this, [this] {
    RefreshSeriesList();
    RebuildTree();
    if (CurrentNode() == EditorNodeKind::Series) LoadSeries();
  });

  RefreshSeriesList();
  RebuildTree();
  tree_->expandAll();
  if (chart_->SeriesCount() > 0) SetCurrentSeries(0);
  SelectNode(EditorNodeKind::Chart);
  LoadTitles();
  LoadLegend();
}

void TChartEditor::Edit(TChartBase* chart, QWidget* parent, const QString& caption) {
  TChartEditor editor(chart, parent, caption);
  // A stability run shows the busy cursor; the editor is for pointing at things.
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  editor.exec();
  if (busy) QApplication::restoreOverrideCursor();
}

void TChartEditor::Refresh() { chart_->Replot(); }

QString TChartEditor::AxisName(AxisSide side) {
  switch (side) {
    case AxisSide::Left:
      return tr("Left axis");
    case AxisSide::Right:
      return tr("Right axis");
    case AxisSide::Bottom:
      return tr("Bottom axis");
    case AxisSide::Top:
      return tr("Top axis");
  }
  return {};
}

void TChartEditor::RebuildTree() {
  // What was selected, to select it again.
  EditorNodeKind kind = EditorNodeKind::Chart;
  int key = -1;
  if (QTreeWidgetItem* item = tree_->currentItem()) {
    const EditorNode& node = nodes_[static_cast<std::size_t>(item->data(0, kNodeRole).toInt())];
    kind = node.kind;
    if (kind == EditorNodeKind::Axis) key = node.axis;
  }
  const int selectedId = kind == EditorNodeKind::Series && currentSeries_ >= 0 && currentSeries_ < chart_->SeriesCount()
                             ? chart_->SeriesId(currentSeries_)
                             : -1;

  ChartOutline outline;
  for (AxisSide side : {AxisSide::Left, AxisSide::Right, AxisSide::Bottom, AxisSide::Top})
    if (chart_->AxisVisible(side)) outline.axes.push_back({static_cast<int>(side), AxisName(side).toStdString()});
  for (int i = 0; i < chart_->SeriesCount(); ++i)
    outline.series.push_back({chart_->SeriesTitle(i).toStdString(), chart_->SeriesIsProgram(i)});
  nodes_ = EditorTree(outline);

  const bool was = loading_;
  loading_ = true;
  tree_->clear();
  std::vector<QTreeWidgetItem*> items;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const EditorNode& node = nodes_[i];
    auto* item = node.parent < 0 ? new QTreeWidgetItem(tree_)
                                 : new QTreeWidgetItem(items[static_cast<std::size_t>(node.parent)]);
    item->setText(0, QString::fromStdString(node.label));
    item->setData(0, kNodeRole, static_cast<int>(i));
    if (node.kind == EditorNodeKind::Series) {
      const bool shown = chart_->SeriesVisible(node.series);
      item->setIcon(0, Swatch(chart_->SeriesColor(node.series), shown));
      if (!shown) item->setForeground(0, palette().color(QPalette::Disabled, QPalette::Text));
      // Long names are cut short in the tree; the tip says them in full.
      item->setToolTip(0, QString::fromStdString(node.label) + "\n" +
                              (node.program ? tr("Fed by the program") : tr("Added in the editor")));
      if (!node.program) {
        QFont f = item->font(0);
        f.setItalic(true);
        item->setFont(0, f);
      }
    } else if (node.kind == EditorNodeKind::Chart || node.kind == EditorNodeKind::SeriesGroup) {
      QFont f = item->font(0);
      f.setBold(true);
      item->setFont(0, f);
    }
    items.push_back(item);
  }
  tree_->expandAll();
  loading_ = was;

  if (kind == EditorNodeKind::Series) {
    const int index = selectedId >= 0 ? chart_->Roster().IndexOf(selectedId) : -1;
    if (index >= 0)
      SelectNode(EditorNodeKind::Series, index);
    else
      SelectNode(EditorNodeKind::SeriesGroup);
  } else {
    SelectNode(kind, key);
  }
}

void TChartEditor::SelectNode(EditorNodeKind kind, int axisOrSeries) {
  for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
    const EditorNode& node = nodes_[static_cast<std::size_t>((*it)->data(0, kNodeRole).toInt())];
    if (node.kind != kind) continue;
    if (kind == EditorNodeKind::Axis && axisOrSeries >= 0 && node.axis != axisOrSeries) continue;
    if (kind == EditorNodeKind::Series && node.series != axisOrSeries) continue;
    if (tree_->currentItem() == *it)
      NodeSelected();
    else
      tree_->setCurrentItem(*it);
    return;
  }
}

EditorNodeKind TChartEditor::CurrentNode() const {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!item) return EditorNodeKind::Chart;
  return nodes_[static_cast<std::size_t>(item->data(0, kNodeRole).toInt())].kind;
}

void TChartEditor::NodeSelected() {
  if (loading_) return;
  QTreeWidgetItem* item = tree_->currentItem();
  if (!item) return;
  const EditorNode& node = nodes_[static_cast<std::size_t>(item->data(0, kNodeRole).toInt())];
  switch (node.kind) {
    case EditorNodeKind::Chart:
    case EditorNodeKind::SeriesGroup:
      pageTitle_->setText(tr("Series of this chart"));
      pages_->setCurrentIndex(SeriesListPage);
      UpdateSeriesButtons();
      break;
    case EditorNodeKind::Titles:
      pageTitle_->setText(tr("Titles"));
      LoadTitles();
      pages_->setCurrentIndex(TitlesPage);
      break;
    case EditorNodeKind::Legend:
      pageTitle_->setText(tr("Legend"));
      LoadLegend();
      pages_->setCurrentIndex(LegendPage);
      break;
    case EditorNodeKind::Axis:
      currentAxis_ = static_cast<AxisSide>(node.axis);
      pageTitle_->setText(AxisName(currentAxis_));
      LoadAxis();
      pages_->setCurrentIndex(AxisPage);
      break;
    case EditorNodeKind::Series:
      SetCurrentSeries(node.series);
      pageTitle_->setText(tr("Series: %1").arg(QString::fromStdString(node.label)));
      LoadSeries();
      pages_->setCurrentIndex(SeriesPage);
      break;
  }
}

void TChartEditor::ShowHelp() {
  if (!help_) {
    help_ = new QDialog(this);
    help_->setWindowTitle(tr("Chart editor help"));
    auto* text = new QTextBrowser(help_);
    text->setObjectName("HelpText");
    text->setOpenExternalLinks(false);
    text->setHtml(HelpText());
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, help_);
    connect(close, &QDialogButtonBox::rejected, help_, &QDialog::hide);
    auto* layout = new QVBoxLayout(help_);
    layout->addWidget(text);
    layout->addWidget(close);
    help_->resize(520, 460);
  }
  help_->show();
  help_->raise();
}

QString TChartEditor::HelpText() {
  return tr(
      "<h3>The chart editor</h3>"
      "<p>Pick an item in the tree on the left; its options show on the right. Every change shows on the chart at "
      "once. Nothing is saved: the chart looks as the program draws it again at the next start.</p>"
      "<h4>Chart and Series</h4>"
      "<p>The list of the chart's series, in drawing order: the last is drawn on top and the legend lists them in "
      "this order. Tick a series to show it, untick it to hide it.</p>"
      "<ul>"
      "<li><b>Add</b> makes a new series from the selected one: a <i>copy</i> of its points as they stand, a "
      "<i>moving average</i> over a number of points, or a <i>least-squares line</i>. The average and the line "
      "follow their source: each new point of the source reaches them at the next drawing.</li>"
      "<li><b>Clone</b> makes a series like the selected one, with the same look. A clone of a series the "
      "program feeds is a copy of its points as they stand.</li>"
      "<li><b>Delete</b> takes an added series off the chart. Series the program feeds (PPS TI, EFC, HUD, Sats, "
      "the stability measures, the C/N bars) stay; they can be restyled and hidden. A moving average or line "
      "whose source is deleted keeps the points it had, and says so in its name.</li>"
      "<li><b>Move up</b> and <b>Move down</b> change the drawing and legend order.</li>"
      "</ul>"
      "<h4>A series</h4>"
      "<p>Its name (the legend's text), whether it is shown, its colour, line width, whether its points are joined, "
      "and its point symbol. An added series also has its <b>data source</b>: the series it is made from and how. "
      "A moving average takes the mean of the last N points; it skips null points and starts afresh after each "
      "gap in its source, so its line breaks where the source's does. N lies between 1 and the number of points "
      "the source has. The least-squares line is fitted to all points of the source (on a log-log chart, to their "
      "logarithms) and drawn over each unbroken stretch of it.</p>"
      "<h4>Titles</h4>"
      "<p>The chart's title and the titles of its axes. An empty chart title leaves the room to the plot.</p>"
      "<h4>Legend</h4>"
      "<p>Where the legend stands: inside the plot, beside it on the right or left, above or below it, or "
      "hidden, and its heading. On the stability chart the list of one measure's values shows under the legend "
      "only while the legend stands on the right.</p>"
      "<h4>Axes</h4>"
      "<p>Each axis' title, its range (automatic, or a fixed minimum and maximum: \".\" or \",\" as the decimal "
      "point, exponents as in 1.5e-9), a logarithmic scale and grid lines.</p>"
      "<h4>Save image…</h4>"
      "<p>Writes the chart as it is shown to a PNG, PDF or SVG file.</p>");
}
