#include "receiver_sim/ScpiReceiver.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t ErrorQueueSize = 30;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Upper case, no leading ":", single blanks: the key of an injected answer.
std::string Normalize(const std::string& command) {
  std::string t = Upper(Trim(command));
  if (!t.empty() && t[0] == ':') t.erase(0, 1);
  std::string out;
  for (char c : t) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> Split(const std::string& s, char separator) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : s) {
    if (c == separator) {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(current);
  return parts;
}

// A header node such as "TINTerval" accepts its short form (the capitals and digits,
// "TINT") and its long form ("TINTERVAL").
bool NodeMatches(const std::string& token, const std::string& node) {
  std::string shortForm;
  for (char c : node)
    if (std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '*')
      shortForm += c;
  return token == shortForm || token == Upper(node);
}

bool HeaderMatches(const std::string& header, const char* pattern) {
  const std::vector<std::string> tokens = Split(header, ':');
  const std::vector<std::string> nodes = Split(pattern, ':');
  if (tokens.size() != nodes.size()) return false;
  for (std::size_t i = 0; i < tokens.size(); ++i)
    if (!NodeMatches(tokens[i], nodes[i])) return false;
  return true;
}

// 0/OFF or 1/ON; -1 for anything else.
int OnOff(const std::string& params) {
  const std::string p = Upper(Trim(params));
  if (p == "1" || p == "ON") return 1;
  if (p == "0" || p == "OFF") return 0;
  return -1;
}

enum FamilySet : unsigned { AllFamilies = 1, StandardOnly = 2, JacksonOnly = 4 };

struct CommandEntry {
  const char* pattern;  // without the "?"
  bool query;
  unsigned families;
  int id;
};

enum CommandId {
  Idn,
  Cls,
  Rst,
  Opc,
  SysErr,
  SysStat,
  Tint,
  Efc,
  HoldPred,
  Life,
  RoscStat,
  Tcod,
  TcodForm,
  TcodFormQ,
  TcodCont,
  TracCount,
  VisCount,
  JTracCount,
  JVisCount,
  PtimTime,
  PtimDate,
  LedAct,
  LedActQ,
  Fdup,
  FdupQ
};

const CommandEntry Commands[] = {
    {"*IDN", true, AllFamilies, Idn},
    {"*CLS", false, AllFamilies, Cls},
    {"*RST", false, AllFamilies, Rst},
    {"*OPC", true, AllFamilies, Opc},
    {"SYSTem:ERRor", true, AllFamilies, SysErr},
    {"SYSTem:STATus", true, AllFamilies, SysStat},
    {"PTIMe:TINTerval", true, AllFamilies, Tint},
    {"DIAGnostic:ROSCillator:EFControl:ABSolute", true, AllFamilies, Efc},
    {"SYNChronization:HOLDover:TUNCertainty:PREDicted", true, AllFamilies, HoldPred},
    {"DIAGnostic:LIFetime:COUNt", true, AllFamilies, Life},
    {"ROSCillator:STATus", true, AllFamilies, RoscStat},
    {"PTIMe:TCODe", true, StandardOnly, Tcod},
    {"PTIMe:TCODe:FORMat", false, StandardOnly, TcodForm},
    {"PTIMe:TCODe:FORMat", true, StandardOnly, TcodFormQ},
    {"PTIMe:TCODe:CONTinuous", false, AllFamilies, TcodCont},
    {"PTIMe:GPS:SATellite:TRACking:COUNt", true, StandardOnly, TracCount},
    {"PTIMe:GPS:SATellite:VISible:PREDicted:COUNt", true, StandardOnly, VisCount},
    {"GPS:SATellite:TRACking:COUNt", true, JacksonOnly, JTracCount},
    {"GPS:SATellite:VISible:COUNt", true, JacksonOnly, JVisCount},
    {"PTIMe:TIME", true, JacksonOnly, PtimTime},
    {"PTIMe:DATE", true, JacksonOnly, PtimDate},
    {"LED:ACTivity", false, StandardOnly, LedAct},
    {"LED:ACTivity", true, StandardOnly, LedActQ},
    {"SYSTem:COMMunicate:SERial1:FDUPlex", false, AllFamilies, Fdup},
    {"SYSTem:COMMunicate:SERial1:FDUPlex", true, AllFamilies, FdupQ},
};

bool FamilyAllowed(unsigned set, SimFamily family) {
  if (set & AllFamilies) return true;
  if (set & JacksonOnly) return IsJacksonStyle(family);
  return !IsJacksonStyle(family);
}

// "+7.2E-009": HP receivers print a sign and three exponent digits.
std::string HpScientific(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%+.*E", decimals, value);
  std::string s = buffer;
  const std::size_t e = s.find('E');
  if (e == std::string::npos || e + 2 >= s.size()) return s;
  std::string digits = s.substr(e + 2);
  while (digits.size() < 3) digits.insert(0, "0");
  return s.substr(0, e + 2) + digits;
}

}  // namespace

ScpiReceiver::ScpiReceiver(SimFamily family, std::uint32_t seed, ModelTimings timings)
    : model_(family, seed, timings) {}

std::string ScpiReceiver::Prompt() const {
  if (errors_.empty()) return "scpi > ";
  return "E" + std::to_string(errors_.front().first) + "> ";
}

void ScpiReceiver::SetAnswer(const std::string& command, const std::string& answer) {
  overrides_[Normalize(command)] = answer;
}

void ScpiReceiver::PushError(int code, const std::string& text) {
  if (errors_.size() + 1 >= ErrorQueueSize) {
    if (errors_.size() < ErrorQueueSize) errors_.emplace_back(-350, "Queue overflow");
    return;
  }
  errors_.emplace_back(code, text);
}

std::string ScpiReceiver::Number(double value, int decimals) const {
  if (IsJacksonStyle(model_.Family())) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*E", decimals + 1, value);
    return buffer;
  }
  return HpScientific(value, decimals);
}

std::string ScpiReceiver::Count(long long value) const {
  return (IsJacksonStyle(model_.Family()) || value < 0 ? "" : "+") + std::to_string(value);
}

std::string ScpiReceiver::TimeCodeLine(TDateTime now) {
  model_.AdvanceTo(now);
  return model_.TimeCode(timeCodeF2_) + "\r\n";
}

std::string ScpiReceiver::HandleLine(const std::string& line, TDateTime now, bool withPrompt) {
  model_.AdvanceTo(now);
  std::string out;
  if (echo_) out += line + "\r\n";
  std::string answers;
  bool anyAnswer = false;
  for (const std::string& rawPiece : Split(line, ';')) {
    const std::string piece = Trim(rawPiece);
    if (piece.empty()) continue;
    std::string answer;
    bool hasAnswer = false;
    const auto injected = overrides_.find(Normalize(piece));
    if (injected != overrides_.end()) {
      answer = injected->second;
      hasAnswer = true;
    } else {
      switch (Execute(piece, answer, hasAnswer)) {
        case Result::Ok:
          break;
        case Result::Undefined:
          PushError(-113, "Undefined header");
          break;
        case Result::BadParameter:
          PushError(-224, "Illegal parameter value");
          break;
        case Result::MissingParameter:
          PushError(-109, "Missing parameter");
          break;
      }
    }
    if (hasAnswer) {
      if (anyAnswer) answers += ";";
      answers += answer;
      anyAnswer = true;
    }
  }
  if (anyAnswer) out += answers + "\r\n";
  if (withPrompt) out += Prompt();
  return out;
}

ScpiReceiver::Result ScpiReceiver::Execute(const std::string& command, std::string& answer, bool& hasAnswer) {
  std::size_t split = 0;
  while (split < command.size() && !std::isspace(static_cast<unsigned char>(command[split]))) ++split;
  std::string header = Upper(command.substr(0, split));
  const std::string params = Trim(command.substr(split));
  if (!header.empty() && header[0] == ':') header.erase(0, 1);
  const bool query = !header.empty() && header.back() == '?';
  if (query) header.pop_back();

  const CommandEntry* entry = nullptr;
  for (const CommandEntry& c : Commands) {
    if (c.query == query && FamilyAllowed(c.families, model_.Family()) && HeaderMatches(header, c.pattern)) {
      entry = &c;
      break;
    }
  }
  if (!entry) return Result::Undefined;

  const bool jackson = IsJacksonStyle(model_.Family());
  const SimFamily family = model_.Family();
  hasAnswer = query;
  switch (entry->id) {
    case Idn:
      answer = IdnAnswer(family);
      break;
    case Cls:
      errors_.clear();
      break;
    case Rst:
      continuous_ = false;
      timeCodeF2_ = false;
      break;
    case Opc:
      answer = "1";
      break;
    case SysErr:
      if (errors_.empty()) {
        answer = "+0,\"No error\"";
      } else {
        answer = std::to_string(errors_.front().first) + ",\"" + errors_.front().second + "\"";
        errors_.pop_front();
      }
      break;
    case SysStat: {
      const std::vector<std::string> lines = model_.StatusScreen();
      for (std::size_t i = 0; i < lines.size(); ++i) answer += (i ? "\r\n" : "") + lines[i];
      break;
    }
    case Tint:
      answer = Number(model_.PpsTiSeconds(), 1);
      break;
    case Efc: {
      char buffer[64];
      if (family == SimFamily::Gcru)
        std::snprintf(buffer, sizeof buffer, "%+.6f", model_.Efc());
      else
        std::snprintf(buffer, sizeof buffer, jackson ? "%.0f" : "%+.0f", model_.Efc());
      answer = buffer;
      break;
    }
    case HoldPred:
      answer = Number(model_.HoldoverUncertaintySeconds(), 1) + ",0";
      break;
    case Life:
      answer = Count(model_.LifeCount());
      break;
    case RoscStat:
      answer = ModeText(model_.Mode());
      break;
    case Tcod:
      answer = model_.TimeCode(timeCodeF2_);
      break;
    case TcodForm: {
      const std::string p = Upper(params);
      if (p.empty()) return Result::MissingParameter;
      if (p != "F1" && p != "F2") return Result::BadParameter;
      timeCodeF2_ = p == "F2";
      break;
    }
    case TcodFormQ:
      answer = timeCodeF2_ ? "F2" : "F1";
      break;
    case TcodCont: {
      if (params.empty()) return Result::MissingParameter;
      const int on = OnOff(params);
      if (on < 0) return Result::BadParameter;
      continuous_ = on == 1;
      break;
    }
    case TracCount:
    case JTracCount:
      answer = Count(model_.TrackedCount());
      break;
    case VisCount:
    case JVisCount:
      answer = Count(model_.VisibleCount());
      break;
    case PtimTime:
    case PtimDate: {
      const DateTimeParts p = DecodeDateTime(model_.Now() - 0.0005 / SecondsPerDay);
      char buffer[64];
      if (entry->id == PtimTime)
        std::snprintf(buffer, sizeof buffer, "%d,%d,%d", p.hour, p.minute, p.second);
      else
        std::snprintf(buffer, sizeof buffer, "%d,%d,%d", p.year, p.month, p.day);
      answer = buffer;
      break;
    }
    case LedAct:
    case Fdup: {
      if (params.empty()) return Result::MissingParameter;
      const int on = OnOff(params);
      if (on < 0) return Result::BadParameter;
      if (entry->id == LedAct)
        ledOn_ = on == 1;
      else
        echo_ = on == 1;
      break;
    }
    case LedActQ:
      answer = ledOn_ ? "1" : "0";
      break;
    case FdupQ:
      answer = echo_ ? "1" : "0";
      break;
  }
  return Result::Ok;
}
