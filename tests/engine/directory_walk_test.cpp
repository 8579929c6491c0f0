#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "engine/run_fixture.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

class DirectoryWalkTest : public RunFixture {
 protected:
  DirectoryWalkTest() {
    options().SetChecked(Option::FilesEqual, true);
    options().SetChecked(Option::ShowDir, true);
  }
  // The lines of the walk, without the run's frame and summary.
  Lines Walk(const std::string& mask = "*.*") {
    Lines lines = Compare(mask);
    const auto finished = std::find(lines.begin(), lines.end(), "finished.");
    return Lines(lines.begin() + 1, finished);
  }
  std::string Equal(const std::string& name) { return Pair(name) + " are equal."; }
  std::string Switch(const std::string& pattern) { return "Switching to directory " + tree.Path("src/" + pattern); }
};

TEST_F(DirectoryWalkTest, FilesComeBeforeSubdirectoriesAndTheMaskAppliesToFilesOnly) {
  tree.Write("src/a.txt", "1");
  tree.Write("tgt/a.txt", "1");
  tree.Write("src/b.doc", "1");
  tree.Write("src/sub.doc/c.TXT", "1");
  tree.Write("tgt/sub.doc/c.TXT", "1");
  EXPECT_EQ(Walk("*.txt"), (Lines{Switch("*.txt"), Equal("a.txt"), Switch("sub.doc/*.txt"), Equal("sub.doc/c.TXT")}));
  EXPECT_EQ(run.FilesTotal, 2);
}

TEST_F(DirectoryWalkTest, HiddenDirectoriesAreSkippedButHiddenFilesCompared) {
  tree.Write("src/.hidden", "1");
  tree.Write("tgt/.hidden", "1");
  tree.Write("src/.git/x", "1");
  EXPECT_EQ(Walk(), (Lines{Switch("*.*"), Equal(".hidden")}));
}

TEST_F(DirectoryWalkTest, WithoutSubdirectoriesOnlyTheStartDirectoryIsCompared) {
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "1");
  tree.Write("src/sub/b", "1");
  inputs.SubDirs = false;
  EXPECT_EQ(Walk(), (Lines{Switch("*.*"), Equal("a")}));
}

TEST_F(DirectoryWalkTest, SourceSubdirectoryMissingInTheTargetIsStillWalked) {
  tree.Write("src/only/a", "1");
  tree.MakeDir("tgt");
  EXPECT_EQ(Walk(), (Lines{Switch("*.*"), Switch("only/*.*"), "Target file not found: " + Tgt("only/a")}));
}

TEST_F(DirectoryWalkTest, EmptyMaskComparesNoFileButWalksTheTree) {
  tree.Write("src/a", "1");
  tree.Write("src/sub/b", "1");
  inputs.Source = tree.Path("src/");
  inputs.Target = tree.Path("tgt/");
  run.RunComparison();
  EXPECT_EQ(run.FilesTotal, 0);
  EXPECT_EQ(view.Lines[2], "Switching to directory " + tree.Path("src/sub/"));
}

TEST_F(DirectoryWalkTest, LinkLoopsEndAndEachFileIsComparedOncePerPath) {
  // Guards against a link to an ancestor recursing until the stack overflows.
  tree.Write("src/a/f", "1");
  tree.Write("tgt/a/f", "1");
  ASSERT_EQ(symlink("..", tree.Path("src/a/up").c_str()), 0);
  ASSERT_EQ(symlink(tree.Path("src").c_str(), tree.Path("src/a/root").c_str()), 0);
  ASSERT_EQ(symlink("self", tree.Path("src/self").c_str()), 0);
  ASSERT_EQ(symlink("a", tree.Path("src/alias").c_str()), 0);
  tree.Write("tgt/alias/f", "1");
  options().SetChecked(Option::ShowDir, false);
  const Lines lines = Walk();
  // "self" is a link to itself: no target to follow, a source that does not exist.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Source file not found: " + Src("self")), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Equal("a/f")), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Equal("alias/f")), 1);
  EXPECT_EQ(run.FilesTotal, 3);
}

TEST_F(DirectoryWalkTest, DanglingLinkIsASourceThatDoesNotExist) {
  tree.MakeDir("src");
  tree.MakeDir("tgt");
  ASSERT_EQ(symlink(tree.Path("nowhere").c_str(), Src("dangling").c_str()), 0);
  EXPECT_EQ(Walk(), (Lines{Switch("*.*"), "Source file not found: " + Src("dangling")}));
}

TEST_F(DirectoryWalkTest, CancelInTheFilePassVisitsNoFurtherSubdirectory) {
  for (const char* name : {"a", "b", "c", "sub/d"}) tree.Write(std::string("src/") + name, "1");
  tree.MakeDir("tgt");
  options().SetChecked(Option::ShowDir, false);
  view.OnLine = [&](const std::string& line) {
    if (line.rfind("Target file not found", 0) == 0) run.UserBreak = true;
  };
  EXPECT_EQ(Walk().size(), 1u);
  EXPECT_EQ(run.FilesTotal, 1);
}

}  // namespace
}  // namespace zek::test
