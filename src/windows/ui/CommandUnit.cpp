#include "windows/ui/CommandUnit.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

#include "controls/ui/ConsoleWidget.h"
#include "controls/ui/LEDPaint.h"
#include "frontend/WindowPlacement.h"
#include "frontend/ui/WindowPlacement.h"

namespace {
constexpr int WatchPeriodMs = 100;
constexpr int DesignOuterWidth = 451, DesignOuterHeight = 351;
constexpr int MinimumOuterWidth = 446, MinimumOuterHeight = 240;

QRect ToQRect(const ManualCommandBox& b) { return QRect(b.X, b.Y, b.Width, b.Height); }

// The panel's text must fit beside the lamp; with a wide system font it gets smaller
// rather than cut off.
void FitText(QLabel& label, int width) {
  QFont font = label.font();
  if (font.pointSizeF() <= 0) return;
  while (font.pointSizeF() > 6.5 && QFontMetrics(font).horizontalAdvance(label.text()) > width)
    font.setPointSizeF(font.pointSizeF() - 0.5);
  label.setFont(font);
}
}  // namespace

TCommandForm::TCommandForm(SharedReceiverState& state, Clock& clock, const QWidget* centreOver, QWidget* parent)
    : QWidget(parent), watch_(state, clock) {
  setObjectName("CommandForm");
  setWindowTitle("Varnex Manual Command Entry");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  panel_ = new QFrame(this);
  panel_->setObjectName("Panel1");
  panel_->setFrameShape(QFrame::StyledPanel);
  panel_->setFrameShadow(QFrame::Raised);
  label_ = new QLabel("Wait until the yellow LED indicates a stop of the normal communication thread", panel_);
  label_->setObjectName("Label1");
  led_ = new TLEDPaint(panel_);
  led_->setObjectName("LEDPaint1");
  led_->SetLEDColor(LampColors::Yellow);
  led_->SetLEDOffColor(LampColors::Black);
  led_->SetDrawEllipse(false);

  groupBox_ = new QGroupBox("Commands && Answers", this);
  groupBox_->setObjectName("GroupBox1");
  combo_ = new QComboBox(groupBox_);
  combo_->setObjectName("ComboBox1");
  combo_->setEditable(true);
  // The list is the fixed catalogue; Return must not add what was typed to it.
  combo_->setInsertPolicy(QComboBox::NoInsert);
  // The text goes out as typed: no completion appended from the list, and no change
  // to the list's spelling of an entry matched without regard to case.
  combo_->setCompleter(nullptr);
  combo_->setMaxVisibleItems(30);
  for (std::string_view command : ManualCommandList())
    combo_->addItem(QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size())));
  combo_->setEditText("*IDN?");
  connect(combo_, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
  send_ = new QPushButton("&Send", groupBox_);
  send_->setObjectName("SendButton");
  send_->setEnabled(false);
  connect(send_, &QPushButton::clicked, this, [this] { SendButtonClick(); });

  console_ = new TConsole(groupBox_);
  console_->setObjectName("Console1");
  console_->SetCols(1000);
  console_->SetRows(1000);
  console_->SetLineBreak(TConsoleLineBreak::CRLF);
  console_->Font().SetName("Courier");
  console_->Font().SetHeight(11);
  console_->ResetConsole();

  note_ = new QLabel("Note: Not all units will understand all commands and give a response ", this);
  note_->setObjectName("Label2");

  timer_ = new QTimer(this);
  timer_->setObjectName("Timer1");
  timer_->setInterval(WatchPeriodMs);
  connect(timer_, &QTimer::timeout, this, [this] { Timer1Timer(); });
  timer_->start();

  PlaceWindow(*this, {QSize(DesignOuterWidth, DesignOuterHeight), DesignSize::Outer, centreOver, false});
  ApplyMinimumSize();
  LayOut();
}

void TCommandForm::ShowAnswer(const std::string& text) { console_->WriteString(text); }

void TCommandForm::ConsoleNote(const std::string& text) {
  if (console_->Screen().CursorX() != 0) console_->WriteString("\r\n");
  console_->WriteString(text + "\r\n");
}

void TCommandForm::ShowSendReport() {
  const std::string report = watch_.TakeSendReport();
  if (!report.empty()) ConsoleNote(report);
}

void TCommandForm::Timer1Timer() {
  ShowSendReport();
  const ManualCommandTick tick = watch_.Tick();
  ApplyTick(tick);
  if (tick.CloseNow) close();
}

void TCommandForm::ApplyTick(const ManualCommandTick& tick) {
  led_->SetLEDOn(tick.LampOn);
  send_->setEnabled(tick.SendEnabled);
}

void TCommandForm::SendButtonClick() {
  // Only while the line is free: a command must never fall into a running cycle.
  if (!send_->isEnabled()) return;
  ShowSendReport();  // the previous text's, before a new one takes its place
  const QByteArray text = combo_->currentText().toUtf8();
  const std::string refusal = watch_.Send(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  if (!refusal.empty()) ConsoleNote(refusal);
}

void TCommandForm::ComboBox1Change() {
  if (watch_.IsOpen()) watch_.Activity();
}

void TCommandForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous() || watch_.IsOpen()) return;
  watch_.Open();
  ApplyTick(watch_.Tick());
  ApplyMinimumSize();
  // The window manager's frame is known a moment after the first show.
  QTimer::singleShot(150, this, [this] { ApplyMinimumSize(); });
}

void TCommandForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Minimising hides spontaneously and keeps the window open; closing does not.
  if (!event->spontaneous() && watch_.IsOpen()) watch_.Close();
}

void TCommandForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TCommandForm::ApplyMinimumSize() {
  FrameMargins m;
  const QRect frame = frameGeometry(), client = geometry();
  m.Left = client.left() - frame.left();
  m.Top = client.top() - frame.top();
  m.Right = frame.right() - client.right();
  m.Bottom = frame.bottom() - client.bottom();
  const WindowBox min = ClientSizeForOuter(MinimumOuterWidth, MinimumOuterHeight, m);
  setMinimumSize(min.Width, min.Height);
}

void TCommandForm::LayOut() {
  const int controlHeight = std::max({21, combo_->sizeHint().height(), send_->sizeHint().height()});
  const ManualCommandLayout l = LayOutManualCommand(width(), height(), controlHeight);
  panel_->setGeometry(ToQRect(l.Panel));
  led_->setGeometry(ToQRect(l.Led));
  label_->setGeometry(8, 0, l.Led.X - 8 - 6, l.Panel.Height);
  FitText(*label_, label_->width());
  groupBox_->setGeometry(ToQRect(l.GroupBox));
  combo_->setGeometry(ToQRect(l.Combo));
  send_->setGeometry(ToQRect(l.Send));
  console_->setGeometry(ToQRect(l.Console));
  note_->adjustSize();
  note_->move(l.Note.X, l.Note.Y);
}
