#pragma once
// The debug window: the trace of the receiver link and the status notes as they happen,
// optionally copied line by line into "VarnexDebug.Txt". It is also the only consumer of
// the trace queue, which its timer drains whether the window is shown or not.
#include <QMainWindow>

class QAction;
class QTimer;
class TConsole;
struct VarnexContext;

class TDebugForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TDebugForm(VarnexContext& context, QWidget* parent = nullptr);

  TConsole* Console1() const { return console_; }
  QAction* LogtoFile1() const { return logToFile_; }
  QAction* Hold1() const { return hold_; }
  QAction* Clear1() const { return clear_; }
  QTimer* Timer1() const { return timer_; }

  // Moves every queued trace line into the console and, when "Log to File" is ticked, the log.
  void Timer1Timer();

 protected:
 private:
  void Hold1Click();
  void Clear1Click();

  VarnexContext& context_;
  TConsole* console_ = nullptr;
  QAction* logToFile_ = nullptr;
  QAction* hold_ = nullptr;
  QAction* clear_ = nullptr;
  QTimer* timer_ = nullptr;
};
