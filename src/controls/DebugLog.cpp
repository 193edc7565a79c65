#include "controls/DebugLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "controls/Console.h"

namespace {
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}
}  // namespace

bool AppendToDebugLog(const std::string& folder, std::string_view line) {
  std::string path = folder.empty() ? std::string(DebugLogFileName) : folder + "/" + DebugLogFileName;
  // Creating exclusively tells "we made the file" apart from "it was there", so the
  // header is written once even if another process creates the file at the same time.
  bool created = true;
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  }
  if (fd < 0) return false;
  bool ok = true;
  if (created) ok = WriteAll(fd, DebugLogHeader, std::strlen(DebugLogHeader));
  if (ok) ok = WriteAll(fd, line.data(), line.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}

std::size_t DrainTraceLines(std::recursive_mutex& lock, std::deque<std::string>& lines, TConsoleScreen& console,
                            const std::string* logFolder) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  const std::size_t n = lines.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& line = lines.front();
    if (logFolder) AppendToDebugLog(*logFolder, line);
    console.WriteString(line);
    lines.pop_front();
  }
  return n;
}
