#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <string>

#include "QtTestApp.h"
#include "app/ui/VarnexContext.h"
#include "controls/ui/ConsoleWidget.h"
#include "controls/ui/LEDPaint.h"
#include "link/AdvCom32.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/PseudoTerminal.h"
#include "windows/ui/CommandUnit.h"

namespace {

// What the port wrote to the master side within timeoutMs, until `want` bytes came.
std::string Drain(int master, std::size_t want, int timeoutMs) {
  std::string got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < want && std::chrono::steady_clock::now() < end) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
      char buf[256];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
  }
  return got;
}

class CommandFormTest : public testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    form_ = std::make_unique<TCommandForm>(context_);
    form_->Timer1()->stop();  // ticks are driven by hand, in virtual time
  }
  void Tick() { form_->Timer1Timer(); }
  void Advance(double seconds) { clock_.Set(clock_.UtcNow() + seconds * OneSecond); }

  SharedReceiverState state_;
  VirtualClock clock_{EncodeDateTime({2013, 8, 1, 12, 0, 7, 0})};
  VarnexContext context_{state_, clock_, "."};
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

TEST_F(CommandFormTest, SendWritesToThePortAndNotTheConsole) {
  PseudoTerminal pty;
  ASSERT_GE(pty.master, 0);
  T_AdvCom32 port;
  port.SetDevicePath(pty.path);
  ASSERT_TRUE(port.Open());
  form_->SetComport(&port);
  form_->show();
  Tick();
  ASSERT_TRUE(form_->SendButton()->isEnabled());
  const std::string texts[] = {"*IDN?", "", " :ptime:tzone (-12..+12); "};
  for (const std::string& text : texts) {
    form_->ComboBox1()->setEditText(QString::fromStdString(text));
    form_->SendButton()->click();
    EXPECT_EQ(Drain(pty.master, text.size() + 2, 300), text + "\r") << "'" << text << "'";
  }
  EXPECT_EQ(form_->Console1()->Screen().CursorX(), 0);
  EXPECT_EQ(form_->Console1()->Screen().CursorY(), 0);
  EXPECT_EQ(form_->ComboBox1()->count(), 114) << "sent commands do not join the list";

  // While a cycle runs nothing goes out.
  state_.PollBusy = true;
  Tick();
  form_->SendButtonClick();
  EXPECT_EQ(Drain(pty.master, 1, 100), "");

  // A closed port takes nothing and the window goes on.
  state_.PollBusy = false;
  Tick();
  port.Close();
  form_->SendButtonClick();
  EXPECT_TRUE(form_->SendButton()->isEnabled());
  EXPECT_TRUE(form_->isVisible());
  ASSERT_TRUE(port.Open());
  form_->SendButtonClick();
  EXPECT_EQ(Drain(pty.master, texts[2].size() + 2, 300), texts[2] + "\r");
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
