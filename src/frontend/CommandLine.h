#pragma once
// Varnex's command line: which folder it keeps its files in, or which folder it views.
#include <string>
#include <vector>

struct VarnexOptions {
  bool Help = false;
  bool Version = false;
  std::string Folder;   // --folder DIR: the data folder, instead of the usual one
  bool View = false;    // --view: look at a folder another program writes, read-only
  std::string ViewDir;  // --view DIR; empty with View set: ask for the folder
  std::string Error;    // why the command line cannot be used; empty when it can
};

// args without the program name (the toolkit's own options already taken out):
// "--help" or "-h", "--version", "--folder DIR" or "--folder=DIR", "--view [DIR]" or
// "--view=DIR".
VarnexOptions ParseVarnexOptions(const std::vector<std::string>& args);

// The text --help prints.
std::string VarnexUsage();

// The window title: the caption, then the device and the folder, so that several
// Varnex windows on one desktop are told apart; a view names its folder and says it
// is read-only. The home folder is written "~".
std::string VarnexWindowTitle(const std::string& caption, const std::string& folder, const std::string& device,
                              bool view, const std::string& home);
