#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>

#include "frontend/ui/ErrorUnit.h"
#include "frontend/ui/PersistUiTestApp.h"
#include "frontend/ui/StausLogUnit.h"
#include "frontend/ui/UserComment.h"

namespace {

class LogsFormTest : public ::testing::Test, protected PersistUiFixture {
 protected:
  // Answers the next comment box: the text, or Cancel when `text` is null.
  void AnswerCommentBox(const char* text) {
    QTimer::singleShot(0, [this, text] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QInputDialog*>(w);
        if (!box || !box->isVisible()) continue;
        boxTitle_ = box->windowTitle();
        boxLabel_ = box->labelText();
        boxStartText_ = box->textValue();
        if (text) {
          box->setTextValue(text);
          box->accept();
        } else {
          box->reject();
        }
      }
    });
  }
  QString boxTitle_, boxLabel_, boxStartText_ = "unset";
};

TEST_F(LogsFormTest, StatusLogShowsTheHistoryAndSeedsTheLastStatus) {
  WriteFileBytes(folder.File("VarnexStatus.Txt"),
                 "2013-08-01 12:00:10: Starting with status POW\r\n"
                 "2013-08-01 12:14:40: The Smartclock Status has changed to LOCK\r\n"
                 "2013-08-02 08:03:20: User comment: antenna cable replaced\r\n");
  TStatusLogForm form(context);
  EXPECT_EQ(form.windowTitle(), "Varnex Status Log");
  EXPECT_EQ(form.size(), QSize(568, 375));
  EXPECT_EQ(form.LastStatusCode(), 5);
  EXPECT_EQ(form.Memo1()->document()->blockCount(), 3);
  EXPECT_EQ(form.Memo1()->document()->findBlockByNumber(1).text(),
            "2013-08-01 12:14:40: The Smartclock Status has changed to LOCK");
  EXPECT_FALSE(form.Memo1()->isReadOnly());

  // Status lines go to the file only.
  EXPECT_TRUE(form.AppendStatusHistory("The Smartclock Status has changed to HOLD"));
  EXPECT_EQ(form.Memo1()->document()->blockCount(), 3);
  EXPECT_NE(ReadFileBytes(folder.File("VarnexStatus.Txt")).find("12:00:00: The Smartclock Status has changed to HOLD"),
            std::string::npos);
}

TEST_F(LogsFormTest, NoHistoryMeansUndefinedStatus) {
  TStatusLogForm form(context);
  EXPECT_EQ(form.LastStatusCode(), 0);
  EXPECT_TRUE(form.Memo1()->document()->isEmpty());
}

TEST_F(LogsFormTest, UserCommentGoesToFileAndWindow) {
  state.CycleTime = EncodeDateTime({2013, 8, 2, 8, 3, 20, 0});
  TStatusLogForm form(context);
  AnswerCommentBox("antenna cable replaced");
  form.WriteUserComment();
  EXPECT_EQ(boxTitle_, "Adding comments to the status history");
  EXPECT_EQ(boxLabel_, "Please enter your comment");
  EXPECT_EQ(boxStartText_, "");
  const std::string line = "2013-08-02 08:03:20: User comment: antenna cable replaced";
  EXPECT_EQ(ReadFileBytes(folder.File("VarnexStatus.Txt")), line + "\r\n");
  EXPECT_EQ(form.Memo1()->toPlainText().toStdString(), line);

  AnswerCommentBox(nullptr);  // Cancel
  form.WriteUserComment();
  AnswerCommentBox("");  // OK with an empty field
  form.WriteUserComment();
  EXPECT_EQ(ReadFileBytes(folder.File("VarnexStatus.Txt")), line + "\r\n");
  EXPECT_EQ(form.Memo1()->document()->blockCount(), 1);
}

TEST_F(LogsFormTest, CommentBeforeTheFirstCycleTakesTheClock) {
  TStatusLogForm form(context);
  AnswerCommentBox("early");
  form.WriteUserComment();
  EXPECT_EQ(ReadFileBytes(folder.File("VarnexStatus.Txt")), "2013-08-01 12:00:00: User comment: early\r\n");
}

TEST_F(LogsFormTest, ErrorLogGrowsWithEveryLoggedError) {
  WriteFileBytes(folder.File("VarnexError.Txt"),
                 std::string("2013-08-01 11:00:00: -100,\"Command error\"\r\n") + std::string("\0x", 2));
  state.CycleTime = EncodeDateTime({2013, 8, 1, 12, 0, 10, 0});
  TErrorForm form(context);
  EXPECT_EQ(form.windowTitle(), "Varnex Error Log");
  EXPECT_EQ(form.size(), QSize(497, 359));
  EXPECT_EQ(form.Memo()->document()->blockCount(), 2);
  EXPECT_EQ(form.Memo()->document()->findBlockByNumber(1).text(), " x");
  EXPECT_TRUE(form.AppendErrorLog("-213,\"Init ignored\""));
  EXPECT_EQ(form.Memo()->document()->lastBlock().text(), "2013-08-01 12:00:10: -213,\"Init ignored\"");

  // A line that cannot be written does not appear either; the trace says why.
  context.Folder = folder.File("missing");
  EXPECT_FALSE(form.AppendErrorLog("-300"));
  EXPECT_EQ(form.Memo()->document()->blockCount(), 3);
  const auto notes = state.DrainTrace();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "A error in \"AppendErrorLog\" has occurred\r\n");
}

TEST_F(LogsFormTest, Pictures) {
  std::string status, errors;
  for (int i = 0; i < 40; ++i) {
    status += "2013-08-01 12:" + std::to_string(10 + i) + ":10: The Smartclock Status has changed to " +
              (i % 2 ? "LOCK" : "HOLD") + "\r\n";
    errors += "2013-08-01 12:" + std::to_string(10 + i) + ":20: -" + std::to_string(100 + i) + ",\"Command error\"\r\n";
  }
  WriteFileBytes(folder.File("VarnexStatus.Txt"), status);
  WriteFileBytes(folder.File("VarnexError.Txt"), errors);
  TStatusLogForm statusForm(context);
  TErrorForm errorForm(context);
  statusForm.show();
  errorForm.show();
  QApplication::processEvents();
  EXPECT_TRUE(statusForm.grab().save(PersistPicturePath("StatusLogForm.png")));
  EXPECT_TRUE(errorForm.grab().save(PersistPicturePath("ErrorForm.png")));
}

}  // namespace

namespace {

TEST_F(LogsFormTest, ReceiverTextShowsAsLatin1InBothWindows) {
  // "°" and "µ" as a receiver sends them: one byte each, which is no valid UTF-8.
  const std::string loaded = "2013-08-01 12:00:10: -221,\"Settings conflict; 25\xB0 C, 1 \xB5s\"";
  const QString shown =
      QString("2013-08-01 12:00:10: -221,\"Settings conflict; 25") + QChar(0xB0) + " C, 1 " + QChar(0xB5) + "s\"";
  WriteFileBytes(folder.File("VarnexStatus.Txt"), loaded + "\r\n");
  WriteFileBytes(folder.File("VarnexError.Txt"), loaded + "\r\n");
  TStatusLogForm statusForm(context);
  TErrorForm errorForm(context);
  EXPECT_EQ(statusForm.Memo1()->document()->firstBlock().text(), shown);
  EXPECT_EQ(errorForm.Memo()->document()->firstBlock().text(), shown);

  // A new error line, written and shown, and a comment typed with such a character.
  state.CycleTime = EncodeDateTime({2013, 8, 1, 12, 0, 20, 0});
  ASSERT_TRUE(errorForm.AppendErrorLog("-222,\"25\xB0 C\""));
  EXPECT_EQ(errorForm.Memo()->document()->lastBlock().text(),
            QString("2013-08-01 12:00:20: -222,\"25") + QChar(0xB0) + " C\"");
  AnswerCommentBox("antenna at 45\xC2\xB0");  // typed text is UTF-8 here
  statusForm.WriteUserComment();
  EXPECT_EQ(statusForm.Memo1()->document()->lastBlock().text(),
            QString("2013-08-01 12:00:20: User comment: antenna at 45") + QChar(0xB0));
  EXPECT_NE(ReadFileBytes(folder.File("VarnexStatus.Txt")).find("antenna at 45\xB0\r\n"), std::string::npos);
}

}  // namespace
