// The status screen: the satellite table taken from any lines with any tracked
// count, then the sky view, C/N bars and learned horizon built from it.
#include <cstring>

#include "FuzzCheck.h"
#include "frontend/StatusScreen.h"
#include "link/SharedReceiverState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  std::int32_t tracked = 0;
  const std::string_view count = in.Bytes(4);
  std::memcpy(&tracked, count.data(), count.size());
  // Mostly counts a receiver could send, now and then anything.
  if ((tracked & 0x100) == 0) tracked = static_cast<std::int8_t>(tracked & 0xff);
  const std::vector<std::string> lines = SplitLines(in.Rest());

  SharedReceiverState state;
  state.TraceHold = (size % 2) != 0;
  SatelliteTable table;
  for (std::size_t i = 0; i < 3; ++i) table.Rows[i] = {static_cast<std::int32_t>(i + 5), 40, 100, 45};
  table.Count = 3;  // the previous screen's rows
  GetTrackedData(lines, tracked, table, state);
  FUZZ_CHECK(table.Count >= 0 && table.Count <= SatelliteTable::Capacity);
  // One note per row taken at most, plus the header's three lines.
  FUZZ_CHECK(state.TraceCount() <= 3u + static_cast<std::size_t>(table.Count) + 1u);

  HorizonTable horizon;
  horizon.fill(90);
  const SatelliteDisplay display = BuildSatelliteDisplay(table, horizon);
  FUZZ_CHECK(display.Sky.size() == display.Bars.size());
  FUZZ_CHECK(display.Sky.size() <= static_cast<std::size_t>(table.Count));
  for (std::uint8_t h : horizon) FUZZ_CHECK(h <= 90);
  return 0;
}
