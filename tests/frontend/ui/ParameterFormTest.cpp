#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>

#include "frontend/BigIni.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/PersistUiTestApp.h"
#include "link/AdvCom32.h"
#include "platform/PseudoTerminal.h"

namespace {

class ParameterFormTest : public ::testing::Test, protected PersistUiFixture {
 protected:
  ParameterFormTest() : ini_(folder.Path()), form_(context) {
    // A port nobody can open unless a test gives it a device.
    port_.SetDevicePath(folder.File("no-such-device"));
    form_.Attach(&port_, &ini_);
    form_.ReloadCharts = [this] {
      ++reloads_;
      spanAtReload_ = context.Settings.SpanMinutes;
    };
    form_.ShowError = [this](const QString& text) { errors_.push_back(text); };
  }

  T_AdvCom32 port_;
  TAppIniFile ini_;
  TParameterForm form_;
  int reloads_ = 0;
  int spanAtReload_ = 0;
  std::vector<QString> errors_;
};

TEST_F(ParameterFormTest, ControlsHaveTheirRangesAndSteps) {
  EXPECT_EQ(form_.windowTitle(), "Varnex Parameters");
  EXPECT_EQ(form_.size(), QSize(659, 201));
  EXPECT_EQ(form_.ComSpin->minimum(), 1);
  EXPECT_EQ(form_.ComSpin->maximum(), 255);
  EXPECT_EQ(form_.Spanedit->minimum(), 1);
  EXPECT_EQ(form_.Spanedit->maximum(), 14400);
  EXPECT_EQ(form_.Spanedit->singleStep(), 10);
  EXPECT_EQ(form_.MantissaEdit->decimals(), 1);
  EXPECT_EQ(form_.MantissaEdit->minimum(), 0.0);
  EXPECT_EQ(form_.MantissaEdit->maximum(), 9.9);
  EXPECT_EQ(form_.ExponentEdit->minimum(), -99);
  EXPECT_EQ(form_.ExponentEdit->maximum(), 99);
  QStringList bauds;
  for (int i = 0; i < form_.Baudbox->count(); ++i) bauds << form_.Baudbox->itemText(i);
  EXPECT_EQ(bauds, QStringList({"9600", "19200", "38400", "57600", "115200"}));
  EXPECT_EQ(form_.Paritybox->itemText(2), "odd");
  EXPECT_EQ(form_.DTRBox->text(), "Set DTR handshake to active");
  EXPECT_EQ(form_.Button1->text(), "&Ok");
  EXPECT_EQ(form_.Button2->text(), "&Cancel");
  QStringList groups;
  for (auto* g : form_.findChildren<QGroupBox*>()) groups << g->title();
  EXPECT_EQ(groups, QStringList({"Serial Port", "Graphics", "EFC"}));
}

struct ShowCase {
  std::uint32_t baud;
  std::uint8_t databits, stopbits;
  char parity;
  const char *baudText, *dataText, *stopText, *parityText;
};

TEST_F(ParameterFormTest, FormShowMapsThePortSettings) {
  const ShowCase cases[] = {
      {4800, 8, 1, 'N', "9600", "8", "1", "none"},
      {115200, 7, 2, 'E', "115200", "7", "2", "even"},
      {38400, 5, 0, 'O', "38400", "8", "2", "odd"},
      {19200, 8, 1, 'M', "19200", "8", "1", "odd"},
  };
  for (const auto& c : cases) {
    port_.SetBaud(c.baud);
    port_.SetDatabits(c.databits);
    port_.SetStopbits(c.stopbits);
    port_.SetParity(c.parity);
    form_.FormShow();
    EXPECT_EQ(form_.Baudbox->currentText(), c.baudText) << c.baud;
    EXPECT_EQ(form_.Databox->currentText(), c.dataText) << int(c.databits);
    EXPECT_EQ(form_.Stopbox->currentText(), c.stopText) << int(c.stopbits);
    EXPECT_EQ(form_.Paritybox->currentText(), c.parityText) << c.parity;
  }
  port_.SetPort(4);
  port_.SetDtr(true);
  context.Settings.SpanMinutes = 2880;
  context.Settings.EfcMantissa = 2.5;
  context.Settings.EfcExponent = -10;
  form_.FormShow();
  EXPECT_EQ(form_.ComSpin->value(), 4);
  EXPECT_TRUE(form_.DTRBox->isChecked());
  EXPECT_FALSE(form_.RTSBox->isChecked());
  EXPECT_EQ(form_.Spanedit->value(), 2880);
  EXPECT_EQ(form_.MantissaEdit->value(), 2.5);
  EXPECT_EQ(form_.ExponentEdit->value(), -10);
  EXPECT_EQ(form_.DeviceBox->currentText().toStdString(), port_.DevicePath());
}

TEST_F(ParameterFormTest, OkAppliesReopensAndSaves) {
  PseudoTerminal pty;
  ASSERT_FALSE(pty.path.empty());
  const char* name = pty.path.c_str();
  port_.SetBaud(4800);
  form_.show();
  EXPECT_EQ(form_.Baudbox->currentText(), "9600");
  form_.ComSpin->setValue(3);
  form_.DeviceBox->setCurrentText(name);
  form_.Paritybox->setCurrentIndex(1);
  form_.Databox->setCurrentIndex(0);
  form_.Stopbox->setCurrentIndex(1);
  form_.RTSBox->setChecked(true);
  form_.Spanedit->setValue(60);
  form_.MantissaEdit->setValue(3.3);
  form_.ExponentEdit->setValue(-11);
  form_.Button1->click();

  EXPECT_FALSE(form_.isVisible());
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(port_.Port(), 3);
  EXPECT_EQ(port_.Baud(), 9600u);
  EXPECT_EQ(port_.Parity(), 'E');
  EXPECT_EQ(port_.Databits(), 7);
  EXPECT_EQ(port_.Stopbits(), 2);
  EXPECT_TRUE(port_.Rts());
  EXPECT_EQ(port_.DevicePath(), name);
  EXPECT_TRUE(port_.Opened());
  EXPECT_EQ(reloads_, 0);  // a smaller span is left to the next trim
  EXPECT_EQ(context.Settings.SpanMinutes, 60);
  EXPECT_DOUBLE_EQ(context.Settings.EfcMantissa, 3.3);
  EXPECT_EQ(context.Settings.EfcExponent, -11);
  const std::string text = ReadFileBytes(folder.File("Varnex.ini"));
  EXPECT_NE(text.find("Port=3\r\nBaud=9600\r\nDatabits=7\r\nStopbits=2\r\nParity=E\r\nDTR=False\r\nRTS=True\r\n"
                      "Device=" +
                      std::string(name) + "\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("Mantissa= 3.30000000000000E+0000\r\nExponent=-11\r\n"), std::string::npos);
  port_.Close();
}

TEST_F(ParameterFormTest, LargerSpanReloadsTheChartsWithTheNewSpan) {
  form_.show();
  form_.Spanedit->setValue(2880);
  EXPECT_TRUE(form_.Button1Click());
  EXPECT_EQ(reloads_, 1);
  EXPECT_EQ(spanAtReload_, 2880);
  EXPECT_FALSE(port_.Opened());  // the missing device stays closed, without a message
  EXPECT_TRUE(errors_.empty());
}

TEST_F(ParameterFormTest, CancelChangesNothing) {
  port_.SetBaud(4800);
  form_.show();
  form_.Baudbox->setCurrentIndex(3);
  form_.Spanedit->setValue(9000);
  form_.DTRBox->setChecked(true);
  form_.Button2->click();
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(port_.Baud(), 4800u);
  EXPECT_FALSE(port_.Dtr());
  EXPECT_EQ(context.Settings.SpanMinutes, 1440);
  EXPECT_EQ(reloads_, 0);
  EXPECT_FALSE(FileExists(folder.File("Varnex.ini")));
  form_.show();  // showing again takes the current values
  EXPECT_EQ(form_.Spanedit->value(), 1440);
  EXPECT_FALSE(form_.DTRBox->isChecked());
}

TEST_F(ParameterFormTest, UnwritableSettingsKeepTheDialogOpen) {
  TAppIniFile unwritable(folder.File("missing-folder"));
  form_.Attach(&port_, &unwritable);
  form_.show();
  form_.Spanedit->setValue(100);
  EXPECT_FALSE(form_.Button1Click());
  EXPECT_TRUE(form_.isVisible());
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(errors_[0].contains("missing-folder/Varnex.ini")) << errors_[0].toStdString();
  EXPECT_EQ(context.Settings.SpanMinutes, 100);  // kept in memory
  form_.Button2Click();
}

TEST_F(ParameterFormTest, OkRefusesAMalformedAddressAndTakesAWellFormedOne) {
  PseudoTerminal pty;
  port_.SetDevicePath(pty.path);
  ASSERT_TRUE(port_.Open());
  struct Case {
    std::string typed;
    const char* said;  // in the message; empty: accepted
  };
  const Case cases[] = {
      {"socket://192.168.1.20", "no port"},
      {"rfc2217://ser2net:70000", "from 1 to 65535"},
      {"socket://" + std::string(5000, 'x') + ":4001", "longer than 253"},
      {" rfc2217://127.0.0.1:2217 ", ""},
      {"socket://[::1]:4001", ""},
  };
  for (const Case& c : cases) {
    errors_.clear();
    form_.show();
    form_.DeviceBox->setCurrentText(QString::fromStdString(c.typed));
    const bool accepted = form_.Button1Click();
    EXPECT_EQ(accepted, *c.said == '\0') << c.typed.substr(0, 40);
    if (accepted) {
      EXPECT_EQ(port_.DevicePath(), QString::fromStdString(c.typed).trimmed().toStdString());
      EXPECT_NE(ReadFileBytes(folder.File("Varnex.ini")).find("Device=" + port_.DevicePath()), std::string::npos);
      continue;
    }
    // Said, the dialog open, the line as it was.
    ASSERT_EQ(errors_.size(), 1u) << c.typed.substr(0, 40);
    EXPECT_TRUE(errors_[0].contains(c.said)) << errors_[0].toStdString();
    EXPECT_LT(errors_[0].size(), 400);
    EXPECT_TRUE(form_.isVisible());
    EXPECT_EQ(port_.DevicePath(), pty.path);
    EXPECT_TRUE(port_.Opened());
  }
  form_.hide();
}

TEST_F(ParameterFormTest, Picture) {
  // A stable name for an adapter, pointing at a device that exists (a pseudo-terminal).
  PseudoTerminal pty;
  form_.ByIdFolder = folder.File("by-id");
  std::filesystem::create_directory(form_.ByIdFolder);
  std::filesystem::create_symlink(pty.path, form_.ByIdFolder + "/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0");
  port_.SetDevicePath("");
  form_.show();
  ASSERT_GE(form_.DeviceBox->count(), 2);
  EXPECT_EQ(form_.DeviceBox->itemText(1).toStdString(),
            form_.ByIdFolder + "/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0");
  EXPECT_EQ(form_.DeviceBox->model()->index(1, 1).data().toString().toStdString(), pty.path);
  form_.DeviceBox->setCurrentText("rfc2217://192.168.1.20:2217");
  const QImage image = form_.grab().toImage();
  EXPECT_EQ(image.size(), QSize(659, 201));
  EXPECT_TRUE(image.save(PersistPicturePath("ParameterForm.png")));
  form_.DeviceBox->showPopup();
  EXPECT_TRUE(form_.DeviceBox->view()->window()->grab().save(PersistPicturePath("ParameterFormDevices.png")));
  form_.DeviceBox->hidePopup();
  form_.hide();
}

}  // namespace
