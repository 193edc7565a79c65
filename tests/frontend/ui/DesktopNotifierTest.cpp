// Desktop notifications on a private session bus (Debian's dbus-daemon, started here),
// with a notification server played by the test; then without a server, and without a bus.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QVariantMap>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "frontend/ui/DesktopNotifier.h"

namespace {

constexpr const char* DbusDaemon = "/usr/bin/dbus-daemon";

// A session bus of the test's own, on a socket in its folder; nothing is activated on it.
class PrivateBus {
 public:
  explicit PrivateBus(const std::string& folder) : socket_(folder + "/bus") {
    const std::string config = folder + "/bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig><type>session</type><listen>unix:path="
                          << socket_
                          << "</listen><auth>EXTERNAL</auth>"
                             "<policy context=\"default\"><allow send_destination=\"*\"/><allow own=\"*\"/>"
                             "<allow receive_sender=\"*\"/></policy></busconfig>\n";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(DbusDaemon, DbusDaemon, ("--config-file=" + config).c_str(), "--nofork", "--nopidfile",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(socket_); ++i) ::usleep(50000);
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Up() const { return std::filesystem::exists(socket_); }
  QString Address() const { return QString::fromStdString("unix:path=" + socket_); }

 private:
  std::string socket_;
  pid_t pid_ = -1;
};

struct NotifyCall {
  QString app;
  uint replaces;
  QString summary;
  QString body;
  int urgency;
  int timeout;
};

bool WaitUntil(const std::function<bool()>& done, int boundMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < boundMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

ReceiverEvent Event(EventKind kind, const std::string& status, const std::string& message) {
  ReceiverEvent e;
  e.Kind = kind;
  e.Time = EncodeDateTime({2013, 8, 1, 3, 4, 5, 0});
  e.Status = status;
  e.Message = message;
  return e;
}

}  // namespace

// The notification server, as a desktop runs one.
class FakeNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  std::vector<NotifyCall> calls;
  uint next = 40;

 public slots:
  uint Notify(const QString& app, uint replaces, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap& hints, int timeout) {
    calls.push_back({app, replaces, summary, body, hints.value("urgency", -1).toInt(), timeout});
    return replaces ? replaces : ++next;
  }
};

TEST(DesktopNotifier, CallsAServerReplacingWhatRepeats) {
  TestApplication();
  if (!std::filesystem::exists(DbusDaemon)) GTEST_SKIP() << DbusDaemon << " is not installed";
  PrivateBus bus(FreshTestFolder("notify"));
  ASSERT_TRUE(bus.Up());
  QDBusConnection server = QDBusConnection::connectToBus(bus.Address(), "notification-server");
  ASSERT_TRUE(server.isConnected());
  FakeNotificationServer played;
  ASSERT_TRUE(server.registerObject("/org/freedesktop/Notifications", &played, QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(server.registerService("org.freedesktop.Notifications"));
  QDBusConnection client = QDBusConnection::connectToBus(bus.Address(), "varnex-client");
  std::vector<std::string> traced;
  DesktopNotifier notifier([&](const std::string& l) { traced.push_back(l); }, nullptr, client);

  const struct {
    ReceiverEvent event;
    NotifyCall expected;
  } cases[] = {
      {Event(EventKind::StatusChanged, "HOLD", "The reference status changed from LOCK to HOLD"),
       {"Varnex", 0, "Reference in holdover", "2013-08-01T03:04:05Z\nThe reference status changed from LOCK to HOLD", 2,
        0}},
      {Event(EventKind::StatusChanged, "LOCK", "The reference status changed from HOLD to LOCK"),
       {"Varnex", 41, "Reference status LOCK", "2013-08-01T03:04:05Z\nThe reference status changed from HOLD to LOCK",
        1, -1}},
      {Event(EventKind::LineLost, "LOCK", "No status from the receiver for 61 s"),
       {"Varnex", 0, "Receiver line lost", "2013-08-01T03:04:05Z\nNo status from the receiver for 61 s", 2, 0}},
      {Event(EventKind::ReceiverError, "LOCK", "Receiver error: <b>-100</b>\x1b"),
       {"Varnex", 0, "Receiver error", "2013-08-01T03:04:05Z\nReceiver error: &lt;b&gt;-100&lt;/b&gt;\\x1B", 1, -1}},
      {Event(EventKind::LineBack, "LOCK", "The receiver answers again"),
       {"Varnex", 42, "Receiver line back", "2013-08-01T03:04:05Z\nThe receiver answers again", 1, -1}},
  };
  for (const auto& c : cases) {
    const std::size_t before = played.calls.size();
    notifier.Notify(c.event);
    ASSERT_TRUE(WaitUntil([&] { return notifier.Shown() == static_cast<int>(before + 1); }));
    ASSERT_EQ(played.calls.size(), before + 1);
    const NotifyCall& got = played.calls.back();
    EXPECT_EQ(got.app, c.expected.app);
    EXPECT_EQ(got.replaces, c.expected.replaces) << got.summary.toStdString();
    EXPECT_EQ(got.summary, c.expected.summary);
    EXPECT_EQ(got.body, c.expected.body);
    EXPECT_EQ(got.urgency, c.expected.urgency) << got.summary.toStdString();
    EXPECT_EQ(got.timeout, c.expected.timeout) << got.summary.toStdString();
  }
  EXPECT_TRUE(traced.empty());
}

TEST(DesktopNotifier, WithoutAServerOrABusOneLineAndNoWait) {
  TestApplication();
  if (!std::filesystem::exists(DbusDaemon)) GTEST_SKIP() << DbusDaemon << " is not installed";
  const std::string folder = FreshTestFolder("notify");
  PrivateBus bus(folder);
  ASSERT_TRUE(bus.Up());
  const struct {
    QString address;
    std::string says;
    bool answeredLater;  // the bus's refusal comes through the event loop, never awaited
  } cases[] = {
      {bus.Address(),
       "Desktop notifications are not shown: no notification server (org.freedesktop.DBus.Error.ServiceUnknown)", true},
      {QString::fromStdString("unix:path=" + folder + "/no-bus"), "Desktop notifications are not shown: no session bus",
       false},
  };
  int n = 0;
  for (const auto& c : cases) {
    QDBusConnection client = QDBusConnection::connectToBus(c.address, QString("client%1").arg(n++));
    std::vector<std::string> traced;
    DesktopNotifier notifier([&](const std::string& l) { traced.push_back(l); }, nullptr, client);
    for (int i = 0; i < 3; ++i) notifier.Notify(Event(EventKind::LineLost, "LOCK", "lost"));
    EXPECT_EQ(traced.empty(), c.answeredLater);
    EXPECT_TRUE(WaitUntil([&] { return !traced.empty(); }));
    WaitUntil([] { return false; }, 300);  // the other answers, if any
    EXPECT_EQ(traced, std::vector<std::string>{c.says});
    EXPECT_EQ(notifier.Shown(), 0);
  }
}

#include "DesktopNotifierTest.moc"
