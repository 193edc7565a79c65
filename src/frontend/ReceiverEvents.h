#pragma once
// What happened to the reference, as one list of events for both programs: the
// status changed, a new receiver error, the line lost and back, a file that cannot
// be written and written again. Events are read from what the refresh tick already
// holds after each tick; nothing here asks the receiver for more.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/DateTime.h"

class RefreshCycle;

enum class EventKind { StatusChanged, ReceiverError, LineLost, LineBack, FileFailed, FileWritten };

// "status-changed", "receiver-error", "line-lost", "line-back", "file-failed", "file-written".
const char* EventName(EventKind kind);

struct ReceiverEvent {
  EventKind Kind = EventKind::StatusChanged;
  TDateTime Time = 0.0;        // UTC
  std::string Status;          // the status reported (all events, as last known)
  std::string PreviousStatus;  // status changes only
  std::string Message;         // a line of text saying what happened
  std::string File;            // file events: the file's path
  // Holdover and a lost line are what a user must hear about at once.
  bool Critical() const;
};

// Where the program stands, handed to the event command with each event.
struct EventContext {
  std::string Device;
  std::string Folder;
  std::string Receiver;  // the identification as received
};

// Receiver text may hold any byte: control bytes and bytes outside ASCII become
// "\xNN" (and "\" becomes "\\"), and the text is cut at `limit` bytes.
std::string EscapeReceiverText(std::string_view text, std::size_t limit = 512);

// "2013-08-01T12:34:56Z".
std::string IsoUtc(TDateTime t);

// The environment of one event command run, as "NAME=value" entries.
std::vector<std::string> EventEnvironment(const ReceiverEvent& event, const EventContext& context);

// The error queue's answer for an empty queue ("+0,\"No error\"") is no event.
bool IsNoErrorAnswer(std::string_view text);

class ReceiverEvents {
 public:
  // No status screen for this long (from start or from the last one): the line is lost.
  static constexpr double LostAfterSeconds = 60.0;
  using Sink = std::function<void(const ReceiverEvent&)>;

  void AddSink(Sink sink) { sinks_.push_back(std::move(sink)); }

  // Called after each refresh tick.
  void AfterTick(const RefreshCycle& refresh, TDateTime now);
  // Called after each write of a log or data file: the first failure of a file, and
  // its first success after failing, are events.
  void FileWritten(const std::string& path, bool ok, TDateTime now);

  bool LineLost() const { return lost_; }
  // Tests that cannot wait a minute of real time shorten the silence that counts.
  void SetLostAfterSeconds(double seconds) { lostAfter_ = seconds; }

 private:
  void Emit(ReceiverEvent event);

  std::vector<Sink> sinks_;
  bool started_ = false;
  TDateTime startedAt_ = 0.0;
  std::uint8_t statusCode_ = 0;
  std::string statusText_;
  std::string errorText_;
  TDateTime lastScreen_ = 0.0;
  bool lost_ = false;
  double lostAfter_ = LostAfterSeconds;
  std::map<std::string, bool> failing_;
};
