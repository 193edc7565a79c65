#pragma once
#include <QMainWindow>
#include <QTimer>
#include <memory>

#include "charting/ChartSeries.h"
#include "frontend/ChartReload.h"
#include "frontend/DataFile.h"
#include "frontend/MetricsFeed.h"
#include "frontend/RefreshCycle.h"
#include "link/LinkEvents.h"

class QAction;
class QLabel;
class QMenu;
class T_AdvCom32;
class TComThread;
class TTimeChart;
class TAppIniFile;
class TViewFollow;
class DesktopEvents;
struct VarnexContext;

class TMainForm : public QMainWindow, public LinkEvents, private RefreshView {
  Q_OBJECT
 public:
  explicit TMainForm(VarnexContext& context, QWidget* parent = nullptr);
  ~TMainForm() override;

  T_AdvCom32& Comport() { return *comport_; }
  // Null only after a stop whose poll thread overran its bound and was let go.
  TComThread* ComThread() { return comThread_.get(); }
  QTimer& Timer1() { return timer1_; }
  QAction* Action(const char* name) const;
  QLabel* StatusPanel(int index) const { return panels_[index]; }
  TTimeChart* Chart1() const { return chart1_; }
  // The points behind the chart's "PPS TI" and "EFC" lines.
  ChartSeries Series1{"PPS TI"};
  ChartSeries Series2{"EFC"};
  // The refresh tick's state; the status log window seeds its LastStatusCode.
  RefreshCycle& Refresh() { return refresh_; }
  // What Prometheus may learn, as of the last tick.
  const MetricsFeed& Metrics() const { return metrics_; }

  // Empties both main series and refills them from the data files (start, larger span).
  void ReloadChartHistory();
  // The same for the holdover window's series too; the parameters dialog runs it when
  // the span grows. A call while one runs makes that one start over when done.
  void ReloadAllCharts();
  bool Reloading() const { return reloadGate_.Running(); }
  // Saves the settings file now; false (with the reason) when it could not be written.
  bool SaveSettingsNow(std::string* error = nullptr);

  // LinkEvents: called from the poll thread, carried out on this thread.
  void SetStabilityMenuEnabled(bool enabled) override;
  void ManualAnswer(const std::string& text) override;

  // Following a folder another program writes; null outside a view.
  TViewFollow* ViewFollow() { return viewFollow_.get(); }

  // The stop sequence; runs once, from the close box, a signal or a test.
  void StopSequence();

 public slots:
  void Timer1Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void BuildChart();
  void BuildMenu();
  void BuildStatusBar();
  QAction* AddItem(QMenu* menu, const char* name, const QString& caption);
  RefreshLogs MakeLogs();
  void NoteFileWrite(const std::string& name, bool ok, TDateTime stamp);
  HistorySource History();
  void JoinWindows();
  void LoadViewSettings();
  void UpdateTitle();
  void Charteditor1Click();
  void WritteCommenttoLog1Click();

  // RefreshView
  void SetPanel(int index, const std::string& text) override;
  void ShowStatusLines(const std::vector<std::string>& lines) override;
  void ShowSatellites(const SatelliteDisplay& display) override;
  void UpdateHorizonLine() override;
  void SetRightAxisDecimals() override;
  void SetClockMenuEnabled(bool enabled) override;
  void ShowDateTime(TDateTime t) override;
  void ChartsChanged() override;

  VarnexContext& context_;
  // Shared with the poll thread, which may outlive this window when it overruns its stop.
  std::shared_ptr<T_AdvCom32> comport_;
  std::shared_ptr<LinkEventsRelay> events_;
  std::unique_ptr<TComThread> comThread_;
  std::unique_ptr<TAppIniFile> settingsFile_;
  std::unique_ptr<TViewFollow> viewFollow_;
  RefreshCycle refresh_;
  MetricsFeed metrics_;
  QTimer timer1_;
  TTimeChart* chart1_ = nullptr;
  ChartReloadGate reloadGate_;
  QLabel* panels_[7] = {};
  bool firstShow_ = true;
  bool stopped_ = false;
  bool windowsJoined_ = false;
  int designPixelsPerInch_ = 96;
  std::unique_ptr<DesktopEvents> desktopEvents_;
};
