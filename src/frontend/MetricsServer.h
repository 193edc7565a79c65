#pragma once
// The metrics endpoint: "GET /metrics" (and HEAD) over HTTP, served by libmicrohttpd
// on one thread of its own. Every other path answers 404, every other method 405.
// Connections, their memory (so the request's size) and their idle time are bounded,
// so a careless or hostile client can neither grow the program nor hold it up.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "frontend/MetricsOutput.h"

struct MHD_Daemon;
struct MHD_Response;

class MetricsServer {
 public:
  static constexpr unsigned MaxConnections = 256;
  static constexpr unsigned IdleTimeoutSeconds = 10;
  // The request line and headers must fit; more is answered with an error by the library.
  static constexpr std::size_t ConnectionMemoryBytes = 16 * 1024;

  MetricsServer();
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // Binds and starts serving; port 0 takes a free one. False with one line in `why`.
  bool Start(const ListenAddress& address, std::string* why = nullptr);
  void Stop();
  bool Running() const { return daemon_ != nullptr; }
  // The port bound (useful after port 0).
  int Port() const { return port_; }

  // The exposition served from now on.
  void Publish(const std::string& text);
  // What is served now (a copy).
  std::string Current() const;

 private:
  struct Handler;
  MHD_Daemon* daemon_ = nullptr;
  MHD_Response* notFound_ = nullptr;
  MHD_Response* notAllowed_ = nullptr;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::shared_ptr<const std::string> text_;
};
