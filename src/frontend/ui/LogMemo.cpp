#include "frontend/ui/LogMemo.h"

#include <QScrollBar>

namespace {
constexpr int MaxLines = 100000;

// Receiver text is 8-bit Latin-1, as everywhere in the program. Log files may hold
// anything a crash left behind; NUL bytes would end the text early.
QString ToText(const std::string& line) {
  QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
  text.replace(QChar(0), QChar(' '));
  return text;
}
}  // namespace

QPlainTextEdit* NewLogMemo(QWidget* parent, const char* name) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setMaximumBlockCount(MaxLines);
  return memo;
}

void FillLogMemo(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
  const std::size_t first = lines.size() > MaxLines ? lines.size() - MaxLines : 0;
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(lines.size() - first));
  for (std::size_t i = first; i < lines.size(); ++i) texts.push_back(ToText(lines[i]));
  memo->setPlainText(texts.join('\n'));
  memo->moveCursor(QTextCursor::End);
}

void AddLogLine(QPlainTextEdit* memo, const std::string& line) {
  if (memo->document()->isEmpty())
    memo->setPlainText(ToText(line));
  else
    memo->appendPlainText(ToText(line));
  memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}
