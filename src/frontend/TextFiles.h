#pragma once
// The plain-text files the program appends to and reads back: data files and logs.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class SharedReceiverState;

// Appends `text` (which carries its own line end) to the file, creating it when
// missing: open, one write, close. Never rewrites or truncates. When the file does not
// end with a line end (a crash cut its last line), a CR LF goes first so the new
// line stays whole. False when the line could not be written.
bool AppendTextLine(const std::string& path, std::string_view text);

// "A error in "<operation>" has occurred" + CR LF, the program's trace note for a
// failure it swallows; queued whatever the debug window's hold setting.
std::string ErrorNote(std::string_view operation);
void QueueErrorNote(SharedReceiverState* trace, std::string_view operation);

// Reads a file line by line. A line ends at CR, LF or CR LF; a last line without a
// line end counts; NUL bytes and any other bytes stay in the line. Lines longer
// than the limit are cut to it (the rest of such a line is passed over), so a file
// of garbage without line ends cannot exhaust the memory.
class LineReader {
 public:
  static constexpr std::size_t DefaultMaxLine = 4u << 20;
  explicit LineReader(std::size_t maxLine = DefaultMaxLine);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False when the file cannot be opened (missing, a folder, no permission).
  bool Open(const std::string& path);
  void Close();
  // The next line without its line end; false at the end of the file or on a read error.
  bool Next(std::string& line);
  // The file's size when it was opened.
  std::size_t FileSize() const { return fileSize_; }
  // A read error ended the file early.
  bool Failed() const { return failed_; }

 private:
  bool Fill();

  int fd_ = -1;
  std::size_t maxLine_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0, fileSize_ = 0;
  bool pendingCr_ = false, eof_ = false, failed_ = false;
};
