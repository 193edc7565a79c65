#pragma once
// The devices the parameters dialog offers, and the check of what the user typed.
#include <string>
#include <vector>

struct DeviceChoice {
  std::string path;
  std::string kernel;  // the device a stable name points at now; empty for the others
};

// Stable names first (the links in byIdFolder, which survive a re-plug), in name order,
// each with the device it reaches now; then the present devices no stable name reaches.
std::vector<DeviceChoice> ListDeviceChoices(std::vector<std::string> present,
                                            const std::string& byIdFolder = "/dev/serial/by-id");

// Empty when the device field may be used as it stands (a path, nothing, or a well-formed
// network address); otherwise the message that tells the user what is wrong.
std::string CheckDeviceField(const std::string& text);
