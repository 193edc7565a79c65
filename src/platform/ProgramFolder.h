#pragma once
// Where the program's files live: beside the program file when that folder can be
// written (a build tree, a portable copy), else in the user's own data folder.
#include <string>

// Folder of the running executable, ending without a slash.
std::string ProgramFolder();
// folder + "/" + name
std::string InFolder(const std::string& folder, const std::string& name);

// A folder of the installed system (/usr and below, /bin, /sbin): never used for files,
// even by a user who could write there.
bool IsSystemFolder(const std::string& folder);

struct DataFolderChoice {
  std::string Folder;   // where the files go; kept even when it cannot be written
  std::string Problem;  // empty, or why the files cannot be kept there, naming the folder
};

// The program folder when it is writable and not a system folder; else
// xdgDataHome + "/varnex", or home + "/.local/share/varnex" when xdgDataHome is unset,
// empty or relative. With create, a missing folder is made. Writes nothing else.
DataFolderChoice ChooseDataFolder(const std::string& programFolder, const char* xdgDataHome, const std::string& home,
                                  bool create);

// ChooseDataFolder for this process: its program folder, $XDG_DATA_HOME, and $HOME or
// the account's home folder.
DataFolderChoice ChooseDataFolder(bool create);
// The folder every file goes to, created on first use; problem (if given) receives
// the reason when it cannot be written.
std::string DataFolder(std::string* problem = nullptr);

// One line for the user: "Files in " + folder, or why no files are kept.
std::string DataFolderNote(const std::string& folder, const std::string& problem);
