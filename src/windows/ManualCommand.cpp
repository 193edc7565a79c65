#include "windows/ManualCommand.h"

#include <algorithm>
#include <optional>

#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

const std::array<std::string_view, ManualCommandCount>& ManualCommandList() {
  static const std::array<std::string_view, ManualCommandCount> list = {
      "*CLS",
      "*IDN?",
      "*ESR?",
      "*STB?",
      ":LED:ACTIVE:ON;",
      ":LED:ACTIVE:OFF;",
      ":LED:ENABLED:ON;",
      ":LED:ALARM:USER ON;",
      ":PTIME:LEAP:ACC?",
      ":PTIME:LEAP:GPST?",
      ":PTIME:LEAP:DUR?",
      ":PTIME:LEAP:STAT?",
      ":PTIME:UTC?",
      ":PTIME:TIME?",
      ":PTIME:DATE?",
      ":PTIME:TIME:STRING?",
      ":PTIME:TZONE?",
      ":PTIME:TZONE (-12..+12);",
      ":PTIME:TCODE?",
      ":PTIME:TCODE:FORM?",
      ":PTIME:TCODE FORM (F1 | F2);",
      ":PTIME:TINTERVAL?",
      ":PTIME:TCOD:CONT 0...;",
      ":DIAG:LIF:COUNT?",
      ":DIAG:ROSC:EFC:ABS?",
      ":DIAG:ROSC:EFC:REL?",
      ":DIAG:TEST? ALL;",
      ":DIAG:TEMP?",
      ":DIAG:TEST:RES?",
      ":DIAG:GPS:UTC?",
      ":DIAG:IDEN:GPS?",
      ":DIAG:LOG:COUNT?",
      ":DIAG:LOG:READ?",
      ":DIAG:LOG:READ:ALL?",
      ":DIAG:LOG:CLE;",
      ":GPS:INIT:DATE (yr,mo,day);",
      ":GPS:INIT:TIME (hr,min,sec);",
      ":GPS:INIT:POS (N,deg,min,sec,W,deg,min,sec,elev);",
      ":GPS:REF:ADEL?",
      ":GPS:POS:ACTUAL?",
      ":GPS:POS:HOLD:LAST?",
      ":GPS:POS:SURV:STAT:POW?",
      ":GPS:POS?",
      ":GPS:POS:SURV ONCE;",
      ":GPS:POS:SURV:STATE?",
      ":GPS:POS:SURV:PROG?",
      ":GPS:SAT:TRAC?",
      ":GPS:SAT:TRAC:EMAN?",
      ":GPS:SAT:TRAC:IGN?",
      ":GPS:SAT:TRAC:INCL?",
      ":GPS:SAT:TRAC:COUNT?",
      ":GPS:SAT:VIS:PRED?",
      ":GPS:SAT:VIS:PRED:COUNT?",
      ":ROSC:HOLD:REG:LIM:IGN;",
      ":ROSC:HOLD:DUR:THR?",
      ":ROSC:HOLD:DUR:THR:EXC?",
      ":ROSC:HOLD:LIM:THR?",
      ":ROSC:HOLD:TUNC:PRED?",
      ":ROSC:HOLD:TUNC:PRES?",
      ":ROSC:HOLD:WAIT?",
      ":STAT:OPER:HOLD:COND?",
      ":STAT:OPER:HARD:COND?",
      ":STAT:OPER:POW:COND?",
      ":STAT:OPER:COND?",
      ":STAT:QUES:COND?",
      ":STAT:OPER:HOLD:EVEN?",
      ":STAT:OPER:HARD:EVEN?",
      ":STAT:OPER:POW:EVEN?",
      ":STAT:QUES:EVEN?",
      ":STAT:OPER:HOLD:ENAB?",
      ":STAT:OPER:HARD:ENAB?",
      ":STAT:OPER:POW:ENAB?",
      ":STAT:OPER:ENAB?",
      ":STAT:QUES:ENAB?",
      ":STAT:OPER:HOLD:PTR?",
      ":STAT:OPER:HARD:PTR?",
      ":STAT:OPER:POW:PTR?",
      ":STAT:OPER:PTR?",
      ":STAT:QUES:PTR?",
      ":STAT:OPER:HOLD:NTR?",
      ":STAT:OPER:HARD:NTR?",
      ":STAT:OPER:POW:NTR?",
      ":STAT:OPER:NTR?",
      ":STAT:QUES:NTR?",
      ":STAT:OPER:EVEN?",
      ":SYNC:FFOM?",
      ":SYNC:HOLD:TFOM?",
      ":SYNC:HOLD:TUNC:PRED?",
      ":SYNC:HOLD:TUC:PRES?",
      ":SYNC:STAT?",
      ":SYNC:TINT?",
      ":SYNC:HOLD:INIT;",
      ":SYNC:HOLD:REC:INIT;",
      ":SYNC:HOLD:DUR?",
      ":SYNC:HOLD:DUR:THR?",
      ":SNC:HOLD:DUR:THR:EXC?",
      ":SYNC:HOLD:REC:LIMIT:IGN;",
      ":SYNC:IMM;",
      ":SYST:STAT?",
      ":SYST:STAT:LENG?",
      ":SYST:ERR?",
      ":SYST:COMM?",
      ":SYST:COMM:SER1:BAUD?",
      ":SYST:COMM:SER1:BITS?",
      ":SYST:COMM:SER1:FDUP?",
      ":SYST:COMM:SER1:FDUP 0;",
      ":SYST:COMM:SER1:FDUP 1;",
      ":SYST:COMM:SER1:PACE?",
      ":SYST:COMM:SER1:PAR?",
      ":SYST:COMM:SER1:SBITS?",
      ":SYST:PRESET;",
      ":SYST:COMM:SER:ECHO ON",
      ":SYST:COMM:SER:ECHO OFF",
      "",
  };
  return list;
}

// UTC rather than local time: a change to or from summer time must neither close the
// window at once nor keep it open for an hour.
TDateTime ManualCommandWatch::Now() const { return clock_.UtcNow(); }

void ManualCommandWatch::Open() {
  open_ = true;
  state_.ManualMode = true;
  lastActivity_ = Now();
}

void ManualCommandWatch::Close() {
  open_ = false;
  // A text not yet taken stays unsent; one already going out is finished first.
  state_.ManualCommand.Discard();
  state_.ManualMode = false;
}

void ManualCommandWatch::Activity() { lastActivity_ = Now(); }

bool ManualCommandWatch::LineFree() const { return !state_.PollBusy.load() && !state_.ManualCommand.Busy(); }

ManualCommandTick ManualCommandWatch::Tick() {
  ManualCommandTick tick;
  tick.LampOn = !state_.PollBusy.load();
  tick.SendEnabled = LineFree();
  if (!open_) return tick;
  const TDateTime now = Now();
  // A long text going out slowly keeps the window open.
  if (state_.ManualCommand.Busy()) lastActivity_ = now;
  // A clock set back would otherwise hold the window open for as long as it was set back.
  if (now < lastActivity_) lastActivity_ = now;
  tick.CloseNow = (now - lastActivity_) * SecondsPerDay > TimeoutSeconds;
  return tick;
}

std::string ManualCommandWatch::Send(std::string_view utf8) {
  Activity();
  ManualCommandLine line = PrepareManualCommand(utf8);
  if (line.Bytes.empty()) return line.Refusal;
  if (!state_.ManualCommand.Post(std::move(line.Bytes))) return "Not sent: the previous command is still going out";
  return {};
}

std::string ManualCommandWatch::TakeSendReport() {
  const std::optional<ManualSendOutcome> outcome = state_.ManualCommand.TakeOutcome();
  return outcome ? ManualSendReport(*outcome) : std::string();
}

namespace {

std::string Hex(char32_t c, int digits) {
  static const char* const hex = "0123456789ABCDEF";
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, c >>= 4) text[static_cast<std::size_t>(i)] = hex[c & 0xF];
  return text;
}

// The next code point of UTF-8 text, or U+FFFD for a malformed sequence.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (more < 0) return 0xFFFD;
  char32_t c = lead & (0x3F >> more);
  for (int i = 0; i < more; ++i) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
  }
  return c;
}

}  // namespace

ManualCommandLine PrepareManualCommand(std::string_view utf8) {
  ManualCommandLine line;
  std::size_t at = 0;
  for (int position = 1; at < utf8.size(); ++position) {
    const char32_t c = NextCodePoint(utf8, at);
    const std::string where = " at position " + std::to_string(position);
    if (c > 0xFF) {
      line.Refusal = "Not sent: U+" + Hex(c, c > 0xFFFF ? 6 : 4) + where + " is not Latin-1";
      break;
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      const bool lineBreak = c == '\r' || c == '\n';
      line.Refusal =
          std::string("Not sent: ") + (lineBreak ? "line break" : "control character") + " 0x" + Hex(c, 2) + where;
      break;
    }
    line.Bytes += static_cast<char>(c);
  }
  if (!line.Refusal.empty()) {
    line.Bytes.clear();
    return line;
  }
  line.Bytes += '\r';
  return line;
}

std::string ManualSendReport(const ManualSendOutcome& outcome) {
  if (outcome.Complete()) return {};
  if (outcome.Sent == 0) return "Not sent: the serial port did not take the text";
  // A piece the line took only in part is not counted, hence "about".
  return "Not sent whole: about " + std::to_string(outcome.Sent) + " of " + std::to_string(outcome.Total) +
         " characters, no CR";
}

ManualCommandLayout LayOutManualCommand(int clientWidth, int clientHeight, int controlHeight) {
  // Design margins of the controls anchored to the right and bottom edges.
  constexpr int groupRight = ManualCommandDesignClientWidth - (5 + 429);
  constexpr int groupBottom = ManualCommandDesignClientHeight - (47 + 232);
  constexpr int comboRight = 429 - (8 + 346);
  constexpr int sendRight = 429 - (368 + 49);
  constexpr int noteFromBottom = ManualCommandDesignClientHeight - 288;

  ManualCommandLayout l;
  l.Panel = {8, 8, 420, 29};
  l.Led = {389, 5, 20, 20};
  l.GroupBox = {5, 47, std::max(0, clientWidth - 5 - groupRight), std::max(0, clientHeight - 47 - groupBottom)};
  l.Combo = {8, 24, std::max(0, l.GroupBox.Width - 8 - comboRight), controlHeight};
  l.Send = {l.GroupBox.Width - sendRight - 49, 24, 49, controlHeight};
  l.Console = ManualCommandConsoleBox(l.GroupBox.Width, l.GroupBox.Height);
  l.Note = {8, clientHeight - noteFromBottom, 0, 0};
  return l;
}

ManualCommandBox ManualCommandConsoleBox(int groupWidth, int groupHeight) {
  return {8, 56, std::max(0, groupWidth - 16), std::max(0, groupHeight - 65)};
}
