#include "frontend/ReceiverEvents.h"

#include <cmath>
#include <cstdio>

#include "frontend/RefreshCycle.h"

namespace {

std::string StatusName(std::uint8_t code) {
  static const char* const names[] = {"", "OTH", "HOLD", "WAIT", "REC", "LOCK", "POW"};
  return code < 7 ? names[code] : "";
}
}  // namespace

const char* EventName(EventKind kind) {
  switch (kind) {
    case EventKind::StatusChanged:
      return "status-changed";
    case EventKind::ReceiverError:
      return "receiver-error";
    case EventKind::LineLost:
      return "line-lost";
    case EventKind::LineBack:
      return "line-back";
    case EventKind::FileFailed:
      return "file-failed";
    case EventKind::FileWritten:
      return "file-written";
  }
  return "unknown";
}

bool ReceiverEvent::Critical() const {
  return Kind == EventKind::LineLost || (Kind == EventKind::StatusChanged && Status == "HOLD");
}

std::string EscapeReceiverText(std::string_view text, std::size_t limit) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text.substr(0, limit)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  if (text.size() > limit) out += "...";
  return out;
}

std::string IsoUtc(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return buffer;
}

std::vector<std::string> EventEnvironment(const ReceiverEvent& e, const EventContext& c) {
  // Every value from the receiver or a path is escaped: a command may well put them in
  // a mail header or a shell line of its own.
  return {
      std::string("VARNEX_EVENT=") + EventName(e.Kind),
      "VARNEX_TIME=" + IsoUtc(e.Time),
      "VARNEX_STATUS=" + EscapeReceiverText(e.Status),
      "VARNEX_PREVIOUS_STATUS=" + EscapeReceiverText(e.PreviousStatus),
      "VARNEX_MESSAGE=" + EscapeReceiverText(e.Message, 2048),
      "VARNEX_FILE=" + EscapeReceiverText(e.File, 4096),
      "VARNEX_DEVICE=" + EscapeReceiverText(c.Device, 4096),
      "VARNEX_FOLDER=" + EscapeReceiverText(c.Folder, 4096),
      "VARNEX_RECEIVER=" + EscapeReceiverText(c.Receiver),
  };
}

bool IsNoErrorAnswer(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digits = i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == digits) return false;
  return i == text.size() || text[i] == ',' || text[i] == ' ';
}

void ReceiverEvents::Emit(ReceiverEvent event) {
  for (const Sink& sink : sinks_) sink(event);
}

void ReceiverEvents::AfterTick(const RefreshCycle& r, TDateTime now) {
  if (!started_) {
    // What the status history said last is the status we start from.
    started_ = true;
    startedAt_ = now;
    statusCode_ = r.LastStatusCode;
    statusText_ = StatusName(statusCode_);
    lastScreen_ = r.LastPointTime;
  }
  const std::string reported = r.LastStatusCode == 0 ? r.StatusText : StatusName(r.LastStatusCode);
  if (r.LastStatusCode != statusCode_ || (r.LastStatusCode == 0 && reported != statusText_)) {
    ReceiverEvent e{EventKind::StatusChanged, now, reported, statusText_, {}, {}};
    e.Message = "The reference status changed from " + (statusText_.empty() ? "undefined" : statusText_) + " to " +
                (reported.empty() ? "undefined" : reported);
    statusCode_ = r.LastStatusCode;
    statusText_ = reported;
    Emit(e);
  }
  if (r.LastErrorText() != errorText_) {
    errorText_ = r.LastErrorText();
    if (!IsNoErrorAnswer(errorText_))
      Emit(ReceiverEvent{EventKind::ReceiverError, now, statusText_, {}, "Receiver error: " + errorText_, {}});
  }
  if (r.LastPointTime != lastScreen_) {
    lastScreen_ = r.LastPointTime;
    if (lost_) {
      lost_ = false;
      Emit(ReceiverEvent{EventKind::LineBack, now, statusText_, {}, "The receiver answers again", {}});
    }
  } else if (!lost_) {
    const TDateTime since = lastScreen_ > 0.0 ? lastScreen_ : startedAt_;
    // In whole milliseconds, as the chart gap; a clock set back is no silence.
    const double silent = std::llround((now - since) * SecondsPerDay * 1000.0) / 1000.0;
    if (silent > lostAfter_) {
      lost_ = true;
      Emit(ReceiverEvent{EventKind::LineLost,
                         now,
                         statusText_,
                         {},
                         "No status from the receiver for " + std::to_string(std::lround(silent)) + " s",
                         {}});
    }
  }
}

void ReceiverEvents::FileWritten(const std::string& path, bool ok, TDateTime now) {
  auto it = failing_.find(path);
  if (ok) {
    if (it == failing_.end()) return;
    failing_.erase(it);
    Emit(ReceiverEvent{EventKind::FileWritten, now, statusText_, {}, path + " is written again", path});
    return;
  }
  if (it != failing_.end()) return;
  // Bounded: a file name per week and log, not per line.
  if (failing_.size() > 64) failing_.erase(failing_.begin());
  failing_[path] = true;
  Emit(ReceiverEvent{EventKind::FileFailed, now, statusText_, {}, "Cannot write " + path, path});
}
