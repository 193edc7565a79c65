#include "charting/ui/SaveImageDialog.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "charting/ui/ChartImageExport.h"

namespace {

struct FormatName {
  ImageFormat format;
  const char* name;
  const char* filter;
};

const FormatName kFormats[] = {
    {ImageFormat::Png, "PNG image", "PNG image (*.png)"},
    {ImageFormat::Pdf, "PDF document", "PDF document (*.pdf)"},
    {ImageFormat::Svg, "SVG drawing", "SVG drawing (*.svg)"},
};

QString Suffix(ImageFormat format) { return QString::fromLatin1(ImageSuffix(format).data()); }

}  // namespace

QString& TSaveImageDialog::LastFile() {
  static QString last = QDir::home().filePath(QStringLiteral("chart.png"));
  return last;
}

TSaveImageDialog::TSaveImageDialog(QCustomPlot* plot, QWidget* parent) : QDialog(parent), plot_(plot) {
  setWindowTitle(tr("Save image"));

  file_ = new QLineEdit(LastFile(), this);
  file_->setMinimumWidth(300);
  browse_ = new QPushButton(tr("Browse…"), this);
  connect(browse_, &QPushButton::clicked, this, &TSaveImageDialog::Browse);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse_);

  format_ = new QComboBox(this);
  for (const FormatName& f : kFormats) format_->addItem(tr(f.name), static_cast<int>(f.format));
  if (auto known = ImageFormatOfName(LastFile().toStdString()))
    format_->setCurrentIndex(format_->findData(static_cast<int>(*known)));
  connect(format_, &QComboBox::currentIndexChanged, this, &TSaveImageDialog::FormatChanged);
  // A typed suffix picks the format.
  connect(file_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (auto known = ImageFormatOfName(text.toStdString())) {
      const QSignalBlocker block(format_);
      format_->setCurrentIndex(format_->findData(static_cast<int>(*known)));
      UpdateEnabled();
    }
  });

  const QSize size = plot_->size();
  shown_ = new QRadioButton(tr("As shown: %1 × %2").arg(size.width()).arg(size.height()), this);
  chosen_ = new QRadioButton(tr("Chosen size:"), this);
  shown_->setChecked(true);
  width_ = new QSpinBox(this);
  height_ = new QSpinBox(this);
  for (QSpinBox* box : {width_, height_}) {
    box->setRange(kMinImageSide, kMaxImageSide);
    box->setSingleStep(50);
  }
  // A landscape A4 page at 100 points to the inch as a start.
  width_->setValue(1169);
  height_->setValue(827);
  scale_ = new QSpinBox(this);
  scale_->setRange(1, kMaxImageScale);
  scale_->setSuffix(QStringLiteral(" ×"));
  scale_->setToolTip(tr("Pixels per point: text and lines grow with it"));
  scaleLabel_ = new QLabel(tr("PNG scale"), this);
  connect(shown_, &QRadioButton::toggled, this, &TSaveImageDialog::UpdateEnabled);

  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(chosen_);
  sizeRow->addWidget(width_);
  sizeRow->addWidget(new QLabel(QStringLiteral("×"), this));
  sizeRow->addWidget(height_);
  sizeRow->addStretch(1);
  auto* scaleRow = new QHBoxLayout;
  scaleRow->addSpacing(24);
  scaleRow->addWidget(scaleLabel_);
  scaleRow->addWidget(scale_);
  scaleRow->addStretch(1);
  auto* sizeBox = new QGroupBox(tr("Size"), this);
  auto* sizeLayout = new QVBoxLayout(sizeBox);
  sizeLayout->addWidget(shown_);
  sizeLayout->addLayout(sizeRow);
  sizeLayout->addLayout(scaleRow);

  error_ = new QLabel(this);
  error_->setStyleSheet(QStringLiteral("color: #b00020"));
  error_->setWordWrap(true);
  error_->hide();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (Save()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(tr("File"), fileRow);
  form->addRow(tr("Format"), format_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(sizeBox);
  layout->addWidget(error_);
  layout->addStretch(1);
  layout->addWidget(buttons);
  UpdateEnabled();
}

void TSaveImageDialog::Run(QCustomPlot* plot, QWidget* parent) {
  TSaveImageDialog dialog(plot, parent);
  dialog.exec();
}

ImageFormat TSaveImageDialog::Format() const { return static_cast<ImageFormat>(format_->currentData().toInt()); }

void TSaveImageDialog::FormatChanged() {
  // Keep the name's suffix in step with the format chosen.
  QString name = file_->text().trimmed();
  if (!name.isEmpty()) {
    if (ImageFormatOfName(name.toStdString())) name = name.left(name.lastIndexOf('.'));
    file_->setText(name + Suffix(Format()));
  }
  UpdateEnabled();
}

void TSaveImageDialog::UpdateEnabled() {
  const bool chosen = chosen_->isChecked();
  width_->setEnabled(chosen);
  height_->setEnabled(chosen);
  const bool scale = chosen && Format() == ImageFormat::Png;
  scale_->setEnabled(scale);
  scaleLabel_->setEnabled(scale);
}

void TSaveImageDialog::Browse() {
  QStringList filters;
  QString selected;
  for (const FormatName& f : kFormats) {
    filters << tr(f.filter);
    if (f.format == Format()) selected = filters.back();
  }
  const QString name = QFileDialog::getSaveFileName(this, tr("Save image"), file_->text(),
                                                    filters.join(QStringLiteral(";;")), &selected);
  if (name.isEmpty()) return;
  for (const FormatName& f : kFormats)
    if (tr(f.filter) == selected) format_->setCurrentIndex(format_->findData(static_cast<int>(f.format)));
  file_->setText(QString::fromStdString(WithImageSuffix(name.toStdString(), Format())));
}

bool TSaveImageDialog::Save() {
  auto fail = [this](const QString& message) {
    error_->setText(message);
    error_->show();
    return false;
  };
  const QString name = file_->text().trimmed();
  if (name.isEmpty()) return fail(tr("Give the file a name."));
  const QString path = QString::fromStdString(WithImageSuffix(name.toStdString(), Format()));
  const auto request = ResolveImageRequest(shown_->isChecked(), plot_->width(), plot_->height(), width_->value(),
                                           height_->value(), scale_->value(), Format());
  if (!request) return fail(tr("The chart has no size to save."));
  const QString problem = SaveChartImage(plot_, path, Format(), *request);
  if (!problem.isEmpty()) return fail(problem);
  error_->hide();
  file_->setText(path);
  LastFile() = path;
  return true;
}
