#include "frontend/MetricsSnapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "frontend/RefreshCycle.h"
#include "frontend/Settings.h"

namespace {
std::string Trimmed(const std::string& text, std::size_t from, std::size_t to) {
  while (from < to && (text[from] == ' ' || text[from] == '\t')) ++from;
  while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t' || text[to - 1] == '\r')) --to;
  return text.substr(from, to - from);
}

// "+0,"No error"" and the like say the queue is empty; any other code is an error.
bool IsErrorReport(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const long code = std::strtol(begin, &end, 10);
  return end == begin || code != 0;
}
}  // namespace

void SplitIdentification(const std::string& idn, MetricsSnapshot& out) {
  std::string* fields[] = {&out.Maker, &out.Model, &out.Serial, &out.Firmware};
  std::size_t from = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    if (from > idn.size()) {
      fields[i]->clear();
      continue;
    }
    // The last field takes the rest, commas and all.
    std::size_t to = i == 3 ? idn.size() : idn.find(',', from);
    if (to == std::string::npos) to = idn.size();
    *fields[i] = Trimmed(idn, from, to);
    from = to + 1;
  }
}

const MetricsSnapshot& MetricsRecorder::Update(const RefreshCycle& r, const VarnexSettings& settings,
                                               const std::string& idn, TDateTime now) {
  MetricsSnapshot& s = snapshot_;
  if (!idn.empty() && idn != idn_) {
    idn_ = idn;
    SplitIdentification(idn_, s);
    s.Identified = true;
  }

  // A new status screen: the link is up, and a screen after a quiet spell starts a new
  // stretch whose values alone count.
  if (r.LastPointTime != lastScreen_ && r.LastPointTime != 0.0) {
    lastScreen_ = r.LastPointTime;
    screenSeenAt_ = now;
    ++pollCycles_;
    if (!up_) upSince_ = lastScreen_;
    up_ = true;
  }
  // A clock set back counts as time passed, so the link never stays up on old screens.
  if (up_ && std::fabs(now - screenSeenAt_) * SecondsPerDay > LinkTimeoutSeconds) {
    up_ = false;
    ++linkLost_;
  }

  if (r.LastErrorText() != lastError_) {
    lastError_ = r.LastErrorText();
    if (IsErrorReport(lastError_)) ++receiverErrors_;
  }

  if (started_ == 0.0) started_ = now;
  s.LinkUp.reset();
  if (up_ || lastScreen_ != 0.0 || std::fabs(now - started_) * SecondsPerDay > LinkTimeoutSeconds) s.LinkUp = up_;
  s.LinkLost = linkLost_;
  s.PollCycles = pollCycles_;
  s.DataLines = dataLines_;
  s.FileWriteFailures = writeFailures_;
  s.ReceiverErrors = receiverErrors_;
  s.LastStatusUnixSeconds.reset();
  if (lastScreen_ != 0.0) s.LastStatusUnixSeconds = UnixSeconds(lastScreen_);

  // Read since the link came up, and not left behind by later cycles that failed to read it.
  auto current = [&](bool valid, TDateTime stamp) {
    return up_ && valid && stamp >= upSince_ && std::fabs(lastScreen_ - stamp) * SecondsPerDay <= LinkTimeoutSeconds;
  };
  s.PpsTiSeconds.reset();
  s.Efc.reset();
  s.EfcFractional.reset();
  s.HoldoverUncertaintySeconds.reset();
  s.Visible.reset();
  s.Tracked.reset();
  s.Status.reset();
  s.Levels.clear();
  if (current(r.PpsTiValid, r.PpsTiTime)) s.PpsTiSeconds = r.PpsTiValue;
  if (current(r.EfcValid, r.PpsTiTime)) {
    s.Efc = r.EfcValue;
    s.EfcFractional = r.EfcValue * settings.EfcMantissa * std::pow(10.0, settings.EfcExponent);
  }
  if (current(r.HupValid, r.HupTime)) s.HoldoverUncertaintySeconds = r.HupValue;
  if (current(r.VisibleValid, r.VisibleTime)) s.Visible = r.VisibleCount;
  if (current(r.TrackedValid, r.TrackedTime)) s.Tracked = r.TrackedCount;
  if (current(true, r.StatusTime)) s.Status = r.StatusCode;
  if (up_) {
    const int rows = std::min<int>(r.Satellites.Count, SatelliteTable::Capacity);
    for (int i = 0; i < rows; ++i) {
      const SatelliteRow& row = r.Satellites.Rows[static_cast<std::size_t>(i)];
      if (row.Prn <= 0 || row.CN <= 0) continue;
      // A garbled screen may list a satellite twice; one series each.
      bool seen = false;
      for (const SatelliteLevel& level : s.Levels) seen = seen || level.Prn == row.Prn;
      if (!seen) s.Levels.push_back({row.Prn, row.CN});
    }
  }
  return s;
}
