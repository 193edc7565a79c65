#pragma once
// The values the settings file keeps beyond the serial line's own settings.
#include <array>
#include <cstdint>

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
