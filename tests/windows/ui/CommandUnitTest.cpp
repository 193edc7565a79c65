#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <string>

#include "QtTestApp.h"
#include "controls/ui/ConsoleWidget.h"
#include "controls/ui/LEDPaint.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/CommandUnit.h"

namespace {

class CommandFormTest : public testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    form_ = std::make_unique<TCommandForm>(state_, clock_);
    form_->Timer1()->stop();  // ticks are driven by hand, in virtual time
  }
  void Tick() { form_->Timer1Timer(); }
  void Advance(double seconds) { clock_.Set(clock_.UtcNow() + seconds * OneSecond); }

  SharedReceiverState state_;
  VirtualClock clock_{EncodeDateTime({2013, 8, 1, 12, 0, 7, 0})};
  std::unique_ptr<TCommandForm> form_;
};

TEST_F(CommandFormTest, Design) {
  TCommandForm& f = *form_;
  EXPECT_EQ(f.windowTitle(), "Varnex Manual Command Entry");
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(f.windowFlags() & Qt::WindowCloseButtonHint);
  f.show();
  EXPECT_EQ(f.frameGeometry().size(), QSize(451, 351));
  const QSize frame = f.frameGeometry().size() - f.geometry().size();
  EXPECT_EQ(f.minimumSize() + frame, QSize(446, 240));
  EXPECT_EQ(f.Label1()->text(), "Wait until the yellow LED indicates a stop of the normal communication thread");
  EXPECT_EQ(f.Label2()->text(), "Note: Not all units will understand all commands and give a response ");
  EXPECT_EQ(f.GroupBox1()->title(), "Commands && Answers");
  EXPECT_EQ(f.SendButton()->text(), "&Send");
  EXPECT_EQ(f.ComboBox1()->count(), 114);
  EXPECT_EQ(f.ComboBox1()->itemText(0), "*CLS");
  EXPECT_EQ(f.ComboBox1()->itemText(113), "");
  EXPECT_EQ(f.ComboBox1()->currentText(), "*IDN?");
  EXPECT_TRUE(f.ComboBox1()->isEditable());
  EXPECT_EQ(f.ComboBox1()->maxVisibleItems(), 30);
  EXPECT_EQ(f.Console1()->Cols(), 1000);
  EXPECT_EQ(f.Console1()->Rows(), 1000);
  EXPECT_EQ(f.Console1()->LineBreak(), TConsoleLineBreak::CRLF);
  EXPECT_EQ(f.Console1()->Font().Name(), "Courier");
  EXPECT_EQ(f.Console1()->Font().Height(), 11);
  const TLEDPaint* led = f.LEDPaint1();
  EXPECT_EQ(led->size(), QSize(20, 20));
  EXPECT_EQ(led->LEDColor(), LampColors::Yellow);
  EXPECT_EQ(led->LEDOffColor(), LampColors::Black);
  EXPECT_FALSE(led->DrawEllipse());
  EXPECT_EQ(led->LEDType(), TLEDType::ltRound);
  EXPECT_EQ(led->BevelOuter(), TBevelCut::bvRaised);
  EXPECT_EQ(f.Timer1()->interval(), 100);

  // The resize rule: the console follows the group box.
  f.resize(700, 500);
  const QRect group = f.GroupBox1()->geometry();
  EXPECT_EQ(f.Console1()->geometry(), QRect(8, 56, group.width() - 16, group.height() - 65));
  EXPECT_EQ(f.SendButton()->geometry().right() + 1, group.width() - 12);
  f.resize(f.minimumSize());
  EXPECT_TRUE(f.grab().save(QString::fromStdString(::testing::TempDir() + "/varnex_command_minimum.png")));
}

// Open, the running cycle, the line free, the time-out, and the console kept.
TEST_F(CommandFormTest, HandshakeAndTimeOut) {
  state_.PollBusy = true;  // a cycle is running when the window opens
  form_->show();
  EXPECT_TRUE(state_.ManualMode);
  EXPECT_FALSE(form_->LEDPaint1()->LEDOn());
  EXPECT_FALSE(form_->SendButton()->isEnabled());
  Advance(5);
  Tick();
  EXPECT_FALSE(form_->LEDPaint1()->LEDOn());
  state_.PollBusy = false;  // the cycle has ended
  Tick();
  EXPECT_TRUE(form_->LEDPaint1()->LEDOn());
  EXPECT_TRUE(form_->SendButton()->isEnabled());

  form_->ShowAnswer("Answer\r\n");
  Advance(100);
  form_->ComboBox1()->setCurrentIndex(2);  // picking is activity, and sends nothing
  EXPECT_EQ(form_->ComboBox1()->currentText(), "*ESR?");
  Advance(170);
  form_->ComboBox1()->setEditText(":SYST:ERR?");  // so is typing
  Advance(179);
  form_->ShowAnswer("more\r\n");  // received text is not
  Tick();
  EXPECT_TRUE(form_->isVisible());
  Advance(2);
  Tick();
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(state_.ManualMode);

  form_->show();
  EXPECT_TRUE(state_.ManualMode);
  EXPECT_EQ(form_->Watch().LastCommandActivity(), clock_.UtcNow());
  EXPECT_EQ(form_->Console1()->Screen().RowText(0), "Answer");
  EXPECT_EQ(form_->ComboBox1()->currentText(), ":SYST:ERR?");
  form_->close();
  EXPECT_FALSE(state_.ManualMode);
}

// Send hands the poll thread exactly what the edit field shows, typed key by key so
// the combo box's own habits take part, and one carriage return; nothing while a cycle
// runs or a text is still going out. A text that cannot go out as typed, or that did
// not go out whole, gets one line in the console; otherwise the window writes nothing.
TEST_F(CommandFormTest, SendHandsOnTheTextAsTyped) {
  form_->show();
  Tick();
  ASSERT_TRUE(form_->SendButton()->isEnabled());
  QLineEdit* edit = form_->ComboBox1()->lineEdit();
  const struct {
    QString typed;
    std::string sent;
  } typed[] = {
      {":diag:test?", ":diag:test?\r"},  // the start of ":DIAG:TEST? ALL;" in the list
      {":DIAG:TEST?", ":DIAG:TEST?\r"},
      {"*idn?", "*idn?\r"},  // an entry but for its case
      {"", "\r"},
      {" :ptime:tzone (-12..+12); ", " :ptime:tzone (-12..+12); \r"},
      {QString::fromUtf8("\xC2\xB5"), "\xB5\r"},
  };
  for (const auto& c : typed) {
    edit->setFocus();
    edit->clear();
    for (const QChar ch : c.typed) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(edit, &press);
      QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(edit, &release);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    QApplication::processEvents();
    EXPECT_EQ(form_->ComboBox1()->currentText().toStdString(), c.typed.toStdString());
    form_->SendButton()->click();
    std::string got;
    ASSERT_TRUE(state_.ManualCommand.Take(got)) << c.sent;
    EXPECT_EQ(got, c.sent);
    state_.ManualCommand.Finish({got.size(), got.size()});
    Tick();
  }
  EXPECT_EQ(form_->Console1()->Screen().CursorX(), 0);
  EXPECT_EQ(form_->Console1()->Screen().CursorY(), 0);
  EXPECT_EQ(form_->ComboBox1()->count(), 114) << "sent commands do not join the list";

  // Pasted text with a line break, and a character outside Latin-1: refused, said why.
  form_->ShowAnswer("HEWLETT-PACKARD,Z3801A");  // the note goes on a line of its own
  const TConsoleScreen& screen = form_->Console1()->Screen();
  const struct {
    QString pasted;
    std::string note;
  } refused[] = {
      {":SYST:ERR?\n*IDN?", "Not sent: line break 0x0A at position 11"},
      {QString::fromUtf8("*IDN?\xE2\x82\xAC"), "Not sent: U+20AC at position 6 is not Latin-1"},
  };
  for (const auto& c : refused) {
    edit->clear();
    edit->insert(c.pasted);
    form_->SendButton()->click();
    std::string got;
    EXPECT_FALSE(state_.ManualCommand.Take(got)) << got;
    EXPECT_EQ(screen.RowText(screen.CursorY() - 1), c.note);
    EXPECT_EQ(screen.CursorX(), 0);
  }
  EXPECT_EQ(screen.RowText(0), "HEWLETT-PACKARD,Z3801A");
  QApplication::processEvents();
  EXPECT_TRUE(form_->grab().save(QString::fromStdString(::testing::TempDir() + "/varnex_command_refused.png")));

  // While a text goes out, Send waits (a press before the watch noticed says so); what
  // the line did not take is reported.
  form_->ComboBox1()->setEditText("*IDN?");
  form_->SendButton()->click();
  form_->SendButton()->click();
  EXPECT_EQ(screen.RowText(screen.CursorY() - 1), "Not sent: the previous command is still going out");
  Tick();
  EXPECT_FALSE(form_->SendButton()->isEnabled());
  std::string got;
  ASSERT_TRUE(state_.ManualCommand.Take(got));
  EXPECT_FALSE(state_.ManualCommand.Take(got)) << "posted twice";
  Tick();
  EXPECT_FALSE(form_->SendButton()->isEnabled());
  state_.ManualCommand.Finish({0, got.size()});
  Tick();
  EXPECT_TRUE(form_->SendButton()->isEnabled());
  EXPECT_EQ(screen.RowText(screen.CursorY() - 1), "Not sent: the serial port did not take the text");

  // While a cycle runs nothing is handed on.
  state_.PollBusy = true;
  Tick();
  form_->SendButtonClick();
  EXPECT_FALSE(state_.ManualCommand.Take(got));
  state_.PollBusy = false;
  Tick();
  EXPECT_TRUE(form_->SendButton()->isEnabled());

  // Closing drops a text the poll thread has not taken yet.
  form_->SendButton()->click();
  form_->close();
  EXPECT_FALSE(state_.ManualCommand.Take(got));
  EXPECT_FALSE(state_.ManualCommand.Busy());
}

// Whatever the receiver sends reaches the console, every byte value and a long reply.
TEST_F(CommandFormTest, AnyBytesReachTheConsole) {
  form_->show();
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  form_->ShowAnswer(all);
  std::string big;
  int last = 0;
  for (; big.size() < 1024 * 1024; ++last) big += "line " + std::to_string(last) + "\r\n";
  form_->ShowAnswer(big);
  form_->ShowAnswer("last");
  QApplication::processEvents();
  const TConsoleScreen& screen = form_->Console1()->Screen();
  EXPECT_EQ(screen.RowText(screen.CursorY()), "last");
  EXPECT_EQ(screen.RowText(screen.CursorY() - 1), "line " + std::to_string(last - 1));
}

}  // namespace
