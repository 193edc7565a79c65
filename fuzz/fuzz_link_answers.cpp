// What the link makes of receiver answers: the answer trimming, the GCRU
// status decoding, the "*IDN?" family and the time code built from the time and
// date answers. The first byte picks the parser; the rest is the receiver's text.
#include <cmath>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "frontend/RefreshRules.h"
#include "link/LinkRules.h"
#include "link/SharedReceiverState.h"

namespace {

// A value the decoder publishes must read back as the number it stands for.
void CheckNumberText(const std::string& text) {
  if (text == "NAN" || text == "INF" || text == "-INF") return;
  double value = 0.0;
  FUZZ_CHECK(StrictToFloat(text, value));
  FUZZ_CHECK(std::isfinite(value));
}

// The trimming's four steps, one after another as they are stated.
std::string ReferenceTrim(std::string buffer, const std::string& command) {
  while (buffer.size() > 1 && buffer.back() != '\r') buffer.pop_back();
  if (buffer.size() > 1) buffer.pop_back();
  const std::size_t echo = buffer.find(command);
  if (echo != std::string::npos) buffer.erase(echo, command.size());
  std::string out;
  for (char c : buffer)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  switch (in.Byte() % 4) {
    case 0: {
      const std::string command(in.Until('\0'));
      std::string buffer(in.Rest());
      const std::string expected = ReferenceTrim(buffer, command);
      TrimAnswer(buffer, command);
      FUZZ_CHECK(buffer == expected);
      break;
    }
    case 1: {
      SharedReceiverState state;
      DecodeGcruStatus(SplitLines(in.Rest()), state);
      std::string text;
      FUZZ_CHECK(state.Take(ReceiverValue::LifeCount, text) && text == "1");
      for (ReceiverValue v : {ReceiverValue::Tracked, ReceiverValue::Visible}) {
        if (!state.IsNew(v)) continue;
        FUZZ_CHECK(state.Take(v, text));
        std::size_t digitsAt = text[0] == '-' ? 1 : 0;
        FUZZ_CHECK(text.size() > digitsAt && text.find_first_not_of("0123456789", digitsAt) == std::string::npos);
      }
      for (ReceiverValue v : {ReceiverValue::PpsTi, ReceiverValue::Hup}) {
        if (state.Take(v, text)) CheckNumberText(text);
      }
      if (state.Take(ReceiverValue::OscStatus, text))
        FUZZ_CHECK(text == "LOCK" || text == "REC" || text == "HOLD" || text == "POW");
      break;
    }
    case 2: {
      const std::uint8_t family = FamilyFromIdn(in.Rest());
      FUZZ_CHECK(family <= FamilyUndefined);
      FUZZ_CHECK(DetectedDeviceMessage(family).rfind("Detected Device: ", 0) == 0);
      break;
    }
    default: {
      const std::string_view timeText = in.Until('\n');
      const std::string_view dateText = in.Rest();
      std::string code = "unchanged";
      if (BuildTimeCode(timeText, dateText, code)) {
        // What the link builds, the refresh tick must read as a real moment.
        FUZZ_CHECK(code.size() == 20);
        const TimeCode parsed = ParseTimeCode(code);
        FUZZ_CHECK(parsed.outcome == TimeCode::Valid && parsed.encodes);
      } else {
        FUZZ_CHECK(code == "unchanged");
      }
      break;
    }
  }
  return 0;
}
