// Files the user may not read, and files that another program removes, shrinks
// or grows while the run looks at them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ostream>
#include <thread>
#include <string>
#include <vector>

#include "faults/fault_support.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

class PermissionAndRaceTest : public FaultTreeTest {};

TEST_F(PermissionAndRaceTest, UnreadableFilesAndDirectoriesOnEitherSideAreReportedAndTheRunGoesOn) {
  // Guards against a permission error that ends the run or silently drops a file.
  if (const std::string why = UnprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
  WriteBoth("a.txt", "alpha");
  WriteBoth("secret.txt", "secret");
  WriteBoth("guarded.txt", "guarded");
  WriteBoth("locked/x.txt", "x");
  WriteBoth("closed/y.txt", "y");
  WriteBoth("z.txt", "zeta");
  for (const std::string& path : {Src("secret.txt"), Tgt("guarded.txt"), Src("locked"), Tgt("closed")})
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
  for (const std::string& path : {Src("secret.txt"), Tgt("guarded.txt"), Src("locked"), Tgt("closed/y.txt")})
    ASSERT_EQ(RunUnprivileged(tree, {"/usr/bin/test", "-r", path}).ExitCode, 1)
        << path << " is readable for the unprivileged user";

  const ProcessResult r =
      RunZekUnprivileged(tree, {"--batch", "-o", "MsgEqual=1", "-o", "MsgSwitchDir=1", Src("*.*"), Tgt("")});
  const Lines lines = LinesOf(r.Out);
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_EQ(Count(lines, "Could not open source file: " + Src("secret.txt")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open target file: " + Tgt("guarded.txt")), 1) << r.Out;
  // The walk cannot list a directory it may not read; it names it and goes on.
  EXPECT_EQ(Count(lines, "Switching to directory " + Src("locked/*.*")), 1) << r.Out;
  // A target behind a closed directory cannot be reached: it is not found.
  EXPECT_EQ(Count(lines, "Target file not found: " + Tgt("closed/y.txt")), 1) << r.Out;
  EXPECT_EQ(Count(lines, Pair("a.txt") + " are equal."), 1) << r.Out;
  EXPECT_EQ(Count(lines, Pair("z.txt") + " are equal."), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Files total: 5"), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Target files not found: 1"), 1) << r.Out;
  EXPECT_EQ(lines.back(), "Differences found.");
}

TEST_F(PermissionAndRaceTest, EveryEntryOfADirectoryThatCanBeReadButNotSearchedIsAccountedFor) {
  // Guards against entries that the search lists but cannot look at being dropped: no line, no count, exit 0.
  if (const std::string why = UnprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
  WriteBoth("a.txt", "alpha");
  WriteBoth("listed/f.txt", "f");
  WriteBoth("listed/sub/g.txt", "g");
  WriteBoth("locked/h.txt", "h");
  ASSERT_EQ(chmod(Src("listed").c_str(), 0444), 0);  // may read, may not search
  ASSERT_EQ(chmod(Src("locked").c_str(), 0), 0);
  const ProcessResult r = RunZekUnprivileged(tree, {"--batch", Src("*.*"), Tgt("")});
  const Lines lines = LinesOf(r.Out);
  EXPECT_EQ(Count(lines, "Source file not found: " + Src("listed/f.txt")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open source directory: " + Src("listed/sub")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Could not open source directory: " + Src("locked")), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Files total: 2"), 1) << r.Out;
  EXPECT_EQ(lines.back(), "No differences found");
  EXPECT_EQ(r.ExitCode, 3) << r.Err;
  EXPECT_EQ(r.Err, "Not compared: 1 file, 2 directories\n");
}

TEST_F(PermissionAndRaceTest, SourceThatVanishesAfterTheWalkListedItIsNotFound) {
  // Guards against a source file removed after the directory search that crashes the pair or counts a difference.
  WriteBoth("gone.txt", "gone");
  WriteBoth("stays.txt", "stays");
  const std::string marker = tree.Path("shim.marker");
  std::vector<std::string> env = ShimEnv(marker);
  env.push_back("ZEK_SHIM_VANISH=" + Src("gone.txt"));
  const ProcessResult r = Compare({"-o", "MsgEqual=1"}, env);
  EXPECT_EQ(ReadMarker(marker), "vanish " + Src("gone.txt") + "\n") << "the file never vanished";
  const Lines lines = LinesOf(r.Out);
  EXPECT_EQ(r.ExitCode, 3);  // compared all it could, but not everything
  EXPECT_EQ(Count(lines, "Source file not found: " + Src("gone.txt")), 1) << r.Out;
  EXPECT_EQ(Count(lines, Pair("stays.txt") + " are equal."), 1) << r.Out;
  EXPECT_EQ(Count(lines, "Files total: 2"), 1) << r.Out;
  EXPECT_EQ(lines.back(), "No differences found");
}

TEST_F(PermissionAndRaceTest, AFifoPutInAListedFilesPlaceNeverReleasesItsWriter) {
  // Guards against read-ahead helpers that open a listed file without looking first and so wake a FIFO's writer.
  WriteBoth("b.bin", std::string(32 << 20, 'b'));  // keeps the run going while the helpers open the file
  // The helpers pass over a file that the run has reached before them, which
  // the order of the directory decides: a few names are tried.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string name = "a" + std::to_string(attempt) + ".txt";
    WriteBoth(name, "alpha");
    const std::string fifo = tree.Path("waiting" + std::to_string(attempt) + ".fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    // The writer blocks in its open until a reader opens the FIFO.
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      const int fd = open(fifo.c_str(), O_WRONLY);
      _exit(fd >= 0 && write(fd, "w", 1) == 1 ? 0 : 1);
    }
    const std::string marker = tree.Path("shim" + std::to_string(attempt) + ".marker");
    std::vector<std::string> env = ShimEnv(marker);
    env.insert(env.end(), {"ZEK_SHIM_FIFO=" + Tgt(name), "ZEK_SHIM_FIFO_FROM=" + fifo});
    const ProcessResult r = Compare({}, env);
    // A released writer ends at once, by its write or by SIGPIPE.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    const pid_t ended = waitpid(writer, &status, WNOHANG);
    if (ended == 0) {
      kill(writer, SIGKILL);
      waitpid(writer, &status, 0);
    }
    EXPECT_GE(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ended, 0) << "the FIFO's writer was released";
    if (ReadMarker(marker) == "fifo " + Tgt(name) + "\n") return;
  }
  GTEST_SKIP() << "no read-ahead helper opened the file: they run only on local disks";
}

struct Resize {
  const char* Name;
  const char* Side;  // "src" or "tgt"
  long long NewSize;
};
void PrintTo(const Resize& resize, std::ostream* out) { *out << resize.Side << " to " << resize.NewSize << " bytes"; }

class FileChangingDuringTheComparison : public FaultTreeTest, public ::testing::WithParamInterface<Resize> {};

TEST_P(FileChangingDuringTheComparison, IsADifference) {
  // Guards against a file that changes size while it is read being called equal, or hanging the run.
  const Resize& resize = GetParam();
  WriteBoth("data.bin", std::string(100000, 'd'));
  const std::string changing = tree.Path(std::string(resize.Side) + "/data.bin");
  const std::string marker = tree.Path("shim.marker");
  std::vector<std::string> env = ShimEnv(marker);
  env.insert(env.end(), {"ZEK_SHIM_RESIZE=" + changing, "ZEK_SHIM_RESIZE_TO=" + std::to_string(resize.NewSize)});
  const ProcessResult r = Compare({}, env);
  EXPECT_EQ(ReadMarker(marker), "resize " + changing + "\n") << "the file never changed";
  EXPECT_EQ(r.ExitCode, 1) << r.Out;
  EXPECT_EQ(Count(LinesOf(r.Out), Pair("data.bin") + " do not match."), 1) << r.Out;
}

INSTANTIATE_TEST_SUITE_P(ShrinkOrGrow, FileChangingDuringTheComparison,
                         ::testing::Values(Resize{"SourceShrinksBehindTheReader", "src", 10000},
                                           Resize{"SourceShrinksAheadOfTheReader", "src", 50000},
                                           Resize{"TargetShrinksToNothing", "tgt", 0},
                                           Resize{"SourceGrows", "src", 150000}, Resize{"TargetGrows", "tgt", 100001}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace zek::test
