#include "frontend/Settings.h"

#include <cctype>

#include "frontend/BigIni.h"
#include "link/AdvCom32.h"

namespace {
constexpr const char* SerialSection = "Serial";
constexpr const char* GraphicsSection = "Graphics";
constexpr const char* EfcSection = "EFC";
constexpr const char* HorizonSection = "Horizont";
// Our own key: a device path that overrides the port number, written only when set.
constexpr const char* DeviceKey = "Device";
}  // namespace

std::string HorizonKey(int azimuth) { return "Az[" + std::to_string(azimuth) + "]"; }

bool LoadSettings(const TBigIniFile& ini, T_AdvCom32& comport, VarnexSettings& settings, std::string* error) {
  comport.SetPort(ini.ReadInteger(SerialSection, "Port", 1));
  comport.SetBaud(static_cast<std::uint32_t>(ini.ReadInteger(SerialSection, "Baud", 9600)));
  // The port keeps these in 8 bits; only the low byte of the stored number counts.
  comport.SetDatabits(static_cast<std::uint8_t>(ini.ReadInteger(SerialSection, "Databits", 8)));
  comport.SetStopbits(static_cast<std::uint8_t>(ini.ReadInteger(SerialSection, "Stopbits", 1)));
  // An empty value counts as missing: "N".
  const char parity = ini.ReadChar(SerialSection, "Parity", 'N');
  comport.SetParity(static_cast<char>(std::toupper(static_cast<unsigned char>(parity))));
  comport.SetDtr(ini.ReadBool(SerialSection, "DTR", false));
  comport.SetRts(ini.ReadBool(SerialSection, "RTS", false));
  comport.SetDevicePath(ini.ReadString(SerialSection, DeviceKey, std::string()));

  settings.SpanMinutes = ini.ReadInteger(GraphicsSection, "Span", 1440);
  settings.EfcMantissa = ini.ReadFloat(EfcSection, "Mantissa", 1.0);
  settings.EfcExponent = ini.ReadInteger(EfcSection, "Exponent", -12);
  for (int az = 0; az < 360; ++az)
    settings.HorizonTable[az] = static_cast<std::uint8_t>(ini.ReadInteger(HorizonSection, HorizonKey(az), 90));

  if (ini.LoadFailed()) {
    if (error) *error = ini.LastError();
    return false;
  }
  return true;
}

bool SaveSettings(TBigIniFile& ini, const T_AdvCom32& comport, const VarnexSettings& settings, std::string* error) {
  ini.WriteInteger(SerialSection, "Port", comport.Port());
  ini.WriteInteger(SerialSection, "Baud", static_cast<std::int32_t>(comport.Baud()));
  ini.WriteInteger(SerialSection, "Databits", comport.Databits());
  ini.WriteInteger(SerialSection, "Stopbits", comport.Stopbits());
  ini.WriteString(SerialSection, "Parity", std::string(1, comport.Parity()));
  ini.WriteBool(SerialSection, "DTR", comport.Dtr());
  ini.WriteBool(SerialSection, "RTS", comport.Rts());
  // Files that never had a device path stay byte for byte as they were.
  if (!comport.DevicePath().empty()) {
    ini.WriteString(SerialSection, DeviceKey, comport.DevicePath());
  } else {
    ini.DeleteKey(SerialSection, DeviceKey);
  }
  ini.WriteInteger(GraphicsSection, "Span", settings.SpanMinutes);
  ini.WriteFloat(EfcSection, "Mantissa", settings.EfcMantissa);
  ini.WriteInteger(EfcSection, "Exponent", settings.EfcExponent);
  for (int az = 0; az < 360; ++az) ini.WriteInteger(HorizonSection, HorizonKey(az), settings.HorizonTable[az]);

  if (!ini.Flush()) {
    if (error) *error = ini.LastError();
    return false;
  }
  return true;
}
