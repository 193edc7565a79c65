// The exposition text, its two ways out, and what they do with careless or hostile
// clients, receivers and file systems.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "MetricsTestHelpers.h"
#include "TestFolder.h"
#include "frontend/MetricsOutput.h"
#include "frontend/MetricsServer.h"
#include "frontend/MetricsText.h"
#include "frontend/RefreshRules.h"

namespace {

MetricsSnapshot Full(const std::string& idn) {
  MetricsSnapshot s;
  s.Identified = true;
  SplitIdentification(idn, s);
  s.LinkUp = true;
  s.PollCycles = 12;
  s.DataLines = 11;
  s.PpsTiSeconds = 1.5e-9;
  s.Efc = 32768.25;
  s.EfcFractional = 3.276825e-8;
  s.HoldoverUncertaintySeconds = 2e-6;
  s.Visible = 11;
  s.Tracked = 8;
  s.Status = StatusHold;
  s.Levels = {{5, 45}, {12, 39}};
  s.LastStatusUnixSeconds = 1375358410.0;
  return s;
}

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(MetricsText, EscapesLabelValues) {
  const std::pair<std::string, std::string> cases[] = {
      {"Z3801A", "Z3801A"},
      {"a\"b", "a\\\"b"},
      {"back\\slash", "back\\\\slash"},
      {"two\nlines", "two\\nlines"},
      {"cr\rtab\t", "cr\\\\x0Dtab\\\\x09"},
      {std::string("nul\0x", 5), "nul\\\\x00x"},
      {"\xC3\xA9t\xE9\xFF\x7F", "\\\\xC3\\\\xA9t\\\\xE9\\\\xFF\\\\x7F"},
  };
  for (const auto& [raw, escaped] : cases) EXPECT_EQ(EscapeLabelValue(raw), escaped);
}

TEST(MetricsText, OneSeriesPerStatusAndNothingNeverRead) {
  std::string text;
  WriteExposition(Full("HP,Z3801A,1,2"), text);
  EXPECT_NE(text.find("varnex_reference_status{status=\"HOLD\"} 1\n"), std::string::npos);
  EXPECT_NE(text.find("varnex_reference_status{status=\"LOCK\"} 0\n"), std::string::npos);
  EXPECT_NE(text.find("varnex_pps_time_interval_seconds 1.5e-09\n"), std::string::npos);
  EXPECT_NE(text.find("varnex_efc 32768.25\n"), std::string::npos);
  EXPECT_NE(text.find("varnex_satellite_cn0_dbhz{prn=\"12\"} 39\n"), std::string::npos);
  EXPECT_NE(text.find("varnex_satellites{state=\"tracked\"} 8\n"), std::string::npos);

  MetricsSnapshot empty;
  WriteExposition(empty, text);
  for (const char* absent : {"varnex_link_up", "varnex_receiver_info", "varnex_pps", "varnex_efc", "varnex_satellite",
                             "varnex_reference_status", "varnex_last_status", "varnex_holdover"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
  EXPECT_NE(text.find("varnex_poll_cycles_total 0\n"), std::string::npos);
}

// Both ways out give text promtool accepts, whatever the receiver calls itself.
TEST(MetricsText, PromtoolAcceptsBothOutputsWithHostileIdentification) {
  if (!HavePromtool()) GTEST_SKIP() << "promtool not found (Debian package prometheus)";
  const std::string folder = FreshTestFolder("metrics");
  static const char ControlBytes[] = "\x01\x02\xFF\xFE,m\xC3\xA9,s\0n,# HELP x y";
  const std::string hostile[] = {
      "HEWLETT-PACKARD,Z3801A,3542A01234,3535",
      "Evil\"Corp,Z\\3801\n} 1\nvarnex_link_up 0,\"quoted\",fw\r\n",
      std::string(ControlBytes, sizeof ControlBytes - 1),
      "a,b,c,d\\",
      ",,,",
  };
  MetricsServer server;
  ASSERT_TRUE(server.Start({"127.0.0.1", 0}));
  MetricsFile file(folder + "/varnex.prom");
  TDateTime now = 41000.0;
  for (const std::string& idn : hostile) {
    SCOPED_TRACE(idn);
    std::string text;
    WriteExposition(Full(idn), text);
    server.Publish(text);
    now += 1.0;
    ASSERT_FALSE(file.Offer(text, now));
    const std::string reply = HttpGet(server.Port(), "/metrics");
    ASSERT_EQ(StatusOf(reply), 200) << reply;
    for (const std::string& out : {BodyOf(reply), Read(file.Path())}) {
      EXPECT_EQ(out, text);
      std::string said;
      EXPECT_EQ(PromtoolCheck(out, folder, &said), 0) << said << out;
      // One line per sample: nothing of the identification broke a line.
      EXPECT_EQ(out.find("\nvarnex_link_up 0"), std::string::npos);
    }
  }
}

TEST(MetricsOutput, ParsesListenAddresses) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"9101", true, "127.0.0.1", 9101},
      {"0.0.0.0:9101", true, "0.0.0.0", 9101},
      {"lab.example:80", true, "lab.example", 80},
      {"[::1]:9101", true, "::1", 9101},
      {"", false, "", 0},
      {"0", false, "", 0},
      {"65536", false, "", 0},
      {"host:", false, "", 0},
      {":9101", false, "", 0},
      {"::1:9101", false, "", 0},
      {"9101x", false, "", 0},
      {"+9101", false, "", 0},
      {"[::1]9101", false, "", 0},
  };
  for (const Case& c : cases) {
    ListenAddress a;
    std::string why;
    EXPECT_EQ(ParseListen(c.text, a, &why), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(a.Host, c.host);
      EXPECT_EQ(a.Port, c.port);
    } else {
      EXPECT_FALSE(why.empty());
    }
  }
}

// GET and HEAD of /metrics only; bad requests get errors, held and flooding connections
// are bounded, and the next good scrape is answered.
TEST(MetricsServer, AnswersOnlyMetricsAndSurvivesBadClients) {
  MetricsServer server;
  std::string why;
  ASSERT_TRUE(server.Start({"127.0.0.1", 0}, &why)) << why;
  server.Publish("varnex_link_up 1\n");
  const int port = server.Port();

  struct Case {
    std::string request;
    int status;
  };
  const Case cases[] = {
      {"GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 200},
      {"HEAD /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 200},
      {"GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 404},
      {"GET /metrics/../etc/passwd HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 404},
      {"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc", 405},
      {"DELETE /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 405},
      {"GET /" + std::string(100000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
      {"GET /metrics HTTP/1.1\r\nHost: x\r\nX: " + std::string(40000, 'b') + "\r\n\r\n", 431},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 40));
    const std::string reply = RawRequest(port, c.request);
    // The library may answer an oversized request with either "too large" status.
    if (c.status == 414 || c.status == 431) {
      EXPECT_TRUE(StatusOf(reply) == 414 || StatusOf(reply) == 431 || StatusOf(reply) == 400) << reply.substr(0, 80);
    } else {
      EXPECT_EQ(StatusOf(reply), c.status) << reply;
    }
    if (c.status == 200 && c.request.rfind("GET", 0) == 0) {
      EXPECT_EQ(BodyOf(reply), "varnex_link_up 1\n");
    }
    if (c.request.rfind("HEAD", 0) == 0) {
      EXPECT_EQ(BodyOf(reply), "");
    }
    if (c.status == 405) {
      EXPECT_NE(reply.find("Allow: GET, HEAD"), std::string::npos);
    }
    if (c.status == 200) {
      EXPECT_NE(reply.find(ExpositionContentType), std::string::npos);
    }
  }

  // Hundreds of clients that connect and say nothing: a scrape among them is answered,
  // and once they are gone the next one too.
  std::vector<int> idle;
  for (int i = 0; i < 300; ++i) {
    const int fd = ConnectLocal(port, false);
    if (fd >= 0) idle.push_back(fd);
  }
  EXPECT_GE(idle.size(), 250u);
  for (int fd : idle) close(fd);
  std::string reply;
  for (int i = 0; i < 50 && StatusOf(reply) != 200; ++i) {
    reply = HttpGet(port, "/metrics");
    if (StatusOf(reply) != 200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(StatusOf(reply), 200);
  idle.clear();
  for (int i = 0; i < 100; ++i) idle.push_back(ConnectLocal(port));
  EXPECT_EQ(StatusOf(HttpGet(port, "/metrics")), 200);
  for (int fd : idle) close(fd);

  // A second server on the same port says why it cannot.
  MetricsServer second;
  EXPECT_FALSE(second.Start({"127.0.0.1", port}, &why));
  EXPECT_NE(why.find("Address already in use"), std::string::npos) << why;
  EXPECT_NE(why.find(std::to_string(port)), std::string::npos) << why;
}

// The file is replaced whole; a folder that is missing or read-only is said once, then
// once an hour, and once more when it works again.
TEST(MetricsOutput, FileFailuresAreSaidOnceAnHour) {
  const std::string folder = FreshTestFolder("metrics");
  const std::string sub = folder + "/gone";
  MetricsFile file(sub + "/varnex.prom");
  const double second = 1.0 / 86400;
  TDateTime now = 41000.0;
  std::vector<std::string> said;
  auto offer = [&](const std::string& text, double seconds) {
    now += seconds * second;
    if (auto line = file.Offer(text, now)) said.push_back(*line);
  };
  offer("a 1\n", 0);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("No such file or directory"), std::string::npos) << said[0];
  for (int i = 0; i < 300; ++i) offer("a 1\n", 10);  // 50 minutes
  EXPECT_EQ(said.size(), 1u);
  for (int i = 0; i < 70; ++i) offer("a 1\n", 10);  // past the hour
  EXPECT_EQ(said.size(), 2u);
  std::filesystem::create_directory(sub);
  offer("a 2\n", 11);
  ASSERT_EQ(said.size(), 3u);
  EXPECT_NE(said[2].find("written again"), std::string::npos);
  EXPECT_EQ(Read(file.Path()), "a 2\n");
  // Unchanged text is not rewritten within the interval, changed text at once.
  const auto before = std::filesystem::last_write_time(file.Path());
  offer("a 2\n", 1);
  EXPECT_EQ(std::filesystem::last_write_time(file.Path()), before);
  offer("a 3\n", 0.1);
  EXPECT_EQ(Read(file.Path()), "a 3\n");
  // No temporary file is left behind.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(sub)) entries += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(entries, 1);
  if (geteuid() != 0) {
    chmod(sub.c_str(), 0555);
    offer("a 4\n", 0.1);
    EXPECT_EQ(said.size(), 4u);
    EXPECT_EQ(Read(file.Path()), "a 3\n");  // the old file stays whole
    chmod(sub.c_str(), 0755);
  }
}
