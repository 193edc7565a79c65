#include "platform/FolderLock.h"

#include <fcntl.h>
#include <pwd.h>
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

std::string UserName(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[1024];
  if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
  return "with id " + std::to_string(uid);
}

// A lock file this user may not open for writing (another user's): who owns it, whether
// the folder is held now, and by which program where the file can be read.
std::string DescribeForeignLock(int dirFd, int openError) {
  const std::string name = FolderLockFileName;
  struct stat st {};
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return "cannot be used: " + std::string(std::strerror(openError));
  const std::string user = UserName(st.st_uid);
  std::string holder;
  const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    holder = ReadHolder(fd);
    ::close(fd);
  }
  const bool named = DescribeLockHolder(holder) != "another process";
  if (::flock(dirFd, LOCK_EX | LOCK_NB) != 0)
    return "is in use by " + (named ? DescribeLockHolder(holder) : std::string("a program")) + " of user " + user;
  ::flock(dirFd, LOCK_UN);
  return "cannot be used: its lock file " + name + " belongs to user " + user +
         (named ? ", last held by " + DescribeLockHolder(holder) : std::string());
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
  // The folder itself is locked too: a lock file removed under a running program would
  // otherwise let a second one in.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) {
    Fail(error, "The folder " + folder + " cannot be used: " + std::strerror(errno));
    return false;
  }
  const std::string name = FolderLockFileName;
  auto refuse = [&](const std::string& text) {
    ::close(dirFd);
    Fail(error, "The folder " + folder + " " + text);
    return false;
  };
  // A few rounds at most: the file at the path may be replaced between opening and locking.
  for (int round = 0; round < 5; ++round) {
    // Never through a link, never truncated before the lock is held: until then the
    // text belongs to the holder. Not waiting on a pipe planted there.
    const int fd = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
      const int e = errno;
      if (e == ELOOP) return refuse("cannot be used: its lock file " + name + " is a symbolic link");
      if (e == EISDIR) return refuse("cannot be used: its lock file " + name + " is not a plain file");
      if (e == EACCES || e == EPERM) return refuse(DescribeForeignLock(dirFd, e));
      return refuse("cannot be used: " + std::string(std::strerror(e)));
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      ::close(fd);
      return refuse("cannot be used: its lock file " + name + " is not a plain file");
    }
    if (opened.st_nlink > 1) {
      ::close(fd);
      return refuse("cannot be used: its lock file " + name + " has other names (hard links)");
    }
    for (const int target : {dirFd, fd}) {
      if (::flock(target, LOCK_EX | LOCK_NB) == 0) continue;
      const int e = errno;
      const std::string holder = ReadHolder(fd);
      ::close(fd);
      if (e == EWOULDBLOCK) return refuse("is in use by " + DescribeLockHolder(holder));
      return refuse("cannot be locked: " + std::string(std::strerror(e)));
    }
    // The file locked must still be the one at the path, or the next program would
    // lock another and think itself alone.
    struct stat atPath {};
    if (::fstatat(dirFd, name.c_str(), &atPath, AT_SYMLINK_NOFOLLOW) != 0 || atPath.st_dev != opened.st_dev ||
        atPath.st_ino != opened.st_ino) {
      ::close(fd);
      ::flock(dirFd, LOCK_UN);
      continue;
    }
    const std::string text = program + " " + std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
      // The lock holds all the same; only the name of the holder is missing.
    }
    fd_ = fd;
    dirFd_ = dirFd;
    return true;
  }
  return refuse("cannot be locked: its lock file " + name + " keeps being replaced");
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // drops the lock; the file stays, empty of meaning
  ::close(dirFd_);
  fd_ = dirFd_ = -1;
}
