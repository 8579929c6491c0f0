#include "engine/path_rules.h"

#include <gtest/gtest.h>

namespace zek {
namespace {

constexpr PathSyntax W = PathSyntax::Windows;
constexpr PathSyntax P = PathSyntax::Posix;

TEST(PathRulesTest, DirectoryPartOnBothSyntaxes) {
  EXPECT_EQ(DirectoryPart("C:\\DATA\\*.*", W), "C:\\DATA");
  EXPECT_EQ(DirectoryPart("C:\\*.*", W), "C:\\");
  EXPECT_EQ(DirectoryPart("C:\\DATA\\", W), "C:\\DATA");
  EXPECT_EQ(DirectoryPart("C:\\DATA", W), "C:\\");
  EXPECT_EQ(DirectoryPart("D:*.*", W), "D:");
  EXPECT_EQ(DirectoryPart("*.*", W), "");
  EXPECT_EQ(DirectoryPart("/data/*.*", P), "/data");
  EXPECT_EQ(DirectoryPart("/*.*", P), "/");
  EXPECT_EQ(DirectoryPart("/data/", P), "/data");
  EXPECT_EQ(DirectoryPart("/data", P), "/");
  EXPECT_EQ(DirectoryPart("*.*", P), "");
  // On Linux ":" and "\" are ordinary name characters.
  EXPECT_EQ(DirectoryPart("/a:b\\c/x", P), "/a:b\\c");
}

TEST(PathRulesTest, NamePartIsCutTo255) {
  EXPECT_EQ(NamePart("C:\\DATA\\*.*", W), "*.*");
  EXPECT_EQ(NamePart("C:\\DATA\\", W), "");
  EXPECT_EQ(NamePart("C:\\DATA", W), "DATA");
  EXPECT_EQ(NamePart("D:x.txt", W), "x.txt");
  EXPECT_EQ(NamePart("/data/*.txt", P), "*.txt");
  EXPECT_EQ(NamePart("plain", P), "plain");
  EXPECT_EQ(NamePart("/d/" + std::string(300, 'n'), P).size(), 255u);
}

TEST(PathRulesTest, DoubledSeparatorsShrinkToOne) {
  EXPECT_EQ(RemoveDoubleBackslashes("C:\\DATA\\\\SUB\\\\\\A.TXT", W), "C:\\DATA\\SUB\\A.TXT");
  EXPECT_EQ(RemoveDoubleBackslashes("\\\\server\\x", W), "\\server\\x");
  EXPECT_EQ(RemoveDoubleBackslashes("//data///a//", P), "/data/a/");
  EXPECT_EQ(RemoveDoubleBackslashes("a\\\\b", P), "a\\\\b");
}

}  // namespace
}  // namespace zek
