#pragma once
// The text area of the two log windows.
#include <QPlainTextEdit>
#include <string>
#include <vector>

// A text area with a vertical scroll bar, holding at most the newest 100 000 lines
// (the files keep everything).
QPlainTextEdit* NewLogMemo(QWidget* parent, const char* name);
void FillLogMemo(QPlainTextEdit* memo, const std::vector<std::string>& lines);
void AddLogLine(QPlainTextEdit* memo, const std::string& line);
