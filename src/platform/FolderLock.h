#pragma once
// One running program per data folder. The lock is an advisory lock (flock) on a
// file in the folder, held by the running process and released by the system when
// it ends however it ends; a file left behind by a killed process blocks nobody.
// The holder writes its program name and process id into the file, so a refused
// start can say who has the folder. The folder itself is locked as well, so removing
// the file does not free it; a link, or anything but a plain file, under the file's
// name is refused and left alone.
#include <string>

inline constexpr const char* FolderLockFileName = "Varnex.lock";

class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the folder for `program`. False when the folder cannot be used or another
  // process holds it; `error` then holds one line naming the folder (and the holder).
  bool Acquire(const std::string& folder, const std::string& program, std::string* error = nullptr);
  bool Held() const { return fd_ >= 0; }
  void Release();

 private:
  int fd_ = -1;
  int dirFd_ = -1;
};

// The holder as recorded in a lock file's text ("Varnex 1234\n" -> "Varnex (pid 1234)"),
// or "another process" when the text names none.
std::string DescribeLockHolder(const std::string& lockText);
