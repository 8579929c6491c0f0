// Trees of odd shape: link loops, FIFOs and device nodes, names that are not
// UTF-8 or hold special characters, and paths longer than the system allows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/line_escape.h"
#include "faults/fault_support.h"
#include "support/skip.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

class TreeShapeTest : public FaultTreeTest {
 protected:
  void Link(const std::string& target, const std::string& name) {
    ASSERT_EQ(symlink(target.c_str(), tree.Path(name).c_str()), 0) << name;
  }
};

TEST_F(TreeShapeTest, LinkLoopsEndAndEachFileIsComparedOncePerPathTheWalkAllows) {
  // Guards against a link cycle that the walk follows until the stack or the path length gives out.
  WriteBoth("f", "top");
  WriteBoth("a/f", "in a");
  WriteBoth("o/i/f", "inner");
  tree.Write("tgt/o/i/deep/f", "in a");
  Link("self", "src/self");  // a link to itself
  Link("c2", "src/c1");      // two links that point at each other
  Link("c1", "src/c2");
  Link("..", "src/a/up");           // a link to an ancestor
  Link("../..", "src/o/i/back");    // a cycle inside a cycle: to the top ...
  Link("..", "src/o/i/inner");      // ... and to the directory around it
  Link("../../a", "src/o/i/deep");  // a link to a sibling, walked as a path of its own
  Link(tree.Path("nowhere"), "src/dangling");
  Link("nowhere", "src/o/dangling");

  const ProcessResult r = Compare({"-o", "MsgEqual=1"});
  const Lines lines = LinesOf(r.Out);
  EXPECT_EQ(r.ExitCode, 3) << r.Out;  // the links that lead nowhere could not be compared
  for (const char* name : {"f", "a/f", "o/i/f", "o/i/deep/f"})
    EXPECT_EQ(Count(lines, Pair(name) + " are equal."), 1) << name;
  for (const char* name : {"self", "c1", "c2", "dangling", "o/dangling"})
    EXPECT_EQ(Count(lines, "Source file not found: " + Src(name)), 1) << name;
  EXPECT_EQ(Count(lines, "Files total: 9"), 1) << r.Out;
  // running..., four verdicts, five missing sources, finished., the count, what was not compared, the verdict.
  EXPECT_EQ(lines.size(), 14u) << r.Out;
}

TEST_F(TreeShapeTest, FifosAreNeverReadAndTheRunDoesNotHang) {
  // Guards against an open or a read that blocks on a FIFO, with or without a writer.
  tree.MakeDir("src");
  for (const char* name : {"idle.fifo", "fed.fifo"}) {
    ASSERT_EQ(mkfifo(Src(name).c_str(), 0644), 0);
    tree.Write(std::string("tgt/") + name, "");
  }
  ASSERT_EQ(mkfifo(Tgt("target.fifo").c_str(), 0644), 0);
  tree.Write("src/target.fifo", "");
  // This test holds the writing end of one FIFO, with data waiting in it.
  const int writer = open(Src("fed.fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  const std::string waiting(4096, 'w');
  ASSERT_EQ(write(writer, waiting.data(), waiting.size()), static_cast<ssize_t>(waiting.size()));
  for (const char* name : {"idle.fifo", "fed.fifo", "target.fifo"}) {
    tree.SetTime(std::string("src/") + name, kFixedTime);
    tree.SetTime(std::string("tgt/") + name, kFixedTime);
  }

  const ProcessResult r = Compare();
  std::string left(8192, '\0');
  const ssize_t unread = read(writer, left.data(), left.size());
  close(writer);
  EXPECT_EQ(r.ExitCode, 3) << "the run hung or failed: " << r.Err;
  const Lines lines = LinesOf(r.Out);
  EXPECT_EQ(Count(lines, "Could not open source file: " + Src("idle.fifo")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open source file: " + Src("fed.fifo")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open target file: " + Tgt("target.fifo")), 1) << r.Out;
  EXPECT_EQ(lines.back(), "No differences found");
  EXPECT_EQ(unread, static_cast<ssize_t>(waiting.size())) << "the run took data out of the FIFO";
}

TEST_F(TreeShapeTest, DeviceNodesLikeDevZeroAndDevNullAreNeverRead) {
  // Guards against an endless read of a /dev/zero-like node, or a /dev/null-like one taken for an empty file.
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make device nodes";
  tree.MakeDir("src");
  tree.MakeDir("tgt");
  ASSERT_EQ(mknod(Src("zero").c_str(), S_IFCHR | 0666, makedev(1, 5)), 0);
  ASSERT_EQ(mknod(Src("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mknod(Tgt("tzero").c_str(), S_IFCHR | 0666, makedev(1, 5)), 0);
  tree.Write("tgt/zero", std::string(100000, '\0'));
  tree.Write("tgt/null", "");
  tree.Write("src/tzero", std::string(100000, '\0'));
  for (const char* name : {"zero", "null", "tzero"}) {
    tree.SetTime(std::string("src/") + name, kFixedTime);
    tree.SetTime(std::string("tgt/") + name, kFixedTime);
  }
  const ProcessResult r = Compare();
  EXPECT_EQ(r.ExitCode, 3) << "the run hung or failed: " << r.Err;
  const Lines lines = LinesOf(r.Out);
  EXPECT_EQ(Count(lines, "Could not open source file: " + Src("zero")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open source file: " + Src("null")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open target file: " + Tgt("tzero")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Files total: 3"), 1) << r.Out;
}

TEST_F(TreeShapeTest, OddNamesAreComparedWithTheirNamesakesAndLoggedByteForByte) {
  // Guards against a name that is changed on its way to the target (decoded, escaped or read as a mask).
  const std::vector<std::string> names = {"caf\xe9.txt", "caf\xc3\xa9.txt", "\xff\xfe", "tab\there", "new\nline",
                                          "back\\slash", "co:lon", "st*ar", "que?stion", "st",
                                          "quex"};
  // Each pair has content of its own, so a file compared with a wrong namesake differs.
  for (const std::string& name : names) WriteBoth(name, "content of " + name);
  const std::string log = tree.Path("run.log");
  const ProcessResult r = Compare({"-o", "MsgEqual=1", "-o", "writelog=1", "-o", "logfilename=" + log});
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  const std::string logged = tree.Read("run.log");
  for (const std::string& name : names) {
    // As shown, with its control characters escaped.
    const std::string line = EscapeControls(Pair(name) + " are equal.");
    EXPECT_NE(r.Out.find(line + "\n"), std::string::npos) << name;
    EXPECT_NE(logged.find(line + "\r\n"), std::string::npos) << name;
  }
  EXPECT_NE(logged.find("\r\nFiles total: " + std::to_string(names.size()) + "\r\nNo differences found\r\n"),
            std::string::npos)
      << logged;
}

// A chain of directories with 255-byte names, each holding a file with a
// 255-byte name, deep enough that the paths pass the system's 4,096 bytes. It
// is built and removed relative to open directories, as no full path reaches
// its bottom.
class DeepChain {
 public:
  DeepChain(const std::string& top, int depth, std::time_t mtime, size_t nameLength = 255)
      : top_(top), depth_(depth), nameLength_(nameLength) {
    int dir = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 1; level <= depth && dir >= 0; ++level) {
      const int file = openat(dir, FileName(level).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      const std::string content = "level " + std::to_string(level);
      if (file < 0 || write(file, content.data(), content.size()) != static_cast<ssize_t>(content.size())) ok_ = false;
      const timespec times[2] = {{mtime, 0}, {mtime, 0}};
      if (file >= 0 && futimens(file, times) != 0) ok_ = false;
      if (file >= 0) close(file);
      if (mkdirat(dir, DirName(level).c_str(), 0755) != 0) ok_ = false;
      const int next = openat(dir, DirName(level).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      close(dir);
      dir = next;
    }
    if (dir < 0)
      ok_ = false;
    else
      close(dir);
  }
  ~DeepChain() { Remove(open(top_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), 1); }
  DeepChain(const DeepChain&) = delete;
  DeepChain& operator=(const DeepChain&) = delete;

  bool Ok() const { return ok_; }
  // nameLength bytes, or more where the level needs them: letters and the
  // level in at least two digits.
  std::string Name(char letter, int level) const {
    const std::string number = (level < 10 ? "0" : "") + std::to_string(level);
    return std::string(nameLength_ > number.size() ? nameLength_ - number.size() : 1, letter) + number;
  }
  std::string DirName(int level) const { return Name('d', level); }
  std::string FileName(int level) const { return Name('f', level); }
  // The full path of the file at this level.
  std::string File(int level) const {
    std::string path = top_;
    for (int i = 1; i < level; ++i) path += "/" + DirName(i);
    return path + "/" + FileName(level);
  }

 private:
  void Remove(int dir, int level) {
    if (dir < 0) return;
    if (level <= depth_) {
      Remove(openat(dir, DirName(level).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), level + 1);
      unlinkat(dir, DirName(level).c_str(), AT_REMOVEDIR);
      unlinkat(dir, FileName(level).c_str(), 0);
    }
    close(dir);
  }

  std::string top_;
  int depth_;
  size_t nameLength_;
  bool ok_ = true;
};

TEST_F(TreeShapeTest, PathsBeyondTheSystemLimitAreComparedOrReportedInFull) {
  // Guards against a file deep in the tree that is silently left out, or named by a cut path.
  constexpr int kDepth = 17;
  tree.MakeDir("src");
  tree.MakeDir("tgt");
  const DeepChain source(tree.Path("src"), kDepth, kFixedTime);
  const DeepChain target(tree.Path("tgt"), kDepth, kFixedTime);
  ASSERT_TRUE(source.Ok() && target.Ok()) << "the deep chains could not be built";
  ASSERT_GT(source.File(kDepth).size(), 4096u + 255u);

  const ProcessResult r = Compare({"-o", "MsgEqual=1"});
  EXPECT_NE(r.ExitCode, -1) << "the run hung";
  const Lines lines = LinesOf(r.Out);
  for (int level = 1; level <= kDepth; ++level) {
    const std::string file = source.File(level);
    const std::string equal = "File " + file + " and " + target.File(level) + " are equal.";
    const bool named = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line == equal ||
             (line.size() >= file.size() && line.compare(line.size() - file.size(), file.size(), file) == 0);
    });
    EXPECT_TRUE(named) << "level " << level << " (" << file.size() << " bytes) is neither compared nor reported";
  }
}

TEST_F(TreeShapeTest, ADeepChainIsWalkedInASmallStack) {
  // Guards against a walk that recurses once per level, so that a deep tree overflows the stack (SIGSEGV).
  ZEK_SKIP_UNDER_TSAN("its frames need more than the 256 KiB of stack that the case allows");
  constexpr int kDepth = 3000;
  tree.MakeDir("src");
  tree.MakeDir("tgt");
  const DeepChain source(tree.Path("src"), kDepth, kFixedTime, 1);
  const DeepChain target(tree.Path("tgt"), kDepth, kFixedTime, 1);
  ASSERT_TRUE(source.Ok() && target.Ok()) << "the deep chains could not be built";
  // 256 KiB of stack, which the recursion used up within some 600 levels.
  const ProcessResult r =
      RunProcess({"/bin/sh", "-c", "ulimit -s 256 && exec \"$0\" \"$@\"", ZEK32_BINARY, "--batch", Src("*.*"), Tgt("")},
                 {"XDG_CONFIG_HOME=" + tree.Path("config")}, kRunTimeoutSeconds);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "running...\nfinished.\nFiles total: " + std::to_string(kDepth) + "\nNo differences found\n");
}

TEST_F(TreeShapeTest, ReadAheadLeavesAFewDescriptorsToTheRun) {
  // Guards against read-ahead helpers taking the descriptors of a process held to few, so that the run's own
  // opens fail (I/O-Fehler 24) where the run alone would have finished.
  constexpr int kFiles = 300;
  for (int i = 0; i < kFiles; ++i) WriteBoth("f" + std::to_string(i), std::string(3000, static_cast<char>('a' + i % 26)));
  // Five free descriptors below the limit, whatever the run inherits: the held directory pair, the two files of a
  // pair and one to spare.
  const char* fiveFree =
      "n=3; free=0; while [ $free -lt 5 ]; do [ -L /proc/$$/fd/$n ] || free=$((free + 1)); n=$((n + 1)); done; "
      "ulimit -n $n && exec \"$0\" \"$@\"";
  const ProcessResult r = RunProcess({"/bin/sh", "-c", fiveFree, ZEK32_BINARY, "--batch", Src("*.*"), Tgt("")},
                                     {"XDG_CONFIG_HOME=" + tree.Path("config")}, kRunTimeoutSeconds);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "running...\nfinished.\nFiles total: " + std::to_string(kFiles) + "\nNo differences found\n");
}

TEST_F(TreeShapeTest, FifosAreNeverOpenedOnEitherSide) {
  // Guards against a FIFO opened by the pair comparison (releasing a writer that waits on it) when the look has
  // already shown that it is no regular file.
  tree.MakeDir("src");
  tree.MakeDir("tgt");
  const std::vector<std::string> fifos = {Src("alone.fifo"), Src("both.fifo"), Tgt("target.fifo")};
  for (const std::string& fifo : fifos) ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  tree.Write("tgt/both.fifo", "");
  tree.Write("src/target.fifo", "");
  for (const char* name : {"src/both.fifo", "tgt/both.fifo", "src/target.fifo", "tgt/target.fifo"})
    tree.SetTime(name, kFixedTime);
  // The kernel tells every open of a watched FIFO, also one that does not block.
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  for (const std::string& fifo : fifos) ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  auto opens = [&] {
    alignas(inotify_event) char events[4096];
    long count = 0;
    for (ssize_t got; (got = read(watch, events, sizeof events)) > 0;)
      for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(events + at)->len))
        ++count;
    return count;
  };

  const ProcessResult r = Compare();
  const long openedByTheRun = opens();
  const int probe = open(fifos[0].c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  close(probe);
  EXPECT_EQ(opens(), 1) << "the watch does not see opens, so the test shows nothing";
  close(watch);
  EXPECT_EQ(openedByTheRun, 0) << r.Out;
  const Lines lines = LinesOf(r.Out);
  EXPECT_EQ(Count(lines, "Could not open source file: " + Src("alone.fifo")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open source file: " + Src("both.fifo")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open target file: " + Tgt("target.fifo")), 1) << r.Out;
  EXPECT_EQ(r.ExitCode, 3) << r.Err;
}

}  // namespace
}  // namespace zek::test
