// Real read errors: files of the suite's FUSE file system with a damaged page,
// on the source side and on the target side.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/comparison_run.h"
#include "faults/fault_support.h"
#include "platform/io_error.h"
#include "support/recording_view.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

constexpr long long kGiB = 1LL << 30;
// A damaged page inside the second block, and one beyond 4 GiB in a huge file.
constexpr long long kSecondBlockDamage = kBlockSize + 4096;
constexpr long long kHugeSize = 4 * kGiB + 65536;
constexpr long long kHugeDamage = 4 * kGiB + 12288;

enum class Side { Source,
                  Target };
void PrintTo(Side side, std::ostream* out) { *out << (side == Side::Source ? "source" : "target"); }

// How often the damaged page was hit; every marker line must name that page.
int Hits(const std::string& marker, const std::string& name, long long offset) {
  int hits = 0;
  for (const std::string& line : LinesOf(ReadMarker(marker))) {
    EXPECT_EQ(line, "EIO " + name + " " + std::to_string(offset));
    ++hits;
  }
  return hits;
}

class ReadErrorTest : public FaultTreeTest {
 protected:
  void SetUp() override {
    if (const std::string why = FuseUnavailable(); !why.empty()) GTEST_SKIP() << why;
  }
  // "sub" of the damaged side is the FUSE mount; the other side holds a file of
  // equal content, size and time on disk.
  void MountDamagedSub(Side side) {
    tree.Write(side == Side::Source ? "tgt/sub/bad" : "src/sub/bad", std::string(100000, '\0'));
    fs.emplace(tree.Path(side == Side::Source ? "src/sub" : "tgt/sub"), marker, kFixedTime,
               std::vector<ServedFile>{{"bad", 100000, kSecondBlockDamage}});
  }
  // The damaged side is the FUSE mount as a whole; the healthy twin is a sparse
  // file on a tmpfs, which costs no storage and reads fast.
  void MountHugePair(Side side) {
    const std::string healthy = side == Side::Source ? "tgt" : "src";
    tmpfs.emplace(tree.Path(healthy), "size=1m");
    WriteSparse(tree, healthy + "/huge", kHugeSize);
    fs.emplace(tree.Path(side == Side::Source ? "src" : "tgt"), marker, kFixedTime,
               std::vector<ServedFile>{{"huge", kHugeSize, kHugeDamage}});
  }
  void UseInputs(PlainInputs& inputs) const {
    inputs.Source = Src("*.*");
    inputs.Target = Tgt("");
  }

  std::string marker = tree.Path("fault.marker");
  std::string log = tree.Path("run.log");
  std::optional<ScopedTmpfs> tmpfs;
  std::optional<FaultFs> fs;
};

class ReadErrorOnEitherSide : public ReadErrorTest, public ::testing::WithParamInterface<Side> {};

TEST_P(ReadErrorOnEitherSide, EioInTheSecondBlockEndsTheRunAndTheNextRunStartsAfresh) {
  // Guards against a read error that is turned into a verdict, or that leaves the log open or half written.
  WriteBoth("ok.txt", "alpha");
  MountDamagedSub(GetParam());
  const Lines expected = {"running...", "Switching to directory " + Src("*.*"), Pair("ok.txt") + " are equal.",
                          "Switching to directory " + Src("sub/*.*")};

  const ProcessResult r =
      Compare({"-o", "MsgEqual=1", "-o", "MsgSwitchDir=1", "-o", "writelog=1", "-o", "logfilename=" + log});
  const int firstHits = Hits(marker, "bad", kSecondBlockDamage);
  ASSERT_GE(firstHits, 1) << "the damaged page was never read";
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Err, "I/O-Fehler 5.\n");
  EXPECT_EQ(LinesOf(r.Out), expected);
  EXPECT_EQ(tree.Read("run.log"), CrLf(expected));

  // One run object, three runs: each starts afresh and rewrites the log.
  RecordingView view;
  PlainInputs inputs;
  UseInputs(inputs);
  inputs.OptionSet.SetChecked(Option::FilesEqual, true);
  inputs.OptionSet.SetChecked(Option::ShowDir, true);
  inputs.OptionSet.SetChecked(Option::WriteLog, true);
  inputs.OptionSet.SetLogName(log);
  TComparisonRun run(view, inputs);
  int hits = firstHits;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    try {
      run.RunComparison();
      ADD_FAILURE() << "the read error did not end run " << attempt;
    } catch (const EInOutError& error) {
      EXPECT_EQ(error.ErrorCode, 5);
    }
    EXPECT_GT(Hits(marker, "bad", kSecondBlockDamage), hits) << "run " << attempt << " did not reach the damage";
    hits = Hits(marker, "bad", kSecondBlockDamage);
    EXPECT_FALSE(run.Busy());
    EXPECT_FALSE(run.LogOpen());
    // ok.txt and the first block of the damaged pair were counted; the second block failed.
    EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(5 + kBlockSize));
    EXPECT_EQ(view.Lines, expected);
    EXPECT_EQ(tree.Read("run.log"), CrLf(expected));
  }
  inputs.SubDirs = false;
  run.RunComparison();
  const Lines clean = {"running...",
                       "Switching to directory " + Src("*.*"),
                       Pair("ok.txt") + " are equal.",
                       "finished.",
                       "Files total: 1",
                       "No differences found"};
  EXPECT_EQ(view.Lines, clean);
  EXPECT_EQ(tree.Read("run.log"), CrLf(clean));
}

TEST_P(ReadErrorOnEitherSide, EioBeyondFourGibibytesEndsTheRunLikeAnyOther) {
  // Guards against a 32-bit position or count that wraps before the damaged page of a huge file.
  MountHugePair(GetParam());
  const ProcessResult r = Compare({"-o", "writelog=1", "-o", "logfilename=" + log});
  ASSERT_GE(Hits(marker, "huge", kHugeDamage), 1) << "the damaged page was never read";
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Err, "I/O-Fehler 5.\n");
  EXPECT_EQ(r.Out, "running...\n");
  EXPECT_EQ(tree.Read("run.log"), "running...\r\n");
}

INSTANTIATE_TEST_SUITE_P(BothSides, ReadErrorOnEitherSide, ::testing::Values(Side::Source, Side::Target),
                         [](const auto& info) { return info.param == Side::Source ? "Source" : "Target"; });

TEST_F(ReadErrorTest, ProgressAndByteTotalPassFourGibibytesWithoutAWrap) {
  // Guards against the byte total or the progress bar wrapping at 4 GiB on the way to a read error.
  MountHugePair(Side::Source);
  RecordingView view;
  PlainInputs inputs;
  UseInputs(inputs);
  TComparisonRun run(view, inputs);
  try {
    run.RunComparison();
    ADD_FAILURE() << "the read error did not end the run";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode, 5);
  }
  ASSERT_GE(Hits(marker, "huge", kHugeDamage), 1) << "the damaged page was never read";
  EXPECT_EQ(view.Lines, Lines{"running..."});
  EXPECT_EQ(view.Range, std::make_pair(0, ProgressMaximum(kHugeSize)));
  ASSERT_FALSE(view.Positions.empty());
  for (size_t i = 1; i < view.Positions.size(); ++i) EXPECT_LE(view.Positions[i - 1], view.Positions[i]);
  EXPECT_GE(view.Positions.back(), ProgressPosition(4 * kGiB - kProgressStep, kHugeSize));
  EXPECT_LE(view.Positions.back(), ProgressMaximum(kHugeSize));
  // Every whole block before the damaged page was counted, and the label showed it.
  const long long counted = kHugeDamage / kBlockSize * kBlockSize;
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(counted));
  std::string shown;
  for (char c : view.Labels[StatusLabel::ByteTotal])
    if (c >= '0' && c <= '9') shown += c;
  ASSERT_FALSE(shown.empty());
  EXPECT_GT(std::stoll(shown), counted - 2 * kProgressStep) << view.Labels[StatusLabel::ByteTotal];
  EXPECT_LE(std::stoll(shown), counted) << view.Labels[StatusLabel::ByteTotal];
}

}  // namespace
}  // namespace zek::test
