#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <filesystem>

#include "frontend/BigIni.h"
#include "frontend/PersistTestFiles.h"
#include "frontend/Settings.h"
#include "link/AdvCom32.h"
#include "platform/PseudoTerminal.h"
#include "platform/SerialDevice.h"

namespace {

std::string DefaultsFile() {
  std::string t =
      "[Serial]\r\nPort=1\r\nBaud=9600\r\nDatabits=8\r\nStopbits=1\r\nParity=N\r\nDTR=False\r\nRTS=False\r\n\r\n"
      "[Graphics]\r\nSpan=1440\r\n\r\n"
      "[EFC]\r\nMantissa= 1.00000000000000E+0000\r\nExponent=-12\r\n\r\n"
      "[Horizont]\r\n";
  for (int az = 0; az < 360; ++az) t += "Az[" + std::to_string(az) + "]=90\r\n";
  return t + "\r\n";
}

TEST(Settings, MissingFileGivesTheDefaultsAndTheFirstSaveWritesThemExactly) {
  TempFolder dir;
  TAppIniFile ini(dir.Path());
  T_AdvCom32 port;
  port.SetPort(7);
  port.SetBaud(1200);
  port.SetDtr(true);
  VarnexSettings settings;
  settings.SpanMinutes = 5;
  settings.HorizonTable[3] = 1;
  ASSERT_TRUE(LoadSettings(ini, port, settings));
  EXPECT_EQ(port.Port(), 1);
  EXPECT_EQ(port.Baud(), 9600u);
  EXPECT_EQ(port.Databits(), 8);
  EXPECT_EQ(port.Stopbits(), 1);
  EXPECT_EQ(port.Parity(), 'N');
  EXPECT_FALSE(port.Dtr());
  EXPECT_FALSE(port.Rts());
  EXPECT_EQ(port.DevicePath(), "");
  EXPECT_EQ(settings.SpanMinutes, 1440);
  EXPECT_EQ(settings.EfcMantissa, 1.0);
  EXPECT_EQ(settings.EfcExponent, -12);
  for (auto h : settings.HorizonTable) ASSERT_EQ(h, 90);
  EXPECT_FALSE(FileExists(dir.File("Varnex.ini")));

  ASSERT_TRUE(SaveSettings(ini, port, settings));
  EXPECT_EQ(ReadFileBytes(dir.File("Varnex.ini")), DefaultsFile());
}

TEST(Settings, ValuesRoundTripAndOnlyLowBytesCount) {
  TempFolder dir;
  WriteFileBytes(dir.File("Varnex.ini"),
                 "[Serial]\r\nPort=3\r\nBaud=4800\r\nDatabits=263\r\nStopbits=-1\r\nParity=e\r\nDTR=True\r\n"
                 "RTS=true\r\n[Graphics]\r\nSpan=0x5A0\r\n[EFC]\r\nMantissa=1,5\r\nExponent=-9\r\n"
                 "[Horizont]\r\nAz[0]=300\r\nAz[359]=12\r\nAz[5]=abc\r\n");
  TAppIniFile ini(dir.Path());
  T_AdvCom32 port;
  VarnexSettings settings;
  ASSERT_TRUE(LoadSettings(ini, port, settings));
  EXPECT_EQ(port.Port(), 3);
  EXPECT_EQ(port.Baud(), 4800u);  // taken as stored; only the dialog limits it
  EXPECT_EQ(port.Databits(), 7);  // 263 = 0x107
  EXPECT_EQ(port.Stopbits(), 255);
  EXPECT_EQ(port.Parity(), 'E');
  EXPECT_TRUE(port.Dtr());
  EXPECT_FALSE(port.Rts());  // "true" is not "True"
  EXPECT_EQ(settings.SpanMinutes, 1440);
  EXPECT_EQ(settings.EfcMantissa, 1.0);  // decimal comma gives the default
  EXPECT_EQ(settings.EfcExponent, -9);
  EXPECT_EQ(settings.HorizonTable[0], 44);  // 300 = 0x12C
  EXPECT_EQ(settings.HorizonTable[359], 12);
  EXPECT_EQ(settings.HorizonTable[5], 90);

  ASSERT_TRUE(SaveSettings(ini, port, settings));
  const std::string text = ReadFileBytes(dir.File("Varnex.ini"));
  EXPECT_NE(text.find("\r\nParity=E\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nDatabits=7\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nSpan=1440\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nRTS=False\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nAz[0]=44\r\n"), std::string::npos);
}

TEST(Settings, EmptyParityMeansNone) {
  TempFolder dir;
  WriteFileBytes(dir.File("Varnex.ini"), "[Serial]\r\nParity=\r\n");
  TAppIniFile ini(dir.Path());
  T_AdvCom32 port;
  port.SetParity('O');
  VarnexSettings settings;
  LoadSettings(ini, port, settings);
  EXPECT_EQ(port.Parity(), 'N');
}

TEST(Settings, StoredBaudRatesWithoutATermiosConstantRunOrAreRefusedAloud) {
  for (const char* baud : {"14400", "123", "0"}) {
    SCOPED_TRACE(baud);
    PseudoTerminal pty;
    TempFolder dir;
    WriteFileBytes(dir.File("Varnex.ini"), std::string("[Serial]\r\nBaud=") + baud + "\r\nDevice=" + pty.path + "\r\n");
    TAppIniFile ini(dir.Path());
    T_AdvCom32 port;
    std::string reported;
    port.SetFailureReport([&](const std::string& text) { reported = text; });
    VarnexSettings settings;
    LoadSettings(ini, port, settings);
    const bool opened = port.Open();
    if (std::string(baud) == "0") {
      EXPECT_FALSE(opened);
      EXPECT_NE(reported.find("baud rate 0 refused"), std::string::npos) << reported;
    } else {
      EXPECT_TRUE(opened);
      EXPECT_EQ(LineSpeed(pty.slave), std::stoul(baud));
    }
  }
}

TEST(Settings, UnchangedSaveDoesNotTouchTheFile) {
  TempFolder dir;
  const std::string name = dir.File("Varnex.ini");
  WriteFileBytes(name, DefaultsFile());
  timeval past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimes(name.c_str(), past), 0);
  TAppIniFile ini(dir.Path());
  T_AdvCom32 port;
  VarnexSettings settings;
  ASSERT_TRUE(LoadSettings(ini, port, settings));
  ASSERT_TRUE(SaveSettings(ini, port, settings));
  struct stat info {};
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(ReadFileBytes(name), DefaultsFile());
}

TEST(Settings, CommentsAndForeignKeysSurviveASave) {
  TempFolder dir;
  WriteFileBytes(dir.File("Varnex.ini"), "[Serial]\r\n;my receiver\r\nPort=2\r\nColour=blue\r\n[Other]\r\nx=1\r\n");
  TAppIniFile ini(dir.Path());
  T_AdvCom32 port;
  VarnexSettings settings;
  LoadSettings(ini, port, settings);
  settings.SpanMinutes = 60;
  ASSERT_TRUE(SaveSettings(ini, port, settings));
  const std::string text = ReadFileBytes(dir.File("Varnex.ini"));
  EXPECT_EQ(text.rfind("[Serial]\r\n;my receiver\r\nPort=2\r\nColour=blue\r\nBaud=9600\r\n", 0), 0u);
  EXPECT_NE(text.find("[Other]\r\nx=1\r\n\r\n[Graphics]\r\nSpan=60\r\n"), std::string::npos);
}

TEST(Settings, DeviceKeyOnlyWhenSet) {
  TempFolder dir;
  TAppIniFile ini(dir.Path());
  T_AdvCom32 port;
  VarnexSettings settings;
  LoadSettings(ini, port, settings);
  port.SetDevicePath("/dev/ttyUSB0");
  ASSERT_TRUE(SaveSettings(ini, port, settings));
  std::string text = ReadFileBytes(dir.File("Varnex.ini"));
  EXPECT_NE(text.find("RTS=False\r\nDevice=/dev/ttyUSB0\r\n\r\n[Graphics]"), std::string::npos);

  TAppIniFile again(dir.Path());
  T_AdvCom32 other;
  LoadSettings(again, other, settings);
  EXPECT_EQ(other.DevicePath(), "/dev/ttyUSB0");
  other.SetDevicePath("");
  ASSERT_TRUE(SaveSettings(again, other, settings));
  EXPECT_EQ(ReadFileBytes(dir.File("Varnex.ini")), DefaultsFile());
}

TEST(Settings, UnreadableFileGivesDefaultsAndIsKept) {
  TempFolder dir;
  std::filesystem::create_directory(dir.File("Varnex.ini"));
  TAppIniFile ini(dir.Path());
  T_AdvCom32 port;
  port.SetPort(9);
  VarnexSettings settings;
  std::string error;
  EXPECT_FALSE(LoadSettings(ini, port, settings, &error));
  EXPECT_NE(error.find("Varnex.ini"), std::string::npos);
  EXPECT_EQ(port.Port(), 1);
  EXPECT_EQ(settings.SpanMinutes, 1440);
  error.clear();
  EXPECT_FALSE(SaveSettings(ini, port, settings, &error));
  EXPECT_FALSE(error.empty());
}

TEST(Settings, UnwritableFolderFailsWithTheFileError) {
  TempFolder dir;
  TAppIniFile ini(dir.Path() + "/missing");
  T_AdvCom32 port;
  VarnexSettings settings;
  std::string error;
  EXPECT_FALSE(SaveSettings(ini, port, settings, &error));
  EXPECT_NE(error.find("Cannot create file"), std::string::npos);
  // The values stay in the store and reach the disk once it can be written.
  std::filesystem::create_directory(dir.Path() + "/missing");
  EXPECT_TRUE(SaveSettings(ini, port, settings, &error));
  EXPECT_EQ(ReadFileBytes(dir.Path() + "/missing/Varnex.ini"), DefaultsFile());
}

}  // namespace
