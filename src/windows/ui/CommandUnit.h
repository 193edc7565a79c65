#pragma once
// The manual command window: while it is open the poll thread runs no cycles, the lamp
// lights once the running cycle has ended, and Send hands the text, exactly as the
// edit field shows it, to the poll thread, which writes it to the line. The receiver's
// replies arrive in the console through the main window; the rules live in
// ManualCommandWatch.
#include <QWidget>

#include "windows/ManualCommand.h"

class Clock;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class SharedReceiverState;
class TConsole;
class TLEDPaint;

class TCommandForm : public QWidget {
  Q_OBJECT
 public:
  // Shown centred over centreOver the first time.
  TCommandForm(SharedReceiverState& state, Clock& clock, const QWidget* centreOver = nullptr,
               QWidget* parent = nullptr);

  QFrame* Panel1() const { return panel_; }
  QLabel* Label1() const { return label_; }
  TLEDPaint* LEDPaint1() const { return led_; }
  QGroupBox* GroupBox1() const { return groupBox_; }
  QComboBox* ComboBox1() const { return combo_; }
  QPushButton* SendButton() const { return send_; }
  TConsole* Console1() const { return console_; }
  QLabel* Label2() const { return note_; }
  QTimer* Timer1() const { return timer_; }
  const ManualCommandWatch& Watch() const { return watch_; }

  // Text the receiver sent while the window is open, as it came.
  void ShowAnswer(const std::string& text);

  void Timer1Timer();
  void SendButtonClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ComboBox1Change();
  void ApplyTick(const ManualCommandTick& tick);
  void LayOut();
  void ApplyMinimumSize();
  // One line of the program's own in the console, on a line of its own.
  void ConsoleNote(const std::string& text);
  // What became of the last text handed over, when it did not go out whole.
  void ShowSendReport();

  ManualCommandWatch watch_;
  QFrame* panel_ = nullptr;
  QLabel* label_ = nullptr;
  TLEDPaint* led_ = nullptr;
  QGroupBox* groupBox_ = nullptr;
  QComboBox* combo_ = nullptr;
  QPushButton* send_ = nullptr;
  TConsole* console_ = nullptr;
  QLabel* note_ = nullptr;
  QTimer* timer_ = nullptr;
};
