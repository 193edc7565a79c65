#include "frontend/DeviceChoices.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>

#include "platform/DeviceAddress.h"

std::vector<DeviceChoice> ListDeviceChoices(std::vector<std::string> present, const std::string& byIdFolder) {
  std::vector<DeviceChoice> stable;
  if (DIR* d = opendir(byIdFolder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = byIdFolder + "/" + name;
      char target[PATH_MAX];
      if (realpath(path.c_str(), target)) stable.push_back({path, target});  // a dangling link reaches nothing
    }
    closedir(d);
  }
  std::sort(stable.begin(), stable.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  std::sort(present.begin(), present.end());
  present.erase(std::unique(present.begin(), present.end()), present.end());
  std::vector<DeviceChoice> choices = stable;
  for (const std::string& device : present) {
    const bool reached = std::any_of(stable.begin(), stable.end(), [&](const auto& s) { return s.kernel == device; });
    if (!reached) choices.push_back({device, {}});
  }
  return choices;
}

std::string CheckDeviceField(const std::string& text) {
  DeviceAddress address;
  std::string why;
  if (ParseDeviceAddress(text, address, why)) return {};
  return "The address \"" + ShortAddress(text) + "\" cannot be used: " + why +
         ".\n\nA receiver on the network is reached as socket://HOST:PORT (raw TCP) or "
         "rfc2217://HOST:PORT (Telnet with RFC 2217), with a port from 1 to 65535; "
         "an IPv6 address goes in brackets, as rfc2217://[::1]:2217.";
}
