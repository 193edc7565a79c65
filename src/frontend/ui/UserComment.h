#pragma once
// The comment input box and the time stamp of log lines written from the windows.
#include <QString>
#include <optional>

#include "platform/DateTime.h"

class QWidget;
struct VarnexContext;

inline constexpr const char* UserCommentCaption = "Adding comments to the status history";
inline constexpr const char* UserCommentPrompt = "Please enter your comment";

// Modal box with an empty field, OK and Cancel. Nothing on Cancel.
std::optional<QString> AskUserComment(QWidget* parent);

// The stamp of a log line: the running poll cycle's CycleTime, or the clock's UTC now
// before the first cycle has begun (CycleTime still 0 would date the line 1899).
TDateTime LogStamp(VarnexContext& context);
