#pragma once
// "Varnex Error Log": the receiver's error texts, from the file at start and as they
// are logged.
#include <QWidget>
#include <string>

#include "platform/DateTime.h"

class QPlainTextEdit;
struct VarnexContext;

class TErrorForm : public QWidget {
  Q_OBJECT
 public:
  explicit TErrorForm(VarnexContext& context, QWidget* parent = nullptr);

  // Fills the window from "VarnexError.Txt"; runs at creation.
  void LoadErrorLog();
  // Appends the message to "VarnexError.Txt" and, when that worked, to the window.
  // A stamp of 0 means the running cycle's CycleTime.
  bool AppendErrorLog(const std::string& message, TDateTime stamp = 0);
  void AddLine(const std::string& line);

  QPlainTextEdit* Memo() const { return memo_; }

 protected:
 private:
  VarnexContext& context_;
  QPlainTextEdit* memo_ = nullptr;
};
