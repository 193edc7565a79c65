// The number scanner every receiver line goes through: any bytes, at most 40
// numbers, every one finite, "found" exactly when a token may start somewhere.
// The token converter is also fed directly, with every separator string.
#include <cmath>

#include "FuzzCheck.h"
#include "link/ScanNumbers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  NumberList numbers;
  numbers.Count = 7;  // a reused list: nothing of an earlier line may show
  const bool found = ScanNumbers(line, numbers);
  FUZZ_CHECK(numbers.Count >= 0 && numbers.Count <= NumberList::Capacity);
  bool anyStart = false;
  for (std::size_t p = 1; p <= line.size() && !anyStart; ++p) anyStart = IsNumberStart(line, p);
  FUZZ_CHECK(found == anyStart);
  FUZZ_CHECK(found == (numbers.Count > 0));
  for (int k = 1; k <= numbers.Count; ++k) FUZZ_CHECK(std::isfinite(numbers[k]));
  for (int k = numbers.Count + 1; k <= NumberList::Capacity + 1; ++k) FUZZ_CHECK(numbers[k] == 0.0);

  bool again = false;
  const NumberList copy = ScanNumbers(line, again);
  FUZZ_CHECK(again == found && copy.Count == numbers.Count);
  for (int k = 1; k <= copy.Count; ++k) FUZZ_CHECK(copy[k] == numbers[k]);

  // The converter on its own: the first byte picks the separators.
  if (size > 0) {
    static constexpr const char* kSeparators[] = {"", ".", ",", ":", "::", ":.", ".:", "..", ",.", ":::"};
    const char* separators = kSeparators[data[0] % (sizeof kSeparators / sizeof kSeparators[0])];
    const double value = ConvertToken(line.substr(1), separators);
    FUZZ_CHECK(std::isfinite(value));
    if (std::string_view(separators) == ":" || std::string_view(separators) == "::")
      FUZZ_CHECK(value >= 0.0 && value < 1.0);  // a time of day as a fraction of a day
  }
  return 0;
}
