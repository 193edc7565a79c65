#pragma once
// The status history ("VarnexStatus.Txt": status changes and user comments) and the
// error log ("VarnexError.Txt": receiver error texts). Lines are "yyyy-mm-dd hh:nn:ss"
// + ": " + message + CR LF, only ever appended.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DateTime.h"

class SharedReceiverState;

inline constexpr const char* StatusHistoryFileName = "VarnexStatus.Txt";
inline constexpr const char* ErrorLogFileName = "VarnexError.Txt";

// stamp + ": " + message, without line end.
std::string LogLine(TDateTime stamp, std::string_view message);

// Each append returns the line written (without line end), or nothing when the file
// could not be written; the line is then lost and the trace note for the operation
// is queued.
std::optional<std::string> AppendStatusHistory(const std::string& folder, TDateTime stamp, std::string_view message,
                                               SharedReceiverState* trace = nullptr);
std::optional<std::string> AppendErrorLog(const std::string& folder, TDateTime stamp, std::string_view message,
                                          SharedReceiverState* trace = nullptr);
// stamp + ": User comment: " + the comment as typed. An empty comment writes nothing.
std::optional<std::string> WriteUserComment(const std::string& folder, TDateTime stamp, std::string_view comment,
                                            SharedReceiverState* trace = nullptr);

// The status code of the first of "OTH" 1, "HOLD" 2, "WAIT" 3, "REC" 4, "LOCK" 5,
// "POW" 6 found in the line (case-sensitive, in that order), or 0 for none.
std::uint8_t StatusCodeInLine(std::string_view line);

// The loaders keep the newest lines only, and cut overlong ones, so that a log grown
// huge over years (or a file of garbage) cannot exhaust the memory; every line is
// still scanned for the status seed.
inline constexpr std::size_t MaxLogLines = 100000;
inline constexpr std::size_t MaxLogLineLength = 64u << 10;

struct StatusHistory {
  std::vector<std::string> Lines;
  // The code of the last line naming a status; 0 without any (or without a file).
  std::uint8_t LastStatusCode = 0;
};
// A read error keeps the lines and the code found so far.
StatusHistory LoadStatusHistory(const std::string& folder);
std::vector<std::string> LoadErrorLog(const std::string& folder);
