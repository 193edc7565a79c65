// Offline stability analysis of logged Varnex data; see --help.
#include <iostream>
#include <string>
#include <vector>

#include "analysis/StabilityTool.h"
#include "platform/ProgramFolder.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return RunStabilityTool(args, std::cout, std::cerr, ChooseDataFolder(false).Folder);
  } catch (const std::exception& e) {
    std::cerr << "varnex-stability: " << e.what() << "\n";
    return 1;
  }
}
