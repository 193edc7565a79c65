#include "frontend/MetricsOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "frontend/BigIni.h"

namespace {
bool Fail(std::string* why, const std::string& what) {
  if (why) *why = what + ": " + std::strerror(errno);
  return false;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}
}  // namespace

MetricsConfig ReadMetricsConfig(const TBigIniFile& ini) {
  MetricsConfig c;
  c.File = ini.ReadString("Metrics", "File", "");
  c.Listen = ini.ReadString("Metrics", "Listen", "");
  return c;
}

bool ParseListen(const std::string& text, ListenAddress& out, std::string* why) {
  std::string host = "127.0.0.1";
  std::string port = text;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      if (why) *why = "\"" + text + "\" is not [ADDRESS]:PORT";
      return false;
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string::npos) {
      if (why) *why = "\"" + text + "\": an IPv6 address goes in brackets, [::1]:PORT";
      return false;
    }
  }
  char* end = nullptr;
  errno = 0;
  const long number = port.empty() ? 0 : std::strtol(port.c_str(), &end, 10);
  if (port.empty() || errno != 0 || *end != '\0' || number < 1 || number > 65535 || host.empty() ||
      port.find_first_not_of("0123456789") != std::string::npos) {
    if (why) *why = "\"" + text + "\" is not [HOST:]PORT with a port from 1 to 65535";
    return false;
  }
  out.Host = host;
  out.Port = static_cast<int>(number);
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* why) {
  // Same folder, so the rename stays on one file system; a name of our own per process.
  std::string temp = Folder(path) + "/." + path.substr(path.rfind('/') + 1) + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Fail(why, "cannot create a file in " + Folder(path));
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      close(fd);
      unlink(temp.c_str());
      errno = error;
      return Fail(why, "cannot write " + temp);
    }
    done += static_cast<std::size_t>(n);
  }
  // Readable by the collector, which runs as another user.
  fchmod(fd, 0644);
  if (close(fd) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    errno = error;
    return Fail(why, "cannot write " + temp);
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    errno = error;
    return Fail(why, "cannot replace " + path);
  }
  return true;
}

std::optional<std::string> MetricsFile::Offer(const std::string& text, TDateTime now) {
  const double sinceWrite = std::fabs(now - writtenAt_) * SecondsPerDay;
  if (everWritten_ && !failing_ && text == written_ && sinceWrite < RewriteSeconds) return std::nullopt;
  // A failing file is tried again at the rewrite interval, not at every tick.
  if (failing_ && sinceWrite < RewriteSeconds) return std::nullopt;
  std::string why;
  const bool ok = WriteFileAtomically(path_, text, &why);
  writtenAt_ = now;
  if (ok) {
    written_ = text;
    everWritten_ = true;
    if (!failing_) return std::nullopt;
    failing_ = false;
    return "The metrics file " + path_ + " is written again";
  }
  const bool say = !failing_ || std::fabs(now - saidAt_) * SecondsPerDay >= QuietSeconds;
  failing_ = true;
  if (!say) return std::nullopt;
  saidAt_ = now;
  return "Cannot write the metrics file " + path_ + ": " + why + " (tried again every 10 s; said once an hour)";
}
