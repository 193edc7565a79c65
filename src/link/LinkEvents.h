#pragma once
// What the poll thread asks of the user interface. The application implements
// it by posting to the user-interface thread; the poll thread never touches a widget.
#include <string>

class LinkEvents {
 public:
  virtual ~LinkEvents() = default;
  // Enable or disable the "&Time Stabililty Measures" menu entry.
  virtual void SetStabilityMenuEnabled(bool enabled) = 0;
  // Text received while ManualMode is set, for the manual command window's console.
  virtual void ManualAnswer(const std::string& text) = 0;
};
