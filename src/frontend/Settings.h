#pragma once
// The values the settings file keeps beyond the serial line's own settings, and
// the load and save of the whole settings file.
#include <array>
#include <cstdint>
#include <string>

class TBigIniFile;
class T_AdvCom32;

struct VarnexSettings {
  std::int32_t SpanMinutes = 1440;
  double EfcMantissa = 1.0;
  std::int32_t EfcExponent = -12;
  // Learned lowest elevation per whole degree of azimuth; 90 = none seen yet.
  std::array<std::uint8_t, 360> HorizonTable = [] {
    std::array<std::uint8_t, 360> t{};
    t.fill(90);
    return t;
  }();
};

// Reads every key into the port (which is only told its settings, not opened) and the
// settings; a missing or unreadable key gives its default. False when the settings
// file exists but could not be read (error text in `error`); the defaults then apply.
bool LoadSettings(const TBigIniFile& ini, T_AdvCom32& comport, VarnexSettings& settings, std::string* error = nullptr);

// Writes every key and flushes the file if anything changed. False on a file error
// (text in `error`); the values stay in the store and in memory.
bool SaveSettings(TBigIniFile& ini, const T_AdvCom32& comport, const VarnexSettings& settings,
                  std::string* error = nullptr);

// The horizon key of one azimuth: "Az[" + azimuth + "]".
std::string HorizonKey(int azimuth);
