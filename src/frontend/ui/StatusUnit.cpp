#include "frontend/ui/StatusUnit.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/ui/VarnexContext.h"
#include "controls/ui/FixedPitchFont.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/WindowPlacement.h"

TStatusForm::TStatusForm(VarnexContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setObjectName("StatusForm");
  setWindowTitle("Varnex Receiver Status");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  PlaceWindow(*this, {QSize(680, 484), DesignSize::Outer, context_.MainForm});

  memo1_ = new QPlainTextEdit(this);
  memo1_->setObjectName("Memo1");
  memo1_->setReadOnly(true);
  memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // A Fixedsys cell is 8 pixels wide; 13-pixel text in the resolved face is as wide.
  memo1_->setFont(FixedPitchFont("Fixedsys", 13));
  memo1_->setFrameShape(QFrame::NoFrame);
  memo1_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo1_);
}

void TStatusForm::SetLines(const std::vector<std::string>& lines) {
  // The screen is refilled every poll cycle; the reader keeps his place in it.
  const int h = memo1_->horizontalScrollBar()->value();
  const int v = memo1_->verticalScrollBar()->value();
  QString text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) text += QLatin1Char('\n');
    // Any byte may arrive; Latin-1 keeps each one a character of its own, and a
    // stray line end inside a line must not make the memo's lines differ from the screen's.
    QString line = QString::fromLatin1(lines[i].data(), static_cast<qsizetype>(lines[i].size()));
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    text += line;
  }
  memo1_->setPlainText(text);
  memo1_->horizontalScrollBar()->setValue(h);
  memo1_->verticalScrollBar()->setValue(v);
}

std::vector<std::string> TStatusForm::Lines() const {
  std::vector<std::string> lines;
  const QString text = memo1_->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    const QByteArray bytes = line.toLatin1();
    lines.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  return lines;
}
