#include "frontend/FolderFollower.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/ProgramFolder.h"

namespace {

constexpr std::size_t ChunkBytes = 64u << 10;
// A "line" this long without a line end is not one a writer of ours makes; it is passed
// over rather than read again on every pass.
constexpr std::int64_t MaxPendingBytes = 1 << 20;

std::int64_t MtimeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads up to n bytes at offset; the count read, 0 at the end, -1 on error.
ssize_t ReadAt(int fd, char* buffer, std::size_t n, std::int64_t offset) {
  for (;;) {
    const ssize_t got = ::pread(fd, buffer, n, offset);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// A file rewritten from the top to the same length or beyond no longer holds, before
// the offset, the bytes that were there: the tail of the last line read.
constexpr std::int64_t TailBytes = 128;

std::string ReadTail(int fd, std::int64_t offset) {
  const std::int64_t from = std::max<std::int64_t>(0, offset - TailBytes);
  std::string tail(static_cast<std::size_t>(offset - from), '\0');
  if (ReadAt(fd, tail.data(), tail.size(), from) != static_cast<ssize_t>(tail.size())) tail.clear();
  return tail;
}

void PushLine(std::vector<std::string>& lines, const char* begin, const char* end) {
  if (end > begin && end[-1] == '\r') --end;
  lines.emplace_back(begin, end);
}

}  // namespace

std::string FollowFolderProblem(const std::string& folder) {
  struct stat st {};
  if (folder.empty()) return "no folder was given";
  if (::stat(folder.c_str(), &st) != 0) return folder + " does not exist";
  if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
  if (::access(folder.c_str(), R_OK | X_OK) != 0) return folder + " cannot be read";
  return {};
}

FolderFollower::FolderFollower(std::string folder, std::function<bool(const std::string&)> wanted)
    : folder_(std::move(folder)), wanted_(std::move(wanted)) {
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  OpenWatch();
}

FolderFollower::~FolderFollower() {
  if (inotify_ >= 0) ::close(inotify_);
}

void FolderFollower::OpenWatch() {
  if (inotify_ < 0 || watch_ >= 0) return;
  watch_ = ::inotify_add_watch(inotify_, folder_.c_str(),
                               IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                   IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
}

bool FolderFollower::ChangeReported() {
  if (inotify_ < 0) return false;
  alignas(struct inotify_event) char buffer[4096];
  bool changed = false;
  for (;;) {
    const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
    if (got <= 0) break;
    changed = true;
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const struct inotify_event*>(buffer + at);
      // The folder went (unmounted, removed): the next pass watches it anew.
      if (e->mask & IN_IGNORED) watch_ = -1;
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + e->len);
    }
  }
  return changed;
}

std::map<std::string, std::string> FolderFollower::SkipExisting() {
  std::map<std::string, std::string> lastLines;
  DIR* dir = ::opendir(folder_.c_str());
  if (!dir) return lastLines;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir))
    if (wanted_(e->d_name)) names.emplace_back(e->d_name);
  ::closedir(dir);
  for (const std::string& name : names) {
    const Fd fd(::open(InFolder(folder_, name).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    Track t{
        static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), st.st_size, MtimeNs(st), 0, {}};
    // The end of the last complete line, found by reading back from the end.
    std::string tail;
    std::int64_t start = st.st_size;
    while (start > 0 && st.st_size - start < MaxPendingBytes) {
      const std::int64_t from = std::max<std::int64_t>(0, start - static_cast<std::int64_t>(ChunkBytes));
      std::string chunk(static_cast<std::size_t>(start - from), '\0');
      if (ReadAt(fd.get(), chunk.data(), chunk.size(), from) != static_cast<ssize_t>(chunk.size())) break;
      tail.insert(0, chunk);
      start = from;
      const std::size_t lastEnd = tail.rfind('\n');
      if (lastEnd == std::string::npos) continue;
      t.offset = start + static_cast<std::int64_t>(lastEnd) + 1;
      const std::size_t lineStart = lastEnd == 0 ? std::string::npos : tail.rfind('\n', lastEnd - 1);
      if (lineStart == std::string::npos && start > 0) continue;  // the whole last line is not in yet
      const std::size_t begin = lineStart == std::string::npos ? 0 : lineStart + 1;
      std::vector<std::string> one;
      PushLine(one, tail.data() + begin, tail.data() + lastEnd);
      lastLines[name] = one.front();
      break;
    }
    t.tail = ReadTail(fd.get(), t.offset);
    tracks_[name] = t;
  }
  return lastLines;
}

bool FolderFollower::ReadNew(const std::string& path, Track& t, FollowedFile& out) {
  const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return false;
  // Shortened and written again since the last pass.
  if (t.offset > 0 && (st.st_size < t.offset || ReadTail(fd.get(), t.offset) != t.tail)) {
    t.offset = 0;
    out.Restarted = true;
  }
  std::string pending;
  std::vector<char> chunk(ChunkBytes);
  std::int64_t at = t.offset;
  while (at < st.st_size) {
    const ssize_t got = ReadAt(fd.get(), chunk.data(),
                               std::min<std::size_t>(ChunkBytes, static_cast<std::size_t>(st.st_size - at)), at);
    if (got <= 0) break;
    at += got;
    const char* p = chunk.data();
    const char* end = p + got;
    while (p < end) {
      const char* nl = std::find(p, end, '\n');
      if (nl == end) {
        pending.append(p, end);
        break;
      }
      if (pending.empty()) {
        PushLine(out.Lines, p, nl);
      } else {
        pending.append(p, nl);
        PushLine(out.Lines, pending.data(), pending.data() + pending.size());
        pending.clear();
      }
      p = nl + 1;
    }
    if (static_cast<std::int64_t>(pending.size()) > MaxPendingBytes) pending.clear();
  }
  // Only complete lines count as read; the rest comes again with its line end.
  t.offset = at - static_cast<std::int64_t>(pending.size());
  t.tail = ReadTail(fd.get(), t.offset);
  return true;
}

std::vector<FollowedFile> FolderFollower::Pass() {
  std::vector<FollowedFile> result;
  DIR* dir = ::opendir(folder_.c_str());
  if (!dir) {
    // A share that went away: what was read stays read; it resumes when it is back.
    problem_ = FollowFolderProblem(folder_);
    if (problem_.empty()) problem_ = folder_ + " cannot be read";
    return result;
  }
  problem_.clear();
  OpenWatch();
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir))
    if (wanted_(e->d_name)) names.emplace_back(e->d_name);
  ::closedir(dir);

  // A file that vanished keeps its place: on a share that comes back it goes on where
  // it was, and one put back in its stead is seen as replaced.
  for (const std::string& name : names) {
    const std::string path = InFolder(folder_, name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    auto found = tracks_.find(name);
    const bool fresh = found == tracks_.end();
    Track& t = fresh ? tracks_[name] : found->second;
    FollowedFile out{name, {}, false};
    const bool replaced = !fresh && (t.device != static_cast<std::uint64_t>(st.st_dev) ||
                                     t.inode != static_cast<std::uint64_t>(st.st_ino) || st.st_size < t.offset);
    if (replaced) {
      t.offset = 0;
      out.Restarted = true;
    } else if (!fresh && st.st_size == t.size && MtimeNs(st) == t.mtimeNs) {
      continue;
    }
    t.device = static_cast<std::uint64_t>(st.st_dev);
    t.inode = static_cast<std::uint64_t>(st.st_ino);
    t.size = st.st_size;
    t.mtimeNs = MtimeNs(st);
    if (!ReadNew(path, t, out)) {
      t.size = -1;  // try again next pass
      continue;
    }
    if (!out.Lines.empty() || out.Restarted) result.push_back(std::move(out));
  }
  return result;
}
