#include <gtest/gtest.h>

#include "platform/DeviceAddress.h"

namespace {

TEST(DeviceAddress, ParsesPathsAndNetworkAddressesAndSaysWhatIsWrong) {
  using K = DeviceAddress::Kind;
  struct Case {
    std::string text;
    bool ok;
    K kind;
    const char* host;
    int port;
    const char* why;  // part of the reason, for the malformed ones
  };
  const Case cases[] = {
      {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", true, K::Path, "", 0, ""},
      {"socket://192.168.1.20:4001", true, K::Socket, "192.168.1.20", 4001, ""},
      {"rfc2217://ser2net.local:2217", true, K::Rfc2217, "ser2net.local", 2217, ""},
      {"RFC2217://[::1]:7000", true, K::Rfc2217, "::1", 7000, ""},
      {"rfc2217://[fe80::1%eth0]:1/", true, K::Rfc2217, "fe80::1%eth0", 1, ""},
      {"socket://localhost:65535?logging=debug", true, K::Socket, "localhost", 65535, ""},
      {"socket://127.0.0.1", false, K::Path, "", 0, "no port"},
      {"socket://127.0.0.1:", false, K::Path, "", 0, "no port"},
      {"socket://:4001", false, K::Path, "", 0, "no host"},
      {"socket://127.0.0.1:0", false, K::Path, "", 0, "1 to 65535"},
      {"socket://127.0.0.1:70000", false, K::Path, "", 0, "1 to 65535"},
      {"socket://127.0.0.1:40x1", false, K::Path, "", 0, "1 to 65535"},
      {"socket://::1:4001", false, K::Path, "", 0, "brackets"},
      {"socket://[::1:4001", false, K::Path, "", 0, "closing"},
      {"socket://[::1]", false, K::Path, "", 0, "no port"},
      {"socket://[host]:4001", false, K::Path, "", 0, "IPv6"},
      {"telnet://127.0.0.1:23", false, K::Path, "", 0, "unknown scheme \"telnet\""},
      {"socket:// 127.0.0.1:4001", false, K::Path, "", 0, "blanks"},
      {"socket://a/b:4001", false, K::Path, "", 0, "letters, digits"},
      {"socket://" + std::string(254, 'a') + ":4001", false, K::Path, "", 0, "longer than 253"},
      {"socket://" + std::string(5000, 'a') + ":4001", false, K::Path, "", 0, "longer than 253"},
  };
  for (const Case& c : cases) {
    DeviceAddress a;
    std::string why;
    const std::string shown = ShortAddress(c.text);
    ASSERT_EQ(ParseDeviceAddress(c.text, a, why), c.ok) << shown << ": " << why;
    if (!c.ok) {
      EXPECT_NE(why.find(c.why), std::string::npos) << shown << ": " << why;
      EXPECT_LT(why.size(), 120u) << shown;
      continue;
    }
    EXPECT_EQ(a.kind, c.kind) << shown;
    EXPECT_EQ(a.host, c.host) << shown;
    EXPECT_EQ(a.port, c.port) << shown;
    if (c.kind == K::Path) {
      EXPECT_EQ(a.path, c.text);
    }
  }
  EXPECT_EQ(ShortAddress(std::string(5000, 'a')).size(), 63u);
}

}  // namespace
