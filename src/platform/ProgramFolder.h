#pragma once
// Every file of the program lives in the folder of the program file.
#include <string>

// Folder of the running executable, ending without a slash.
std::string ProgramFolder();
// folder + "/" + name
std::string InFolder(const std::string& folder, const std::string& name);
