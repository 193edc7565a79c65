#include "frontend/ui/ErrorUnit.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/ui/VarnexContext.h"
#include "frontend/StatusLog.h"
#include "frontend/ui/LogMemo.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/UserComment.h"
#include "frontend/ui/WindowPlacement.h"

TErrorForm::TErrorForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setObjectName("ErrorForm");
  setWindowTitle("Varnex Error Log");
  PlaceWindow(*this, {QSize(497, 359), DesignSize::Outer, context_.MainForm});
  memo_ = NewLogMemo(this, "Memo");
  memo_->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo_);
  LoadErrorLog();
}

void TErrorForm::LoadErrorLog() { FillLogMemo(memo_, ::LoadErrorLog(context_.Folder)); }

bool TErrorForm::AppendErrorLog(const std::string& message, TDateTime stamp) {
  if (stamp <= 0) stamp = LogStamp(context_);
  const auto line = ::AppendErrorLog(context_.Folder, stamp, message, &context_.State);
  if (line) AddLine(*line);
  return line.has_value();
}

void TErrorForm::AddLine(const std::string& line) { AddLogLine(memo_, line); }
