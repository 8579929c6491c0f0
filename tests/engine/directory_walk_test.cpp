#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "engine/run_fixture.h"
#include "platform/io_error.h"
#include "support/skip.h"

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
  EXPECT_EQ(run.Counts().FilesTotal, 2);
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
  EXPECT_EQ(run.Counts().FilesTotal, 0);
  EXPECT_EQ(view.Lines[2], "Switching to directory " + tree.Path("src/sub/"));
}

TEST_F(DirectoryWalkTest, LinkLoopsEndAndEachFileIsComparedOncePerPath) {
  // Guards against a link to an ancestor recursing until the stack overflows.
  ZEK_SKIP_ON_WINDOWS("symbolic links, which mingw's std::filesystem does not make");
  tree.Write("src/a/f", "1");
  tree.Write("tgt/a/f", "1");
  std::filesystem::create_symlink("..", tree.Path("src/a/up"));
  std::filesystem::create_symlink(tree.Path("src"), tree.Path("src/a/root"));
  std::filesystem::create_symlink("self", tree.Path("src/self"));
  std::filesystem::create_symlink("a", tree.Path("src/alias"));
  tree.Write("tgt/alias/f", "1");
  options().SetChecked(Option::ShowDir, false);
  const Lines lines = Walk();
  // "self" is a link to itself: no target to follow, a source that does not exist.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Source file not found: " + Src("self")), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Equal("a/f")), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Equal("alias/f")), 1);
  EXPECT_EQ(run.Counts().FilesTotal, 3);
}

TEST_F(DirectoryWalkTest, DanglingLinkIsASourceThatDoesNotExist) {
  ZEK_SKIP_ON_WINDOWS("symbolic links, which mingw's std::filesystem does not make");
  tree.MakeDir("src");
  tree.MakeDir("tgt");
  std::filesystem::create_symlink(tree.Path("nowhere"), Src("dangling"));
  EXPECT_EQ(Walk(), (Lines{Switch("*.*"), "Source file not found: " + Src("dangling")}));
}

TEST_F(DirectoryWalkTest, CancelInTheFilePassVisitsNoFurtherSubdirectory) {
  for (const char* name : {"a", "b", "c", "sub/d"}) tree.Write(std::string("src/") + name, "1");
  tree.MakeDir("tgt");
  options().SetChecked(Option::ShowDir, false);
  view.OnLine = [&](const std::string& line) {
    if (line.rfind("Target file not found", 0) == 0) run.Break();
  };
  EXPECT_EQ(Walk().size(), 1u);
  EXPECT_EQ(run.Counts().FilesTotal, 1);
}

// A back end on which one directory cannot be opened, for a reason of choice.
class RefusingFiles : public FileAccess {
 public:
  RefusingFiles(std::string path, int error) : path_(std::move(path)), error_(error) {}
  FileStatus HoldDirectory(const std::string& path, FileId* id) override {
    return path == path_ ? FileStatus::Failure(error_) : FileAccess::HoldDirectory(path, id);
  }

 private:
  std::string path_;
  int error_;
};

TEST_F(DirectoryWalkTest, SourceDirectoriesThatCannotBeOpenedAreReportedAndCounted) {
  // Guards against a source directory that cannot be listed being skipped without a line (a false all-clear),
  // and against a want of descriptors passing for a property of the tree.
  ZEK_SKIP_ON_WINDOWS("its back end gives POSIX error numbers");
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "1");
  tree.Write("src/locked/b", "1");
  tree.Write("src/later/c", "1");
  tree.Write("tgt/later/c", "1");
  const std::string notOpened = "Could not open source directory: " + Src("locked");
  {
    RefusingFiles refusing(Src("locked"), EACCES);
    ScopedFileAccess scoped(refusing);
    const Lines lines = Walk();
    const auto at = std::find(lines.begin(), lines.end(), Switch("locked/*.*"));
    ASSERT_NE(at, lines.end());
    ASSERT_NE(at + 1, lines.end());
    EXPECT_EQ(at[1], notOpened);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), Equal("later/c")), 1);
    EXPECT_EQ(run.Counts().DirectoriesNotCompared, 1);
    EXPECT_EQ(run.Counts().FilesNotCompared, 0);
    EXPECT_EQ(view.Lines.back(), "No differences found");  // the summary counts files, as before
    // The line follows the "Could not open source file" box; the count does not.
    options().SetChecked(Option::CouldNotOpenSource, false);
    const Lines quiet = Walk();
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), notOpened), 0);
    EXPECT_EQ(run.Counts().DirectoriesNotCompared, 1);
    options().SetChecked(Option::CouldNotOpenSource, true);
  }
  // A mistyped start directory is one that cannot be opened.
  inputs.Source = tree.Path("missing/*.*");
  run.RunComparison();
  EXPECT_EQ(view.Lines, (Lines{"running...", "Switching to directory " + tree.Path("missing/*.*"),
                               "Could not open source directory: " + tree.Path("missing"), "finished.",
                               "Files total: 0",
                               "Nothing compared: no file in " + tree.Path("missing") +
                                   " or its subdirectories matches the mask \"*.*\", 1 directory not listed",
                               "No differences found"}));
  EXPECT_EQ(run.Counts().DirectoriesNotCompared, 1);
  // Out of descriptors, the run ends as with a read error.
  RefusingFiles exhausted(Src("locked"), EMFILE);
  ScopedFileAccess scoped(exhausted);
  inputs.Source = Src("*.*");
  try {
    run.RunComparison();
    ADD_FAILURE() << "the run went on without descriptors";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode, EMFILE);
  }
  EXPECT_FALSE(run.Busy());
}

// Counts the ways back up that the walk takes from a subdirectory.
class CountingFiles : public FileAccess {
 public:
  int WaysUp = 0;
  FileStatus HoldParentDirectory(const std::string& child, const std::string& path, const FileId& id) override {
    ++WaysUp;
    return FileAccess::HoldParentDirectory(child, path, id);
  }
};

TEST_F(DirectoryWalkTest, DeepTreesWithSubdirectoriesLeftAtEveryLevelKeepTheOrderOfTheRecursion) {
  // Guards against a walk that, having let go of the directories of levels far up, looks names up in the wrong
  // directory or visits them out of order on its way back up.
  constexpr int kLevels = 24;
  // The deep branch is the one the search lists first, so that every level has a subdirectory left to visit.
  tree.MakeDir("probe/a");
  tree.MakeDir("probe/b");
  std::vector<std::string> order;
  FindRecord f;
  for (SearchStep r = Files().FindFirst(tree.Path("probe/*.*"), faDirectory, f); r.Found(); r = Files().FindNext(f))
    if (f.Name != "." && f.Name != "..") order.push_back(f.Name);
  Files().FindClose(f);
  ASSERT_EQ(order.size(), 2u);
  const std::string deep = order[0] + "/";
  const std::string leaf = order[1] + "/";
  Lines expected;
  std::string at;
  for (int level = 0; level < kLevels; ++level, at += deep) {
    for (const char* side : {"src/", "tgt/"}) {
      tree.Write(side + at + "f", "1");
      tree.Write(side + at + leaf + "f", "1");
    }
    expected.insert(expected.begin() + 2 * level, {Switch(at + "*.*"), Equal(at + "f")});
    expected.insert(expected.end() - 2 * level, {Switch(at + leaf + "*.*"), Equal(at + leaf + "f")});
  }
  CountingFiles counting;
  ScopedFileAccess scoped(counting);
  EXPECT_EQ(Walk(), expected);
  EXPECT_GT(counting.WaysUp, 0) << "no level let go of its directories, so the test shows nothing";
  EXPECT_EQ(run.Counts().FilesTotal, 2 * kLevels);
}

TEST_F(DirectoryWalkTest, ABareMaskMeansTheCurrentDirectoryOnEitherSide) {
  // Guards against an empty directory part that searches "/" instead of the current directory.
  ZEK_SKIP_ON_WINDOWS("paths written with \"/\" (WindowsPathsTest has their Windows forms)");
  tree.Write("a.txt", "1");
  tree.Write("backup/a.txt", "1");
  const std::string previous = Files().GetCurrentDir();
  ASSERT_TRUE(Files().SetCurrentDir(tree.Root()).Ok());
  inputs.SubDirs = false;
  inputs.Source = "*.txt";
  inputs.Target = "backup/";
  run.RunComparison();
  const Lines fromTop = view.Lines;
  ASSERT_TRUE(Files().SetCurrentDir(tree.Path("backup")).Ok());
  inputs.Source = "../*.txt";
  inputs.Target = "a.txt";  // no directory part: the current one
  run.RunComparison();
  const Lines fromBackup = view.Lines;
  (void)Files().SetCurrentDir(previous);
  EXPECT_EQ(fromTop, (Lines{"running...", "Switching to directory ./*.txt", "File ./a.txt and backup/a.txt are equal.",
                            "finished.", "Files total: 1", "No differences found"}));
  EXPECT_EQ(fromBackup[2], "File ../a.txt and ./a.txt are equal.");
}

}  // namespace
}  // namespace zek::test
