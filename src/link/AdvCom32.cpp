#include "link/AdvCom32.h"

T_AdvCom32::T_AdvCom32() = default;
T_AdvCom32::~T_AdvCom32() { Close(); }
bool T_AdvCom32::Open() { return false; }
void T_AdvCom32::Close() {}
bool T_AdvCom32::Write(const std::string&) { return false; }
void T_AdvCom32::Read(std::string& text) { text.clear(); }
std::string T_AdvCom32::Read() { return {}; }
int T_AdvCom32::InCount() { return 0; }
int T_AdvCom32::OutCount() { return 0; }
bool T_AdvCom32::Opened() const { return fd_ >= 0; }
void T_AdvCom32::SetPort(int port) { port_ = port; }
void T_AdvCom32::SetBaud(std::uint32_t baud) { baud_ = baud; }
void T_AdvCom32::SetParity(char parity) { parity_ = parity; }
void T_AdvCom32::SetDatabits(std::uint8_t bits) { databits_ = bits; }
void T_AdvCom32::SetStopbits(std::uint8_t bits) { stopbits_ = bits; }
void T_AdvCom32::SetDtr(bool on) { dtr_ = on; }
void T_AdvCom32::SetRts(bool on) { rts_ = on; }
void T_AdvCom32::SetBreak(bool on) { break_ = on; }
void T_AdvCom32::SetDevicePath(const std::string& path) { devicePath_ = path; }
std::string T_AdvCom32::DeviceName() const { return devicePath_; }
