#include "frontend/FolderView.h"

#include <algorithm>
#include <cmath>

#include "charting/ChartSeries.h"
#include "frontend/RefreshRules.h"
#include "frontend/Settings.h"
#include "frontend/StatusLog.h"
#include "link/TimeHelpers.h"

namespace {
constexpr double SecondsPerDayValue = 86400.0;

bool IsWeekFile(const std::string& name) {
  // "VarnexData" + "yyyyCWww" + ".Txt"
  return name.size() == 22 && name.rfind("VarnexData", 0) == 0 && name.compare(14, 2, "CW") == 0 &&
         name.compare(18, 4, ".Txt") == 0;
}

void AddPoint(ChartSeries* series, TDateTime t, double y, bool gap) {
  if (series) series->Append({t, y, gap});
}
}  // namespace

FolderView::FolderView(std::string folder, Clock& clock, const VarnexSettings& settings)
    : folder_(std::move(folder)),
      clock_(clock),
      settings_(settings),
      follower_(std::make_unique<FolderFollower>(folder_, [this](const std::string& n) { return Wanted(n); })) {}

FolderView::~FolderView() = default;

TDateTime FolderView::SpanDays() const { return settings_.SpanMinutes / 1440.0; }

bool FolderView::Wanted(const std::string& name) const {
  if (name == StatusHistoryFileName || name == ErrorLogFileName || name == UndatedDataFileName) return true;
  // Years of weekly files: only those the span reaches are followed.
  return IsWeekFile(name) && name.compare(10, 8, oldestWeek_) >= 0;
}

void FolderView::Start() {
  const TDateTime now = UtcNow(clock_);
  oldestWeek_ = WeekTag(now - SpanDays());
  lastPass_ = now;
  lastGrowth_ = now;
  for (const auto& [name, line] : follower_->SkipExisting()) {
    if (name == StatusHistoryFileName || name == ErrorLogFileName) {
      logLinesSeen_[name] = -1;
      continue;
    }
    DataRecord r;
    if (ParseDataLine(line, r) && (!haveNewest_ || r.Time > newest_.Time)) {
      newest_ = r;
      haveNewest_ = true;
    }
  }
  // A writer whose newest line is old already has stopped; its clock may be behind
  // ours, which the first new line corrects.
  if (haveNewest_) lastGrowth_ = std::min(now, newest_.Time);
  // What the files held at start is the loaders' to chart; following begins after it.
  if (haveNewest_) newestCharted_ = newest_.Time;
}

void FolderView::Loaded() {
  for (ChartSeries* s : {series_.PpsTi, series_.Efc, series_.Hud, series_.Sats})
    if (s && !s->Empty()) newestCharted_ = std::max(newestCharted_, s->Last().x);
}

bool FolderView::Tick(FollowResult& result) {
  const TDateTime now = UtcNow(clock_);
  const bool due = (now - lastPass_) * SecondsPerDayValue >= PollSeconds || now < lastPass_;
  if (!follower_->ChangeReported() && !due) return false;
  result = Follow();
  return true;
}

FollowResult FolderView::Follow() {
  FollowResult result;
  const TDateTime now = UtcNow(clock_);
  lastPass_ = now;
  oldestWeek_ = WeekTag(now - SpanDays());
  std::vector<FollowedFile> files = follower_->Pass();
  // The undated file sorts first, then the weeks oldest first: data in time order.
  std::sort(files.begin(), files.end(), [](const FollowedFile& a, const FollowedFile& b) { return a.Name < b.Name; });
  for (FollowedFile& f : files) {
    if (f.Name == StatusHistoryFileName || f.Name == ErrorLogFileName) {
      long& seen = logLinesSeen_[f.Name];
      auto& into = f.Name == StatusHistoryFileName ? result.StatusLines : result.ErrorLines;
      std::size_t skip = 0;
      if (f.Restarted) {
        // Read again from the top: what was shown already is not shown twice.
        skip = seen < 0 ? f.Lines.size() : std::min<std::size_t>(static_cast<std::size_t>(seen), f.Lines.size());
        seen = 0;
      }
      if (seen < 0) seen = 0;
      into.insert(into.end(), f.Lines.begin() + static_cast<long>(skip), f.Lines.end());
      seen += static_cast<long>(f.Lines.size());
      continue;
    }
    for (const std::string& line : f.Lines) TakeDataLine(line, result);
  }
  if (result.Charted > 0) {
    lastGrowth_ = now;
    Trim(newestCharted_);
  }
  return result;
}

void FolderView::TakeDataLine(const std::string& line, FollowResult& result) {
  DataRecord r;
  if (!ParseDataLine(line, r) || r.Time <= newestCharted_) {
    ++result.Skipped;
    return;
  }
  const bool gap = IsChartGap(newestCharted_, r.Time);
  AddPoint(series_.PpsTi, r.Time, r.PpsTi, gap);
  AddPoint(series_.Efc, r.Time, r.Efc, gap);
  AddPoint(series_.Hud, r.Time, r.Hup, gap);
  AddPoint(series_.Sats, r.Time, r.Tracked, gap);
  newestCharted_ = r.Time;
  newest_ = r;
  haveNewest_ = true;
  ++result.Charted;
}

void FolderView::Trim(TDateTime t) {
  const TDateTime oldest = t - SpanDays();
  for (ChartSeries* s : {series_.PpsTi, series_.Efc, series_.Hud, series_.Sats})
    while (s && !s->Empty() && s->First().x < oldest) s->DeleteFirst();
}

bool FolderView::WriterStopped() const { return (UtcNow(clock_) - lastGrowth_) * SecondsPerDayValue > StaleSeconds; }

std::string ViewMarkText(const std::string& folder) { return "Read-only view of " + folder; }

std::string NewestLineText(const FolderView& view) {
  // "mm-dd hh:nn:ss", UTC: the year is in the tip, and the status bar has little room.
  const std::string stamp = view.HaveNewest() ? FormatStamp(view.Newest().Time).substr(5) : std::string();
  if (!view.Problem().empty()) return "Folder out of reach, trying again";
  if (view.WriterStopped()) return view.HaveNewest() ? "Writer stopped " + stamp : "No data lines: no writer";
  return view.HaveNewest() ? "Newest line " + stamp : "No data lines yet";
}

std::string NewestLineTip(const FolderView& view) {
  std::string tip = view.HaveNewest() ? "Newest data line " + FormatStamp(view.Newest().Time) + " UTC."
                                      : "No data line in the folder yet.";
  if (!view.Problem().empty()) tip += " The folder cannot be read just now: " + view.Problem() + ".";
  if (view.WriterStopped()) tip += " No new line for more than a minute: the writer has stopped.";
  return tip;
}
