// A target on a mount that stops answering, as a hung NFS or SMB server does:
// the suite's FUSE file system holds every open of chosen files.
#include <unistd.h>

#include <string>
#include <vector>

#include "faults/fault_support.h"

namespace zek::test {
namespace {

// zek32 with these arguments while tgt/ is the stalling mount serving `served`;
// the stalls are let go afterwards, so that the file system can stop.
ProcessResult RunOnStalledMount(const TempTree& tree, const std::vector<ServedFile>& served,
                                const std::vector<std::string>& args) {
  FaultFs fs(tree.Path("tgt"), tree.Path("marker"), kFixedTime, served);
  ProcessResult r = RunZek(tree, args);
  tree.Write("marker.go", "");
  return r;
}

TEST(StalledMountTest, AHelperHeldByAStalledOpenNeverHoldsTheVerdict) {
  // Guards against a run held without its verdict, or its exit, by a read-ahead helper stuck in an open that never ends.
  if (const std::string why = FuseUnavailable(); !why.empty()) GTEST_SKIP() << why;
  TempTree tree;
  const std::string marker = tree.Path("marker");
  std::vector<ServedFile> served;
  // The equal big pairs keep the run busy while the helpers run ahead to the
  // dangling links, whose target namesakes the run itself never looks at.
  for (int i = 0; i < 3; ++i) {
    WriteSparse(tree, "src/big" + std::to_string(i), 64ll << 20);
    served.push_back({"big" + std::to_string(i), 64ll << 20});
  }
  tree.MakeDir("src");
  for (int i = 0; i < 20; ++i) {
    const std::string name = "gone" + std::to_string(i);
    ASSERT_EQ(symlink("nowhere", tree.Path("src/" + name).c_str()), 0);
    served.push_back({name, 1, -1, false, true});
  }
  const ProcessResult r = RunOnStalledMount(tree, served, {"--batch", tree.Path("src"), tree.Path("tgt")});
  // Helpers that kept away from the mount: one held there could never be
  // ended, and would keep the process from exiting.
  EXPECT_EQ(ReadMarker(marker), "") << "a helper opened a file on the stalled mount";
  EXPECT_EQ(r.ExitCode, 3) << r.Err;  // the dangling links could not be compared
  ASSERT_FALSE(r.Out.empty());
  EXPECT_EQ(LinesOf(r.Out).back(), "No differences found");
}

TEST(StalledMountTest, ARunThatReadsNoByteNeverWaitsOnAStalledRead) {
  // Guards against a time-and-size check held in its own open by pages that a helper asked for under a stalled read.
  if (const std::string why = FuseUnavailable(); !why.empty()) GTEST_SKIP() << why;
  TempTree tree;
  const std::string marker = tree.Path("marker");
  std::vector<ServedFile> served;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "file" + std::to_string(i);
    WriteSparse(tree, "src/" + name, 1 << 20);
    served.push_back({name, 1 << 20, -1, false, false, true});
  }
  const ProcessResult r =
      RunOnStalledMount(tree, served, {"--batch", "-o", "CompareOnlyTimeDateSize=1", tree.Path("src"), tree.Path("tgt")});
  EXPECT_EQ(ReadMarker(marker), "") << "a read of the stalled mount was asked for";
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_FALSE(r.Out.empty());
  EXPECT_EQ(LinesOf(r.Out).back(), "No differences found");
}

}  // namespace
}  // namespace zek::test
