#pragma once
// A pseudo-terminal pair in raw mode: a serial port opens the slave by its path,
// the other side (a simulated receiver, a test) plays the device on the master.
#include <string>

// Opens a pair with the slave in raw mode (nothing echoed or translated).
bool OpenRawPseudoTerminal(int& master, int& slave, std::string& path);

// The same, closed again when it goes out of scope. The slave descriptor is kept
// open so the master stays usable while a port closes and re-opens the device.
struct PseudoTerminal {
  PseudoTerminal() { OpenRawPseudoTerminal(master, slave, path); }
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int master = -1;
  int slave = -1;
  std::string path;
};
