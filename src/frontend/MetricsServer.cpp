#include "frontend/MetricsServer.h"

#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "frontend/MetricsText.h"

namespace {
constexpr char NotFoundText[] = "Not found; the metrics are at /metrics\n";
constexpr char NotAllowedText[] = "Only GET and HEAD\n";

// Our own listening socket, so a port in use is told with its reason.
int OpenListener(const ListenAddress& address, std::string* why, int& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(address.Port);
  const int rc = getaddrinfo(address.Host.c_str(), service.c_str(), &hints, &found);
  const std::string where = address.Host + ":" + service;
  if (rc != 0 || !found) {
    if (why) *why = "cannot listen on " + where + ": " + gai_strerror(rc);
    return -1;
  }
  int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  int error = errno;
  if (fd >= 0) {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 64) != 0) {
      error = errno;
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) {
    if (why) *why = "cannot listen on " + where + ": " + std::strerror(error);
    return -1;
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  port = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                     : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  return fd;
}
}  // namespace

struct MetricsServer::Handler {
  static MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                           const char* /*version*/, const char* /*upload*/, std::size_t* /*uploadSize*/,
                           void** /*context*/) {
    auto* self = static_cast<MetricsServer*>(cls);
    if (std::strcmp(url, "/metrics") != 0) return MHD_queue_response(connection, MHD_HTTP_NOT_FOUND, self->notFound_);
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
      return MHD_queue_response(connection, MHD_HTTP_METHOD_NOT_ALLOWED, self->notAllowed_);
    std::shared_ptr<const std::string> text;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      text = self->text_;
    }
    MHD_Response* response =
        MHD_create_response_from_buffer(text->size(), const_cast<char*>(text->data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, ExpositionContentType);
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
  }
};

MetricsServer::MetricsServer() : text_(std::make_shared<const std::string>()) {}

MetricsServer::~MetricsServer() { Stop(); }

bool MetricsServer::Start(const ListenAddress& address, std::string* why) {
  Stop();
  const int fd = OpenListener(address, why, port_);
  if (fd < 0) return false;
  notFound_ =
      MHD_create_response_from_buffer(sizeof NotFoundText - 1, const_cast<char*>(NotFoundText), MHD_RESPMEM_PERSISTENT);
  notAllowed_ = MHD_create_response_from_buffer(sizeof NotAllowedText - 1, const_cast<char*>(NotAllowedText),
                                                MHD_RESPMEM_PERSISTENT);
  MHD_add_response_header(notAllowed_, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
  // One thread for every connection (epoll), whatever their number.
  daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, nullptr, nullptr, &Handler::Answer,
                             this, MHD_OPTION_LISTEN_SOCKET, fd, MHD_OPTION_CONNECTION_LIMIT, MaxConnections,
                             MHD_OPTION_CONNECTION_TIMEOUT, IdleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
                             ConnectionMemoryBytes, MHD_OPTION_END);
  if (!daemon_) {
    close(fd);
    if (why) *why = "cannot serve on " + address.Host + ":" + std::to_string(port_);
    Stop();
    return false;
  }
  return true;
}

void MetricsServer::Stop() {
  if (daemon_) {
    // The daemon closes the listening socket it was given.
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
  }
  if (notFound_) MHD_destroy_response(notFound_);
  if (notAllowed_) MHD_destroy_response(notAllowed_);
  notFound_ = notAllowed_ = nullptr;
}

void MetricsServer::Publish(const std::string& text) {
  auto fresh = std::make_shared<const std::string>(text);
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = std::move(fresh);
}

std::string MetricsServer::Current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return *text_;
}
