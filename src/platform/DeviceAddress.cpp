#include "platform/DeviceAddress.h"

#include <algorithm>
#include <cctype>

namespace {
constexpr std::size_t MaxHostLength = 253;  // the longest name DNS can carry

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

bool NameCharacter(unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_'; }
// Hex digits and colons, and a zone ("%eth0") after them.
bool Ipv6Character(unsigned char c) { return std::isalnum(c) || c == ':' || c == '.' || c == '%'; }
}  // namespace

std::string ShortAddress(const std::string& text) {
  constexpr std::size_t Keep = 60;
  return text.size() <= Keep ? text : text.substr(0, Keep) + "...";
}

bool ParseDeviceAddress(const std::string& text, DeviceAddress& address, std::string& why) {
  address = DeviceAddress{};
  const std::size_t schemeEnd = text.find("://");
  if (schemeEnd == std::string::npos) {
    address.path = text;
    return true;
  }
  const std::string scheme = Lower(text.substr(0, schemeEnd));
  if (scheme == "socket") {
    address.kind = DeviceAddress::Kind::Socket;
  } else if (scheme == "rfc2217") {
    address.kind = DeviceAddress::Kind::Rfc2217;
  } else {
    why = "unknown scheme \"" + ShortAddress(scheme) + "\" (socket:// or rfc2217:// expected)";
    return false;
  }
  std::string rest = text.substr(schemeEnd + 3);
  // pyserial's options after "?" (logging, timeouts) mean nothing here.
  rest = rest.substr(0, rest.find('?'));
  if (std::any_of(rest.begin(), rest.end(), [](unsigned char c) { return c <= ' ' || c >= 127; })) {
    why = "blanks or control characters in the address";
    return false;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::string host, portText;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos) {
      why = "an IPv6 address without its closing \"]\"";
      return false;
    }
    host = rest.substr(1, close - 1);
    if (host.find(':') == std::string::npos || !std::all_of(host.begin(), host.end(), Ipv6Character)) {
      why = "not an IPv6 address between \"[\" and \"]\"";
      return false;
    }
    if (close + 1 >= rest.size() || rest[close + 1] != ':') {
      why = "no port (HOST:PORT expected)";
      return false;
    }
    portText = rest.substr(close + 2);
  } else {
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
      why = "no port (HOST:PORT expected)";
      return false;
    }
    host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
    if (host.find(':') != std::string::npos) {
      why = "an IPv6 address must be written in brackets, as [::1]:PORT";
      return false;
    }
    if (host.empty()) {
      why = "no host";
      return false;
    }
    if (!std::all_of(host.begin(), host.end(), NameCharacter)) {
      why = "a host name may hold only letters, digits, \".\", \"-\" and \"_\"";
      return false;
    }
  }
  if (host.size() > MaxHostLength) {
    why = "a host name longer than " + std::to_string(MaxHostLength) + " characters";
    return false;
  }
  if (portText.empty() || portText.size() > 5 ||
      !std::all_of(portText.begin(), portText.end(), [](unsigned char c) { return std::isdigit(c); })) {
    why = portText.empty() ? "no port (HOST:PORT expected)" : "the port is not a number from 1 to 65535";
    return false;
  }
  const int port = std::stoi(portText);
  if (port < 1 || port > 65535) {
    why = "the port is not a number from 1 to 65535";
    return false;
  }
  address.host = host;
  address.port = port;
  return true;
}
