#include "frontend/ui/UserComment.h"

#include <QInputDialog>
#include <QLineEdit>

#include "app/ui/VarnexContext.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "link/TimeHelpers.h"

std::optional<QString> AskUserComment(QWidget* parent) {
  QInputDialog box(parent);
  box.setObjectName("UserCommentBox");
  box.setWindowTitle(UserCommentCaption);
  box.setLabelText(UserCommentPrompt);
  box.setInputMode(QInputDialog::TextInput);
  box.setTextValue(QString());
  box.resize(420, box.sizeHint().height());
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue();
}

TDateTime LogStamp(VarnexContext& context) {
  const TDateTime cycle = context.State.CycleTime.load();
  return cycle > 0 ? cycle : UtcNow(context.clock);
}
