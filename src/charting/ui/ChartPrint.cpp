// The print preview of a chart, with "Save image…" beside its printing.
#include <qcustomplot.h>

#include <QAction>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

#include "charting/ui/ChartBase.h"
#include "charting/ui/SaveImageDialog.h"

QAction* AddSaveImageAction(QPrintPreviewDialog* dialog, QCustomPlot* plot) {
  auto* toolBar = dialog->findChild<QToolBar*>();
  if (toolBar == nullptr) return nullptr;
  toolBar->addSeparator();
  QAction* action = toolBar->addAction(QObject::tr("Save image…"));
  action->setToolTip(QObject::tr("Save the chart as a PNG, PDF or SVG file"));
  QObject::connect(action, &QAction::triggered, dialog, [dialog, plot] { TSaveImageDialog::Run(plot, dialog); });
  return action;
}

void PrintChart(QCustomPlot* plot, QPrinter* printer) {
  QCPPainter painter(printer);
  const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
  const int width = std::max(plot->width(), 400);
  const int height = std::max(plot->height(), 300);
  const double scale = std::min(double(page.width()) / width, double(page.height()) / height);
  painter.setMode(QCPPainter::pmVectorized);
  painter.setMode(QCPPainter::pmNoCaching);
  // The painter starts at the printable area's corner; centre the chart in it.
  painter.translate((page.width() - width * scale) / 2, (page.height() - height * scale) / 2);
  painter.scale(scale, scale);
  plot->toPainter(&painter, width, height);
}

void ShowPrintPreview(QCustomPlot* plot, QWidget* parent) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(plot->width() > plot->height() ? QPageLayout::Landscape : QPageLayout::Portrait);
  QPrintPreviewDialog dialog(&printer, parent);
  dialog.setWindowTitle(QObject::tr("Print Preview"));
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, [plot](QPrinter* p) { PrintChart(plot, p); });
  AddSaveImageAction(&dialog, plot);
  dialog.exec();
}

void ShowPrintPreview(TChartBase* chart, QWidget* parent) { ShowPrintPreview(chart->Plot(), parent); }
