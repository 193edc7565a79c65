#include "link/LinkPort.h"

#include "link/AdvCom32.h"

bool AdvCom32LinkPort::Write(const std::string& text) { return port_.Write(text); }

void AdvCom32LinkPort::Read(std::string& text) { port_.Read(text); }
