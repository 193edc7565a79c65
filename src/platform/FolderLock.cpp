#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "platform/ProgramFolder.h"

namespace {

std::string ReadHolder(int fd) {
  char buf[256];
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

void Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

std::string DescribeLockHolder(const std::string& lockText) {
  std::istringstream in(lockText);
  std::string program;
  long pid = 0;
  if (!(in >> program >> pid) || pid <= 0) return "another process";
  return program + " (pid " + std::to_string(pid) + ")";
}

FolderLock::~FolderLock() { Release(); }

bool FolderLock::Acquire(const std::string& folder, const std::string& program, std::string* error) {
  Release();
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    Fail(error, "The folder " + folder + " cannot be used: " + std::strerror(errno));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    Fail(error, "The folder " + folder + " cannot be used: not a folder");
    return false;
  }
  const std::string path = InFolder(folder, FolderLockFileName);
  // Never truncated on open: until we hold the lock, the text belongs to the holder.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    Fail(error, "The folder " + folder + " cannot be used: " + std::strerror(errno));
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    const std::string holder = ReadHolder(fd);
    ::close(fd);
    if (e == EWOULDBLOCK)
      Fail(error, "The folder " + folder + " is in use by " + DescribeLockHolder(holder));
    else
      Fail(error, "The folder " + folder + " cannot be locked: " + std::strerror(e));
    return false;
  }
  const std::string text = program + " " + std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    // The lock holds all the same; only the name of the holder is missing.
  }
  fd_ = fd;
  return true;
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // drops the lock; the file stays, empty of meaning
  fd_ = -1;
}
