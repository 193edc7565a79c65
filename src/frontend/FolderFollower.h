#pragma once
// Follows the text files of a folder that another program appends to: each pass hands
// over the complete lines added since the last one. A last line still being written is
// held back until its line end arrives; a file that was replaced or shortened is read
// again from its start (and said so, for the reader to drop what it already has); a new
// file is read from its start. Watches the folder with inotify where the system offers
// it, so a change is seen at once, and compares sizes and times in every pass anyway,
// since a network file system reports no change made on another computer. Opens every
// file for reading only and never writes, locks or creates anything in the folder.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct FollowedFile {
  std::string Name;
  std::vector<std::string> Lines;  // without line ends
  bool Restarted = false;          // replaced or shortened: Lines starts from the top
};

class FolderFollower {
 public:
  // wanted: which file names of the folder to follow.
  FolderFollower(std::string folder, std::function<bool(const std::string& name)> wanted);
  ~FolderFollower();
  FolderFollower(const FolderFollower&) = delete;
  FolderFollower& operator=(const FolderFollower&) = delete;

  // Takes every wanted file as read up to its last complete line, returning that line
  // per file name (for files holding one); a later pass hands over only what follows.
  std::map<std::string, std::string> SkipExisting();
  // One follow pass over the folder.
  std::vector<FollowedFile> Pass();
  // True when the system reported a change in the folder since the last call (never
  // blocks); without a watch always false, and the caller relies on its poll interval.
  bool ChangeReported();
  bool Watching() const { return watch_ >= 0; }
  // Empty while the folder can be read, else why not (it is tried again each pass).
  const std::string& Problem() const { return problem_; }
  std::size_t Followed() const { return tracks_.size(); }

 private:
  struct Track {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, mtimeNs = 0;
    std::int64_t offset = 0;  // just past the last complete line handed over
    std::string tail;         // the bytes just before offset, to tell a rewritten file
  };
  bool ReadNew(const std::string& path, Track& track, FollowedFile& out);
  void OpenWatch();

  std::string folder_;
  std::function<bool(const std::string&)> wanted_;
  std::map<std::string, Track> tracks_;
  std::string problem_;
  int inotify_ = -1;
  int watch_ = -1;
};

// Why a folder cannot be viewed ("... does not exist", "... is not a folder",
// "... cannot be read"), or empty when it can.
std::string FollowFolderProblem(const std::string& folder);
