#pragma once
// The client's side of Telnet with the COM-port control option (RFC 2217), as a
// serial device server speaks it: option negotiation, IAC escaping both ways, and the
// line settings sent as subnegotiations once the server has agreed to the option.
// Plain bytes in and out; the socket is someone else's business.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/LineTransport.h"

class TelnetCodec {
 public:
  static constexpr unsigned char Iac = 255, Dont = 254, Do = 253, Wont = 252, Will = 251, Sb = 250, Se = 240;
  static constexpr unsigned char Binary = 0, Echo = 1, SuppressGoAhead = 3, ComPort = 44;
  // SET-CONTROL values.
  static constexpr unsigned char NoFlowControl = 1, BreakOn = 5, BreakOff = 6, DtrOn = 8, DtrOff = 9, RtsOn = 11,
                                 RtsOff = 12;

  TelnetCodec();
  // Decodes bytes from the server: the receiver's text is appended to data; answers to
  // the server's negotiation wait in the outgoing bytes.
  void Receive(const char* in, std::size_t size, std::string& data);
  // The receiver-bound text as it goes on the wire.
  void Encode(const char* in, std::size_t size, std::string& wire) const;
  // Line settings and modem lines, sent once the server has agreed to the option; a
  // later value of the same setting replaces one not yet sent.
  void SetLine(const SerialLineSettings& s);
  void SetControl(unsigned char value);
  // What is to be sent to the server now (negotiation, then settings), and forgotten.
  std::string TakeOutgoing();
  bool ComPortAgreed() const { return us_[ComPort] == State::Yes; }
  // Settings acknowledged by the server so far (it may never answer some of them).
  int Acknowledgements() const { return acknowledgements_; }

 private:
  enum class State : unsigned char { No, Yes, WantYes };
  enum class Parse : unsigned char { Data, Iac, Option, Sub, SubIac };
  void Negotiate(unsigned char verb, unsigned char option);
  void Command(unsigned char verb, unsigned char option);
  void Queue(int key, std::string bytes);
  void SubnegotiationEnd();

  State us_[256];
  State him_[256];
  Parse parse_ = Parse::Data;
  unsigned char verb_ = 0;
  bool afterCr_ = false;
  std::string sub_;
  std::string outgoing_;
  std::vector<std::pair<int, std::string>> pending_;  // settings waiting for the option
  int acknowledgements_ = 0;
};
