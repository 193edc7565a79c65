// varnex-receiver-sim: a simulated GPS reference receiver on a pseudo-terminal.
// Prints the device path on stdout, optionally links it at a stable path, and serves
// until SIGTERM or SIGINT.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "receiver_sim/ReceiverSim.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: varnex-receiver-sim [--family NAME] [--echo] [--link PATH] [--baud N] [--fault MODE]\n"
               "                           [--seed N] [--disconnect-after N] [--trickle-ms N] [--verbose]\n"
               "                           [--tcod-cont] [--control FILE]\n"
               "  NAME: Z3801 Z3805 Z3815 Z3816 Z3817 GCRU Jackson HP58503 HP55300 Mtron Unknown\n"
               "  MODE: none silent noprompt chatter garbage trickle disconnect\n"
               "  --baud 0 sends without pacing; --verbose lists the commands received on stderr;\n"
               "  --tcod-cont starts with a time code every second until PTIM:TCOD:CONT 0\n"
               "  --control FILE: while running, the first word of FILE sets the receiver's state,\n"
               "    read again before each answer whenever the file changed:\n"
               "      locked    locked to GPS, and stays so\n"
               "      holdover  SmartClock mode holdover, in its status screen and its answers\n"
               "      unlocked  lock lost: acquiring again (recovery) until told otherwise\n"
               "      silent    answers nothing at all, as if the line were cut\n"
               "      auto      its own sequence (power-up, recovery, lock, holdover now and then);\n"
               "                also when FILE is missing or empty\n"
               "    e.g.  echo holdover > FILE   ...   echo auto > FILE\n"
               "    (two changes of the same length within a few milliseconds: replace the file\n"
               "    with mv instead, so the change is seen)\n");
}

bool ParseNumber(const char* text, unsigned long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtoul(text, &end, 10);
  return errno == 0 && end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  std::string link;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    unsigned long number = 0;
    if (arg == "--echo") {
      options.echo = true;
    } else if (arg == "--tcod-cont") {
      options.continuousTimeCode = true;
    } else if (arg == "--verbose") {
      options.logCommands = true;
    } else if (arg == "--family" && hasValue) {
      if (!ParseFamily(argv[++i], options.family)) {
        std::fprintf(stderr, "unknown family: %s\n", argv[i]);
        Usage();
        return 2;
      }
    } else if (arg == "--fault" && hasValue) {
      if (!ParseFault(argv[++i], options.fault)) {
        std::fprintf(stderr, "unknown fault mode: %s\n", argv[i]);
        Usage();
        return 2;
      }
    } else if (arg == "--control" && hasValue) {
      options.controlPath = argv[++i];
    } else if (arg == "--link" && hasValue) {
      link = argv[++i];
    } else if ((arg == "--baud" || arg == "--seed" || arg == "--disconnect-after" || arg == "--trickle-ms") &&
               hasValue && ParseNumber(argv[i + 1], number)) {
      ++i;
      if (arg == "--baud") options.baud = static_cast<std::uint32_t>(number);
      if (arg == "--seed") options.seed = static_cast<std::uint32_t>(number);
      if (arg == "--disconnect-after") options.disconnectAfter = static_cast<int>(number);
      if (arg == "--trickle-ms") options.trickleMs = static_cast<int>(number);
    } else {
      Usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }

  // Block the stop signals before the serving thread starts, so only sigwait sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  ReceiverSim sim(options);
  if (!sim.Start()) {
    std::fprintf(stderr, "varnex-receiver-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  if (!link.empty()) {
    // Replace an old link (from an earlier run) but never a real file.
    char target[512];
    if (readlink(link.c_str(), target, sizeof target) >= 0) unlink(link.c_str());
    if (symlink(sim.SlavePath().c_str(), link.c_str()) != 0) {
      std::fprintf(stderr, "varnex-receiver-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
      sim.Stop();
      return 1;
    }
  }
  std::printf("%s\n", sim.SlavePath().c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "varnex-receiver-sim: %s on %s%s%s, fault %s%s%s\n", FamilyName(options.family),
               sim.SlavePath().c_str(), link.empty() ? "" : " linked at ", link.c_str(), FaultName(options.fault),
               options.controlPath.empty() ? "" : ", state from ", options.controlPath.c_str());

  int signal = 0;
  sigwait(&stopSignals, &signal);

  sim.Stop();
  if (!link.empty()) {
    char target[512];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == sim.SlavePath()) unlink(link.c_str());
  }
  return 0;
}
