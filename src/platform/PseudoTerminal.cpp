#include "platform/PseudoTerminal.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

bool OpenRawPseudoTerminal(int& master, int& slave, std::string& path) {
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    master = slave = -1;
    return false;
  }
  path = name;
  termios t{};
  if (tcgetattr(slave, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
  }
  return true;
}

PseudoTerminal::~PseudoTerminal() {
  if (master >= 0) close(master);
  if (slave >= 0) close(slave);
}
