#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "TestFolder.h"
#include "platform/FolderLock.h"

namespace {

std::string LockText(const std::string& folder) {
  std::ifstream in(folder + "/" + FolderLockFileName);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FolderLock, OneHolderPerFolderAndNoneForAFolderThatCannotBeUsed) {
  const std::string folder = FreshTestFolder("lock");
  const std::string me = std::to_string(::getpid());
  // A lock file left by a process that is gone (killed, power cut) blocks nobody.
  std::ofstream(folder + "/" + FolderLockFileName) << "Varnex 999999\n";
  FolderLock first;
  std::string error;
  ASSERT_TRUE(first.Acquire(folder, "Varnex", &error)) << error;
  EXPECT_EQ(LockText(folder), "Varnex " + me + "\n");

  std::ofstream(folder + "/file") << "x";
  const struct {
    std::string folder;
    std::string error;
  } refused[] = {
      // Another open of the lock file is another holder, in this process as in any other.
      {folder, "The folder " + folder + " is in use by Varnex (pid " + me + ")"},
      {folder + "/missing", "The folder " + folder + "/missing cannot be used: No such file or directory"},
      {folder + "/file", "The folder " + folder + "/file cannot be used: not a folder"},
  };
  for (const auto& c : refused) {
    FolderLock second;
    EXPECT_FALSE(second.Acquire(c.folder, "varnex-logger", &error));
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(error, c.error);
  }
  EXPECT_EQ(LockText(folder), "Varnex " + me + "\n");  // the refused ones left the holder's name

  first.Release();
  FolderLock next;
  EXPECT_TRUE(next.Acquire(folder, "varnex-logger", &error)) << error;
  EXPECT_EQ(LockText(folder), "varnex-logger " + me + "\n");
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Removing the lock file of a running program leaves the folder taken.
TEST(FolderLock, ARemovedLockFileDoesNotFreeTheFolder) {
  const std::string folder = FreshTestFolder("lock");
  FolderLock first;
  std::string error;
  ASSERT_TRUE(first.Acquire(folder, "Varnex", &error)) << error;
  ASSERT_EQ(::unlink((folder + "/" + FolderLockFileName).c_str()), 0);
  FolderLock second;
  EXPECT_FALSE(second.Acquire(folder, "varnex-logger", &error));
  EXPECT_EQ(error, "The folder " + folder + " is in use by another process");
  first.Release();
  EXPECT_TRUE(second.Acquire(folder, "varnex-logger", &error)) << error;
}

// Whatever is planted under the lock file's name is neither followed nor written to,
// and the refusal says why.
TEST(FolderLock, APlantedLinkOrOddFileIsRefusedAndLeftAlone) {
  struct Case {
    const char* name;
    std::function<void(const std::string& lock, const std::string& victim)> plant;
    const char* why;
  };
  const Case cases[] = {
      {"symbolic link",
       [](const std::string& lock, const std::string& victim) { (void)::symlink(victim.c_str(), lock.c_str()); },
       "its lock file Varnex.lock is a symbolic link"},
      {"dangling link",
       [](const std::string& lock, const std::string& victim) {
         (void)::symlink((victim + ".new").c_str(), lock.c_str());
       },
       "its lock file Varnex.lock is a symbolic link"},
      {"hard link",
       [](const std::string& lock, const std::string& victim) { (void)::link(victim.c_str(), lock.c_str()); },
       "its lock file Varnex.lock has other names (hard links)"},
      {"named pipe", [](const std::string& lock, const std::string&) { (void)::mkfifo(lock.c_str(), 0644); },
       "its lock file Varnex.lock is not a plain file"},
      {"folder", [](const std::string& lock, const std::string&) { std::filesystem::create_directory(lock); },
       "its lock file Varnex.lock is not a plain file"},
  };
  for (const Case& c : cases) {
    const std::string folder = FreshTestFolder("lock");
    const std::string victim = folder + "/precious.dat", lock = folder + "/" + FolderLockFileName;
    std::ofstream(victim) << "weeks of data\n";
    c.plant(lock, victim);
    FolderLock folderLock;
    std::string error;
    EXPECT_FALSE(folderLock.Acquire(folder, "Varnex", &error)) << c.name;
    EXPECT_EQ(error, "The folder " + folder + " cannot be used: " + c.why) << c.name;
    EXPECT_EQ(FileText(victim), "weeks of data\n") << c.name;
    EXPECT_FALSE(std::filesystem::exists(victim + ".new")) << c.name;
  }
}

// A lock file of another user's: the refusal names the user, and the program where the
// file can be read. Root runs the tests, so the second user is nobody, in a child.
TEST(FolderLock, AnotherUsersLockFileNamesTheUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as a second user (nobody)";
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) GTEST_SKIP() << "there is no user nobody";
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  const std::string me = std::to_string(::getpid());
  struct Case {
    bool held;
    mode_t mode;
    std::string error;  // after "The folder F "
  };
  const Case cases[] = {
      {true, 0644, "is in use by Varnex (pid " + me + ") of user root"},
      {true, 0600, "is in use by a program of user root"},
      {false, 0644, "cannot be used: its lock file Varnex.lock belongs to user root, last held by Varnex (pid 4242)"},
      {false, 0600, "cannot be used: its lock file Varnex.lock belongs to user root"},
  };
  for (const Case& c : cases) {
    const std::string folder = FreshTestFolder("lock");
    ::chmod(folder.c_str(), 0777);
    const std::string lock = folder + "/" + FolderLockFileName;
    FolderLock holder;
    std::string error;
    if (c.held)
      ASSERT_TRUE(holder.Acquire(folder, "Varnex", &error)) << error;
    else
      std::ofstream(lock) << "Varnex 4242\n";
    ::chmod(lock.c_str(), c.mode);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      std::string text = "could not become nobody";
      if (::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 && ::setresuid(uid, uid, uid) == 0) {
        FolderLock other;
        text = other.Acquire(folder, "varnex-logger", &text) ? "acquired" : text;
      }
      (void)!::write(pipeFds[1], text.data(), text.size());
      ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string got;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(got, "The folder " + folder + " " + c.error) << c.held << " " << std::oct << c.mode;
  }
}

TEST(FolderLock, HolderDescription) {
  const struct {
    const char* text;
    const char* holder;
  } cases[] = {{"Varnex 1234\n", "Varnex (pid 1234)"},
               {"varnex-logger 77", "varnex-logger (pid 77)"},
               {"", "another process"},
               {"Varnex\n", "another process"},
               {"Varnex -5\n", "another process"},
               {"\x01\x02 garbage", "another process"}};
  for (const auto& c : cases) EXPECT_EQ(DescribeLockHolder(c.text), c.holder) << c.text;
}

}  // namespace
