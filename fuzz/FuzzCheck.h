#pragma once
// What every harness uses: a check that aborts (libFuzzer reports it as a
// finding, with the input that caused it) and a reader that takes the input
// apart piece by piece.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::size_t Remaining() const { return size_ - pos_; }

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // The next `count` bytes (fewer at the end).
  std::string_view Bytes(std::size_t count) {
    const std::size_t n = count < Remaining() ? count : Remaining();
    const std::string_view out(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return out;
  }

  // Up to the next `separator` byte (dropped), or the rest.
  std::string_view Until(char separator) {
    const std::string_view rest = Bytes(Remaining());
    const std::size_t at = rest.find(separator);
    if (at == std::string_view::npos) return rest;
    pos_ -= rest.size() - at - 1;
    return rest.substr(0, at);
  }

  std::string_view Rest() { return Bytes(Remaining()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// The text split at LF, each line without its LF (a CR before it stays).
inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      if (start < text.size()) lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}
