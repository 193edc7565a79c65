#include "frontend/EventCommand.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "frontend/ReceiverEvents.h"

extern char** environ;

namespace {
using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Why a path cannot be run, or empty when it can.
std::string CannotRun(const std::string& path) {
  if (path.empty() || path[0] != '/') return "it is not an absolute path";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "it is not a file";
  if (::access(path.c_str(), X_OK) != 0) return "it is not executable";
  return {};
}

// Whether any process of the group still runs. An ended process whose parent is gone
// stays a zombie until whoever adopted it reaps it (in a container perhaps never), and
// the kernel still counts it in its group, so the process table is asked.
bool GroupAlive(pid_t group) {
  if (::kill(-group, 0) != 0 && errno != EPERM) return false;
  DIR* proc = ::opendir("/proc");
  if (!proc) return true;
  bool running = false;
  while (dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    const std::string path = std::string("/proc/") + entry->d_name + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    char stat[512];
    const ssize_t n = ::read(fd, stat, sizeof stat - 1);
    ::close(fd);
    if (n <= 0) continue;
    stat[n] = '\0';
    // "pid (name) state ppid pgrp ...": the name may hold anything, so parse after the last ')'.
    const char* rest = std::strrchr(stat, ')');
    char state = 0;
    int ppid = 0, pgrp = 0;
    if (rest && std::sscanf(rest + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 && pgrp == group && state != 'Z' &&
        state != 'X') {
      running = true;
      break;
    }
  }
  ::closedir(proc);
  return running;
}

// Our own environment (a service's settings for the command among it), with the
// event's values in place of any inherited ones of the same names.
std::vector<std::string> CommandEnvironment(const std::vector<std::string>& event) {
  const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string_view name = nameOf(*e);
    if (std::none_of(event.begin(), event.end(), [&](const std::string& v) { return nameOf(v) == name; }))
      env.emplace_back(*e);
  }
  env.insert(env.end(), event.begin(), event.end());
  return env;
}

// The first lines of a command's output, each cut and escaped; the rest is read and
// thrown away so that a command writing without end never blocks on its pipe.
class OutputHead {
 public:
  void Add(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      if (lines_.size() >= EventCommand::OutputLines) return;
      if (data[i] == '\n') {
        Close();
      } else if (line_.size() < EventCommand::OutputLineLength) {
        line_ += data[i];
      }
    }
  }
  std::string Text() {
    if (!line_.empty()) Close();
    std::string text;
    for (const std::string& l : lines_) text += (text.empty() ? "" : " | ") + EscapeReceiverText(l, l.size());
    return text;
  }

 private:
  void Close() {
    if (lines_.size() < EventCommand::OutputLines) lines_.push_back(line_);
    line_.clear();
  }
  std::vector<std::string> lines_;
  std::string line_;
};

std::string ExitText(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}
}  // namespace

EventCommand::EventCommand(Reporter report, int limitMs)
    : report_(std::move(report)), limit_(limitMs), thread_([this] { Loop(); }) {}

EventCommand::~EventCommand() { Stop(); }

void EventCommand::Configure(const std::string& path) {
  std::string usable = path;
  if (!path.empty()) {
    const std::string why = CannotRun(path);
    if (!why.empty()) {
      if (report_) report_("The event command " + EscapeReceiverText(path, 4096) + " cannot be run: " + why);
      usable.clear();
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  path_ = usable;
  failureSaid_ = false;
}

void EventCommand::Post(const std::string& eventName, const std::vector<std::string>& environment) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_ || path_.empty()) return;
  if (queue_.size() >= QueueLimit) {
    ++dropped_;
    return;
  }
  queue_.push_back(Job{path_, eventName, environment});
  wake_.notify_one();
}

void EventCommand::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ && !thread_.joinable()) return;
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::size_t EventCommand::Runs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runs_;
}

std::size_t EventCommand::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

bool EventCommand::Idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.empty() && !running_;
}

void EventCommand::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    // Wakes now and then to end what earlier runs left past their time.
    wake_.wait_for(lock, 500ms, [this] { return stop_ || !queue_.empty(); });
    lock.unlock();
    EndLeftGroups(false);
    lock.lock();
    if (stop_ || queue_.empty()) continue;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    running_ = true;
    lock.unlock();
    Run(job);
    lock.lock();
    running_ = false;
    ++runs_;
    if (dropped_ > droppedSaid_) {
      const std::size_t n = dropped_ - droppedSaid_;
      droppedSaid_ = dropped_;
      lock.unlock();
      if (report_)
        report_("The event command fell behind: " + std::to_string(n) + " event" + (n == 1 ? " was" : "s were") +
                " dropped (" + std::to_string(droppedSaid_) + " in all)");
      lock.lock();
    }
  }
  lock.unlock();
  EndLeftGroups(true);
}

void EventCommand::Run(const Job& job) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    if (report_) report_(std::string("The event command cannot be started: ") + std::strerror(errno));
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // A group of its own, so that it and whatever it starts can be ended together; and
  // the signals as a fresh program has them, whatever this program ignores or blocks.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> env = CommandEnvironment(job.environment);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = job.path, name = job.name;
  char* argv[] = {path.data(), name.data(), nullptr};

  pid_t pid = 0;
  const auto started = SteadyClock::now();
  const int rc = ::posix_spawn(&pid, path.c_str(), &actions, &attr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    bool say = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      say = !failureSaid_;
      failureSaid_ = true;
    }
    if (say && report_)
      report_("The event command " + EscapeReceiverText(path, 4096) + " cannot be run: " + std::strerror(rc));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failureSaid_ = false;
    current_ = pid;
  }

  OutputHead head;
  bool pipeOpen = true, exited = false, timedOut = false, stopped = false;
  int status = 0;
  char buffer[16384];
  while (!exited) {
    if (pipeOpen) {
      pollfd p{fds[0], POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n > 0) head.Add(buffer, static_cast<std::size_t>(n));
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) pipeOpen = false;
      }
    } else {
      std::this_thread::sleep_for(50ms);
    }
    if (::waitpid(pid, &status, WNOHANG) == pid) exited = true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped = stop_;
    }
    if (!exited && (stopped || SteadyClock::now() - started >= limit_)) {
      timedOut = !stopped;
      EndGroup(pid, &status);
      exited = true;
    }
  }
  // What is already in the pipe still counts; a child that keeps it open does not hold us.
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  for (int i = 0; i < 64; ++i) {
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    head.Add(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = 0;
  }
  if (GroupAlive(pid)) {
    if (stopped || timedOut) {
      EndGroup(pid, nullptr);
    } else {
      left_.emplace_back(pid, started);
      if (left_.size() > LeftGroupsLimit) {
        EndGroup(left_.front().first, nullptr);
        left_.erase(left_.begin());
      }
    }
  }

  std::string line = "Event command " + name + ": " + ExitText(status);
  if (timedOut)
    line += ", ended after " + (limit_.count() % 1000 == 0 ? std::to_string(limit_.count() / 1000) + " s"
                                                           : std::to_string(limit_.count()) + " ms");
  if (stopped) line += ", ended as the program stops";
  const std::string output = head.Text();
  if (!output.empty()) line += "; output: " + output;
  if (report_) report_(line);
}

void EventCommand::EndGroup(pid_t group, int* leaderStatus) {
  bool reaped = leaderStatus == nullptr;
  ::kill(-group, SIGTERM);
  // A short grace to end cleanly, then no choice. The leader, still ours, is reaped
  // on the way and at the end, so that no zombie is left.
  bool alive = true;
  for (int i = 0; i < 20 && alive; ++i) {
    if (!reaped && ::waitpid(group, leaderStatus, WNOHANG) == group) reaped = true;
    alive = GroupAlive(group);
    if (alive) std::this_thread::sleep_for(50ms);
  }
  if (alive) ::kill(-group, SIGKILL);
  if (!reaped) ::waitpid(group, leaderStatus, 0);
}

void EventCommand::EndLeftGroups(bool all) {
  const auto now = SteadyClock::now();
  std::erase_if(left_, [&](const auto& g) {
    if (!GroupAlive(g.first)) return true;
    if (!all && now - g.second < limit_) return false;
    EndGroup(g.first, nullptr);
    return true;
  });
}
