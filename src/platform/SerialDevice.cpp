#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

speed_t BaudToSpeed(std::uint32_t baud) {
  switch (baud) {
    case 50:
      return B50;
    case 75:
      return B75;
    case 110:
      return B110;
    case 134:
      return B134;
    case 150:
      return B150;
    case 200:
      return B200;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 1800:
      return B1800;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 500000:
      return B500000;
    case 576000:
      return B576000;
    case 921600:
      return B921600;
    case 1000000:
      return B1000000;
    default:
      return B0;
  }
}

bool ApplyLineSettings(termios& t, const SerialLineSettings& s) {
  cfmakeraw(&t);
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  switch (s.databits) {
    case 5:
      t.c_cflag |= CS5;
      break;
    case 6:
      t.c_cflag |= CS6;
      break;
    case 7:
      t.c_cflag |= CS7;
      break;
    default:
      t.c_cflag |= CS8;
      break;
  }
  if (s.parity == 'E') {
    t.c_cflag |= PARENB;
  } else if (s.parity == 'O') {
    t.c_cflag |= PARENB | PARODD;
  }
  if (s.stopbits == 2) t.c_cflag |= CSTOPB;
  // Reads never wait: the caller polls the queue.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const speed_t speed = BaudToSpeed(s.baud);
  if (speed == B0) return false;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return true;
}

bool SerialDevice::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  if (!::isatty(fd)) {
    error_ = "not a serial device";
    ::close(fd);
    return false;
  }
  // Not shared: a second program (or a second port object) on the same device fails.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = "in use";
    ::close(fd);
    return false;
  }
  error_.clear();
  fd_ = fd;
  path_ = path;
  lostErrno_ = 0;
  return true;
}

void SerialDevice::Close() {
  if (fd_ < 0) return;
  ::close(fd_);  // a failing close still releases the descriptor
  fd_ = -1;
  lostErrno_ = 0;
}

// Errors that mean the device itself is gone, not just a busy or odd line.
void SerialDevice::NoteError(int error) const {
  if (error == EIO || error == ENXIO || error == ENODEV) lostErrno_ = error;
}

bool SerialDevice::Lost(std::string& why) {
  if (fd_ < 0) return false;
  if (lostErrno_ != 0) {
    why = std::strerror(lostErrno_);
    return true;
  }
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
    why = "hang-up";
    return true;
  }
  struct stat node {};
  struct stat open {};
  if (::stat(path_.c_str(), &node) != 0) {
    if (errno == ENOENT || errno == ENODEV || errno == ENOTDIR) {
      why = "device gone";
      return true;
    }
    return false;
  }
  if (::fstat(fd_, &open) == 0 && (node.st_rdev != open.st_rdev || node.st_ino != open.st_ino)) {
    why = "another device at the path";
    return true;
  }
  return false;
}

bool SerialDevice::Configure(const SerialLineSettings& s, std::string* rateRefused) {
  if (fd_ < 0) return false;
  auto refuse = [&](const std::string& why) {
    error_ = "baud rate " + std::to_string(s.baud) + " refused: " + why;
    if (rateRefused) *rateRefused = error_;
    return false;
  };
  // Zero would hang the line up.
  if (s.baud == 0) return refuse("no such rate");
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  const bool standard = ApplyLineSettings(t, s);
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  if (standard) return true;
  if (!SetLineSpeed(fd_, s.baud)) return refuse(std::strerror(errno));
  // A driver may round to what its clock can make, or fall back to another rate.
  const std::uint32_t actual = LineSpeed(fd_);
  if (std::llabs(static_cast<long long>(actual) - s.baud) * 100 > 3LL * s.baud)
    return refuse("the line runs at " + std::to_string(actual));
  return true;
}

bool SerialDevice::ModemLine(int bit, bool on) {
  if (fd_ < 0) return false;
  return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

bool SerialDevice::SetDtr(bool on) { return ModemLine(TIOCM_DTR, on); }
bool SerialDevice::SetRts(bool on) { return ModemLine(TIOCM_RTS, on); }

bool SerialDevice::SetBreak(bool on) {
  if (fd_ < 0) return false;
  return ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0;
}

int SerialDevice::InQueue() {
  int n = 0;
  if (fd_ < 0) return 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) {
    NoteError(errno);
    return 0;
  }
  return n < 0 ? 0 : n;
}

int SerialDevice::OutQueue() {
  int n = 0;
  if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0) return 0;
  return n;
}

std::size_t SerialDevice::ReadAvailable(char* buffer, std::size_t size) {
  if (fd_ < 0 || size == 0) return 0;
  std::size_t got = 0;
  while (got < size) {
    const ssize_t r = ::read(fd_, buffer + got, size - got);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r < 0 && errno == EINTR) {
      continue;
    } else {
      if (r < 0) NoteError(errno);
      break;  // nothing more waiting, end of file or an error (device gone)
    }
  }
  return got;
}

std::size_t SerialDevice::WriteAll(const char* data, std::size_t size, int timeoutMs, int stallMs) {
  if (fd_ < 0) return 0;
  using SteadyClock = std::chrono::steady_clock;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  const auto stall = std::chrono::milliseconds(stallMs < 0 ? timeoutMs : stallMs);
  // A line that drains at its speed is alive even while it has no room for more: a
  // serial driver wakes its writer only when its queue is nearly empty.
  auto stallDeadline = SteadyClock::now() + stall;
  int queued = OutQueue();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t w = ::write(fd_, data + done, size - done);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      stallDeadline = SteadyClock::now() + stall;
      queued = OutQueue();
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      NoteError(errno);
      break;
    }
    const int nowQueued = OutQueue();
    if (nowQueued < queued) stallDeadline = SteadyClock::now() + stall;
    queued = nowQueued;
    if (Wanted()) break;
    const auto until = std::min(deadline, stallDeadline);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now()).count();
    if (left <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(std::min<long long>(left, 50))) < 0 && errno != EINTR) break;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) break;
  }
  return done;
}
