#include "platform/NetworkLine.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
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
constexpr const char* ClosedByServer = "closed by the server";
constexpr int GreetingWaitMs = 200;

// Without the blanks and line ends around it: a refusal is one line of text.
std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

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

std::string NoConnectionText() {
  return "no connection within " + std::to_string(NetworkLine::ConnectTimeoutMs / 1000) + " s";
}

bool SameEndpoint(const NetworkEndpoint& a, const NetworkEndpoint& b) {
  return a.length == b.length && std::memcmp(&a.address, &b.address, a.length) == 0;
}

// Connects to the first of the endpoints that answers, within the deadline: each is
// started ConnectStaggerMs after the one before, or at once when that one failed, and
// those under way go on meanwhile, so one that silently drops the attempt never keeps
// a working one from being reached. The socket and its endpoint's index, or -1 with why.
int ConnectToFirst(const std::vector<NetworkEndpoint>& endpoints, SteadyClock::time_point deadline, std::size_t& winner,
                   std::string& why) {
  std::vector<pollfd> pending;
  std::vector<std::size_t> index;
  auto closeAll = [&] {
    for (const pollfd& p : pending) ::close(p.fd);
    pending.clear();
    index.clear();
  };
  std::size_t next = 0;
  auto nextStart = SteadyClock::now();
  for (;;) {
    while (next < endpoints.size() && (pending.empty() || SteadyClock::now() >= nextStart)) {
      const NetworkEndpoint& e = endpoints[next];
      const int fd = ::socket(e.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (fd < 0) {
        why = std::strerror(errno);
      } else if (::connect(fd, reinterpret_cast<const sockaddr*>(&e.address), e.length) == 0) {
        closeAll();
        winner = next;
        return fd;
      } else if (errno != EINPROGRESS) {
        why = std::strerror(errno);
        ::close(fd);
      } else {
        pending.push_back(pollfd{fd, POLLOUT, 0});
        index.push_back(next);
        nextStart = SteadyClock::now() + std::chrono::milliseconds(NetworkLine::ConnectStaggerMs);
      }
      ++next;
    }
    if (pending.empty()) return -1;
    int waitMs = MillisecondsLeft(deadline);
    if (waitMs == 0) {
      closeAll();
      why = NoConnectionText();
      return -1;
    }
    if (next < endpoints.size()) waitMs = std::min(waitMs, std::max(1, MillisecondsLeft(nextStart)));
    if (::poll(pending.data(), pending.size(), waitMs) < 0 && errno != EINTR) {
      why = std::strerror(errno);
      closeAll();
      return -1;
    }
    for (std::size_t i = 0; i < pending.size();) {
      if (pending[i].revents == 0) {
        ++i;
        continue;
      }
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(pending[i].fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
        const int fd = pending[i].fd;
        winner = index[i];
        pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
        closeAll();
        return fd;
      }
      why = std::strerror(error ? error : errno);
      ::close(pending[i].fd);
      pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
      index.erase(index.begin() + static_cast<std::ptrdiff_t>(i));
      nextStart = SteadyClock::now();  // the next one need not wait for a failed one
    }
  }
}

void RunAttempt(std::shared_ptr<ConnectAttempt> attempt, std::string host, int port, NameResolver resolver,
                std::shared_ptr<RememberedAddress> remembered) {
  std::string why;
  int fd = -1;
  std::vector<NetworkEndpoint> endpoints;
  if (resolver(host, port, endpoints, why)) {
    if (remembered) {
      std::lock_guard<std::mutex> lock(remembered->mutex);
      const auto known = std::find_if(endpoints.begin(), endpoints.end(),
                                      [&](const NetworkEndpoint& e) { return SameEndpoint(e, remembered->endpoint); });
      if (known != endpoints.end()) std::rotate(endpoints.begin(), known, known + 1);
    }
    std::size_t winner = 0;
    if (MillisecondsLeft(attempt->deadline) > 0) fd = ConnectToFirst(endpoints, attempt->deadline, winner, why);
    if (fd >= 0) {
      TuneSocket(fd);
      // A server that refuses (its port busy) says so at once and hangs up: its words
      // are waited for briefly, so they are read before a first command is sent into
      // the closing connection.
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, std::min(GreetingWaitMs, MillisecondsLeft(attempt->deadline)));
      if (remembered) {
        std::lock_guard<std::mutex> lock(remembered->mutex);
        remembered->endpoint = endpoints[winner];
      }
    }
    if (fd < 0 && why.empty()) why = endpoints.empty() ? "no address for " + host : NoConnectionText();
  }
  std::lock_guard<std::mutex> lock(attempt->mutex);
  if (attempt->abandoned || SteadyClock::now() > attempt->deadline) {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (why.empty() || !attempt->abandoned) why = NoConnectionText();
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

std::string EscapedText(const std::string& text, std::size_t limit) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
      case '"':
        out += '\\';
        out += static_cast<char>(c);
        break;
      default:
        if (c >= 0x20 && c < 0x7f) {
          out += static_cast<char>(c);
        } else {
          out += "\\x";
          out += hex[c >> 4];
          out += hex[c & 15];
        }
    }
  }
  if (text.size() > limit) out += "...";
  return out;
}

NetworkLine::NetworkLine(DeviceAddress address, NameResolver resolver, std::shared_ptr<RememberedAddress> remembered)
    : address_(std::move(address)),
      resolver_(std::move(resolver)),
      remembered_(std::move(remembered)),
      attempt_(std::make_shared<ConnectAttempt>()),
      telnet_(address_.kind == DeviceAddress::Kind::Rfc2217) {}

NetworkLine::~NetworkLine() { Close(); }

void NetworkLine::Open() {
  if (started_) return;
  started_ = opened_ = true;
  attempt_->deadline = SteadyClock::now() + std::chrono::milliseconds(ConnectTimeoutMs);
  try {
    std::thread(RunAttempt, attempt_, address_.host, address_.port, resolver_, remembered_).detach();
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
    failed_ = NoConnectionText();
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
      if (heardTotal_ < ShownRefusalBytes + 1)
        heard_.append(inbound_, before, std::min(inbound_.size() - before, ShownRefusalBytes + 1 - heard_.size()));
      heardTotal_ += inbound_.size() - before;
      if (inbound_.size() > MaxInbound) inbound_.erase(0, inbound_.size() - MaxInbound);
      continue;
    }
    if (r == 0) {
      lost_ = ClosedByServer;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      // A server that said a few words and hung up answers a command sent meanwhile
      // with a reset: it still closed the connection itself.
      const bool afterWords = errno == ECONNRESET && !heard_.empty() && heardTotal_ <= ShownRefusalBytes;
      lost_ = afterWords ? ClosedByServer : std::strerror(errno);
    }
    break;
  }
  // Negotiation answers go out as soon as they are due.
  if (telnet_) SendWire(codec_.TakeOutgoing(), 0);
}

bool NetworkLine::SendWire(const std::string& wire, int timeoutMs, int stallMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  // As on a serial line: the connection is alive while it takes bytes or its count of
  // unsent bytes goes down; a peer that stopped reading does neither.
  const auto stall = std::chrono::milliseconds(stallMs < 0 ? timeoutMs : stallMs);
  auto stallDeadline = SteadyClock::now() + stall;
  int unsent = OutQueue();
  std::size_t done = 0;
  while (done < wire.size() && lost_.empty()) {
    const ssize_t w = ::send(fd_, wire.data() + done, wire.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      stallDeadline = SteadyClock::now() + stall;
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      lost_ = std::strerror(errno);
      break;
    }
    const int nowUnsent = OutQueue();
    if (nowUnsent < unsent) stallDeadline = SteadyClock::now() + stall;
    unsent = nowUnsent;
    if (Wanted()) break;
    const int left = MillisecondsLeft(std::min(deadline, stallDeadline));
    if (left == 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, std::min(left, 50)) < 0 && errno != EINTR) break;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) break;
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
    // A server that hangs up after a few words (ser2net's "port in use") is quoted.
    if (lost_ == ClosedByServer && !heard_.empty() && heardTotal_ <= ShownRefusalBytes)
      why += ", which said \"" + EscapedText(Trimmed(heard_), ShownRefusalBytes) + "\"";
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

std::size_t NetworkLine::WriteAll(const char* data, std::size_t size, int timeoutMs, int stallMs) {
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
  if (!SendWire(wire, MillisecondsLeft(deadline), stallMs)) return 0;
  // A command is counted once, at its CR: a long text sent in pieces is one command.
  if (size > 0 && data[size - 1] == '\r') ++unanswered_;
  return size;
}
