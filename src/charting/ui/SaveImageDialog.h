#pragma once
// "Save image…": the file, its format (PNG, PDF, SVG) and its size, either the
// size the chart has on screen or one chosen for print.
#include <QDialog>

#include "charting/ChartImage.h"

class QComboBox;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TSaveImageDialog : public QDialog {
  Q_OBJECT
 public:
  TSaveImageDialog(QCustomPlot* plot, QWidget* parent = nullptr);

  // Opens the dialog on a chart and returns when the user is done.
  static void Run(QCustomPlot* plot, QWidget* parent);

  // The widgets, for the user and for tests.
  QLineEdit* FileEdit() const { return file_; }
  QComboBox* FormatBox() const { return format_; }
  QRadioButton* ShownSizeButton() const { return shown_; }
  QRadioButton* ChosenSizeButton() const { return chosen_; }
  QSpinBox* WidthEdit() const { return width_; }
  QSpinBox* HeightEdit() const { return height_; }
  QSpinBox* ScaleEdit() const { return scale_; }
  QLabel* ErrorLabel() const { return error_; }

  ImageFormat Format() const;
  // Writes the image as the fields say; true when done. On failure the
  // reason shows in the dialog, which stays open.
  bool Save();

  // The file name the dialog offers first, remembered between uses.
  static QString& LastFile();

 private:
  void Browse();
  void FormatChanged();
  void UpdateEnabled();

  QCustomPlot* plot_;
  QLineEdit* file_ = nullptr;
  QPushButton* browse_ = nullptr;
  QComboBox* format_ = nullptr;
  QRadioButton* shown_ = nullptr;
  QRadioButton* chosen_ = nullptr;
  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QSpinBox* scale_ = nullptr;
  QLabel* scaleLabel_ = nullptr;
  QLabel* error_ = nullptr;
};
