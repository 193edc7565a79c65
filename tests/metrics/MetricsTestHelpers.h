#pragma once
// Small clients for the metrics tests: an HTTP request over a plain socket, and
// promtool's verdict on an exposition.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// Connects to 127.0.0.1:port; -1 on failure. Without waiting, a connection still under
// way (the server's backlog full) counts too.
inline int ConnectLocal(int port, bool wait = true) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && (wait || errno != EINPROGRESS)) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends `request` as is and reads until the server closes or `timeoutMs` pass.
inline std::string RawRequest(int port, const std::string& request, int timeoutMs = 5000) {
  const int fd = ConnectLocal(port);
  if (fd < 0) return {};
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string reply;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[8192];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return reply;
}

inline std::string HttpGet(int port, const std::string& path, const std::string& method = "GET") {
  return RawRequest(port, method + " " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
}

inline int StatusOf(const std::string& reply) { return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0; }

inline std::string BodyOf(const std::string& reply) {
  const std::size_t at = reply.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : reply.substr(at + 4);
}

inline bool HavePromtool() { return std::system("command -v promtool >/dev/null 2>&1") == 0; }

// promtool check metrics on the text: its exit status, and what it said in `said`.
inline int PromtoolCheck(const std::string& text, const std::string& folder, std::string* said = nullptr) {
  const std::string in = folder + "/check.prom", out = folder + "/check.out";
  std::ofstream(in, std::ios::binary) << text;
  const int rc = std::system(("promtool check metrics < '" + in + "' > '" + out + "' 2>&1").c_str());
  if (said) {
    std::ifstream f(out);
    said->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  return rc;
}
