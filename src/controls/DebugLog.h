#pragma once
// The debug log "VarnexDebug.Txt" and the drain of the trace queue into a console.
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

class TConsoleScreen;

inline constexpr const char* DebugLogFileName = "VarnexDebug.Txt";
inline constexpr const char* DebugLogHeader = "Varnex Vers 20130801\r\n";

// Appends one line, exactly as given, to the debug log in `folder`. A file that does not
// exist yet is created with the header line first. The file is opened and closed for
// every line; any failure loses only this line and is reported by the result alone.
bool AppendToDebugLog(const std::string& folder, std::string_view line);

// Moves every line queued at this moment, oldest first, into the console and (when
// `logFolder` is given) the debug log, in one pass under `lock`. Returns the lines moved.
std::size_t DrainTraceLines(std::recursive_mutex& lock, std::deque<std::string>& lines, TConsoleScreen& console,
                            const std::string* logFolder);
