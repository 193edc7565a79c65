#include "receiver_sim/SimControl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

bool ParseControlState(const std::string& text, SimControlState& state) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::string word;
  while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i++])));
  const std::pair<const char*, SimControlState> names[] = {
      {"auto", SimControlState::Auto},         {"locked", SimControlState::Locked},
      {"holdover", SimControlState::Holdover}, {"unlocked", SimControlState::Unlocked},
      {"silent", SimControlState::Silent},
  };
  for (const auto& [name, value] : names) {
    if (word == name) {
      state = value;
      return true;
    }
  }
  return false;
}

const char* ControlStateName(SimControlState state) {
  switch (state) {
    case SimControlState::Auto:
      return "auto";
    case SimControlState::Locked:
      return "locked";
    case SimControlState::Holdover:
      return "holdover";
    case SimControlState::Unlocked:
      return "unlocked";
    case SimControlState::Silent:
      return "silent";
  }
  return "auto";
}

SimControlState ControlFile::Current() {
  if (path_.empty()) return SimControlState::Auto;
  struct stat st {};
  if (stat(path_.c_str(), &st) != 0) {
    seen_ = false;
    state_ = SimControlState::Auto;
    return state_;
  }
  if (seen_ && st.st_size == size_ && st.st_ino == inode_ && st.st_mtim.tv_sec == mtime_.tv_sec &&
      st.st_mtim.tv_nsec == mtime_.tv_nsec)
    return state_;
  seen_ = true;
  size_ = st.st_size;
  inode_ = st.st_ino;
  mtime_ = st.st_mtim;
  // The first word is all that counts; a short read of the head is enough.
  std::string text;
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) text.assign(buffer, static_cast<std::size_t>(n));
    close(fd);
  }
  SimControlState state = SimControlState::Auto;
  if (!ParseControlState(text, state) && !text.empty())
    std::fprintf(stderr, "varnex-receiver-sim: %s: unknown state, running on its own\n", path_.c_str());
  state_ = state;
  return state_;
}
