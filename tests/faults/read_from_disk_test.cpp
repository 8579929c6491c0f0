// Reading the target from the device (--from-disk, the settings key
// ReadFromDisk) rather than from the page cache.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <linux/magic.h>

#include <optional>
#include <string>
#include <vector>

#include "faults/fault_support.h"

namespace zek::test {
namespace {

// Bytes the waited-for children have read from storage so far.
long long ChildDeviceReads() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<long long>(usage.ru_inblock) * 512;
}

void ReadWhole(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  char buffer[65536];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
  close(fd);
}

using ReadFromDiskTest = FaultTreeTest;

TEST_F(ReadFromDiskTest, ATargetWhoseDiskNoLongerHoldsItsCachedBytesDiffersOnlyWhenReadFromDisk) {
  // Guards against --from-disk or ReadFromDisk=1 comparing the cached pages of a target instead of what its disk holds.
  if (const std::string why = FuseUnavailable(); !why.empty()) GTEST_SKIP() << why;
  constexpr long long kSize = 100000;
  const std::string marker = tree.Path("fault.marker");
  tree.Write("src/copy.bin", std::string(kSize, '\0'));
  std::optional<FaultFs> fs(std::in_place, tree.Path("tgt"), marker, kFixedTime,
                            std::vector<ServedFile>{{"copy.bin", kSize, -1, true}});
  // The copy as just written: its pages in the cache, zeros like the source.
  ReadWhole(Tgt("copy.bin"));
  ASSERT_EQ(ReadMarker(marker), "") << "the first read must come from the disk";

  const ProcessResult plain = Compare({"-o", "MsgEqual=1"});
  EXPECT_EQ(plain.ExitCode, 0) << plain.Err;
  EXPECT_EQ(Count(LinesOf(plain.Out), Pair("copy.bin") + " are equal."), 1) << plain.Out;
  EXPECT_EQ(ReadMarker(marker), "") << "the plain run read past the cache";

  const ProcessResult fromDisk = Compare({"--from-disk", "-o", "MsgEqual=1"});
  EXPECT_EQ(fromDisk.ExitCode, 1) << fromDisk.Err;
  EXPECT_EQ(Count(LinesOf(fromDisk.Out), Pair("copy.bin") + " do not match."), 1) << fromDisk.Out;
  EXPECT_NE(ReadMarker(marker).find("DECAYED copy.bin 0\n"), std::string::npos) << "the disk was never read";

  // The settings file's key does the same; the pages it drops are those that
  // the run before read from the disk, so only a new read sees them decayed.
  tree.Write("config/zek32.ini", "[Options]\r\nReadFromDisk=1\r\n");
  ReadWhole(Tgt("copy.bin"));
  const size_t decayedBefore = ReadMarker(marker).size();
  const ProcessResult keyed = Compare({"-o", "MsgEqual=1"});
  EXPECT_EQ(keyed.ExitCode, 1) << keyed.Err;
  EXPECT_EQ(Count(LinesOf(keyed.Out), Pair("copy.bin") + " do not match."), 1) << keyed.Out;
  EXPECT_GT(ReadMarker(marker).size(), decayedBefore) << "the key did not make the run read the disk";
}

TEST_F(ReadFromDiskTest, ATargetJustWrittenIsReadFromTheDevice) {
  // Guards against --from-disk leaving a target's cached or dirty pages in place, so that the device is never read.
  struct statfs st {};
  ASSERT_EQ(statfs(tree.Root().c_str(), &st), 0);
  if (st.f_type == TMPFS_MAGIC || st.f_type == RAMFS_MAGIC)
    GTEST_SKIP() << "the temporary directory is in memory: there is no device to read";
  constexpr size_t kSize = 4 << 20;
  std::string content(kSize, '\0');
  for (size_t i = 0; i < kSize; ++i) content[i] = static_cast<char>(i * 7 % 251);
  WriteBoth("big.bin", content);  // both still dirty in the cache

  long long before = ChildDeviceReads();
  const ProcessResult plain = Compare();
  EXPECT_EQ(plain.ExitCode, 0) << plain.Err;
  EXPECT_LT(ChildDeviceReads() - before, static_cast<long long>(kSize / 2)) << "the plain run should read the cache";

  before = ChildDeviceReads();
  const ProcessResult fromDisk = Compare({"--from-disk"});
  EXPECT_EQ(fromDisk.ExitCode, 0) << fromDisk.Err << fromDisk.Out;
  EXPECT_GE(ChildDeviceReads() - before, static_cast<long long>(kSize)) << "the target did not come from the device";
}

}  // namespace
}  // namespace zek::test
