#pragma once
// The settings file functions against files of a temporary tree; every read
// is checked against a load's reading of the same file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/profile.h"
#include "support/scoped_env.h"
#include "support/test_tree.h"

namespace zek {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempTree;

class ProfileTest : public ::testing::Test {
 protected:
  std::string Get(const char* section, const char* key, const char* dflt = "?", const std::string& file = "") {
    char buffer[64];
    const uint32_t count =
        GetPrivateProfileStringA(section, key, dflt, buffer, sizeof buffer, (file.empty() ? ini_ : file).c_str());
    // A load's reading of the file answers alike.
    char loaded[64];
    const uint32_t loadedCount =
        TProfileSnapshot(file.empty() ? ini_ : file).GetString(section, key, dflt, loaded, sizeof loaded);
    EXPECT_EQ(std::string(loaded, loadedCount), std::string(buffer, count)) << (key != nullptr ? key : "null");
    return std::string(buffer, count);
  }
  bool Put(const char* section, const char* key, const char* value, const std::string& file = "") {
    return WritePrivateProfileStringA(section, key, value, (file.empty() ? ini_ : file).c_str());
  }
  struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
  }
  size_t EntryCount(const std::string& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  TempTree tree_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", tree_.Path("config").c_str()};
  std::string ini_ = tree_.Path("a.ini");
};

}  // namespace zek
