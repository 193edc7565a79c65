#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSvgRenderer>
#include <QToolBar>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "TestApp.h"
#include "charting/ui/ChartEditor.h"
#include "charting/ui/ChartImageExport.h"
#include "charting/ui/SaveImageDialog.h"
#include "charting/ui/TimeChart.h"
#include "platform/DateTime.h"

namespace {

namespace fs = std::filesystem;

struct AppFirst {
  AppFirst() { TestApp(); }
};

// The main window's chart: a day of PPS TI and EFC (its default span) with two gaps.
struct MainChart : ::testing::Test, AppFirst {
  MainChart() {
    dir = fs::temp_directory_path() /
          ("varnex-image-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 1.0);
    const TDateTime start = EncodeDateTime({2026, 3, 7, 8, 0, 0, 0});
    double wander = 0;
    for (int i = 0; i < 8640; ++i) {
      const TDateTime t = start + i * 10 * OneSecond;
      wander += noise(rng) * 0.02;
      const double ti = (1.2 * std::sin(i / 900.0) + 0.12 * noise(rng) + wander * 0.03) * 1e-9;
      const double e = 41230 + 18 * std::sin(i / 2500.0) + 0.6 * noise(rng);
      if ((i >= 2000 && i < 2300) || (i >= 6000 && i < 6100)) continue;
      if (i == 0 || i == 2300 || i == 6100) {
        pps.AddNull(t, ti);
        efc.AddNull(t, e);
      } else {
        pps.Add(t, ti);
        efc.Add(t, e);
      }
    }
    chart.resize(841, 447);
    chart.SetTitle("PPS TI & EFC");
    chart.SetDateTimeFormat("MM-dd hh:mm");
    chart.SetAxisExtent(AxisSide::Bottom, 2, 98);
    chart.SetAxisTitle(AxisSide::Left, "PPS TI / s", QColor(0, 0, 255));
    chart.SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
    chart.SetAxisExtent(AxisSide::Left, 3, 97);
    chart.SetAxisTitle(AxisSide::Right, "EFC value", QColor(220, 0, 0));
    chart.SetAxisNumberFormat(AxisSide::Right, "0");
    chart.SetAxisGrid(AxisSide::Right, false);
    chart.SetAxisExtent(AxisSide::Right, 3, 97);
    chart.AddSeries(&pps, AxisSide::Left, QColor(0, 0, 255), "PPS TI");
    chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
    chart.Replot();
    chart.grab();  // lays the hidden chart out at its size, as showing it would
  }
  ~MainChart() override { fs::remove_all(dir); }
  QString Path(const char* name) const { return QString::fromStdString((dir / name).string()); }

  fs::path dir;
  ChartSeries pps{"PPS TI"}, efc{"EFC"};
  TTimeChart chart;
};

std::string Head(const QString& path, std::size_t n) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::string head(n, '\0');
  in.read(head.data(), static_cast<std::streamsize>(n));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

TEST_F(MainChart, SavesEachFormatAtTheSizeAsked) {
  // PNG at the size shown, and chosen for print at twice the pixels.
  const QString shown = Path("main.png");
  ASSERT_EQ(SaveChartImage(chart.Plot(), shown, ImageFormat::Png, {841, 447, 1}), QString());
  const QImage image(shown);
  EXPECT_EQ(image.size(), QSize(841, 447));
  // The same picture as on screen.
  const QImage screen = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32).pixel(420, 200), screen.pixel(420, 200));
  const QString big = Path("main-print.png");
  ASSERT_EQ(SaveChartImage(chart.Plot(), big, ImageFormat::Png, {1169, 827, 2}), QString());
  EXPECT_EQ(QImage(big).size(), QSize(2338, 1654));

  const QString pdf = Path("main.pdf");
  ASSERT_EQ(SaveChartImage(chart.Plot(), pdf, ImageFormat::Pdf, {1169, 827, 1}), QString());
  EXPECT_EQ(Head(pdf, 5), "%PDF-");
  EXPECT_GT(fs::file_size(pdf.toStdString()), 5000u);

  const QString svg = Path("main.svg");
  ASSERT_EQ(SaveChartImage(chart.Plot(), svg, ImageFormat::Svg, {1000, 500, 1}), QString());
  QSvgRenderer renderer(svg);
  ASSERT_TRUE(renderer.isValid());
  EXPECT_EQ(renderer.viewBox(), QRect(0, 0, 1000, 500));
  QFile svgFile(svg);
  ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
  const QByteArray svgText = svgFile.readAll();
  EXPECT_TRUE(svgText.contains("PPS TI / s"));  // text stays text
  // The chart on screen is left as it was.
  EXPECT_EQ(chart.Plot()->size(), QSize(841, 447));

  // Keep pictures for a look.
  for (const QString& f : {shown, big, pdf, svg}) {
    const QString keep = PicturePath(("export-" + QFileInfo(f).fileName()).toUtf8().constData());
    QFile::remove(keep);
    QFile::copy(f, keep);
  }
}

TEST_F(MainChart, AFailedSaveLeavesNothing) {
  const QString existing = Path("keep.png");
  { std::ofstream(existing.toStdString()) << "old"; }
  const struct {
    const char* name;
    QString path;
  } cases[] = {
      {"missing folder", Path("no/such/chart.png")},
      {"a folder", QString::fromStdString(dir.string())},
  };
  for (ImageFormat format : {ImageFormat::Png, ImageFormat::Pdf, ImageFormat::Svg}) {
    for (const auto& c : cases) {
      const QString problem = SaveChartImage(chart.Plot(), c.path, format, {400, 300, 1});
      EXPECT_TRUE(problem.startsWith("Cannot write the image to")) << c.name << ": " << problem.toStdString();
    }
  }
  EXPECT_FALSE(fs::exists(dir / "no"));
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    ++files;
    EXPECT_EQ(entry.path().filename(), "keep.png");
  }
  EXPECT_EQ(files, 1);
  EXPECT_EQ(Head(existing, 10), "old");
}

TEST_F(MainChart, SaveImageDialogWritesWhatItsFieldsSay) {
  TSaveImageDialog dialog(chart.Plot());
  EXPECT_TRUE(dialog.ShownSizeButton()->text().contains(QString::fromUtf8("841 × 447")))
      << dialog.ShownSizeButton()->text().toStdString();
  EXPECT_FALSE(dialog.WidthEdit()->isEnabled());
  dialog.FileEdit()->setText(Path("dialog"));
  dialog.FormatBox()->setCurrentIndex(dialog.FormatBox()->findData(static_cast<int>(ImageFormat::Svg)));
  EXPECT_EQ(dialog.FileEdit()->text(), Path("dialog.svg"));
  EXPECT_FALSE(dialog.ScaleEdit()->isEnabled());
  dialog.FormatBox()->setCurrentIndex(dialog.FormatBox()->findData(static_cast<int>(ImageFormat::Png)));
  EXPECT_EQ(dialog.FileEdit()->text(), Path("dialog.png"));
  dialog.ChosenSizeButton()->setChecked(true);
  EXPECT_TRUE(dialog.ScaleEdit()->isEnabled());
  dialog.WidthEdit()->setValue(600);
  dialog.HeightEdit()->setValue(400);
  dialog.ScaleEdit()->setValue(3);
  ASSERT_TRUE(dialog.Save()) << dialog.ErrorLabel()->text().toStdString();
  EXPECT_EQ(QImage(Path("dialog.png")).size(), QSize(1800, 1200));
  EXPECT_EQ(TSaveImageDialog::LastFile(), Path("dialog.png"));

  dialog.resize(dialog.sizeHint());
  EXPECT_TRUE(dialog.grab().save(PicturePath("save-image-dialog.png")));

  dialog.FileEdit()->setText(Path("gone/x.png"));
  EXPECT_FALSE(dialog.Save());
  EXPECT_TRUE(dialog.ErrorLabel()->text().startsWith("Cannot write the image"));
}

TEST_F(MainChart, EditorAndPrintPreviewOfferSaveImage) {
  TChartEditor editor(&chart);
  ASSERT_NE(editor.SaveImageButton(), nullptr);
  EXPECT_EQ(editor.SaveImageButton()->text(), QString::fromUtf8("Save image…"));
  EXPECT_TRUE(editor.grab().save(PicturePath("chart-editor-save-image.png")));
  QPrinter printer;
  QPrintPreviewDialog preview(&printer);
  QAction* action = AddSaveImageAction(&preview, chart.Plot());
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), QString::fromUtf8("Save image…"));
  EXPECT_TRUE(preview.findChild<QToolBar*>()->actions().contains(action));
}

}  // namespace
