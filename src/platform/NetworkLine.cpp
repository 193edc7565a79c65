#include "platform/NetworkLine.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

using SteadyClock = std::chrono::steady_clock;

// Shared by the line and its helper thread; whichever is left last closes the socket.
struct ConnectAttempt {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
  bool abandoned = false;
  int fd = -1;
  std::string error;
  SteadyClock::time_point deadline;
};

namespace {

constexpr int MaxConnectWaitInWriteMs = 200;

int MillisecondsLeft(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void TuneSocket(int fd) {
  const int on = 1;
  // Queries are short; each goes out at once.
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  // A peer that vanished without a word (power cut, cable) shows up as an error.
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  const int idle = 10, interval = 5, count = 3, userTimeoutMs = 20000;
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

// One endpoint, non-blocking, within the deadline; the socket or -1 with why.
int ConnectTo(const NetworkEndpoint& e, SteadyClock::time_point deadline, std::string& why) {
  const int fd = ::socket(e.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    why = std::strerror(errno);
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&e.address), e.length) != 0) {
    if (errno != EINPROGRESS) {
      why = std::strerror(errno);
      ::close(fd);
      return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int r;
    while ((r = ::poll(&p, 1, MillisecondsLeft(deadline))) < 0 && errno == EINTR) {
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (r <= 0) {
      why = "no connection within " + std::to_string(NetworkLine::ConnectTimeoutMs / 1000) + " s";
      ::close(fd);
      return -1;
    }
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      why = std::strerror(error ? error : errno);
      ::close(fd);
      return -1;
    }
  }
  TuneSocket(fd);
  return fd;
}

void RunAttempt(std::shared_ptr<ConnectAttempt> attempt, std::string host, int port, NameResolver resolver) {
  std::string why;
  int fd = -1;
  std::vector<NetworkEndpoint> endpoints;
  if (resolver(host, port, endpoints, why)) {
    for (const NetworkEndpoint& e : endpoints) {
      if (MillisecondsLeft(attempt->deadline) == 0) break;
      if ((fd = ConnectTo(e, attempt->deadline, why)) >= 0) break;
    }
    if (fd < 0 && why.empty()) why = "no address for " + host;
  }
  std::lock_guard<std::mutex> lock(attempt->mutex);
  if (attempt->abandoned || SteadyClock::now() > attempt->deadline) {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (why.empty() || !attempt->abandoned)
      why = "no connection within " + std::to_string(NetworkLine::ConnectTimeoutMs / 1000) + " s";
  }
  attempt->fd = fd;
  attempt->error = fd >= 0 ? std::string() : why;
  attempt->done = true;
  attempt->changed.notify_all();
}

}  // namespace

bool ResolveName(const std::string& host, int port, std::vector<NetworkEndpoint>& found, std::string& why) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const int r = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (r != 0) {
    why = std::string("host ") + host + " not found (" + ::gai_strerror(r) + ")";
    return false;
  }
  for (addrinfo* a = list; a; a = a->ai_next) {
    NetworkEndpoint e;
    std::memcpy(&e.address, a->ai_addr, a->ai_addrlen);
    e.length = a->ai_addrlen;
    found.push_back(e);
  }
  ::freeaddrinfo(list);
  return true;
}

NetworkLine::NetworkLine(DeviceAddress address, NameResolver resolver)
    : address_(std::move(address)),
      resolver_(std::move(resolver)),
      attempt_(std::make_shared<ConnectAttempt>()),
      telnet_(address_.kind == DeviceAddress::Kind::Rfc2217) {}

NetworkLine::~NetworkLine() { Close(); }

void NetworkLine::Open() {
  if (started_) return;
  started_ = opened_ = true;
  attempt_->deadline = SteadyClock::now() + std::chrono::milliseconds(ConnectTimeoutMs);
  try {
    std::thread(RunAttempt, attempt_, address_.host, address_.port, resolver_).detach();
  } catch (...) {
    std::lock_guard<std::mutex> lock(attempt_->mutex);
    attempt_->done = true;
    attempt_->error = "no thread to connect with";
  }
}

void NetworkLine::Close() {
  {
    // A helper thread still at work closes what it gets itself.
    std::lock_guard<std::mutex> lock(attempt_->mutex);
    attempt_->abandoned = true;
    if (attempt_->done && attempt_->fd >= 0 && attempt_->fd != fd_) ::close(attempt_->fd);
    attempt_->fd = -1;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  opened_ = false;
  inbound_.clear();
}

void NetworkLine::WaitOpened(int timeoutMs) {
  std::unique_lock<std::mutex> lock(attempt_->mutex);
  attempt_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return attempt_->done; });
}

// Takes over the helper thread's result once there is one.
bool NetworkLine::Adopt() {
  if (fd_ >= 0) return true;
  if (!opened_ || !failed_.empty()) return false;
  std::lock_guard<std::mutex> lock(attempt_->mutex);
  if (attempt_->done) {
    if (attempt_->fd < 0) {
      failed_ = attempt_->error;
      return false;
    }
    fd_ = std::exchange(attempt_->fd, -1);
    return true;
  }
  if (SteadyClock::now() > attempt_->deadline + std::chrono::milliseconds(100)) {
    // A name lookup that overran: the thread is left to end on its own.
    attempt_->abandoned = true;
    failed_ = "no connection within " + std::to_string(ConnectTimeoutMs / 1000) + " s";
  }
  return false;
}

void NetworkLine::Pump() {
  if (!Adopt() || !lost_.empty()) return;
  // Everything waiting is taken, so a flooding server cannot fill the socket's buffers
  // with megabytes that would take minutes to read; like a serial driver that nobody
  // reads, the line keeps the newest bytes and loses the oldest.
  constexpr std::size_t MaxPerCall = 1024 * 1024;
  char buffer[16384];
  std::size_t taken = 0;
  while (taken < MaxPerCall) {
    const ssize_t r = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (r > 0) {
      taken += static_cast<std::size_t>(r);
      const std::size_t before = inbound_.size();
      if (telnet_)
        codec_.Receive(buffer, static_cast<std::size_t>(r), inbound_);
      else
        inbound_.append(buffer, static_cast<std::size_t>(r));
      if (inbound_.size() > before) unanswered_ = 0;
      if (inbound_.size() > MaxInbound) inbound_.erase(0, inbound_.size() - MaxInbound);
      continue;
    }
    if (r == 0) {
      lost_ = "closed by the server";
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      lost_ = std::strerror(errno);
    }
    break;
  }
  // Negotiation answers go out as soon as they are due.
  if (telnet_) SendWire(codec_.TakeOutgoing(), 0);
}

bool NetworkLine::SendWire(const std::string& wire, int timeoutMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t done = 0;
  while (done < wire.size() && lost_.empty()) {
    const ssize_t w = ::send(fd_, wire.data() + done, wire.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      lost_ = std::strerror(errno);
      break;
    }
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, MillisecondsLeft(deadline)) <= 0 || (p.revents & (POLLERR | POLLHUP))) break;
  }
  // Half a Telnet command on the wire would garble everything after it, and a server
  // that takes nothing for so long is gone anyway.
  if (done < wire.size() && lost_.empty()) lost_ = "the server takes no data";
  return done == wire.size();
}

bool NetworkLine::Configure(const SerialLineSettings& s, std::string*) {
  if (!telnet_) return true;  // a raw stream: the server's port keeps its own settings
  codec_.SetLine(s);
  if (fd_ >= 0) SendWire(codec_.TakeOutgoing(), 0);
  return true;
}

void NetworkLine::Control(unsigned char value) {
  codec_.SetControl(value);
  if (fd_ >= 0) SendWire(codec_.TakeOutgoing(), 0);
}

bool NetworkLine::SetDtr(bool on) {
  if (telnet_) Control(on ? TelnetCodec::DtrOn : TelnetCodec::DtrOff);
  return telnet_;
}

bool NetworkLine::SetRts(bool on) {
  if (telnet_) Control(on ? TelnetCodec::RtsOn : TelnetCodec::RtsOff);
  return telnet_;
}

bool NetworkLine::SetBreak(bool on) {
  if (telnet_) Control(on ? TelnetCodec::BreakOn : TelnetCodec::BreakOff);
  return telnet_;
}

bool NetworkLine::Lost(std::string& why) {
  if (!opened_) return false;
  if (!Adopt()) {
    if (failed_.empty()) return false;  // still connecting
    why = failed_;
    return true;
  }
  Pump();
  // What arrived before the end is still read first.
  if (!lost_.empty() && inbound_.empty()) {
    why = lost_;
    return true;
  }
  if (unanswered_ >= UnansweredWritesLimit) {
    why = "no answer to " + std::to_string(unanswered_) + " commands";
    return true;
  }
  return false;
}

int NetworkLine::InQueue() {
  Pump();
  return static_cast<int>(inbound_.size());
}

int NetworkLine::OutQueue() {
  int n = 0;
  if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0) return 0;
  return n;
}

std::size_t NetworkLine::ReadAvailable(char* buffer, std::size_t size) {
  Pump();
  const std::size_t n = std::min(size, inbound_.size());
  std::memcpy(buffer, inbound_.data(), n);
  inbound_.erase(0, n);
  return n;
}

std::size_t NetworkLine::WriteAll(const char* data, std::size_t size, int timeoutMs, int /*stallMs*/) {
  if (!opened_) return 0;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  // A connection under way (just opened, a host nearby) is waited for briefly, like room
  // in an output queue; only briefly, as the caller holds the port's lock meanwhile.
  if (!Adopt()) {
    WaitOpened(std::min(MillisecondsLeft(deadline), MaxConnectWaitInWriteMs));
    if (!Adopt()) return 0;
  }
  Pump();
  if (!lost_.empty()) return 0;
  std::string wire;
  if (telnet_) {
    wire = codec_.TakeOutgoing();
    codec_.Encode(data, size, wire);
  } else {
    wire.assign(data, size);
  }
  if (!SendWire(wire, MillisecondsLeft(deadline))) return 0;
  // A command is counted once, at its CR: a long text sent in pieces is one command.
  if (size > 0 && data[size - 1] == '\r') ++unanswered_;
  return size;
}
