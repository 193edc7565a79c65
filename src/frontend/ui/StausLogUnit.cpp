#include "frontend/ui/StausLogUnit.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/ui/VarnexContext.h"
#include "frontend/StatusLog.h"
#include "frontend/ui/LogMemo.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/UserComment.h"
#include "frontend/ui/WindowPlacement.h"

TStatusLogForm::TStatusLogForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setObjectName("StatusLogForm");
  setWindowTitle("Varnex Status Log");
  PlaceWindow(*this, {QSize(568, 375), DesignSize::Outer, context_.MainForm});
  memo1_ = NewLogMemo(this, "Memo1");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo1_);
  LoadStatusHistory();
}

void TStatusLogForm::LoadStatusHistory() {
  const StatusHistory history = ::LoadStatusHistory(context_.Folder);
  FillLogMemo(memo1_, history.Lines);
  lastStatusCode_ = history.LastStatusCode;
}

bool TStatusLogForm::AppendStatusHistory(const std::string& message, TDateTime stamp) {
  if (stamp <= 0) stamp = LogStamp(context_);
  return ::AppendStatusHistory(context_.Folder, stamp, message, &context_.State).has_value();
}

void TStatusLogForm::WriteUserComment() {
  const std::optional<QString> comment = AskUserComment(this);
  if (!comment || comment->isEmpty()) return;
  const auto line =
      ::WriteUserComment(context_.Folder, LogStamp(context_), comment->toLatin1().toStdString(), &context_.State);
  if (line) AddLine(*line);
}

void TStatusLogForm::AddLine(const std::string& line) { AddLogLine(memo1_, line); }
