#include "link/LinkPort.h"

#include "link/AdvCom32.h"

bool AdvCom32LinkPort::Write(const std::string& text) { return port_.Write(text); }

void AdvCom32LinkPort::Read(std::string& text) { port_.Read(text); }

bool AdvCom32LinkPort::LostCheck(std::string& why) { return port_.LostCheck(why); }

bool AdvCom32LinkPort::IsOpen() { return port_.Opened(); }

bool AdvCom32LinkPort::Reopen() { return port_.RetryOpen(); }

std::string AdvCom32LinkPort::DeviceName() const { return port_.DeviceName(); }

bool AdvCom32LinkPort::OpensAtAnswer() const { return port_.IsNetworkLine(); }
