#pragma once
// Everything the poll thread hands to the user-interface thread.
//
// Each answer is a value/flag pair (PpsTiAnswer/PpsTiNew, EfcAnswer/EfcNew, ...).
// One mutex guards all pairs and the status lines, so publishing stores value and
// flag together and taking clears the flag and copies the value as one step.
// Every answer also carries the start of the poll cycle that produced it, stored in
// that same step: the user interface may take it seconds later, when CycleTime has
// long moved on with the clock.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/ManualOutbox.h"
#include "platform/DateTime.h"

enum class ReceiverValue : int {
  PpsTi,      // ":PTIM:TINT?"
  Efc,        // ":DIAG:ROSC:EFC:ABS?"
  Hup,        // ":SYNC:HOLD:TUNC:PRED?"
  LifeCount,  // ":DIAG:LIF:COUN?"
  Tracked,
  Visible,
  Idn,        // "*IDN?"
  OscStatus,  // ":ROSC:STAT?"
  Error,      // ":SYST:ERR?"
  TimeCode,   // ":PTIM:TCOD?"
  Count
};

// Receiver families as detected from "*IDN?".
enum DeviceFamilyCode : std::uint8_t {
  FamilyZ3801 = 0,
  FamilyZ3805 = 1,
  FamilyZ3815 = 2,
  FamilyZ3816 = 3,
  FamilyZ3817 = 4,
  FamilyGCRU = 5,
  FamilyJackson = 6,
  FamilyHP58503 = 7,
  FamilyHP55300 = 8,
  FamilyMtron = 9,
  FamilyUndefined = 10
};

class SharedReceiverState {
 public:
  // Poll thread, when a poll cycle begins: the stamp of every answer published
  // from now until the next cycle begins.
  void BeginCycle(TDateTime start);

  // Poll thread: store the value, stamped with the cycle's start, and set its flag
  // to (value not empty).
  void Publish(ReceiverValue which, std::string value);
  // Poll thread: store the value and set its flag as given.
  void Publish(ReceiverValue which, std::string value, bool isNew);

  // UI thread: if the flag is set, clear it and copy the value out, with the start
  // of the cycle that produced it when asked; false otherwise.
  bool Take(ReceiverValue which, std::string& value, TDateTime* cycleStart = nullptr);
  bool IsNew(ReceiverValue which) const;
  std::string Value(ReceiverValue which) const;

  // Status screen (StatusLines / StatusLinesNew).
  void ClearStatusLines();
  void AppendStatusLine(std::string line);
  // StatusLinesNew := StatusLines holds at least one line.
  void FinishStatusLines();
  // Replaces the lines and assigns StatusLinesNew := (lines not empty) as one step,
  // so the reader never copies a screen that is still being filled.
  void ReplaceStatusLines(std::vector<std::string> lines);
  bool StatusLinesNew() const;
  // Clears StatusLinesNew and copies the lines (and their cycle's start), as one
  // step; false when not new.
  bool TakeStatusLines(std::vector<std::string>& lines, TDateTime* cycleStart = nullptr);
  std::vector<std::string> StatusLines() const;

  // Trace queue. Every line already ends with CR LF.
  void QueueTrace(std::string line);
  // Moves every queued line out, in order, under TraceLock.
  std::deque<std::string> DrainTrace();
  std::size_t TraceCount() const;
  // Guards TraceLines and nothing else; the debug window holds it for a whole drain.
  mutable std::recursive_mutex TraceLock;
  std::deque<std::string> TraceLines;  // access only under TraceLock

  // The debug window's "Hold": producers of ordinary trace lines drop them while set.
  std::atomic<bool> TraceHold{false};

  // The clock at the latest tick test (UTC): during a cycle its start, between
  // cycles the clock itself. Answers carry their own stamp (see BeginCycle).
  std::atomic<TDateTime> CycleTime{0.0};
  std::atomic<std::uint8_t> DeviceFamily{0};

  std::atomic<bool> StartGate{false};
  std::atomic<bool> ManualMode{false};
  std::atomic<bool> PollBusy{false};
  // Text typed in the manual command window, for the poll thread to send.
  ManualOutbox ManualCommand;

 private:
  struct Slot {
    std::string value;
    bool isNew = false;
    TDateTime cycleStart = 0.0;
  };
  mutable std::mutex mutex_;
  Slot slots_[static_cast<int>(ReceiverValue::Count)];
  std::vector<std::string> statusLines_;
  bool statusLinesNew_ = false;
  TDateTime statusCycleStart_ = 0.0;
  TDateTime cycleStart_ = 0.0;
};
