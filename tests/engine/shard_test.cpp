#include <gtest/gtest.h>

#include "engine/path_rules.h"
#include "engine/shard.h"

namespace zek::test {
namespace {

TEST(ShardTest, TheHashIsFnv1aOfThePathBytesAndKOfNParses) {
  // Guards against a shard rule that changes between builds or machines, which would split one run unevenly or twice.
  EXPECT_EQ(ShardHash(""), 14695981039346656037ULL);
  EXPECT_EQ(ShardHash("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(ShardHash(std::string("sub") + PathDelimiter() + "a.txt"), ShardHash("sub/a.txt"));
  int inFirst = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::string path = "d/f" + std::to_string(i);
    int shards = 0;
    for (uint32_t k = 1; k <= 3; ++k) shards += InShard(path, {k, 3}) ? 1 : 0;
    EXPECT_EQ(shards, 1) << path;
    inFirst += InShard(path, {1, 3}) ? 1 : 0;
  }
  EXPECT_GT(inFirst, 250);
  EXPECT_LT(inFirst, 420);
  ASSERT_TRUE(ParseShard("2/4"));
  EXPECT_EQ(ParseShard("2/4")->K, 2u);
  for (const char* bad : {"0/4", "5/4", "2", "/4", "2/", "a/4", "2/4x", "-1/4", ""}) EXPECT_FALSE(ParseShard(bad)) << bad;
  // Relative paths as the shards hash them.
  EXPECT_EQ(RelativePath("/data", "/data//sub/a.txt", PathSyntax::Posix), "sub/a.txt");
  EXPECT_EQ(RelativePath("/", "//a.txt", PathSyntax::Posix), "a.txt");
  EXPECT_EQ(RelativePath(".", "./a.txt", PathSyntax::Posix), "a.txt");
  EXPECT_EQ(RelativePath("C:\\", "C:\\x\\a.txt", PathSyntax::Windows), "x\\a.txt");
}

}  // namespace
}  // namespace zek::test
