#include "frontend/ui/ParameterUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ui/VarnexContext.h"
#include "frontend/BigIni.h"
#include "frontend/DeviceChoices.h"
#include "frontend/Settings.h"
#include "frontend/ui/DesktopEvents.h"
#include "frontend/ui/EventsUnit.h"
#include "frontend/ui/UserComment.h"
#include "frontend/ui/WindowPlacement.h"
#include "link/AdvCom32.h"

namespace {
constexpr std::uint32_t BaudRates[] = {9600, 19200, 38400, 57600, 115200};
constexpr char Parities[] = {'N', 'E', 'O'};

QComboBox* NewList(QWidget* parent, const char* name, const QStringList& items) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->addItems(items);
  return box;
}

QLabel* NewLabel(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  return label;
}
}  // namespace

TParameterForm::TParameterForm(VarnexContext& context, QWidget* parent) : QDialog(parent), context_(context) {
  setObjectName("ParameterForm");
  setWindowTitle("Varnex Parameters");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(false);
  BuildControls();
  PlaceWindow(*this, {QSize(659, 201), DesignSize::Client, context_.MainWindow, true});
  ShowError = [this](const QString& text) { QMessageBox::critical(this, "Varnex", text); };
}

TParameterForm::~TParameterForm() = default;

void TParameterForm::BuildControls() {
  auto* serial = new QGroupBox("Serial Port", this);
  ComSpin = new QSpinBox(serial);
  ComSpin->setObjectName("ComSpin");
  ComSpin->setRange(1, 255);
  DeviceBox = new QComboBox(serial);
  DeviceBox->setObjectName("DeviceBox");
  DeviceBox->setEditable(true);
  DeviceBox->setInsertPolicy(QComboBox::NoInsert);
  DeviceBox->lineEdit()->setPlaceholderText("device or socket://host:port");
  DeviceBox->setToolTip(
      "A serial device to use instead of the Com number; the names under /dev/serial/by-id stay the same\n"
      "when the adapter is plugged in again. A receiver behind a serial device server or ser2net:\n"
      "socket://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (Telnet, line settings set on the server).");
  DeviceBox->setMinimumWidth(150);
  // The list shows each stable name with the device it reaches now, in a second column.
  auto* deviceModel = new QStandardItemModel(0, 2, DeviceBox);
  auto* deviceView = new QTreeView(DeviceBox);
  deviceView->setRootIsDecorated(false);
  deviceView->setHeaderHidden(true);
  deviceView->setAllColumnsShowFocus(true);
  DeviceBox->setModel(deviceModel);
  DeviceBox->setView(deviceView);
  DeviceBox->setModelColumn(0);
  connect(DeviceBox, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { ComSpin->setEnabled(text.trimmed().isEmpty()); });
  Baudbox = NewList(serial, "Baudbox", {"9600", "19200", "38400", "57600", "115200"});
  Databox = NewList(serial, "Databox", {"7", "8"});
  Stopbox = NewList(serial, "Stopbox", {"1", "2"});
  Paritybox = NewList(serial, "Paritybox", {"none", "even", "odd"});
  DTRBox = new QCheckBox("Set DTR handshake to active", serial);
  DTRBox->setObjectName("DTRBox");
  RTSBox = new QCheckBox("Set RTS handshake to active", serial);
  RTSBox->setObjectName("RTSBox");

  auto* serialGrid = new QGridLayout(serial);
  serialGrid->setVerticalSpacing(2);
  serialGrid->setContentsMargins(9, 4, 9, 4);
  serialGrid->addWidget(NewLabel("Com", ComSpin), 0, 0);
  serialGrid->addWidget(ComSpin, 0, 1);
  // A device path or a network address is long: it gets a row of its own.
  serialGrid->addWidget(NewLabel("Device", DeviceBox), 1, 0);
  serialGrid->addWidget(DeviceBox, 1, 1, 1, 3);
  serialGrid->addWidget(NewLabel("Baudrate", Baudbox), 2, 0);
  serialGrid->addWidget(Baudbox, 2, 1);
  serialGrid->addWidget(NewLabel("Databits", Databox), 2, 2);
  serialGrid->addWidget(Databox, 2, 3);
  serialGrid->addWidget(NewLabel("Parity", Paritybox), 3, 0);
  serialGrid->addWidget(Paritybox, 3, 1);
  serialGrid->addWidget(NewLabel("Stopbits", Stopbox), 3, 2);
  serialGrid->addWidget(Stopbox, 3, 3);
  serialGrid->addWidget(DTRBox, 4, 0, 1, 4);
  serialGrid->addWidget(RTSBox, 5, 0, 1, 4);

  auto* graphics = new QGroupBox("Graphics", this);
  Spanedit = new QSpinBox(graphics);
  Spanedit->setObjectName("Spanedit");
  Spanedit->setRange(1, 14400);
  Spanedit->setSingleStep(10);
  auto* graphicsRow = new QHBoxLayout(graphics);
  graphicsRow->addWidget(NewLabel("Horizontal span / minutes", Spanedit));
  graphicsRow->addWidget(Spanedit);
  graphicsRow->addStretch();

  auto* efc = new QGroupBox("EFC", this);
  MantissaEdit = new QDoubleSpinBox(efc);
  MantissaEdit->setObjectName("MantissaEdit");
  MantissaEdit->setDecimals(1);
  MantissaEdit->setRange(0.0, 9.9);
  MantissaEdit->setSingleStep(0.1);
  ExponentEdit = new QSpinBox(efc);
  ExponentEdit->setObjectName("ExponentEdit");
  ExponentEdit->setRange(-99, 99);
  // The exponent sits raised beside "X 10", like a superscript.
  auto* exponentColumn = new QVBoxLayout;
  exponentColumn->setSpacing(0);
  exponentColumn->addWidget(ExponentEdit);
  exponentColumn->addSpacing(12);
  auto* efcRow = new QHBoxLayout;
  efcRow->setSpacing(4);
  efcRow->addWidget(new QLabel("1 EFC unit equals"), 0, Qt::AlignBottom);
  efcRow->addWidget(MantissaEdit, 0, Qt::AlignBottom);
  efcRow->addWidget(new QLabel("X 10"), 0, Qt::AlignBottom);
  efcRow->addLayout(exponentColumn);
  efcRow->addStretch();
  auto* efcColumn = new QVBoxLayout(efc);
  efcColumn->setSpacing(2);
  efcColumn->addLayout(efcRow);
  efcColumn->addWidget(new QLabel("relative change in OCXO frequency"));

  Button1 = new QPushButton("&Ok", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("&Cancel", this);
  Button2->setObjectName("Button2");
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  EventsButton = new QPushButton("E&vents...", this);
  EventsButton->setObjectName("EventsButton");
  EventsButton->setToolTip("The command run for each event, and the desktop notifications");
  // Made for each opening, so that it is among this dialog's children only while shown.
  connect(EventsButton, &QPushButton::clicked, this, [this] {
    TEventsForm events(this);
    EventsForm = &events;
    events.SetSettings(pendingEvents_);
    if (events.exec() == QDialog::Accepted) pendingEvents_ = events.Settings();
    EventsForm = nullptr;
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(EventsButton);
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);

  auto* right = new QVBoxLayout;
  right->addWidget(graphics);
  right->addWidget(efc);
  right->addStretch();
  right->addLayout(buttons);
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(8, 6, 8, 8);
  outer->addWidget(serial, 11);
  outer->addLayout(right, 10);
}

void TParameterForm::Attach(T_AdvCom32* comport, TBigIniFile* ini) {
  comport_ = comport;
  ini_ = ini;
}

T_AdvCom32* TParameterForm::Port() { return comport_; }

TBigIniFile* TParameterForm::Store() {
  if (ini_) return ini_;
  if (!ownIni_) ownIni_ = std::make_unique<TAppIniFile>(context_.Folder);
  return ownIni_.get();
}

void TParameterForm::FillDevices(const std::string& current) {
  std::vector<std::string> present;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    present.push_back(info.systemLocation().toStdString());
  auto* model = static_cast<QStandardItemModel*>(DeviceBox->model());
  model->removeRows(0, model->rowCount());
  model->appendRow({new QStandardItem(), new QStandardItem()});
  for (const DeviceChoice& c : ListDeviceChoices(present, ByIdFolder)) {
    auto* kernel = new QStandardItem(QString::fromStdString(c.kernel));
    kernel->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    model->appendRow({new QStandardItem(QString::fromStdString(c.path)), kernel});
  }
  auto* view = static_cast<QTreeView*>(DeviceBox->view());
  view->resizeColumnToContents(0);
  view->resizeColumnToContents(1);
  view->setMinimumWidth(view->columnWidth(0) + view->columnWidth(1) + 8);
  DeviceBox->setCurrentText(QString::fromStdString(current));
}

void TParameterForm::FormShow() {
  const VarnexSettings& s = context_.Settings;
  if (T_AdvCom32* port = Port()) {
    ComSpin->setValue(port->Port());
    const auto* baud = std::find(std::begin(BaudRates), std::end(BaudRates), port->Baud());
    Baudbox->setCurrentIndex(baud == std::end(BaudRates) ? 0 : static_cast<int>(baud - std::begin(BaudRates)));
    Databox->setCurrentIndex(port->Databits() == 7 ? 0 : 1);
    Stopbox->setCurrentIndex(port->Stopbits() == 1 ? 0 : 1);
    Paritybox->setCurrentIndex(port->Parity() == 'N' ? 0 : port->Parity() == 'E' ? 1 : 2);
    DTRBox->setChecked(port->Dtr());
    RTSBox->setChecked(port->Rts());
    FillDevices(port->DevicePath());
  }
  Spanedit->setValue(s.SpanMinutes);
  MantissaEdit->setValue(s.EfcMantissa);
  ExponentEdit->setValue(s.EfcExponent);
  pendingEvents_ = context_.EventConfig;
}

bool TParameterForm::Button1Click() {
  VarnexSettings& s = context_.Settings;
  T_AdvCom32* port = Port();
  // A malformed network address is said before anything changes; the dialog stays open.
  const std::string problem = CheckDeviceField(DeviceBox->currentText().trimmed().toStdString());
  if (!problem.empty()) {
    if (ShowError) ShowError(QString::fromStdString(problem));
    DeviceBox->setFocus();
    return false;
  }
  if (port) {
    port->Close();
    port->SetPort(ComSpin->value());
    if (Baudbox->currentIndex() >= 0) port->SetBaud(BaudRates[Baudbox->currentIndex()]);
    port->SetDatabits(Databox->currentIndex() == 0 ? 7 : 8);
    port->SetStopbits(Stopbox->currentIndex() == 0 ? 1 : 2);
    port->SetParity(Parities[std::clamp(Paritybox->currentIndex(), 0, 2)]);
    port->SetShowErrors(false);
    port->SetDtr(DTRBox->isChecked());
    port->SetRts(RTSBox->isChecked());
    port->SetDevicePath(DeviceBox->currentText().trimmed().toStdString());
    // A port that does not open stays closed; the poll thread then hears nothing.
    port->Open();
  }

  if (Spanedit->value() > s.SpanMinutes) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    s.SpanMinutes = Spanedit->value();
    if (ReloadCharts) ReloadCharts();
    QApplication::restoreOverrideCursor();
  }
  s.SpanMinutes = Spanedit->value();
  s.EfcMantissa = MantissaEdit->value();
  s.EfcExponent = ExponentEdit->value();

  const bool eventsChanged = !(pendingEvents_ == context_.EventConfig);
  context_.EventConfig = pendingEvents_;
  // A changed command is checked (and a bad one said) as at start.
  if (context_.Events && (eventsChanged || port)) context_.Events->Configure(port ? port->DeviceName() : "");
  SaveEventSettings(*Store(), context_.EventConfig);

  if (port) {
    std::string error;
    if (!SaveSettings(*Store(), *port, s, &error)) {
      if (ShowError) ShowError(QString::fromStdString(error));
      return false;
    }
  }
  hide();
  return true;
}

void TParameterForm::Button2Click() { hide(); }

void TParameterForm::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}
