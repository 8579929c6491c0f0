// Files beyond 4 GiB and last-write times beyond the DOS range, on a tmpfs:
// it holds sparse files of any size without storage, and any time at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "faults/fault_support.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

constexpr long long kGiB = 1LL << 30;

class TmpfsTreeTest : public FaultTreeTest {
 protected:
  void SetUp() override {
    if (const std::string why = MountsUnavailable(); !why.empty()) GTEST_SKIP() << why;
    disk.emplace(tree.Path("disk"), "size=4m");
    base = "disk/";
  }
  // Sets the time and checks that the file system holds it as it is.
  void SetTimeHeld(const std::string& relative, std::time_t mtime) {
    tree.SetTime(relative, mtime);
    struct stat st {};
    ASSERT_EQ(stat(tree.Path(relative).c_str(), &st), 0);
    ASSERT_EQ(st.st_mtime, mtime) << "the file system cannot hold the time of " << relative;
  }
  std::optional<ScopedTmpfs> disk;
};

class HugeFileTest : public TmpfsTreeTest {
 protected:
  void HugePair(long long sourceSize, long long targetSize) {
    WriteSparse(tree, base + "src/huge", sourceSize);
    WriteSparse(tree, base + "tgt/huge", targetSize);
  }
};

TEST_F(HugeFileTest, FiveGibibytesOfEqualContentAreEqual) {
  // Guards against a size or position that wraps at 4 GiB and ends the comparison early or never.
  HugePair(5 * kGiB, 5 * kGiB);
  const ProcessResult r = Compare({"-o", "MsgEqual=1"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(LinesOf(r.Out),
            (Lines{"running...", Pair("huge") + " are equal.", "finished.", "Files total: 1", "No differences found"}));
}

TEST_F(HugeFileTest, ADifferenceAtFourGibibytesAndFiveIsFoundAtItsPosition) {
  // Guards against a byte position kept in 32 bits, which would name 5 instead of 100000005.
  HugePair(5 * kGiB, 5 * kGiB);
  const int fd = open(Tgt("huge").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  // Byte 4 GiB + 5, counted from 1.
  ASSERT_EQ(pwrite(fd, "x", 1, 4 * kGiB + 4), 1);
  close(fd);
  tree.SetTime(base + "tgt/huge", kFixedTime);
  const ProcessResult r = Compare({"-o", "MsgDifferAt=1"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(LinesOf(r.Out),
            (Lines{"running...", Pair("huge") + " differ at position 100000005 (hex)", Pair("huge") + " do not match.",
                   "finished.", "Files total: 1", "Files with differences: 1", "Differences found."}));
}

TEST_F(HugeFileTest, SizesThatDifferByExactlyFourGibibytesDiffer) {
  // Guards against sizes compared in their low 32 bits, which are equal here.
  HugePair(5 * kGiB + 7, kGiB + 7);
  const ProcessResult r = Compare();
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(LinesOf(r.Out),
            (Lines{"running...", Pair("huge") + " have different size.", Pair("huge") + " do not match.", "finished.",
                   "Files total: 1", "Files with differences: 1", "Differences found."}));
}

// Two files of equal content whose last-write times are set apart.
struct TimePair {
  const char* Name;
  std::time_t Source;
  std::time_t Target;
};

class FileTimeTest : public TmpfsTreeTest {
 protected:
  // Writes each pair, compares under TZ, and returns the names found different.
  std::vector<std::string> DifferentUnder(const std::string& tz, const std::vector<TimePair>& pairs) {
    for (const TimePair& pair : pairs) {
      WriteBoth(pair.Name, "same");
      SetTimeHeld(base + "src/" + pair.Name, pair.Source);
      SetTimeHeld(base + "tgt/" + pair.Name, pair.Target);
    }
    const ProcessResult r = Compare({"-o", "MsgEqual=1"}, {"TZ=" + tz});
    const Lines lines = LinesOf(r.Out);
    std::vector<std::string> different;
    for (const TimePair& pair : pairs) {
      const bool timeDiffers = Count(lines, Pair(pair.Name) + " have different file time.") == 1;
      const bool equal = Count(lines, Pair(pair.Name) + " are equal.") == 1;
      EXPECT_NE(timeDiffers, equal) << pair.Name << " under TZ=" << tz << ":\n"
                                    << r.Out;
      if (timeDiffers) different.push_back(pair.Name);
    }
    EXPECT_EQ(r.ExitCode, different.empty() ? 0 : 1) << r.Err;
    return different;
  }
};

// 1975-01-01, 1970-01-01 and 2108-01-01, 2200-01-01 00:00:00 UTC.
constexpr std::time_t k1975 = 157766400;
constexpr std::time_t k2108 = 4354819200;
constexpr std::time_t k2200 = 7258118400;

TEST_F(FileTimeTest, TimesOutsideTheDosRangeAreComparedInTwoSecondStepsOfLocalTime) {
  // Guards against times before 1980 or after 2107 clamped to one value, and against negative times split wrongly.
  const std::vector<TimePair> pairs = {
      {"odd-second-same-step", 1700000000, 1700000001},
      {"odd-second-next-step", 1700000001, 1700000002},
      {"before-1980-apart", 0, k1975},
      {"before-1980-same", k1975, k1975 + 1},
      {"negative-same-step", -2, -1},
      {"negative-next-step", -3, -2},
      {"negative-apart", -86400LL * 365 * 30, -86400LL * 365 * 40},
      {"after-2107-apart", k2108, k2200},
      {"after-2107-same-step", k2200, k2200 + 1},
  };
  const std::vector<std::string> expected = {"odd-second-next-step", "before-1980-apart", "negative-next-step",
                                             "negative-apart", "after-2107-apart"};
  EXPECT_EQ(DifferentUnder("UTC0", pairs), expected);
  // Whole-hour zones move both times alike.
  EXPECT_EQ(DifferentUnder("EST5", pairs), expected);
}

TEST_F(FileTimeTest, AZoneOffsetOfOddSecondsMovesTheStepBoundaries) {
  // Guards against two-second steps taken from UTC instead of local time.
  const std::vector<TimePair> pairs = {{"even-odd", 1700000000, 1700000001}, {"odd-even", 1700000001, 1700000002}};
  EXPECT_EQ(DifferentUnder("UTC0", pairs), std::vector<std::string>{"odd-even"});
  // Local time runs one second ahead of UTC here.
  EXPECT_EQ(DifferentUnder("ODD-0:00:01", pairs), std::vector<std::string>{"even-odd"});
}

}  // namespace
}  // namespace zek::test
