#include <gtest/gtest.h>

#include "platform/TelnetCodec.h"

namespace {

using C = TelnetCodec;
std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

// What ser2net says first in telnet(rfc2217) mode.
const std::string Ser2netGreeting = Bytes({C::Iac, C::Will, C::SuppressGoAhead,
                                           C::Iac, C::Do,   C::SuppressGoAhead,
                                           C::Iac, C::Will, C::Echo,
                                           C::Iac, C::Dont, C::Echo,
                                           C::Iac, C::Do,   C::Binary,
                                           C::Iac, C::Will, C::Binary,
                                           C::Iac, C::Do,   C::ComPort});

TEST(TelnetCodec, TheReceiversTextComesOutWhole) {
  struct Case {
    const char* name;
    std::string wire;
    std::string text;
  };
  const Case cases[] = {
      {"plain", "+7.250E-09\r\nscpi > ", "+7.250E-09\r\nscpi > "},
      {"negotiation between the lines", "12" + Ser2netGreeting + "34\r\n", "1234\r\n"},
      {"escaped 255", Bytes({'1', C::Iac, C::Iac, '2'}),
       "1\xff"
       "2"},
      {"server's answer to a setting",
       "A" + Bytes({C::Iac, C::Sb, C::ComPort, 101, 0, 0, C::Iac, C::Iac, 0, C::Iac, C::Se}) + "B", "AB"},
      {"notification and other commands",
       Bytes({C::Iac, C::Sb, C::ComPort, 107, 0x30, C::Iac, C::Se, C::Iac, 241, 'x', C::Iac, 249}), "x"},
      {"a subnegotiation without end swallows only itself",
       "ok" + Bytes({C::Iac, C::Sb, C::ComPort, 106}) + std::string(5000, 'z'), "ok"},
  };
  for (const Case& c : cases) {
    // Whole, and split byte by byte as TCP may deliver it.
    for (const bool split : {false, true}) {
      C codec;
      std::string text;
      if (split)
        for (char b : c.wire) codec.Receive(&b, 1, text);
      else
        codec.Receive(c.wire.data(), c.wire.size(), text);
      EXPECT_EQ(text, c.text) << c.name << (split ? " (split)" : "");
    }
  }
}

TEST(TelnetCodec, NegotiatesBinaryAndTheComPortOptionAndSendsSettingsOnlyOnceAgreed) {
  C codec;
  // The client's opening: eight-bit both ways, no go-aheads, the COM-port option.
  EXPECT_EQ(codec.TakeOutgoing(),
            Bytes({C::Iac, C::Will, C::Binary, C::Iac, C::Do, C::Binary, C::Iac, C::Will, C::SuppressGoAhead, C::Iac,
                   C::Do, C::SuppressGoAhead, C::Iac, C::Will, C::ComPort}));
  SerialLineSettings s;
  s.baud = 19200;
  s.parity = 'E';
  s.stopbits = 2;
  codec.SetLine(s);
  codec.SetControl(C::DtrOff);
  codec.SetControl(C::DtrOn);  // replaces the one not yet sent
  EXPECT_EQ(codec.TakeOutgoing(), "");
  std::string text;
  codec.Receive(Ser2netGreeting.data(), Ser2netGreeting.size(), text);
  EXPECT_TRUE(codec.ComPortAgreed());
  auto sub = [](int command, std::initializer_list<int> value) {
    std::string s = Bytes({C::Iac, C::Sb, C::ComPort, command});
    s += Bytes(value);
    return s + Bytes({C::Iac, C::Se});
  };
  // Only the echo is refused; what was asked for already is not asked again.
  EXPECT_EQ(codec.TakeOutgoing(), Bytes({C::Iac, C::Dont, C::Echo}) + sub(1, {0, 0, 0x4b, 0}) + sub(2, {8}) +
                                      sub(3, {3}) + sub(4, {2}) + sub(5, {C::NoFlowControl}) + sub(5, {C::DtrOn}));
  // A rate whose bytes hold 255 is escaped inside the subnegotiation.
  s.baud = 0x0000ffff;
  codec.SetLine(s);
  EXPECT_EQ(codec.TakeOutgoing().substr(0, 10), sub(1, {0, 0, 0xff, 0xff, 0xff, 0xff}).substr(0, 10));
  // Text to the receiver: 255 doubled, a bare CR as it is in binary mode...
  std::string wire;
  codec.Encode("\xff*IDN?\r", 7, wire);
  EXPECT_EQ(wire, Bytes({C::Iac, C::Iac}) + "*IDN?\r");
  // ...and as CR NUL once the server refuses binary mode.
  const std::string refuse = Bytes({C::Iac, C::Dont, C::Binary});
  codec.Receive(refuse.data(), refuse.size(), text);
  EXPECT_EQ(codec.TakeOutgoing(), Bytes({C::Iac, C::Wont, C::Binary}));
  wire.clear();
  codec.Encode("*IDN?\r", 6, wire);
  EXPECT_EQ(wire, std::string("*IDN?\r\0", 7));
  EXPECT_EQ(text, "");
}

}  // namespace
