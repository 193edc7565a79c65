#pragma once
// Varnex looking at a folder that another program writes (a varnex-logger, a Varnex on
// another computer): the data files and logs are followed, new data lines become chart
// points by the same rules as live ones, and the status bar learns the newest values.
// Nothing is ever written into the folder.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frontend/DataFile.h"
#include "frontend/FolderFollower.h"
#include "platform/DateTime.h"

class ChartSeries;
class Clock;
struct VarnexSettings;

// The series that data lines feed; any may be null.
struct ViewSeries {
  ChartSeries* PpsTi = nullptr;  // main chart "PPS TI"
  ChartSeries* Efc = nullptr;    // main chart "EFC"
  ChartSeries* Hud = nullptr;    // holdover window "HUD"
  ChartSeries* Sats = nullptr;   // holdover window "Sats"
};

struct FollowResult {
  int Charted = 0;                       // data lines that became points
  int Skipped = 0;                       // data lines not charted: already there, older than the newest, or not whole
  std::vector<std::string> StatusLines;  // new lines of the status history
  std::vector<std::string> ErrorLines;   // new lines of the error log
};

class FolderView {
 public:
  // A follow pass at least this often, watched or not: network file systems do not
  // report changes made on another computer.
  static constexpr double PollSeconds = 2.0;
  // No new data line for longer than this marks the writer as stopped.
  static constexpr double StaleSeconds = 60.0;

  FolderView(std::string folder, Clock& clock, const VarnexSettings& settings);
  ~FolderView();

  void SetSeries(const ViewSeries& series) { series_ = series; }
  // Before the charts and logs are loaded: what is in the files now counts as read, so
  // a line written during the load comes with the first pass (once: see Follow).
  void Start();
  // After the charts were loaded: points go on from the newest one charted.
  void Loaded();
  // From the 100 ms tick: a pass when the folder reported a change or the poll
  // interval is over; the result says what it brought, nothing when no pass ran.
  bool Tick(FollowResult& result);
  // One pass now. A data line is charted only when it is newer than the newest one
  // charted, so a file read again, a clock set back on the writer's computer or a
  // line met twice never puts a point twice or out of order.
  FollowResult Follow();

  const std::string& Folder() const { return folder_; }
  bool HaveNewest() const { return haveNewest_; }
  const DataRecord& Newest() const { return newest_; }
  // No new data line for more than StaleSeconds of this computer's clock.
  bool WriterStopped() const;
  // Why the folder cannot be read just now (a share that went away), or empty.
  const std::string& Problem() const { return follower_->Problem(); }
  FolderFollower& Follower() { return *follower_; }

 private:
  bool Wanted(const std::string& name) const;
  void TakeDataLine(const std::string& line, FollowResult& result);
  void Trim(TDateTime t);
  TDateTime SpanDays() const;

  std::string folder_;
  Clock& clock_;
  const VarnexSettings& settings_;
  ViewSeries series_;
  std::unique_ptr<FolderFollower> follower_;
  std::string oldestWeek_;  // week tags before this one lie wholly outside the span
  TDateTime newestCharted_ = 0.0;
  TDateTime lastGrowth_ = 0.0;  // this computer's time when the newest line came in
  TDateTime lastPass_ = 0.0;
  bool haveNewest_ = false;
  DataRecord newest_;
  std::map<std::string, long> logLinesSeen_;  // -1: unknown (present at start)
};

// The status bar's texts of a view.
// "Read-only view of " + folder
std::string ViewMarkText(const std::string& folder);
// Short enough for the status bar: "Newest line mm-dd hh:nn:ss" (UTC), or "Writer
// stopped" and that time after a minute without a new line, or that the folder is out
// of reach.
std::string NewestLineText(const FolderView& view);
// The same said in full, for the panel's tip.
std::string NewestLineTip(const FolderView& view);
