#include "platform/ProgramFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string ProgramFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool IsSystemFolder(const std::string& folder) {
  const auto under = [&folder](const std::string& root) { return folder == root || folder.rfind(root + "/", 0) == 0; };
  return under("/usr") || under("/bin") || under("/sbin");
}

namespace {

bool Writable(const std::string& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

std::string Reason(const std::error_code& error) {
  std::string text = error.message();
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

DataFolderChoice ChooseDataFolder(const std::string& programFolder, const char* xdgDataHome, const std::string& home,
                                  bool create) {
  if (!IsSystemFolder(programFolder) && Writable(programFolder)) return {programFolder, {}};

  // A relative or empty XDG_DATA_HOME is no setting at all (freedesktop base directories).
  std::string base;
  if (xdgDataHome && xdgDataHome[0] == '/') {
    base = xdgDataHome;
  } else if (!home.empty() && home[0] == '/') {
    base = InFolder(home, ".local/share");
  } else {
    return {programFolder, "there is no home folder (HOME is not set) to keep the files in"};
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string folder = InFolder(base, "varnex");

  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) return {folder, folder + " is not a folder"};
  } else if (create) {
    if (!fs::create_directories(folder, error) && error)
      return {folder, "cannot create the folder " + folder + ": " + Reason(error)};
  } else {
    return {folder, {}};  // made by the first program that writes
  }
  if (!Writable(folder)) return {folder, "cannot write in the folder " + folder + ": permission denied"};
  return {folder, {}};
}

DataFolderChoice ChooseDataFolder(bool create) {
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h) {
    home = h;
  } else if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_dir) {
    home = account->pw_dir;
  }
  return ChooseDataFolder(ProgramFolder(), std::getenv("XDG_DATA_HOME"), home, create);
}

std::string DataFolder(std::string* problem) {
  DataFolderChoice choice = ChooseDataFolder(true);
  if (problem) *problem = std::move(choice.Problem);
  return choice.Folder;
}

std::string DataFolderNote(const std::string& folder, const std::string& problem) {
  return problem.empty() ? "Files in " + folder : "No files are kept: " + problem;
}
