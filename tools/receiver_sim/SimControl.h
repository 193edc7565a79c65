#pragma once
// The simulated receiver's state taken from a control file while it runs, so a test or a
// person can put it into holdover, make it lose lock or cut the line, and let it go back
// to its own sequence, without restarting it.
#include <sys/types.h>

#include <ctime>
#include <string>

enum class SimControlState {
  Auto,      // the receiver's own sequence: power-up, recovery, lock, holdover episodes
  Locked,    // locked to GPS
  Holdover,  // SmartClock mode holdover
  Unlocked,  // lock lost: acquiring again (recovery)
  Silent,    // answers nothing at all, as if the line were cut
};

// The first word of the text decides ("locked", "holdover", "unlocked", "silent", "auto",
// any case); false for an empty text or another word.
bool ParseControlState(const std::string& text, SimControlState& state);
const char* ControlStateName(SimControlState state);

class ControlFile {
 public:
  explicit ControlFile(std::string path = {}) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // The state the file asks for now: Auto when there is no path or no file. The file is
  // read again only when its size, modification time or inode changed, so calling this
  // before every answer costs one stat. An unknown word counts as Auto and is said once
  // on standard error.
  SimControlState Current();

 private:
  std::string path_;
  bool seen_ = false;
  off_t size_ = -1;
  timespec mtime_{};
  ino_t inode_ = 0;
  SimControlState state_ = SimControlState::Auto;
};
