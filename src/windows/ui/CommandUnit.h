#pragma once
// The manual command window: while it is open the poll thread runs no cycles, the lamp
// lights once the running cycle has ended, and Send writes the chosen command straight
// to the serial port. The receiver's replies arrive in the console through the main
// window; the rules live in ManualCommandWatch.
#include <QWidget>

#include "windows/ManualCommand.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class TConsole;
class TLEDPaint;
class T_AdvCom32;
struct VarnexContext;

class TCommandForm : public QWidget {
  Q_OBJECT
 public:
  explicit TCommandForm(VarnexContext& context, QWidget* parent = nullptr);

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

  // The port Send writes to; the main window's when none is set.
  void SetComport(T_AdvCom32* port) { port_ = port; }

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
  T_AdvCom32* Port() const;

  VarnexContext& context_;
  ManualCommandWatch watch_;
  T_AdvCom32* port_ = nullptr;
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
