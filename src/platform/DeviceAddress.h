#pragma once
// What the "Device" setting names: a device path, or a receiver reached over the
// network through a serial device server, in the URL forms pyserial's tools use:
// socket://HOST:PORT (a raw TCP stream) and rfc2217://HOST:PORT (Telnet with the
// COM-port control option). HOST is a name, an IPv4 address or [an IPv6 address].
#include <string>

struct DeviceAddress {
  enum class Kind { Path, Socket, Rfc2217 };
  Kind kind = Kind::Path;
  std::string path;  // Kind::Path
  std::string host;  // without the brackets of an IPv6 address
  int port = 0;
};

// Parses text. False for a malformed network address, with the reason in why.
// Anything without "://" is a device path and always parses.
bool ParseDeviceAddress(const std::string& text, DeviceAddress& address, std::string& why);
// The text shortened for a message line (a pasted 5000-character host stays readable).
std::string ShortAddress(const std::string& text);
