// The stability measures on arbitrary samples: NaN, infinities, huge and tiny
// values. No crash, and every point has a finite tau and value, in increasing
// tau, with a value above zero (MTIE: at least zero).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "analysis/Stability.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  // The first byte picks how the rest reads: raw doubles, or 16-bit steps of a
  // nanosecond, which look like a real PPS TI record and reach deeper.
  const bool raw = (in.Byte() & 1) != 0;
  std::vector<double> x;
  if (raw) {
    while (in.Remaining() >= sizeof(double)) {
      double v;
      std::memcpy(&v, in.Bytes(sizeof v).data(), sizeof v);
      x.push_back(v);
    }
  } else {
    while (in.Remaining() >= 2) {
      const std::string_view b = in.Bytes(2);
      const auto step =
          static_cast<std::int16_t>(static_cast<std::uint8_t>(b[0]) | static_cast<std::uint8_t>(b[1]) << 8);
      x.push_back(step * 1e-9);
    }
  }
  for (const MeasureInfo& info : kMeasureCatalogue) {
    double lastTau = 0.0;
    for (const StabilityPoint& p : AllMeasurePoints(info.measure, x)) {
      FUZZ_CHECK(std::isfinite(p.tau));
      FUZZ_CHECK(std::isfinite(p.value));
      FUZZ_CHECK(p.tau > lastTau);
      if (info.measure == StabilityMeasure::Mtie) {
        FUZZ_CHECK(p.value >= 0.0);
      } else {
        FUZZ_CHECK(p.value > 0.0);
      }
      lastTau = p.tau;
    }
  }
  return 0;
}
