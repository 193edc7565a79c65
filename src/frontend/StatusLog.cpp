#include "frontend/StatusLog.h"

#include <deque>
#include <iterator>

#include "frontend/TextFiles.h"
#include "platform/ProgramFolder.h"

namespace {

std::optional<std::string> Append(const std::string& folder, const char* fileName, std::string line,
                                  SharedReceiverState* trace, std::string_view operation) {
  // A line break inside a message would make a line that does not start with a time stamp.
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  if (!AppendTextLine(InFolder(folder, fileName), line + "\r\n")) {
    QueueErrorNote(trace, operation);
    return std::nullopt;
  }
  return line;
}

std::vector<std::string> ReadLines(const std::string& path, std::uint8_t* lastStatus) {
  std::deque<std::string> lines;
  LineReader reader(MaxLogLineLength);
  if (!reader.Open(path)) return {};
  std::string line;
  while (reader.Next(line)) {
    if (lastStatus) {
      if (const std::uint8_t code = StatusCodeInLine(line)) *lastStatus = code;
    }
    lines.push_back(line);
    if (lines.size() > MaxLogLines) lines.pop_front();
  }
  return {std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end())};
}

}  // namespace

std::string LogLine(TDateTime stamp, std::string_view message) {
  std::string line = FormatStamp(stamp);
  line.append(": ").append(message);
  return line;
}

std::optional<std::string> AppendStatusHistory(const std::string& folder, TDateTime stamp, std::string_view message,
                                               SharedReceiverState* trace) {
  return Append(folder, StatusHistoryFileName, LogLine(stamp, message), trace, "AppendStatusHistory");
}

std::optional<std::string> AppendErrorLog(const std::string& folder, TDateTime stamp, std::string_view message,
                                          SharedReceiverState* trace) {
  return Append(folder, ErrorLogFileName, LogLine(stamp, message), trace, "AppendErrorLog");
}

std::optional<std::string> WriteUserComment(const std::string& folder, TDateTime stamp, std::string_view comment,
                                            SharedReceiverState* trace) {
  if (comment.empty()) return std::nullopt;
  std::string line = LogLine(stamp, "User comment: ");
  line.append(comment);
  return Append(folder, StatusHistoryFileName, std::move(line), trace, "WriteUserComment");
}

std::uint8_t StatusCodeInLine(std::string_view line) {
  static constexpr std::string_view Words[] = {"OTH", "HOLD", "WAIT", "REC", "LOCK", "POW"};
  for (std::size_t i = 0; i < std::size(Words); ++i)
    if (line.find(Words[i]) != std::string_view::npos) return static_cast<std::uint8_t>(i + 1);
  return 0;
}

StatusHistory LoadStatusHistory(const std::string& folder) {
  StatusHistory history;
  history.Lines = ReadLines(InFolder(folder, StatusHistoryFileName), &history.LastStatusCode);
  return history;
}

std::vector<std::string> LoadErrorLog(const std::string& folder) {
  return ReadLines(InFolder(folder, ErrorLogFileName), nullptr);
}
