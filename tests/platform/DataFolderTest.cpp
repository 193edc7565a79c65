#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "TestFolder.h"
#include "platform/ProgramFolder.h"

namespace fs = std::filesystem;

TEST(DataFolder, SystemFoldersAreNeverUsedForFiles) {
  const struct {
    const char* folder;
    bool system;
  } cases[] = {
      {"/usr/bin", true},
      {"/usr", true},
      {"/usr/local/bin", true},
      {"/bin", true},
      {"/sbin", true},
      {"/usrx/bin", false},
      {"/opt/varnex", false},
      {"/home/ann/usr/bin", false},
      {"/tmp/root/usr/bin", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSystemFolder(c.folder), c.system) << c.folder;
}

TEST(DataFolder, ChoosesAndCreatesTheFolderOrSaysWhyNot) {
  const fs::path t = FreshTestFolder("varnex_datafolder");
  const std::string program = (t / "program").string();
  fs::create_directories(program);
  std::ofstream(t / "plainfile") << "x";
  fs::create_directories(t / "occupied");
  std::ofstream(t / "occupied" / "varnex") << "x";
  const std::string gone = (t / "no-such-program-folder").string();
  const auto home = [&t](const char* user) { return (t / user).string(); };
  const auto share = [&t](const char* user) { return (t / user / ".local/share/varnex").string(); };
  const std::string xdg = (t / "xdg").string();

  const struct {
    const char* name;
    std::string program;
    std::optional<std::string> xdg;
    std::string home;
    bool create;
    std::string folder;
    std::string problem;  // a part of the message; empty: none expected
  } cases[] = {
      {"writable program folder", program, xdg, home("ann"), true, program, ""},
      {"system folder, XDG set", "/usr/bin", xdg, home("ann"), true, xdg + "/varnex", ""},
      {"unwritable, XDG unset", gone, std::nullopt, home("ann"), true, share("ann"), ""},
      {"another user", gone, std::nullopt, home("bob"), true, share("bob"), ""},
      {"XDG empty", gone, "", home("cid"), true, share("cid"), ""},
      {"XDG relative", gone, "rel/share", home("dan"), true, share("dan"), ""},
      {"XDG trailing slash", gone, xdg + "//", home("ann"), true, xdg + "/varnex", ""},
      {"look only", gone, std::nullopt, home("eve"), false, share("eve"), ""},
      {"XDG is a file", gone, (t / "plainfile").string(), home("ann"), true, (t / "plainfile/varnex").string(),
       "cannot create the folder " + (t / "plainfile/varnex").string() + ": "},
      {"varnex is a file", gone, (t / "occupied").string(), home("ann"), true, (t / "occupied/varnex").string(),
       (t / "occupied/varnex").string() + " is not a folder"},
      {"XDG not writable", gone, "/proc", home("ann"), true, "/proc/varnex", "/proc/varnex"},
      {"no home at all", "/usr/bin", std::nullopt, "", true, "/usr/bin", "no home folder"},
  };
  for (const auto& c : cases) {
    const DataFolderChoice got = ChooseDataFolder(c.program, c.xdg ? c.xdg->c_str() : nullptr, c.home, c.create);
    EXPECT_EQ(got.Folder, c.folder) << c.name;
    if (c.problem.empty()) {
      EXPECT_EQ(got.Problem, "") << c.name;
      EXPECT_EQ(fs::is_directory(got.Folder), c.create) << c.name;
    } else {
      EXPECT_NE(got.Problem.find(c.problem), std::string::npos) << c.name << ": " << got.Problem;
    }
  }
  // Nothing was written beside the program except by the case that chose it.
  EXPECT_TRUE(fs::is_empty(program));
  EXPECT_FALSE(fs::exists(gone));
}

TEST(DataFolder, ExistingFolderWithoutWritePermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const fs::path t = FreshTestFolder("varnex_datafolder_ro");
  fs::create_directories(t / "varnex");
  fs::permissions(t / "varnex", fs::perms::owner_read | fs::perms::owner_exec);
  const DataFolderChoice got = ChooseDataFolder((t / "gone").string(), t.c_str(), "/nowhere", true);
  fs::permissions(t / "varnex", fs::perms::owner_all);
  EXPECT_EQ(got.Folder, (t / "varnex").string());
  EXPECT_EQ(got.Problem, "cannot write in the folder " + (t / "varnex").string() + ": permission denied");
}
