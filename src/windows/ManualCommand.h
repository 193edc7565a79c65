#pragma once
// The manual command window's rules, apart from its widgets: the pause of the poll
// cycles while it is open, the lamp and the Send button, the time-out without activity,
// what Send writes, the command list and where the controls go when it is resized.
#include <array>
#include <string>
#include <string_view>

#include "link/ManualOutbox.h"
#include "platform/DateTime.h"

class Clock;
class SharedReceiverState;

inline constexpr int ManualCommandCount = 114;
// The entries of the command box, in order; templates in parentheses are edited before
// sending, and the last entry is empty.
const std::array<std::string_view, ManualCommandCount>& ManualCommandList();

// Lamp lit and Send enabled, and whether the window should close now.
struct ManualCommandTick {
  bool LampOn = false;
  bool SendEnabled = false;
  bool CloseNow = false;
};

class ManualCommandWatch {
 public:
  static constexpr double TimeoutSeconds = 180.0;

  ManualCommandWatch(SharedReceiverState& state, Clock& clock) : state_(state), clock_(clock) {}

  // The window is shown: the poll thread stops starting cycles.
  void Open();
  // The window closes (by the user or the time-out): the poll thread may poll again.
  void Close();
  bool IsOpen() const { return open_; }

  // Send pressed or the command text changed.
  void Activity();
  TDateTime LastCommandActivity() const { return lastActivity_; }

  // The 100 ms watch: the line is free exactly when no poll cycle runs.
  ManualCommandTick Tick();

  // Send: counts as activity and hands the text to the poll thread, which writes it
  // (see ManualCommandLine). Gives the console line when the text cannot go out or a
  // text is still on its way; empty when it was handed over.
  std::string Send(std::string_view utf8);
  // The line is free: no cycle runs and no text is on its way.
  bool LineFree() const;
  // The console line for the last text handed over, once it is out (empty when it
  // went out whole, and while it is on its way).
  std::string TakeSendReport();

 private:
  TDateTime Now() const;

  SharedReceiverState& state_;
  Clock& clock_;
  bool open_ = false;
  TDateTime lastActivity_ = 0.0;
};

// What Send writes: the text exactly as the edit field shows it, in Latin-1, and one
// carriage return. A text that cannot go out as typed is refused with the reason: a
// character outside Latin-1 would go out as "?" (turning a command into a query) and
// a control character (a pasted line break) would go out unseen.
struct ManualCommandLine {
  std::string Bytes;    // empty when refused
  std::string Refusal;  // one console line; empty when accepted
};
ManualCommandLine PrepareManualCommand(std::string_view utf8);

// One console line for a text that did not go out whole; empty when it did.
std::string ManualSendReport(const ManualSendOutcome& outcome);

struct ManualCommandBox {
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool operator==(const ManualCommandBox&) const = default;
};

// Places of the anchored controls for a client area of this size. The group box and the
// note label are in window coordinates, the combo box, Send and the console in the
// group box's.
struct ManualCommandLayout {
  ManualCommandBox Panel, Led, GroupBox, Combo, Send, Console, Note;
};

// The client area the window was designed at; the anchors keep its margins.
inline constexpr int ManualCommandDesignClientWidth = 443;
inline constexpr int ManualCommandDesignClientHeight = 317;

// controlHeight is what the combo box and Send need (21 px at design); the note label
// keeps its own size, so only its top left corner is given.
ManualCommandLayout LayOutManualCommand(int clientWidth, int clientHeight, int controlHeight = 21);

// The console fills the group box but for 8 px at the sides and its top and bottom rows.
ManualCommandBox ManualCommandConsoleBox(int groupWidth, int groupHeight);
