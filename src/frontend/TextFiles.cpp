#include "frontend/TextFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "link/SharedReceiverState.h"

bool AppendTextLine(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string out;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0) {
    char last = '\n';
    if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n' && last != '\r') out = "\r\n";
  }
  out.append(text);
  bool ok = true;
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

std::string ErrorNote(std::string_view operation) {
  std::string note = "A error in \"";
  note.append(operation).append("\" has occurred\r\n");
  return note;
}

void QueueErrorNote(SharedReceiverState* trace, std::string_view operation) {
  if (trace) trace->QueueTrace(ErrorNote(operation));
}

LineReader::LineReader(std::size_t maxLine) : maxLine_(maxLine) {}

LineReader::~LineReader() { Close(); }

bool LineReader::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode)) {
    Close();
    return false;
  }
  fileSize_ = static_cast<std::size_t>(info.st_size);
  buffer_.resize(1u << 18);
  pos_ = end_ = 0;
  pendingCr_ = eof_ = failed_ = false;
  return true;
}

void LineReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LineReader::Fill() {
  if (eof_ || fd_ < 0) return false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n > 0) {
      pos_ = 0;
      end_ = static_cast<std::size_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed_ = true;
    eof_ = true;
    return false;
  }
}

bool LineReader::Next(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) return any;
    if (pendingCr_) {
      pendingCr_ = false;
      if (buffer_[pos_] == '\n') {
        ++pos_;
        continue;
      }
    }
    const char* start = buffer_.data() + pos_;
    const char* stop = buffer_.data() + end_;
    const char* p = start;
    while (p != stop && *p != '\n' && *p != '\r') ++p;
    const std::size_t take = static_cast<std::size_t>(p - start);
    if (line.size() < maxLine_) line.append(start, std::min(take, maxLine_ - line.size()));
    any = true;
    pos_ += take;
    if (p != stop) {
      pendingCr_ = *p == '\r';
      ++pos_;
      return true;
    }
  }
}
