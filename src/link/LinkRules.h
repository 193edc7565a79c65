#pragma once
// The text rules of the receiver link, kept apart from the thread so that each
// can be checked on its own.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class SharedReceiverState;
class Clock;

// Queues one trace line unless the debug window holds: stamped lines begin with
// the UTC time "yyyy-mm-dd hh:nn:ss" and a blank; every line ends in CR LF.
void AddTrace(SharedReceiverState& state, Clock& clock, bool stamped, std::string_view message);

// Cuts a collected answer down to the bare answer: drops the prompt and whatever
// follows the last CR, then that CR, then the first echo of the command, then every
// CR and LF.
void TrimAnswer(std::string& buffer, std::string_view command);

// The family code the "*IDN?" answer names (last matching key wins), 10 for none.
std::uint8_t FamilyFromIdn(std::string_view answer);
// "Detected Device: ..." message of a family code.
std::string DetectedDeviceMessage(std::uint8_t family);

// Seconds as text: general format, up to 15 significant digits, "." always
// (0.000165, 7.2E-9).
std::string GeneralNumberText(double value);

// Decodes a GCRU status screen into the shared values. Only sets flags, never clears
// them; the life count "1" is published whatever the screen holds.
void DecodeGcruStatus(const std::vector<std::string>& lines, SharedReceiverState& state);

// Builds "T2yyyymmddhhnnss0000" from the answers to "PTIM:TIME?" and "PTIM:DATE?"
// (numbers separated by commas); false when they do not form a valid date and time.
bool BuildTimeCode(std::string_view timeText, std::string_view dateText, std::string& timeCode);
