#pragma once
// Runs the user's event command ("[Events] Command=PATH") for each event: PATH is
// started directly (never through a shell) with the event name as its argument and
// the event's values in its environment. Runs happen on a thread of their own, one
// at a time, from a bounded queue; a run that lasts too long has its process group
// ended, and so has every run still going when the runner stops.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class EventCommand {
 public:
  // Called on the runner's thread, and on the caller's for what Configure says.
  using Reporter = std::function<void(const std::string& line)>;
  static constexpr std::size_t QueueLimit = 32;
  static constexpr int DefaultLimitMs = 30000;
  static constexpr std::size_t OutputLines = 5;
  static constexpr std::size_t OutputLineLength = 200;
  // Runs whose first process ended while others of theirs go on are ended at the time
  // limit; beyond this many, the oldest at once, so a storm cannot pile processes up.
  static constexpr std::size_t LeftGroupsLimit = 8;

  explicit EventCommand(Reporter report, int limitMs = DefaultLimitMs);
  ~EventCommand();
  EventCommand(const EventCommand&) = delete;
  EventCommand& operator=(const EventCommand&) = delete;

  // Sets the command (empty: none); a path that is missing or cannot be run is said
  // here, once, and its events are not run. Call at start and at each reload.
  void Configure(const std::string& path);
  // Queues one run. Beyond the queue limit the event is counted as dropped; the count
  // is said after the next run.
  void Post(const std::string& eventName, const std::vector<std::string>& environment);
  // Ends the run under way and every process group left by earlier runs, drops what is
  // queued, and joins the thread. Safe to call twice.
  void Stop();

  // For tests: runs finished, events dropped so far, and whether nothing is queued or running.
  std::size_t Runs() const;
  std::size_t Dropped() const;
  bool Idle() const;

 private:
  struct Job {
    std::string path;
    std::string name;
    std::vector<std::string> environment;
  };
  void Loop();
  void Run(const Job& job);
  void EndGroup(pid_t group, int* leaderStatus);
  void EndLeftGroups(bool all);

  Reporter report_;
  const std::chrono::milliseconds limit_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  std::string path_;
  bool stop_ = false;
  bool running_ = false;
  std::size_t runs_ = 0;
  std::size_t dropped_ = 0;
  std::size_t droppedSaid_ = 0;
  bool failureSaid_ = false;
  pid_t current_ = 0;
  // Groups whose first process ended while others of theirs may still run, with when
  // they were started: ended at the time limit, or at stop.
  std::vector<std::pair<pid_t, std::chrono::steady_clock::time_point>> left_;
  std::thread thread_;
};
