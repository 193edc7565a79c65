#pragma once
// A sky view: azimuth clockwise from north at the top, elevation 90 at the
// centre and 0 at the rim. Shows labelled points (satellites) and a closed
// horizon line of 360 elevations, one per whole degree of azimuth.
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

class QTimer;

class TPolarChart : public QWidget {
  Q_OBJECT
 public:
  static constexpr int HorizonPoints = 360;

  explicit TPolarChart(QWidget* parent = nullptr);

  void SetTitle(const QString& title);
  QString Title() const { return title_; }
  // Compass letters and elevation ring labels.
  void SetLabelsVisible(bool visible);
  // Only N, E, S and W around the rim: no azimuth or elevation numbers.
  void SetCompassLabelsOnly(bool on);
  // Elevation rings and azimuth spokes every so many degrees.
  void SetGridSteps(int ringDegrees, int spokeDegrees);

  void ClearPoints();
  void AddPoint(double azimuth, double elevation, const QString& label);
  int PointCount() const { return static_cast<int>(points_.size()); }
  double PointAzimuth(int i) const { return points_[i].azimuth; }
  double PointElevation(int i) const { return points_[i].elevation; }
  QString PointLabel(int i) const { return points_[i].label; }
  void SetPointColor(QColor color);
  QColor PointColor() const { return pointColor_; }
  void SetPointSize(double pixels);

  // Entry k is the horizon's elevation at azimuth k degrees.
  void SetHorizon(const std::vector<double>& elevations);
  void SetHorizonElevation(int azimuth, double elevation);
  double HorizonElevation(int azimuth) const { return horizon_[azimuth]; }
  void SetHorizonColor(QColor color);
  void SetHorizonVisible(bool visible);
  // Tints the sky outside the horizon line (the part the antenna does not see); an
  // invalid colour leaves it clear.
  void SetHorizonShade(QColor color);

  // Where a direction is drawn, in widget coordinates.
  QPointF ToPixel(double azimuth, double elevation) const;
  // The label of the point under pos (within a few pixels), or empty.
  QString TipTextAt(const QPoint& pos) const;
  // Draws the whole chart into target (screen, image or printer page).
  void Render(QPainter* painter, const QRect& target) const;

  static constexpr int TipDelayMs = 300;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct SkyPoint {
    double azimuth;
    double elevation;
    QString label;
  };
  QRectF Circle(const QRect& target) const;
  static QPointF Place(const QRectF& circle, double azimuth, double elevation);
  void ShowTip();
  // The three layers of Render: background, grid and labels; the horizon; the points.
  void RenderGrid(QPainter* painter, const QRect& target) const;
  void RenderHorizon(QPainter* painter, const QRect& target) const;
  void RenderPoints(QPainter* painter, const QRect& target) const;
  void BackdropChanged();
  void HorizonChanged();

  QString title_;
  bool labels_ = true;
  bool compassOnly_ = false;
  int ringStep_ = 15;
  int spokeStep_ = 30;
  QColor horizonShade_;
  std::vector<SkyPoint> points_;
  QColor pointColor_{255, 128, 0};
  double pointSize_ = 6.0;
  std::vector<double> horizon_ = std::vector<double>(HorizonPoints, 0.0);
  QColor horizonColor_{0, 0, 255};
  bool horizonVisible_ = true;
  QTimer* tipTimer_ = nullptr;
  QPoint tipPos_;
  // What paintEvent keeps at the widget's size: the grid alone, and grid with horizon.
  QImage grid_;
  QImage backdrop_;
  bool gridValid_ = false;
  bool backdropValid_ = false;
};

// Print preview of a sky view, scaled to the page.
void ShowPrintPreview(TPolarChart* chart, QWidget* parent);
