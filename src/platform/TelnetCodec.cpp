#include "platform/TelnetCodec.h"

#include <algorithm>

namespace {
constexpr std::size_t MaxSubnegotiation = 64;  // the longest one the server may send us
constexpr unsigned char SetBaudrate = 1, SetDatasize = 2, SetParity = 3, SetStopsize = 4, SetControlCode = 5;
constexpr std::size_t MaxOutgoing = 4096;  // answers to a server that negotiates without end

bool WeMay(unsigned char option) {
  return option == TelnetCodec::Binary || option == TelnetCodec::SuppressGoAhead || option == TelnetCodec::ComPort;
}
// The server's echo is refused: the receiver's own echo is the link's business.
bool HeMay(unsigned char option) { return option == TelnetCodec::Binary || option == TelnetCodec::SuppressGoAhead; }

std::string Subnegotiation(unsigned char command, const std::string& value) {
  std::string s{char(TelnetCodec::Iac), char(TelnetCodec::Sb), char(TelnetCodec::ComPort), char(command)};
  for (char c : value) {
    s += c;
    if (static_cast<unsigned char>(c) == TelnetCodec::Iac) s += c;
  }
  s += char(TelnetCodec::Iac);
  s += char(TelnetCodec::Se);
  return s;
}
}  // namespace

TelnetCodec::TelnetCodec() {
  std::fill(std::begin(us_), std::end(us_), State::No);
  std::fill(std::begin(him_), std::end(him_), State::No);
  // Eight-bit data both ways without go-aheads, and the COM-port option.
  for (unsigned char option : {Binary, SuppressGoAhead}) {
    Command(Will, option);
    us_[option] = State::WantYes;
    Command(Do, option);
    him_[option] = State::WantYes;
  }
  Command(Will, ComPort);
  us_[ComPort] = State::WantYes;
}

void TelnetCodec::Command(unsigned char verb, unsigned char option) {
  if (outgoing_.size() >= MaxOutgoing) return;
  outgoing_ += char(Iac);
  outgoing_ += char(verb);
  outgoing_ += char(option);
}

void TelnetCodec::Negotiate(unsigned char verb, unsigned char option) {
  // Answer a request only when it changes something, so two sides never loop.
  switch (verb) {
    case Do:
      if (!WeMay(option)) {
        Command(Wont, option);
      } else if (us_[option] != State::Yes) {
        if (us_[option] == State::No) Command(Will, option);
        us_[option] = State::Yes;
      }
      break;
    case Dont:
      if (us_[option] == State::Yes) Command(Wont, option);
      us_[option] = State::No;
      break;
    case Will:
      if (!HeMay(option)) {
        Command(Dont, option);
      } else if (him_[option] != State::Yes) {
        if (him_[option] == State::No) Command(Do, option);
        him_[option] = State::Yes;
      }
      break;
    case Wont:
      if (him_[option] == State::Yes) Command(Dont, option);
      him_[option] = State::No;
      break;
  }
}

void TelnetCodec::SubnegotiationEnd() {
  // The server's answers to our settings (command + 100) and its notifications are
  // noted, never waited for.
  if (sub_.size() >= 2 && static_cast<unsigned char>(sub_[0]) == ComPort) {
    const unsigned char code = static_cast<unsigned char>(sub_[1]);
    if (code >= 101 && code <= 105) ++acknowledgements_;
  }
  sub_.clear();
}

void TelnetCodec::Receive(const char* in, std::size_t size, std::string& data) {
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    switch (parse_) {
      case Parse::Data:
        if (c == Iac) {
          parse_ = Parse::Iac;
          break;
        }
        // Outside binary mode a bare carriage return travels as CR NUL.
        if (!(c == 0 && afterCr_ && him_[Binary] != State::Yes)) data += char(c);
        afterCr_ = c == '\r';
        break;
      case Parse::Iac:
        parse_ = Parse::Data;
        if (c == Iac) {
          data += char(c);
          afterCr_ = false;
        } else if (c == Will || c == Wont || c == Do || c == Dont) {
          verb_ = c;
          parse_ = Parse::Option;
        } else if (c == Sb) {
          sub_.clear();
          parse_ = Parse::Sub;
        }  // other commands (NOP, GA, ...) carry nothing for us
        break;
      case Parse::Option:
        Negotiate(verb_, c);
        parse_ = Parse::Data;
        break;
      case Parse::Sub:
        if (c == Iac)
          parse_ = Parse::SubIac;
        else if (sub_.size() < MaxSubnegotiation)
          sub_ += char(c);
        break;
      case Parse::SubIac:
        if (c == Se) {
          SubnegotiationEnd();
          parse_ = Parse::Data;
        } else {
          if (c == Iac && sub_.size() < MaxSubnegotiation) sub_ += char(c);
          parse_ = Parse::Sub;
        }
        break;
    }
  }
}

void TelnetCodec::Encode(const char* in, std::size_t size, std::string& wire) const {
  const bool binary = us_[Binary] != State::No;
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    wire += char(c);
    if (c == Iac) wire += char(c);
    if (c == '\r' && !binary) wire += '\0';
  }
}

void TelnetCodec::Queue(int key, std::string bytes) {
  if (ComPortAgreed()) {
    outgoing_ += bytes;
    return;
  }
  for (auto& p : pending_) {
    if (p.first == key) {
      p.second = std::move(bytes);
      return;
    }
  }
  pending_.emplace_back(key, std::move(bytes));
}

void TelnetCodec::SetLine(const SerialLineSettings& s) {
  const std::uint32_t b = s.baud;
  Queue(SetBaudrate, Subnegotiation(SetBaudrate, {char(b >> 24), char(b >> 16), char(b >> 8), char(b)}));
  Queue(SetDatasize, Subnegotiation(SetDatasize, {char(s.databits)}));
  const char parity = s.parity == 'E' ? 3 : s.parity == 'O' ? 2 : 1;
  Queue(SetParity, Subnegotiation(SetParity, {parity}));
  Queue(SetStopsize, Subnegotiation(SetStopsize, {char(s.stopbits == 2 ? 2 : 1)}));
  Queue(SetControlCode * 100 + NoFlowControl, Subnegotiation(SetControlCode, {char(NoFlowControl)}));
}

void TelnetCodec::SetControl(unsigned char value) {
  // One key per line: DTR, RTS, break.
  const int group = value <= BreakOff ? BreakOn : value <= DtrOff ? DtrOn : RtsOn;
  Queue(SetControlCode * 100 + group, Subnegotiation(SetControlCode, {char(value)}));
}

std::string TelnetCodec::TakeOutgoing() {
  if (ComPortAgreed()) {
    for (auto& p : pending_) outgoing_ += p.second;
    pending_.clear();
  }
  return std::exchange(outgoing_, std::string());
}
