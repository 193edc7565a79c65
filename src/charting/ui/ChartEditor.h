#pragma once
// The chart editor: a tree of the chart, its titles, its legend, each axis and
// each series on the left, the selected item's options on the right. Series can
// be added (a copy of another series, or a moving average or least-squares line
// that follows it live), cloned, deleted, moved up and down, renamed, restyled,
// shown and hidden; the program's own series are kept and keep being fed.
// Every change shows on the chart at once; nothing is saved.
// "Save image…" writes the chart to a PNG, PDF or SVG file; "Help" explains the pages.
#include <QDialog>
#include <QPointer>

#include "charting/EditorTree.h"
#include "charting/ui/ChartBase.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTextBrowser;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QFormLayout;
class QGroupBox;

class TChartEditor : public QDialog {
  Q_OBJECT
 public:
  TChartEditor(TChartBase* chart, QWidget* parent = nullptr, const QString& caption = QString());

  // Opens the editor on a chart and returns when the user closes it.
  static void Edit(TChartBase* chart, QWidget* parent, const QString& caption = QString());

  // Selecting an item as a click in the tree does.
  void SelectNode(EditorNodeKind kind, int axisOrSeries = -1);
  void SelectAxis(AxisSide side) { SelectNode(EditorNodeKind::Axis, static_cast<int>(side)); }
  void SelectSeries(int index) { SelectNode(EditorNodeKind::Series, index); }
  // The page shown: what the selected node is.
  EditorNodeKind CurrentNode() const;

  // The series operations, as their buttons do them; each returns the series' new index, or -1.
  int AddSeries(SeriesSourceKind kind);
  int CloneCurrent();
  bool DeleteCurrent();
  bool MoveCurrent(int step);

  // The widgets, for the user and for tests.
  QTreeWidget* Tree() const { return tree_; }
  QListWidget* SeriesList() const { return seriesList_; }
  QToolButton* AddButton() const { return addButton_; }
  QPushButton* CloneButton() const { return cloneButton_; }
  QPushButton* DeleteButton() const { return deleteButton_; }
  QPushButton* UpButton() const { return upButton_; }
  QPushButton* DownButton() const { return downButton_; }
  QLabel* SeriesNote() const { return seriesNote_; }
  QLineEdit* SeriesTitleEdit() const { return seriesTitle_; }
  QCheckBox* SeriesShownBox() const { return seriesShown_; }
  QPushButton* ColorButton() const { return colorButton_; }
  QDoubleSpinBox* LineWidthEdit() const { return lineWidth_; }
  QComboBox* PointStyleBox() const { return pointStyle_; }
  QCheckBox* LineBox() const { return line_; }
  QComboBox* SourceKindBox() const { return sourceKind_; }
  QComboBox* SourceSeriesBox() const { return sourceSeries_; }
  QSpinBox* WindowEdit() const { return window_; }
  QLabel* SourceNote() const { return sourceNote_; }
  QCheckBox* AutomaticBox() const { return automatic_; }
  QLineEdit* MinEdit() const { return minEdit_; }
  QLineEdit* MaxEdit() const { return maxEdit_; }
  QCheckBox* LogarithmicBox() const { return logarithmic_; }
  QCheckBox* GridBox() const { return grid_; }
  QLineEdit* AxisTitleEdit() const { return axisTitle_; }
  QLineEdit* TitleEdit() const { return title_; }
  QComboBox* LegendPlaceBox() const { return legendPlace_; }
  QLineEdit* LegendTitleEdit() const { return legendTitle_; }
  // Only for charts that draw error bars; null otherwise.
  QCheckBox* ErrorBarsBox() const { return errorBars_; }
  QPushButton* SaveImageButton() const { return saveImage_; }
  QPushButton* HelpButton() const { return helpButton_; }
  // The help page once opened (null before).
  QDialog* HelpPage() const { return help_; }

  // What the colour button does once the user has picked a colour.
  void ApplyColor(QColor color);

  // The help page's text (rich text).
  static QString HelpText();

 private:
  enum Page { SeriesListPage, TitlesPage, LegendPage, AxisPage, SeriesPage };
  // Pages, each built in the file of what it edits.
  QWidget* BuildSeriesListPage();
  QWidget* BuildSeriesPage();
  QWidget* BuildAxisPage();
  QWidget* BuildTitlesPage();
  QWidget* BuildLegendPage();
  void ShowHelp();
  static QString AxisName(AxisSide side);

  // The tree follows the chart's series; the selection stays on its item.
  void RebuildTree();
  void NodeSelected();
  void RefreshSeriesList();
  void LoadSeries();
  void LoadSource();
  void ApplySource();
  void LoadAxis();
  void LoadTitles();
  void LoadLegend();
  void ApplyRange();
  void PickColor();
  void UpdateSeriesButtons();
  int CurrentSeries() const;
  void SetCurrentSeries(int index);
  void Refresh();

  TChartBase* chart_;
  bool loading_ = false;
  int currentSeries_ = -1;
  AxisSide currentAxis_ = AxisSide::Left;
  std::vector<EditorNode> nodes_;
  QTreeWidget* tree_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLabel* pageTitle_ = nullptr;

  QListWidget* seriesList_ = nullptr;
  QToolButton* addButton_ = nullptr;
  QPushButton* cloneButton_ = nullptr;
  QPushButton* deleteButton_ = nullptr;
  QPushButton* upButton_ = nullptr;
  QPushButton* downButton_ = nullptr;
  QLabel* seriesNote_ = nullptr;
  QCheckBox* errorBars_ = nullptr;

  QLineEdit* seriesTitle_ = nullptr;
  QCheckBox* seriesShown_ = nullptr;
  QPushButton* colorButton_ = nullptr;
  QDoubleSpinBox* lineWidth_ = nullptr;
  QComboBox* pointStyle_ = nullptr;
  QCheckBox* line_ = nullptr;
  QComboBox* sourceKind_ = nullptr;
  QComboBox* sourceSeries_ = nullptr;
  QSpinBox* window_ = nullptr;
  QLabel* sourceNote_ = nullptr;
  QWidget* sourceFields_ = nullptr;

  QCheckBox* automatic_ = nullptr;
  QLineEdit* minEdit_ = nullptr;
  QLineEdit* maxEdit_ = nullptr;
  QCheckBox* logarithmic_ = nullptr;
  QCheckBox* grid_ = nullptr;
  QLineEdit* axisTitle_ = nullptr;

  QLineEdit* title_ = nullptr;
  QFormLayout* axisTitles_ = nullptr;
  QComboBox* legendPlace_ = nullptr;
  QLineEdit* legendTitle_ = nullptr;

  QPushButton* saveImage_ = nullptr;
  QPushButton* helpButton_ = nullptr;
  QPointer<QDialog> help_;
};
