#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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
