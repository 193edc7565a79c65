#pragma once
#include <QMainWindow>
#include <QTimer>
#include <memory>

#include "link/LinkEvents.h"

class QAction;
class QLabel;
class QMenu;
class T_AdvCom32;
class TComThread;
struct VarnexContext;

class TMainForm : public QMainWindow, public LinkEvents {
  Q_OBJECT
 public:
  explicit TMainForm(VarnexContext& context, QWidget* parent = nullptr);
  ~TMainForm() override;

  T_AdvCom32& Comport() { return *comport_; }
  TComThread* ComThread() { return comThread_.get(); }
  QTimer& Timer1() { return timer1_; }
  QAction* Action(const char* name) const;
  QLabel* StatusPanel(int index) const { return panels_[index]; }

  // LinkEvents: called from the poll thread, carried out on this thread.
  void SetStabilityMenuEnabled(bool enabled) override;
  void ManualAnswer(const std::string& text) override;

  // The stop sequence; runs once, from the close box, a signal or a test.
  void StopSequence();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void Timer1Timer();

 private:
  void FormCreate();
  void FormShow();
  void BuildMenu();
  void BuildStatusBar();
  QAction* AddItem(QMenu* menu, const char* name, const QString& caption);

  VarnexContext& context_;
  std::unique_ptr<T_AdvCom32> comport_;
  std::unique_ptr<TComThread> comThread_;
  QTimer timer1_;
  QLabel* panels_[7] = {};
  bool firstShow_ = true;
  bool stopped_ = false;
  int designPixelsPerInch_ = 96;
};
