#pragma once
// A receiver behind a serial device server: a TCP connection carrying the receiver's
// bytes as they are (socket://) or inside Telnet with the COM-port option (rfc2217://).
// Connecting runs on a helper thread and is bounded, so no caller ever waits for a
// name server or a silent host; a connection that is refused, reset, dead or never
// answers counts as a lost line. Opens no listening socket.
#include <sys/socket.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DeviceAddress.h"
#include "platform/LineTransport.h"
#include "platform/TelnetCodec.h"

struct ConnectAttempt;

struct NetworkEndpoint {
  sockaddr_storage address{};
  socklen_t length = 0;
};
// Looks a host up; false with the reason in why. May block: it runs on the helper thread.
using NameResolver =
    std::function<bool(const std::string& host, int port, std::vector<NetworkEndpoint>& found, std::string& why)>;
bool ResolveName(const std::string& host, int port, std::vector<NetworkEndpoint>& found, std::string& why);

// The address that connected last, kept by the port across the lines it opens one after
// another, so a re-open goes first to what worked.
struct RememberedAddress {
  std::mutex mutex;
  NetworkEndpoint endpoint;  // length 0: none yet
};

// Text a server sent, for a message line: printable ASCII as it is, the rest escaped
// as in C ("\r", "\x07"), cut after limit bytes with "...".
std::string EscapedText(const std::string& text, std::size_t limit = 80);

class NetworkLine final : public LineTransport {
 public:
  // Name resolution and connecting together, per attempt.
  static constexpr int ConnectTimeoutMs = 3000;
  // A name's next address is tried this long after the one before it, while that one
  // is still under way (RFC 8305's connection attempt delay).
  static constexpr int ConnectStaggerMs = 250;
  // Commands written without a single byte coming back: the connection is dead
  // (a server session stuck, a peer gone without a word).
  static constexpr int UnansweredWritesLimit = 6;
  // Received bytes held at most; older ones are dropped.
  static constexpr std::size_t MaxInbound = 64 * 1024;

  // A connection closed by the server after no more than this many bytes shows them in
  // its reason, without the line ends around them: a server's refusal ("port in use")
  // is said, not only that it hung up.
  static constexpr std::size_t ShownRefusalBytes = 160;

  explicit NetworkLine(DeviceAddress address, NameResolver resolver = ResolveName,
                       std::shared_ptr<RememberedAddress> remembered = nullptr);
  ~NetworkLine() override;
  NetworkLine(const NetworkLine&) = delete;
  NetworkLine& operator=(const NetworkLine&) = delete;

  // Starts connecting and returns at once; the line counts as open from here on.
  void Open();
  void Close() override;
  bool IsOpen() const override { return opened_; }
  bool Configure(const SerialLineSettings& s, std::string* rateRefused) override;
  bool Lost(std::string& why) override;
  // Modem lines exist only behind the COM-port option.
  bool SetDtr(bool on) override;
  bool SetRts(bool on) override;
  bool SetBreak(bool on) override;
  int InQueue() override;
  int OutQueue() override;
  std::size_t ReadAvailable(char* buffer, std::size_t size) override;
  std::size_t WriteAll(const char* data, std::size_t size, int timeoutMs, int stallMs = -1) override;
  // Safe beside the other calls: touches only the connection attempt.
  void WaitOpened(int timeoutMs) override;

 private:
  bool Adopt();
  void Pump();
  bool SendWire(const std::string& wire, int timeoutMs, int stallMs = -1);
  void Control(unsigned char value);

  const DeviceAddress address_;
  const NameResolver resolver_;
  const std::shared_ptr<RememberedAddress> remembered_;
  const std::shared_ptr<ConnectAttempt> attempt_;
  const bool telnet_;
  bool opened_ = false;
  bool started_ = false;
  int fd_ = -1;
  std::string failed_;  // why connecting failed
  std::string lost_;    // why a live connection ended
  std::string inbound_;
  std::string heard_;           // the first bytes received, for a refusal's reason
  std::size_t heardTotal_ = 0;  // bytes received on this connection
  TelnetCodec codec_;
  int unanswered_ = 0;
};
