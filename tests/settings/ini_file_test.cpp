#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "support/scoped_env.h"
#include "support/skip.h"
#include "support/test_tree.h"

namespace zek {
namespace {

using test::ScopedEnv;
using test::TempTree;

class IniFileTest : public ::testing::Test {
 protected:
  TempTree tree_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", tree_.Path("config").c_str()};
  TIniFile ini_{tree_.Path("a.ini")};
};

TEST_F(IniFileTest, ReadsTextIntegersAndBooleans) {
  const std::pair<const char*, int> integers[] = {
      {"0x200", 512}, {"0Xff", 255}, {"$1F", 31}, {"-$10", -16}, {"$FFFFFFFF", -1}, {" -5", -5}, {"+8", 8}, {"2147483647", 2147483647}, {"12abc", 7}, {"", 7}, {"2147483648", 7}, {"-2147483648", INT32_MIN}, {"0x", 7}, {"$", 7}, {"$100000000", 7}, {"1.5", 7}, {"--1", 7}};
  std::string file = "[S]\nlong=" + std::string(1500, 'p') + "\nword=yes\n";
  for (size_t i = 0; i < std::size(integers); ++i) file += "i" + std::to_string(i) + "=" + integers[i].first + "\n";
  tree_.Write("a.ini", file);
  for (size_t i = 0; i < std::size(integers); ++i)
    EXPECT_EQ(ini_.ReadInteger("S", "i" + std::to_string(i), 7), integers[i].second) << integers[i].first;
  EXPECT_EQ(ini_.ReadInteger("S", "missing", -3), -3);

  EXPECT_EQ(ini_.ReadString("S", "long", ""), std::string(1023, 'p'));
  EXPECT_EQ(ini_.ReadString("S", "missing", "dflt"), "dflt");
  for (const bool dflt : {false, true}) {
    EXPECT_TRUE(ini_.ReadBool("S", "i4", dflt));      // $FFFFFFFF
    EXPECT_EQ(ini_.ReadBool("S", "i9", dflt), dflt);  // empty
    EXPECT_EQ(ini_.ReadBool("S", "word", dflt), dflt);
    EXPECT_EQ(ini_.ReadBool("S", "missing", dflt), dflt);
  }
}

TEST_F(IniFileTest, ReadsOfOneLoadShareOneReadingOfTheFile) {
  // Fault: every key read the whole file again (a 1 GiB file 23 times a load).
  ZEK_SKIP_ON_WINDOWS("Windows' INI functions read the file anew for every key, and write CR LF");
  tree_.Write("a.ini", "[S]\nk=1\n");
  EXPECT_EQ(ini_.ReadInteger("S", "k", 0), 1);
  tree_.Write("a.ini", "[S]\nk=2\nj=3\n");
  EXPECT_EQ(ini_.ReadInteger("S", "k", 0), 1);
  EXPECT_EQ(ini_.ReadInteger("S", "j", 0), 0);
  // A write goes to the file at once, and the next read reads it again.
  ini_.WriteInteger("S", "k", -2147483647 - 1);
  EXPECT_EQ(ini_.ReadInteger("S", "j", 0), 3);
  ini_.WriteBool("S", "yes", true);
  ini_.WriteString("S", "text", "C:\\DATA\\*.*");
  EXPECT_EQ(tree_.Read("a.ini"), "[S]\nk=-2147483648\nj=3\nyes=1\ntext=C:\\DATA\\*.*\n");
}

TEST_F(IniFileTest, FailedWriteRaisesWithTheNameAsPassed) {
  ZEK_SKIP_ON_WINDOWS("mode bits, and a bare zek32.ini, which names the Windows directory there");
  tree_.Write("config/zek32.ini", "[S]\nk=1\n");
  ASSERT_EQ(chmod(tree_.Path("config/zek32.ini").c_str(), 0444), 0);
  for (const std::string& name : {tree_.Path("config/zek32.ini"), std::string("zek32.ini")}) {
    try {
      TIniFile(name).WriteInteger("S", "k", 2);
      ADD_FAILURE() << "no error raised for " << name;
    } catch (const EIniWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Kann nicht nach " + name + " schreiben");
    }
  }
  EXPECT_EQ(tree_.Read("config/zek32.ini"), "[S]\nk=1\n");
}

}  // namespace
}  // namespace zek
