#pragma once
// "Varnex Status Log": the status history as it stood at start, plus the comments
// written during this run. Edits in the text area are never saved.
#include <QWidget>
#include <cstdint>
#include <string>

#include "platform/DateTime.h"

class QPlainTextEdit;
struct VarnexContext;

class TStatusLogForm : public QWidget {
  Q_OBJECT
 public:
  explicit TStatusLogForm(VarnexContext& context, QWidget* parent = nullptr);

  // Fills the window from "VarnexStatus.Txt" and seeds LastStatusCode; runs at creation.
  void LoadStatusHistory();
  // The status named last in the history at start (0: none), for the main window's
  // LastStatusCode.
  std::uint8_t LastStatusCode() const { return lastStatusCode_; }

  // Appends a status line to the file only; the window shows it after the next start.
  // A stamp of 0 means the running cycle's CycleTime.
  bool AppendStatusHistory(const std::string& message, TDateTime stamp = 0);
  // Asks for a comment and logs it to the file and the window (menu "&Write Comment to Log").
  void WriteUserComment();
  // Adds one line at the end of the window.
  void AddLine(const std::string& line);

  QPlainTextEdit* Memo1() const { return memo1_; }

 protected:
 private:
  VarnexContext& context_;
  QPlainTextEdit* memo1_ = nullptr;
  std::uint8_t lastStatusCode_ = 0;
};
