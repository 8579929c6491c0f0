// The run's walk and the read-ahead's walk take up the same files in the same order.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/run_fixture.h"
#include "platform/file_access.h"
#include "platform/read_ahead.h"

namespace zek::test {
namespace {

// Records the source files that the run looks at, in its order.
class SourceLooks : public FileAccess {
 public:
  explicit SourceLooks(std::string root) : root_(std::move(root)) {}
  FileLook LookAndOpen(const std::string& path, KnownAs known) override {
    if (path.rfind(root_, 0) == 0) Paths.push_back(path);
    return FileAccess::LookAndOpen(path, known);
  }
  std::vector<std::string> Paths;

 private:
  std::string root_;
};

using WalkOrderTest = RunFixture;

TEST_F(WalkOrderTest, RunAndReadAheadVisitTheSameFilesInTheSameOrder) {
  // Guards against a read-ahead whose own entry rules drift from the run's walk and fetch files the run never reads.
  for (const char* name : {"a.txt", "b.dat", ".h.txt", "sub/c.txt", "sub/deep/e.txt", "sub/f.dat", ".hid/d.txt",
                           "x/.g.txt", "x/y/h.txt"})
    tree.Write(std::string("src/") + name, name);
  tree.MakeDir("tgt");
  namespace fs = std::filesystem;
  fs::create_directory_symlink(Src("sub"), Src("linked"));
  fs::create_directory_symlink(Src(""), Src("x/up"));  // back into the walk: not entered
  fs::create_directory_symlink(Src(".hid"), Src("shown"));
  fs::create_symlink(Src("a.txt"), Src("l.txt"));
  fs::create_symlink(Src("missing"), Src("dangling.txt"));

  SourceLooks looks(tree.Path("src"));
  {
    ScopedFileAccess scoped(looks);
    Compare("*.txt");
  }
  std::vector<std::string> fetched;
  const std::atomic<bool> stop = false;
  WalkPairs({tree.Path("src"), "*.txt", tree.Path("tgt")}, stop, [&](const std::string& source, const std::string&) {
    fetched.push_back(source);
    return true;
  });
  EXPECT_EQ(fetched, looks.Paths);
  // The tree exercises the rules: a hidden directory, and one reached through a link.
  const auto has = [&](const std::string& path) { return std::find(fetched.begin(), fetched.end(), path) != fetched.end(); };
  EXPECT_FALSE(has(Src(".hid/d.txt")));
  EXPECT_TRUE(has(Src("linked/c.txt")));
  EXPECT_TRUE(has(Src("shown/d.txt")));
}

}  // namespace
}  // namespace zek::test
