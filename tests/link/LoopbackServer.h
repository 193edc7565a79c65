#pragma once
// A serial device server in miniature on 127.0.0.1 for the link's network tests: it
// bridges one TCP connection at a time to a device (the simulated receiver's
// pseudo-terminal), or misbehaves the way servers and networks do.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

enum class ServerMode {
  Bridge,          // passes bytes both ways, as ser2net's raw mode does
  Refuse,          // nothing listens: connections are refused, a live one is reset
  Silent,          // accepts and reads, never says a word
  CloseMidAnswer,  // passes an answer's first line, then hangs up
  Flood,           // sends garbage without end and passes nothing
  Busy,            // says its port is in use and hangs up, as ser2net does to a second client
};

class LoopbackServer {
 public:
  explicit LoopbackServer(std::string devicePath) : devicePath_(std::move(devicePath)) {
    Listen(0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
    CloseConnection();
    if (listener_ >= 0) close(listener_);
  }
  int Port() const { return port_; }
  std::string Address(const char* scheme = "socket") const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
  }
  void SetMode(ServerMode mode) { mode_ = mode; }
  int Accepted() const { return accepted_.load(); }
  // Device bytes passed on to the client.
  long long Passed() const { return passed_.load(); }

 private:
  void Listen(int port) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0) {
      close(listener_);
      listener_ = -1;
      return;
    }
    socklen_t length = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }

  void CloseConnection(bool reset = false) {
    if (client_ >= 0) {
      if (reset) {
        const linger l{1, 0};
        setsockopt(client_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      }
      close(client_);
    }
    if (device_ >= 0) close(device_);
    client_ = device_ = -1;
  }

  void Serve() {
    char buffer[4096];
    while (!stop_) {
      const ServerMode mode = mode_.load();
      if (mode == ServerMode::Refuse) {
        if (listener_ >= 0) close(listener_);
        listener_ = -1;
        CloseConnection(true);
      } else if (listener_ < 0) {
        Listen(port_);
      }
      if (listener_ >= 0) {
        const int c = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c >= 0 && mode == ServerMode::Busy) {
          send(c, "Port already in use\r\n", 21, MSG_NOSIGNAL);
          close(c);
          ++accepted_;
        } else if (c >= 0) {
          CloseConnection();  // the newer client wins, as with ser2net's kickolduser
          client_ = c;
          device_ = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
          ++accepted_;
        }
      }
      if (client_ >= 0) {
        const ssize_t n = recv(client_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0) CloseConnection();
        if (n > 0 && mode == ServerMode::Bridge && write(device_, buffer, static_cast<size_t>(n)) < 0) {
        }
      }
      if (client_ >= 0 && device_ >= 0) {
        const ssize_t n = read(device_, buffer, sizeof buffer);
        if (n > 0 && mode == ServerMode::Bridge) {
          passed_ += send(client_, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
        } else if (n > 0 && mode == ServerMode::CloseMidAnswer) {
          const std::string chunk(buffer, static_cast<size_t>(n));
          const std::size_t lineEnd = chunk.find('\n');
          if (lineEnd != std::string::npos) {
            send(client_, buffer, lineEnd + 1, MSG_NOSIGNAL);
            CloseConnection();
          }
        }
      }
      if (client_ >= 0 && mode == ServerMode::Flood) {
        // About as fast as a serial line at 1 Mbit/s can make noise.
        for (std::size_t i = 0; i < 1024; ++i) buffer[i] = static_cast<char>((i * 131 + noise_++) % 251);
        send(client_, buffer, 1024, MSG_NOSIGNAL | MSG_DONTWAIT);
      }
      pollfd none{-1, 0, 0};
      poll(&none, 0, 1);
    }
  }

  const std::string devicePath_;
  std::atomic<ServerMode> mode_{ServerMode::Bridge};
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::atomic<long long> passed_{0};
  int listener_ = -1;
  int port_ = 0;
  int client_ = -1;
  int device_ = -1;
  unsigned noise_ = 0;
  std::thread thread_;
};
