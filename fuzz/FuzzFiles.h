#pragma once
// A scratch folder for harnesses that read files, in memory where the system
// offers it so that every run stays fast.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "FuzzCheck.h"

inline const std::string& ScratchFolder() {
  // Never destroyed, so the clean-up at exit can still use it.
  static const std::string* folder = [] {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/varnex-fuzz-XXXXXX" : "/tmp/varnex-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    auto* made = new std::string(pattern);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchFolder(), ec);
    });
    return made;
  }();
  return *folder;
}

inline void WriteScratchFile(const std::string& path, std::string_view text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  FUZZ_CHECK(std::fwrite(text.data(), 1, text.size(), f) == text.size());
  FUZZ_CHECK(std::fclose(f) == 0);
}

inline std::string ReadScratchFile(const std::string& path) {
  std::string text;
  FILE* f = std::fopen(path.c_str(), "rb");
  FUZZ_CHECK(f != nullptr);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}
