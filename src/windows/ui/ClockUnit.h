#pragma once
// The clock: the receiver's date and time as twelve glowing tube digits on a black
// face, drawn once a second and kept, so an uncovered face shows the last second again.
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>

#include "platform/DateTime.h"

struct VarnexContext;

class TClockForm : public QWidget {
  Q_OBJECT
 public:
  explicit TClockForm(VarnexContext& context, QWidget* parent = nullptr);

  // Called once per new second with the receiver's time minus one second.
  void ShowDateTime(TDateTime t);
  TDateTime Shown() const { return shown_; }
  // Copies the digit images of the six values into their cells.
  void DrawDigitPairs(int year, int month, int day, int hour, int minute, int second);

  // What the face shows now, and how many seconds have been drawn on it.
  const QImage& Face() const { return face_; }
  int Draws() const { return draws_; }
  // The ten digit images, index n showing the numeral n.
  const std::array<QImage, 10>& ImageList1() const { return images_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void NewFace(const QSize& size);

  VarnexContext& context_;
  std::array<QImage, 10> images_;
  QImage separator_;
  QImage face_;
  TDateTime shown_ = 0.0;
  int draws_ = 0;
  bool dragging_ = false;
  QPoint dragOffset_;
};
