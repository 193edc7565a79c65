#pragma once
// "Varnex Parameters": the serial line, the chart span and the EFC scale.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "frontend/EventSettings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;
class T_AdvCom32;
class TBigIniFile;
class TAppIniFile;
struct VarnexContext;
class TEventsForm;

class TParameterForm : public QDialog {
  Q_OBJECT
 public:
  explicit TParameterForm(VarnexContext& context, QWidget* parent = nullptr);
  ~TParameterForm() override;

  // The port and the settings store the dialog works on, handed in by the main window.
  // Without a store it uses one of its own on the same file; without a port the serial
  // settings are left alone.
  void Attach(T_AdvCom32* comport, TBigIniFile* ini);

  // Empties the four time series and refills them from the data files; run when the
  // span grows. Set by the main window.
  std::function<void()> ReloadCharts;
  // Where the device list looks for stable device names.
  std::string ByIdFolder = "/dev/serial/by-id";
  // Shows a file error or a malformed device address; the framework's error box unless replaced.
  std::function<void(const QString& text)> ShowError;

  // Fills the controls from the current values; runs every time the dialog is shown.
  void FormShow();
  // "&Ok": applies, re-opens the port, reloads the charts when the span grew, saves and
  // closes. False (dialog stays open) when the device field holds a malformed network
  // address or the settings file could not be written.
  bool Button1Click();
  // "&Cancel": closes; nothing changes.
  void Button2Click();

  QSpinBox* ComSpin = nullptr;
  QComboBox* DeviceBox = nullptr;
  QComboBox* Baudbox = nullptr;
  QComboBox* Databox = nullptr;
  QComboBox* Stopbox = nullptr;
  QComboBox* Paritybox = nullptr;
  QCheckBox* DTRBox = nullptr;
  QCheckBox* RTSBox = nullptr;
  QSpinBox* Spanedit = nullptr;
  QDoubleSpinBox* MantissaEdit = nullptr;
  QSpinBox* ExponentEdit = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  // Opens "Varnex Events"; what it edits waits for "&Ok".
  QPushButton* EventsButton = nullptr;
  // While it is open.
  TEventsForm* EventsForm = nullptr;
  const EventSettings& PendingEvents() const { return pendingEvents_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void FillDevices(const std::string& current);
  T_AdvCom32* Port();
  TBigIniFile* Store();

  VarnexContext& context_;
  T_AdvCom32* comport_ = nullptr;
  TBigIniFile* ini_ = nullptr;
  std::unique_ptr<TAppIniFile> ownIni_;
  EventSettings pendingEvents_;
};
