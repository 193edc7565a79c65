#pragma once
// An empty folder of the current test's own. Tests run side by side, and a
// program folder holds a settings file that names its serial device, so no two
// tests may share one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string FreshTestFolder(const std::string& prefix) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = test ? std::string(test->test_suite_name()) + "_" + test->name() : "none";
  const auto dir = std::filesystem::path(testing::TempDir()) / (prefix + "_" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

// A whole file's bytes; empty where it cannot be read.
inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
