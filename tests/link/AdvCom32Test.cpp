#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/AdvCom32.h"
#include "platform/PseudoTerminal.h"

namespace {

// The port opens the slave by path; the test plays the receiver on the master.
struct PtyPair : PseudoTerminal {
  void Send(const std::string& s) const { ASSERT_EQ(write(master, s.data(), s.size()), ssize_t(s.size())); }
  // Everything the port sent within timeoutMs.
  std::string Receive(size_t want, int timeoutMs = 2000) const {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want && std::chrono::steady_clock::now() < end) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
        char buf[256];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) got.append(buf, size_t(n));
      }
    }
    return got;
  }
  termios SlaveSettings() const {
    termios t{};
    tcgetattr(slave, &t);
    return t;
  }
};

std::string ReadFor(T_AdvCom32& port, size_t want, int timeoutMs = 2000) {
  std::string all;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (all.size() < want && std::chrono::steady_clock::now() < end) {
    all += port.Read();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return all;
}

}  // namespace

TEST(AdvCom32, DefaultsAndDeviceName) {
  T_AdvCom32 port;
  EXPECT_EQ(port.Port(), 1);
  EXPECT_EQ(port.Baud(), 9600u);
  EXPECT_EQ(port.Parity(), 'N');
  EXPECT_EQ(port.Databits(), 8);
  EXPECT_EQ(port.Stopbits(), 1);
  EXPECT_FALSE(port.Dtr());
  EXPECT_FALSE(port.Rts());
  EXPECT_FALSE(port.Opened());
  EXPECT_EQ(port.ResponseTime(), 1000);
  EXPECT_EQ(port.DeviceName(), "/dev/ttyS0");
  port.SetPort(12);
  EXPECT_EQ(port.DeviceName(), "/dev/ttyS11");
  port.SetDevicePath("/dev/ttyUSB0");
  EXPECT_EQ(port.DeviceName(), "/dev/ttyUSB0");
  port.SetDevicePath("");
  EXPECT_EQ(port.DeviceName(), "/dev/ttyS11");
}

TEST(AdvCom32, OpenCloseReopen) {
  PtyPair pty;
  ASSERT_FALSE(pty.path.empty());
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());  // the pseudo-terminal refuses DTR/RTS: Open still succeeds
  EXPECT_TRUE(port.Opened());
  EXPECT_EQ(port.OpenCount(), 1);
  ASSERT_TRUE(port.Open());  // open on an open line closes it first
  EXPECT_TRUE(port.Opened());
  EXPECT_EQ(port.OpenCount(), 2);
  port.Close();
  EXPECT_FALSE(port.Opened());
  port.Close();  // closing twice is harmless
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(port.OpenCount(), 3);
  port.SetDtr(true);  // refused by the device, stored all the same
  port.SetRts(true);
  port.SetBreak(true);
  port.SetBreak(false);
  EXPECT_TRUE(port.Dtr());
  EXPECT_TRUE(port.Rts());
  EXPECT_TRUE(port.Opened());
}

TEST(AdvCom32, SecondPortOnSameDeviceIsRefused) {
  PtyPair pty;
  T_AdvCom32 a, b;
  a.SetDevicePath(pty.path);
  b.SetDevicePath(pty.path);
  ASSERT_TRUE(a.Open());
  EXPECT_FALSE(b.Open());
  a.Close();
  EXPECT_TRUE(b.Open());
}

TEST(AdvCom32, MissingDeviceFailsSilently) {
  T_AdvCom32 port;
  int dialogs = 0;
  port.SetErrorDialog([&](const std::string&) {
    ++dialogs;
    return T_AdvCom32::DialogResult::Abort;
  });
  port.SetDevicePath("/dev/varnex-no-such-device");
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.Opened());
  EXPECT_EQ(dialogs, 0);
  EXPECT_FALSE(port.Write("*IDN?\r"));
  EXPECT_EQ(port.Read(), "");
  EXPECT_EQ(port.InCount(), 0);
  EXPECT_EQ(port.OutCount(), 0);
}

TEST(AdvCom32, OpenFailureWithShowErrorsAsksAndRetries) {
  T_AdvCom32 port;
  port.SetShowErrors(true);
  port.SetPort(40);
  port.SetDevicePath("/dev/varnex-no-such-device");
  std::vector<std::string> texts;
  port.SetErrorDialog([&](const std::string& text) {
    texts.push_back(text);
    return texts.size() < 3 ? T_AdvCom32::DialogResult::Retry : T_AdvCom32::DialogResult::Abort;
  });
  EXPECT_FALSE(port.Open());
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Error opening /dev/varnex-no-such-device: ");
  port.SetDevicePath("");
  texts.clear();
  EXPECT_FALSE(port.Open());
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Error opening COM40: ");
}

TEST(AdvCom32, SettersThatChangeNothingDoNotReopen) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());
  port.SetBaud(9600);
  port.SetParity('N');
  port.SetParity('n');
  port.SetDatabits(8);
  port.SetStopbits(1);
  port.SetPort(1);
  port.SetDevicePath(pty.path);
  EXPECT_EQ(port.OpenCount(), 1);
  EXPECT_TRUE(port.Opened());
}

TEST(AdvCom32, ChangedSettingsReopenAtOnce) {
  struct Case {
    const char* name;
    std::function<void(T_AdvCom32&)> change;
  };
  const Case cases[] = {
      {"baud", [](T_AdvCom32& p) { p.SetBaud(19200); }},
      {"parity", [](T_AdvCom32& p) { p.SetParity('O'); }},
      {"databits", [](T_AdvCom32& p) { p.SetDatabits(7); }},
      {"stopbits", [](T_AdvCom32& p) { p.SetStopbits(2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PtyPair pty;
    T_AdvCom32 port;
    port.SetDevicePath(pty.path);
    ASSERT_TRUE(port.Open());
    c.change(port);
    EXPECT_EQ(port.OpenCount(), 2);
    EXPECT_TRUE(port.Opened());
  }
  // A closed line only stores the new value.
  T_AdvCom32 closed;
  closed.SetBaud(4800);
  EXPECT_EQ(closed.Baud(), 4800u);
  EXPECT_EQ(closed.OpenCount(), 0);
  EXPECT_FALSE(closed.Opened());
}

TEST(AdvCom32, ParityAndStopbitMapping) {
  struct Case {
    char parity;
    std::uint8_t stopbits;
    char stored;
    bool parenb, parodd, cstopb;
  };
  const Case cases[] = {
      {'N', 1, 'N', false, false, false}, {'e', 1, 'E', true, false, false},  {'E', 2, 'E', true, false, true},
      {'o', 1, 'O', true, true, false},   {'M', 0, 'M', false, false, false}, {'s', 3, 'S', false, false, false},
      {'x', 2, 'X', false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("parity ") + c.parity + " stopbits " + std::to_string(c.stopbits));
    T_AdvCom32 port;
    port.SetParity(c.parity);
    port.SetStopbits(c.stopbits);
    EXPECT_EQ(port.Parity(), c.stored);
    EXPECT_EQ(port.Stopbits(), c.stopbits);

    // The mapping into the line settings.
    termios t{};
    SerialLineSettings s;
    s.parity = port.Parity();
    s.stopbits = port.Stopbits();
    ASSERT_TRUE(ApplyLineSettings(t, s));
    EXPECT_EQ(bool(t.c_cflag & PARENB), c.parenb);
    EXPECT_EQ(bool(t.c_cflag & PARODD), c.parodd);
    EXPECT_EQ(bool(t.c_cflag & CSTOPB), c.cstopb);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    // And what reaches the device. A pseudo-terminal keeps the speed, odd parity and
    // stop bits, but always reports 8 bits without parity enable.
    PtyPair pty;
    port.SetDevicePath(pty.path);
    port.SetBaud(19200);
    ASSERT_TRUE(port.Open());
    const termios d = pty.SlaveSettings();
    EXPECT_EQ(bool(d.c_cflag & PARODD), c.parodd);
    EXPECT_EQ(bool(d.c_cflag & CSTOPB), c.cstopb);
    EXPECT_EQ(cfgetospeed(&d), speed_t(B19200));
    EXPECT_FALSE(d.c_lflag & (ICANON | ECHO));
  }
}

TEST(AdvCom32, DatabitsMapping) {
  const std::pair<std::uint8_t, tcflag_t> cases[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}, {9, CS8}, {0, CS8}};
  for (auto [bits, size] : cases) {
    termios t{};
    SerialLineSettings s;
    s.databits = bits;
    ApplyLineSettings(t, s);
    EXPECT_EQ(t.c_cflag & CSIZE, size) << int(bits);
  }
  termios t{};
  SerialLineSettings odd;
  odd.baud = 12345;  // no such line speed
  EXPECT_FALSE(ApplyLineSettings(t, odd));
}

TEST(AdvCom32, ReadReturnsOnlyQueuedBytes) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());
  std::string text = "stale";
  port.Read(text);
  EXPECT_EQ(text, "");
  EXPECT_FALSE(port.InUse());

  // Every byte value passes unchanged, in order.
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(char(i));
  pty.Send(all);
  EXPECT_EQ(ReadFor(port, all.size()), all);
  EXPECT_FALSE(port.InUse());
  EXPECT_EQ(port.InCount(), 0);

  pty.Send("+1.234E-08\r\nscpi > ");
  EXPECT_EQ(ReadFor(port, 18), "+1.234E-08\r\nscpi > ");
}

TEST(AdvCom32, WriteReachesPeerAndClosedWriteFails) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  EXPECT_FALSE(port.Write(":PTIM:TINT?\r"));
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.Write(":PTIM:TINT?\r"));
  EXPECT_EQ(pty.Receive(12), ":PTIM:TINT?\r");
  EXPECT_TRUE(port.Write(""));
  port.Close();
  EXPECT_FALSE(port.Write("*IDN?\r"));
  EXPECT_EQ(pty.Receive(1, 100), "");
}

TEST(AdvCom32, WaitingReadEndsAtMarkerOrTimeout) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());
  port.SetEndOfResponse(">");
  port.SetResponseTime(200);
  int timeouts = 0;
  port.OnTimeout = [&](T_AdvCom32&) { ++timeouts; };
  pty.Send("+3\r\nscpi > ");
  EXPECT_EQ(ReadFor(port, 11), "+3\r\nscpi > ");
  EXPECT_FALSE(port.TimedOut());
  EXPECT_EQ(timeouts, 0);
  // Nothing else comes: the read gives up after ResponseTime.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_TRUE(port.TimedOut());
  EXPECT_EQ(timeouts, 1);
  EXPECT_FALSE(port.InUse());
}

// The user-interface thread closes and re-opens the line while the poll thread keeps
// reading and writing: nothing may crash or race (run under the thread sanitizer in CI).
TEST(AdvCom32, ReopenWhileAnotherThreadReadsAndWrites) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());
  std::atomic<bool> stop{false};
  std::atomic<int> writes{0};
  std::thread poller([&] {
    while (!stop) {
      if (port.Write("*IDN?\r")) ++writes;
      port.Read();
      port.InCount();
      port.OutCount();
    }
  });
  std::thread peer([&] {
    char buf[512];
    while (!stop) {
      pollfd p{pty.master, POLLIN, 0};
      if (poll(&p, 1, 5) > 0 && read(pty.master, buf, sizeof buf) > 0)
        (void)!write(pty.master, "+0,\"No error\"\r\nscpi > ", 22);
    }
  });
  for (int i = 0; i < 200; ++i) {
    port.Close();
    EXPECT_TRUE(port.Open());
    if (i % 50 == 0) port.SetBaud(i % 100 == 0 ? 19200 : 9600);
  }
  for (int i = 0; i < 200 && writes.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  stop = true;
  poller.join();
  peer.join();
  EXPECT_TRUE(port.Opened());
  EXPECT_GT(writes.load(), 0);
}

// Two threads reading at once: the second read gives nothing at once, with a message
// only when ShowErrors is on.
TEST(AdvCom32, ConcurrentReadIsRefused) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());
  port.SetEndOfResponse(">");
  port.SetResponseTime(300);
  port.SetShowErrors(true);
  std::atomic<int> messages{0};
  std::string message;
  port.SetErrorMessage([&](const std::string& text) {
    message = text;
    ++messages;
  });
  port.SetErrorDialog([](const std::string&) { return T_AdvCom32::DialogResult::Abort; });
  std::thread waiter([&] { port.Read(); });
  while (!port.InUse()) std::this_thread::yield();
  std::string text = "x";
  port.Read(text);
  EXPECT_EQ(text, "");
  waiter.join();
  EXPECT_EQ(messages.load(), 1);
  EXPECT_EQ(message, "Port is in use -- operation aborted");
  EXPECT_FALSE(port.InUse());
}

// A peer that never reads: the write gives up (false) instead of holding the line's lock
// for ever, and the line can still be closed and re-opened.
TEST(AdvCom32, WriteToStuckPeerGivesUp) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.Write(std::string(1 << 20, 'x')));
  port.Close();
  EXPECT_TRUE(port.Open());
}

// A text that needs longer than a second on the line goes out whole, its carriage
// return last, as long as the line keeps taking it; the bound grows with its length.
TEST(AdvCom32, ALongTextGoesOutWholeWhileTheLineTakesIt) {
  PtyPair pty;
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  port.SetBaud(115200);
  ASSERT_TRUE(port.Open());
  EXPECT_GE(port.WriteBoundMs(32768), 32768 * 10 * 1000 / 115200);
  std::string text(60000, 'x');
  for (std::size_t i = 0; i < text.size(); i += 61) text[i] = static_cast<char>('a' + i % 26);
  text += '\r';
  // The peer reads at twice the line's speed, so the whole takes about two seconds.
  std::string got;
  std::thread peer([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (got.size() < text.size() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      pollfd p{pty.master, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0) continue;
      char buf[230];
      const ssize_t n = read(pty.master, buf, sizeof buf);
      if (n > 0) got.append(buf, std::size_t(n));
    }
  });
  EXPECT_TRUE(port.Write(text));
  peer.join();
  EXPECT_TRUE(got == text) << got.size() << " of " << text.size() << " bytes arrived";
}

TEST(AdvCom32, AnyBaudRateRunsOrOpenFailsWithTheReason) {
  struct Case {
    std::uint32_t baud;
    bool opens;
  };
  // Rates without a termios constant (14400, 28800, 123) run through the arbitrary-rate
  // interface; 0 would hang the line up and is refused.
  for (const Case c : {Case{9600, true}, Case{14400, true}, Case{28800, true}, Case{123, true}, Case{0, false}}) {
    SCOPED_TRACE(c.baud);
    PtyPair pty;
    T_AdvCom32 port;
    std::vector<std::string> reports;
    port.SetFailureReport([&](const std::string& text) { reports.push_back(text); });
    port.SetDevicePath(pty.path);
    port.SetBaud(c.baud);
    EXPECT_EQ(port.Open(), c.opens);
    EXPECT_EQ(port.Opened(), c.opens);
    if (c.opens) {
      EXPECT_EQ(LineSpeed(pty.slave), c.baud);
      EXPECT_TRUE(reports.empty());
    } else {
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_EQ(reports[0], "Serial port " + pty.path + " not opened: baud rate 0 refused: no such rate");
      EXPECT_FALSE(port.Open());  // the same refusal again is not reported twice
      EXPECT_EQ(reports.size(), 1u);
    }
  }
}

TEST(AdvCom32, APathThatIsNoSerialDeviceDoesNotOpen) {
  char name[] = "/tmp/varnex-not-a-tty-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  T_AdvCom32 port;
  port.SetDevicePath(name);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.Write("*IDN?\r"));  // nothing written into the file
  unlink(name);
}
