// The event command as it really runs: small shell scripts started by the runner,
// which itself never uses a shell.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestFolder.h"
#include "WaitFor.h"
#include "frontend/EventCommand.h"
#include "frontend/ReceiverEvents.h"

namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string Script(const std::string& folder, const std::string& name, const std::string& body) {
  const std::string path = folder + "/" + name;
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

bool Alive(const std::string& pidFile) {
  const std::string text = ReadAll(pidFile);
  if (text.empty()) return false;
  const pid_t pid = std::stoi(text);
  // A zombie waiting for its parent is not running any more.
  const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
  return ::kill(pid, 0) == 0 && stat.find(") Z ") == std::string::npos;
}

struct Said {
  std::mutex mutex;
  std::vector<std::string> lines;
  EventCommand::Reporter Reporter() {
    return [this](const std::string& l) {
      std::lock_guard<std::mutex> lock(mutex);
      lines.push_back(l);
    };
  }
  std::string All() {
    std::lock_guard<std::mutex> lock(mutex);
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    return all;
  }
  std::size_t Count(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    std::size_t n = 0;
    for (const std::string& l : lines) n += l.find(text) != std::string::npos;
    return n;
  }
};

TEST(EventCommand, RunsDirectlyWithTheEventAsDataOnly) {
  const std::string folder = FreshTestFolder("events");
  const std::string out = folder + "/out";
  const std::string path = Script(folder, "tell",
                                  "printf '%s|' \"$#\" \"$1\" \"$VARNEX_STATUS\" \"$VARNEX_X\" \"$VARNEX_MAIL_TO\" >" +
                                      out + "; echo first; echo second >&2; exit 3");
  Said said;
  EventCommand command(said.Reporter());
  command.Configure(path);
  // Receiver text made to break out of a shell, as the environment carries it.
  ReceiverEvent e{
      EventKind::StatusChanged, 1.0, "$(touch " + folder + "/pwned);`touch " + folder + "/pwned2`\nx", "", "", ""};
  std::vector<std::string> env = EventEnvironment(e, {});
  env.push_back("VARNEX_X=kept");
  // The program's own environment reaches the command, but never in place of the event's.
  ::setenv("VARNEX_STATUS", "stale", 1);
  ::setenv("VARNEX_MAIL_TO", "ops@example.org", 1);
  command.Post("status-changed", env);
  ASSERT_TRUE(WaitFor([&] { return command.Runs() == 1; }, 20s)) << said.All();
  EXPECT_EQ(ReadAll(out),
            "1|status-changed|$(touch " + folder + "/pwned);`touch " + folder + "/pwned2`\\x0Ax|kept|ops@example.org|");
  EXPECT_FALSE(fs::exists(folder + "/pwned"));
  EXPECT_FALSE(fs::exists(folder + "/pwned2"));
  EXPECT_EQ(said.Count("Event command status-changed: exit status 3; output: first | second"), 1u) << said.All();
  ::unsetenv("VARNEX_STATUS");
  ::unsetenv("VARNEX_MAIL_TO");
}

// Commands that misbehave: each case says what the runner must say, and the process it
// leaves (its pid in a file) must be gone when the case ends.
TEST(EventCommand, HangingForkingFloodingAndMissingCommands) {
  const std::string folder = FreshTestFolder("events");
  const std::string pid = folder + "/pid";
  const struct {
    const char* name;
    std::string body;
    bool stopEarly;  // the program stops while the command runs
    std::string says;
    int limitMs = 1000;  // the time limit of a run; generous where the run must finish
  } cases[] = {
      {"hangs", "echo $$ >" + pid + "; exec sleep 1000", false, "ended by signal 15, ended after 1 s"},
      {"ignores-term", "trap '' TERM; echo $$ >" + pid + "; while :; do sleep 0.1; done", false,
       "ended by signal 9, ended after 1 s"},
      {"forks-and-exits", "sleep 1000 >/dev/null 2>&1 & echo $! >" + pid + "; echo bye", false,
       "exit status 0; output: bye"},
      {"forks-and-stops", "sleep 1000 & echo $! >" + pid + "; exec sleep 1000", true,
       "ended by signal 15, ended as the program stops"},
      {"floods", "echo $$ >" + pid + "; head -c 10000000 /dev/zero | tr '\\0' 'x'; yes line | head -n 100000", false,
       "exit status 0; output: " + std::string(EventCommand::OutputLineLength, 'x') + " | line | line | line | line",
       30000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(pid);
    Said said;
    auto command = std::make_unique<EventCommand>(said.Reporter(), c.limitMs);
    command->Configure(Script(folder, c.name, c.body));
    command->Post(c.name, {});
    ASSERT_TRUE(WaitFor([&] { return fs::exists(pid) && !ReadAll(pid).empty(); }, 20s)) << said.All();
    if (c.stopEarly) {
      std::this_thread::sleep_for(200ms);
      command->Stop();
    } else {
      ASSERT_TRUE(WaitFor([&] { return command->Runs() == 1; }, 60s)) << said.All();
      // What a run leaves behind ends at the time limit too.
      EXPECT_TRUE(WaitFor([&] { return !Alive(pid); }, 10s));
      command->Stop();
    }
    EXPECT_FALSE(Alive(pid));
    EXPECT_EQ(said.Count(std::string("Event command ") + c.name + ": " + c.says), 1u) << said.All();
  }

  // Missing or not runnable: said at each configuration, and nothing runs.
  Said said;
  EventCommand command(said.Reporter());
  const std::string plain = folder + "/plain";
  std::ofstream(plain) << "#!/bin/sh\n";
  for (const std::string& path : {folder + "/missing", plain, folder, std::string("relative/cmd")}) {
    command.Configure(path);
    command.Configure(path);
    command.Post("line-lost", {});
  }
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(command.Runs(), 0u);
  EXPECT_EQ(said.Count("No such file or directory"), 2u) << said.All();
  EXPECT_EQ(said.Count("it is not executable"), 2u) << said.All();
  EXPECT_EQ(said.Count("it is not a file"), 2u) << said.All();
  EXPECT_EQ(said.Count("it is not an absolute path"), 2u) << said.All();
  // Removed after being configured: said once, at the first run that fails.
  const std::string gone = Script(folder, "gone", "exit 0");
  command.Configure(gone);
  fs::remove(gone);
  for (int i = 0; i < 3; ++i) command.Post("line-lost", {});
  ASSERT_TRUE(WaitFor([&] { return command.Runs() == 3; }, 20s));
  EXPECT_EQ(said.Count("The event command " + gone + " cannot be run: No such file"), 1u) << said.All();
}

// A receiver flapping every cycle: one run at a time, a bounded queue, the drops said.
TEST(EventCommand, StormOfEvents) {
  const std::string folder = FreshTestFolder("events");
  const std::string log = folder + "/log";
  const std::string path = Script(folder, "slow", "echo start >>" + log + "; sleep 0.02; echo end >>" + log);
  Said said;
  EventCommand command(said.Reporter());
  command.Configure(path);
  const int events = 2000;
  for (int i = 0; i < events; ++i) command.Post(i % 2 ? "status-changed" : "line-lost", {});
  ASSERT_TRUE(WaitFor([&] { return command.Idle(); }, 30s));
  const std::size_t runs = command.Runs();
  EXPECT_LE(runs, EventCommand::QueueLimit + 1);
  EXPECT_GE(runs, EventCommand::QueueLimit);
  EXPECT_EQ(command.Dropped(), events - runs);
  std::string expected;
  for (std::size_t i = 0; i < runs; ++i) expected += "start\nend\n";
  EXPECT_EQ(ReadAll(log), expected);  // never two at once
  EXPECT_EQ(said.Count("The event command fell behind: " + std::to_string(events - runs) + " events were dropped"), 1u)
      << said.All();
}

// The mail example, its sendmail played by a script: receiver text stays in the body and
// the subject as data, and cannot add a header.
TEST(EventCommand, MailExample) {
  const std::string folder = FreshTestFolder("events");
  const std::string mail = folder + "/mail";
  ::setenv("VARNEX_SENDMAIL", Script(folder, "sendmail", "echo \"$*\" >" + mail + "; cat >>" + mail).c_str(), 1);
  ::setenv("VARNEX_MAIL_TO", "ops@example.org", 1);
  Said said;
  EventCommand command(said.Reporter());
  command.Configure(VARNEX_CONTRIB_DIR "/varnex-event-mail");
  ReceiverEvent e{EventKind::StatusChanged,
                  EncodeDateTime({2013, 8, 1, 2, 3, 4, 0}),
                  "HOLD\nBcc: all@example.org",
                  "LOCK",
                  "The reference status changed from LOCK to HOLD",
                  ""};
  command.Post("status-changed", EventEnvironment(e, {"/dev/ttyUSB0", "/var/lib/varnex", "HP,Z3801A,$(id)"}));
  ASSERT_TRUE(WaitFor([&] { return command.Runs() == 1; }, 20s)) << said.All();
  ::unsetenv("VARNEX_SENDMAIL");
  ::unsetenv("VARNEX_MAIL_TO");
  EXPECT_EQ(said.Count("Event command status-changed: exit status 0"), 1u) << said.All();
  EXPECT_EQ(ReadAll(mail),
            "-t -oi\n"
            "To: ops@example.org\n"
            "Subject: Varnex: status-changed HOLD\\x0ABcc: all@example.org\n"
            "Content-Type: text/plain; charset=us-ascii\n\n"
            "The reference status changed from LOCK to HOLD\n\n"
            "Event:           status-changed\n"
            "Time (UTC):      2013-08-01T02:03:04Z\n"
            "Status:          HOLD\\x0ABcc: all@example.org\n"
            "Previous status: LOCK\n"
            "Receiver:        HP,Z3801A,$(id)\n"
            "Device:          /dev/ttyUSB0\n"
            "Folder:          /var/lib/varnex\n");
}

// A storm of runs that each leave a process behind: never more than the limit of them.
TEST(EventCommand, StormOfRunsLeavingChildren) {
  const std::string folder = FreshTestFolder("events");
  const std::string pids = folder + "/pids";
  const std::string path = Script(folder, "leaves", "sleep 1000 >/dev/null 2>&1 & echo $! >>" + pids);
  Said said;
  EventCommand command(said.Reporter());
  command.Configure(path);
  for (int i = 0; i < 40; ++i) command.Post("status-changed", {});
  ASSERT_TRUE(WaitFor([&] { return command.Idle(); }, 30s));
  std::size_t alive = 0, started = 0;
  std::stringstream list(ReadAll(pids));
  for (std::string pid; std::getline(list, pid); ++started) {
    const std::string stat = ReadAll("/proc/" + pid + "/stat");
    alive += !stat.empty() && stat.find(") Z ") == std::string::npos;
  }
  EXPECT_GE(started, EventCommand::QueueLimit);
  EXPECT_LE(alive, EventCommand::LeftGroupsLimit);
  command.Stop();
  std::this_thread::sleep_for(100ms);
  alive = 0;
  std::stringstream again(ReadAll(pids));
  for (std::string pid; std::getline(again, pid);) {
    const std::string stat = ReadAll("/proc/" + pid + "/stat");
    alive += !stat.empty() && stat.find(") Z ") == std::string::npos;
  }
  EXPECT_EQ(alive, 0u);
}

}  // namespace
