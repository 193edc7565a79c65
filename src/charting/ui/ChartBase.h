#pragma once
// Common ground of every chart window: a QCustomPlot with a title, the four
// axes, a legend (optionally with a check box per series), series styling,
// automatic or fixed axis ranges, number label formats and a value tip.
// The chart editor and the print preview work on this class.
#include <QColor>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "charting/SeriesRoster.h"

class QCustomPlot;
class QCPAxis;
class QCPAbstractPlottable;
class QCPTextElement;
class QCPLegend;
class QCPLayoutGrid;
class QCPAbstractLegendItem;
class QTimer;
class QMouseEvent;
class QPrinter;
class QPrintPreviewDialog;
class QAction;

enum class AxisSide { Left, Right, Bottom, Top };

enum class PointStyle { None, Circle, Square, Diamond, Triangle, Cross, Plus, Star };

// Where the legend stands: inside the plot at its top right corner, or beside
// the plot on one of its four sides.
enum class LegendPosition { Inside, Right, Left, Top, Bottom };

class TChartBase : public QWidget {
  Q_OBJECT
 public:
  explicit TChartBase(QWidget* parent = nullptr);
  ~TChartBase() override;

  QCustomPlot* Plot() const { return plot_; }

  // Title above the plot; an empty text removes the title row. An invalid colour keeps the one in use.
  void SetTitle(const QString& title, QColor color = QColor(40, 40, 40));
  QString Title() const;

  // Axes. Formats: "0", "0.000000", "#.00,\"x10\",E+0" ...; see AxisFormat.h.
  void SetAxisVisible(AxisSide side, bool visible);
  bool AxisVisible(AxisSide side) const;
  // An invalid colour keeps the one in use.
  void SetAxisTitle(AxisSide side, const QString& title, QColor color = QColor(40, 40, 40));
  QString AxisTitle(AxisSide side) const;
  virtual void SetAxisNumberFormat(AxisSide side, const std::string& format);
  std::string AxisNumberFormat(AxisSide side) const;
  void SetAxisGrid(AxisSide side, bool on);
  bool AxisGrid(AxisSide side) const;
  // Automatic: the range follows the shown series at each Replot.
  void SetAxisAutomatic(AxisSide side, bool automatic);
  bool AxisAutomatic(AxisSide side) const;
  // Fixes the range (automatic off).
  void SetAxisRange(AxisSide side, double min, double max);
  double AxisMin(AxisSide side) const;  // displayed range
  double AxisMax(AxisSide side) const;
  virtual void SetAxisLogarithmic(AxisSide side, bool on);
  bool AxisLogarithmic(AxisSide side) const;
  // The data of a range fills startPercent..endPercent of the axis length.
  void SetAxisExtent(AxisSide side, double startPercent, double endPercent);

  // Legend.
  void SetLegendVisible(bool visible);
  bool LegendVisible() const;
  void SetLegendAt(LegendPosition position);
  LegendPosition LegendAt() const { return legendAt_; }
  QString LegendTitle() const { return legendTitleText_; }
  void SetLegendTitle(const QString& title);
  // A check box before each legend entry; clicking it shows or hides the series.
  void SetLegendCheckBoxes(bool on);
  bool LegendCheckBoxes() const { return legendCheckBoxes_; }
  // Screen rectangle of a series' legend entry (empty when not shown).
  QRect LegendItemRect(int index) const;

  // Series, by index in the order added.
  int SeriesCount() const { return static_cast<int>(series_.size()); }
  QString SeriesTitle(int index) const;
  void SetSeriesTitle(int index, const QString& title);
  virtual void SetSeriesVisible(int index, bool visible);
  bool SeriesVisible(int index) const;
  void SetSeriesColor(int index, QColor color);
  QColor SeriesColor(int index) const;
  void SetSeriesLineWidth(int index, double width);
  double SeriesLineWidth(int index) const;
  // Whether the points are joined by a line (bars and polar charts ignore it).
  void SetSeriesLine(int index, bool on);
  bool SeriesLine(int index) const;
  void SetSeriesPointStyle(int index, PointStyle style, double size = 6.0);
  PointStyle SeriesPointStyle(int index) const;
  QCPAbstractPlottable* Plottable(int index) const { return series_[index].plottable; }
  // Removes one series from the chart (its model, if any, stays with its owner).
  // Series the user made to follow it keep their points, with a note in their names.
  virtual void RemoveSeries(int index);
  // Removes every series the program made with that title (the title it gave,
  // whatever the user renamed it to); returns how many.
  int RemoveSeriesTitled(const QString& title);

  // The series as the chart editor sees them: fed by the program or added by
  // the user, and where an added series' points come from.
  const SeriesRoster& Roster() const { return roster_; }
  int SeriesId(int index) const { return roster_.Id(index); }
  bool SeriesIsProgram(int index) const { return roster_.IsProgram(index); }
  // Whether this chart can show series the user adds.
  virtual bool CanAddSeries() const { return false; }
  // A new series of the user at the end of the order, on its source's axis;
  // returns its index, or -1 when the source is refused.
  int AddUserSeries(const SeriesSource& source);
  // A series like this one, styled alike, at the end of the order; -1 when this chart takes none.
  int CloneSeries(int index);
  // Deletes a series the user added (the program's are refused).
  bool DeleteSeries(int index);
  // Drawing and legend order follow the series order.
  virtual bool MoveSeries(int from, int to);
  bool SetSeriesSource(int index, const SeriesSource& source);

  // Rescales the automatic axes and redraws now.
  virtual void Replot();

  // Value tip shown after the mouse rests this long over a point.
  static constexpr int TipDelayMs = 300;
  // The tip text for the point nearest to pos (widget coordinates), or empty.
  virtual QString TipTextAt(const QPoint& pos) const;
  // Where the legend is drawn (empty when hidden), in widget coordinates.
  QRect LegendRect() const;

  // Charts whose points carry confidence intervals draw them as error bars,
  // with one switch for every series (the chart editor offers it).
  virtual bool HasErrorBars() const { return false; }
  virtual void SetErrorBarsShown(bool) {}
  virtual bool ErrorBarsShown() const { return false; }

 signals:
  void SeriesVisibilityChanged(int index, bool visible);
  void Changed();            // any edit of series or axes (the chart editor listens)
  void SeriesListChanged();  // a series added, removed or moved

 protected:
  struct SeriesEntry {
    QCPAbstractPlottable* plottable = nullptr;
    AxisSide side = AxisSide::Left;
    QColor color;
    double lineWidth = 1.0;
    PointStyle pointStyle = PointStyle::None;
    double pointSize = 6.0;
    bool line = true;
    QString programTitle;  // the title the program gave; empty for the user's series
  };
  struct AxisState {
    std::string format;
    bool automatic = true;
    bool grid = true;
    double startPercent = 0.0;
    double endPercent = 100.0;
    double lo = 0.0, hi = 1.0;  // range of the data shown, before the extent inset
  };

  QCPAxis* Axis(AxisSide side) const;
  AxisState& State(AxisSide side) { return axes_[static_cast<int>(side)]; }
  const AxisState& State(AxisSide side) const { return axes_[static_cast<int>(side)]; }
  int AddPlottable(QCPAbstractPlottable* plottable, AxisSide side, QColor color, const QString& title);
  std::vector<SeriesEntry> series_;

  // Label text of one value on an axis; the time chart overrides the bottom axis.
  virtual QString ValueText(AxisSide side, double value) const;
  virtual QString KeyText(double key) const;
  // The value line of a point's tip, as rich text: the value's label text
  // unless a chart knows more of its points.
  virtual QString PointValueText(int series, double key, double value, AxisSide side) const;
  // Data range of the shown series on one axis (found=false when none).
  virtual bool DataRange(AxisSide side, double& lo, double& hi) const;
  // Installs the ticker that matches the axis' format.
  virtual void ApplyTicker(AxisSide side);
  // Pen, brush and symbol of one series from its entry.
  virtual void ApplySeriesStyle(int index);
  // Half the span shown around data that has a single value.
  virtual double DegenerateHalfSpan(AxisSide side, double value) const;
  void RebuildLegend();
  // The plottable that shows an added series' points (the roster already holds
  // its entry, the last one); returns its index.
  virtual int AddUserPlottable(ChartSeries* points, AxisSide side, QColor color, const QString& title);
  // Brings the added series in step with their sources; charts call it before they draw.
  void UpdateAddedSeries() { roster_.Update(); }
  SeriesRoster& MutableRoster() { return roster_; }
  // Puts the plottables on their layer in series order (later ones drawn on top).
  virtual void ApplyDrawingOrder();
  void resizeEvent(QResizeEvent* event) override;
  // Sets the shown range so that [lo, hi] fills the axis' extent.
  void ApplyRange(AxisSide side, double lo, double hi);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RescaleAutomatic();
  void ApplyGridPens();
  void ShowTip();
  void LegendClicked(QCPLegend* legend, QCPAbstractLegendItem* item, QMouseEvent* event);
  void ArrangeLegend();
  void PlaceLegend();
  void DetachAfterRemoval(const std::vector<int>& detached);

  QCustomPlot* plot_ = nullptr;
  QCPTextElement* title_ = nullptr;
  QString legendTitleText_;
  bool titleShown_ = false;
  AxisState axes_[4];
  bool legendCheckBoxes_ = false;
  LegendPosition legendAt_ = LegendPosition::Inside;
  LegendPosition legendPlaced_ = LegendPosition::Inside;
  QCPLayoutGrid* legendBody_ = nullptr;  // holds the plot and the legend beside it
  SeriesRoster roster_;
  QTimer* tipTimer_ = nullptr;
  QPoint tipPos_;
};

// Offers a print preview of a chart scaled to the page, and "Save image…".
void ShowPrintPreview(QCustomPlot* plot, QWidget* parent);
// Draws the chart onto the printer's page, scaled to fit and centred (what the preview shows).
void PrintChart(QCustomPlot* plot, QPrinter* printer);
void ShowPrintPreview(TChartBase* chart, QWidget* parent);
// Puts "Save image…" on a print preview's tool bar (what ShowPrintPreview does).
QAction* AddSaveImageAction(QPrintPreviewDialog* dialog, QCustomPlot* plot);
