#include <filesystem>
#include <fstream>

#include "engine/run_fixture.h"
#include "support/skip.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

class FilePairTest : public RunFixture {
 protected:
  // Compares one pair and returns the lines between "running..." and "finished.".
  Lines ComparePair(const std::string& name) {
    run.ResetCounters();
    std::error_code missing;
    const auto size = std::filesystem::file_size(Src(name), missing);
    run.CompareFilePair(Src(name), Tgt(name), missing ? 0 : static_cast<int64_t>(size), KnownAs::Nothing);
    return view.Lines;
  }
  std::string Differ(const std::string& name, const std::string& hex) {
    return Pair(name) + " differ at position " + hex + " (hex)";
  }
};

TEST_F(FilePairTest, EveryKindOfLineAndTheCountingRule) {
  options().SetChecked(Option::FilesEqual, true);
  tree.Write("src/same", "abc");
  tree.Write("tgt/same", "abc");
  EXPECT_EQ(ComparePair("same"), Lines{Pair("same") + " are equal."});

  view.Lines.clear();
  EXPECT_EQ(ComparePair("none"), Lines{"Source file not found: " + Src("none")});
  EXPECT_EQ(run.Counts().FilesTotal, 1);
  EXPECT_EQ(run.Counts().TargetsNotFound + run.Counts().FilesDifferent, 0);

  view.Lines.clear();
  tree.Write("src/lonely", "x");
  EXPECT_EQ(ComparePair("lonely"), Lines{"Target file not found: " + Tgt("lonely")});
  EXPECT_EQ(run.Counts().TargetsNotFound, 1);
  // The count rises even when the line is switched off.
  view.Lines.clear();
  options().SetChecked(Option::TargetNotFound, false);
  EXPECT_EQ(ComparePair("lonely"), Lines{});
  EXPECT_EQ(run.Counts().TargetsNotFound, 1);
  EXPECT_EQ(view.Labels[StatusLabel::NichtGefunden], "Not found: 1");

  // Time, size and contents all differ: each line, but the pair counts once.
  view.Lines.clear();
  options().SetChecked(Option::DifferAt, true);
  options().SetChecked(Option::CompareDifferentSize, true);
  tree.Write("src/all", "abcd", kFixedTime);
  tree.Write("tgt/all", "xbc", kFixedTime + 2);
  EXPECT_EQ(ComparePair("all"), (Lines{Pair("all") + " have different file time.", Pair("all") + " have different size.",
                                       Differ("all", "01"), Pair("all") + " do not match."}));
  EXPECT_EQ(run.Counts().FilesDifferent, 1);
  EXPECT_EQ(view.Labels[StatusLabel::Verschieden], "Different: 1");
}

TEST_F(FilePairTest, TimesCompareInTwoSecondStepsAndATargetDirectoryIsMissing) {
  tree.Write("src/t", "same", kFixedTime);
  tree.Write("tgt/t", "same", kFixedTime + 1);  // the same two-second step
  EXPECT_EQ(ComparePair("t"), Lines{});
  tree.SetTime("tgt/t", kFixedTime + 2);
  EXPECT_EQ(ComparePair("t"), (Lines{Pair("t") + " have different file time.", Pair("t") + " do not match."}));
  EXPECT_EQ(run.Counts().FilesDifferent, 1);

  view.Lines.clear();
  tree.Write("src/d", "x");
  tree.MakeDir("tgt/d");
  EXPECT_EQ(ComparePair("d"), Lines{"Target file not found: " + Tgt("d")});
}

TEST_F(FilePairTest, SizeDifferenceUnderDefaultsReadsNothing) {
  tree.Write("src/s", std::string(30000, 'a'));
  tree.Write("tgt/s", std::string(30001, 'a'));
  EXPECT_EQ(ComparePair("s"), (Lines{Pair("s") + " have different size.", Pair("s") + " do not match."}));
  EXPECT_EQ(run.Counts().TotalBytes, 0.0L);
  // Only time, date and size: equal without a byte read.
  view.Lines.clear();
  options().SetChecked(Option::OnlyTimeDateSize, true);
  options().SetChecked(Option::FilesEqual, true);
  tree.Write("src/o", "aaaa");
  tree.Write("tgt/o", "bbbb");
  EXPECT_EQ(ComparePair("o"), Lines{Pair("o") + " are equal."});
  EXPECT_EQ(run.Counts().TotalBytes, 0.0L);
}

TEST_F(FilePairTest, FirstDifferenceStopsAfterItsBlockAndTheTotalGrowsByWholeBlocks) {
  std::string data(100000, 'z');
  tree.Write("src/f", data);
  data[5] = 'y';
  tree.Write("tgt/f", data);
  EXPECT_EQ(ComparePair("f"), Lines{Pair("f") + " do not match."});
  EXPECT_EQ(run.Counts().TotalBytes, 20480.0L);
  EXPECT_EQ(view.Labels[StatusLabel::ByteTotal], "Total bytes: 20,480");

  // Empty files and exactly one block: equal.
  options().SetChecked(Option::FilesEqual, true);
  view.Lines.clear();
  tree.Write("src/e", "");
  tree.Write("tgt/e", "");
  EXPECT_EQ(ComparePair("e"), Lines{Pair("e") + " are equal."});
  view.Lines.clear();
  tree.Write("src/b", std::string(20480, 'q'));
  tree.Write("tgt/b", std::string(20480, 'q'));
  EXPECT_EQ(ComparePair("b"), Lines{Pair("b") + " are equal."});
  EXPECT_EQ(run.Counts().TotalBytes, 20480.0L);
}

TEST_F(FilePairTest, DifferAtReportsPositionsInHexUpToTheLimit) {
  options().SetChecked(Option::DifferAt, true);
  std::string a(60000, 'a'), b = a;
  // 25 differences: 1st byte, 16th byte, then spread over three blocks.
  std::vector<size_t> at{0, 15};
  for (size_t i = 0; i < 23; ++i) at.push_back(1000 + i * 2500);
  for (size_t i : at) b[i] = 'b';
  tree.Write("src/p", a);
  tree.Write("tgt/p", b);
  Lines expected;
  for (size_t k = 0; k < 10; ++k) expected.push_back(Differ("p", HexPosition(static_cast<int64_t>(at[k]) + 1)));
  expected.push_back(Pair("p") + " do not match.");
  EXPECT_EQ(ComparePair("p"), expected);
  EXPECT_EQ(expected[0], Differ("p", "01"));
  EXPECT_EQ(expected[1], Differ("p", "10"));
  // The limit ends the lines, not the reading.
  EXPECT_EQ(run.Counts().TotalBytes, 60000.0L);

  view.Lines.clear();
  options().SetCompNr(0);
  EXPECT_EQ(ComparePair("p"), Lines{Pair("p") + " do not match."});
  EXPECT_EQ(run.Counts().TotalBytes, 60000.0L);
}

TEST_F(FilePairTest, DifferentSizesAreComparedUpToTheShorterWhenAsked) {
  options().SetChecked(Option::DifferAt, true);
  options().SetChecked(Option::CompareDifferentSize, true);
  options().SetChecked(Option::DifferentSize, false);
  tree.Write("src/s", "abcdef");
  tree.Write("tgt/s", "abXd");
  EXPECT_EQ(ComparePair("s"), (Lines{Differ("s", "03"), Pair("s") + " do not match."}));
}

TEST_F(FilePairTest, PositionsCountOnAcrossBlocksAfterAnUnreportedDifference) {
  // Guards against the bulk skip losing count of the bytes after a difference.
  std::string a(50000, 'a'), b = a;
  b[100] = 'b';
  b[30000] = 'b';
  tree.Write("src/q", a);
  tree.Write("tgt/q", b);
  options().SetChecked(Option::DifferAt, true);
  options().SetCompNr(1);
  // The second difference is beyond the limit: it ends its block's scan silently.
  EXPECT_EQ(ComparePair("q"), (Lines{Differ("q", "65"), Pair("q") + " do not match."}));
  options().SetCompNr(5);
  view.Lines.clear();
  EXPECT_EQ(ComparePair("q"), (Lines{Differ("q", "65"), Differ("q", "7531"), Pair("q") + " do not match."}));
}

TEST_F(FilePairTest, BreakDuringAReportStopsTheScanAtTheNextByte) {
  options().SetChecked(Option::DifferAt, true);
  options().SetChecked(Option::FilesEqual, true);
  std::string a(50000, 'a'), b = a;
  b[2] = b[3] = 'b';
  tree.Write("src/k", a);
  tree.Write("tgt/k", b);
  view.OnLine = [&](const std::string&) { run.Break(); };
  EXPECT_EQ(ComparePair("k"), (Lines{Differ("k", "03"), Pair("k") + " do not match."}));
  EXPECT_EQ(run.Counts().TotalBytes, 20480.0L);
  // A pair that matched up to the break is reported equal.
  run.ClearBreak();
  view.Lines.clear();
  tree.Write("tgt/k", a);
  EXPECT_EQ(ComparePair("k"), Lines{Pair("k") + " are equal."});
}

TEST_F(FilePairTest, ProgressBarOfAMillionBytesMovesEveryTenthBlock) {
  tree.Write("src/m", std::string(1000000, 'm'));
  tree.Write("tgt/m", std::string(1000000, 'm'));
  ComparePair("m");
  EXPECT_EQ(view.Range, (std::pair<int, int>{0, 5}));
  EXPECT_EQ(view.Positions, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(run.Counts().TotalBytes, 1000000.0L);
  EXPECT_EQ(ProgressMaximum(100000), 0);  // one half goes to the even 0
  EXPECT_EQ(ProgressMaximum(300000), 2);
  EXPECT_EQ(ProgressMaximum(500000), 2);
  EXPECT_EQ(ProgressMaximum(100001), 1);
  // Sizes past the bar's range are scaled into it.
  const int64_t huge = int64_t{1} << 44;
  EXPECT_EQ(ProgressMaximum(huge), 65535);
  EXPECT_EQ(ProgressPosition(huge / 2, huge), 32767);
}

TEST_F(FilePairTest, NonRegularFilesAndUnreadableOpensGiveCouldNotOpen) {
  ZEK_SKIP_ON_WINDOWS("FIFOs and mode bits");
  tree.MakeDir("src");
  tree.MakeDir("tgt");
  tree.MakeFifo("src/fifo");
  tree.MakeFifo("tgt/fifo");
  EXPECT_EQ(ComparePair("fifo"), (Lines{"Could not open source file: " + Src("fifo"),
                                        "Could not open target file: " + Tgt("fifo")}));
  EXPECT_EQ(run.Counts().FilesDifferent, 0);
}

TEST_F(FilePairTest, DoubledSlashesAreCleanedInBothPaths) {
  ZEK_SKIP_ON_WINDOWS("paths written with \"/\" (WindowsPathsTest has their Windows forms)");
  tree.Write("src/a", "1");
  run.ResetCounters();
  run.CompareFilePair(tree.Root() + "//src///a", tree.Root() + "//tgt//a", 1, KnownAs::Nothing);
  EXPECT_EQ(view.Lines, Lines{"Target file not found: " + Tgt("a")});
}

TEST_F(FilePairTest, FilesOfMoreThanTwoGigabytesAreReadWholeAndCountedExactly) {
  const int64_t size = (int64_t{1} << 31) + 10;
  for (const char* name : {"src/huge", "tgt/huge"}) {
    tree.Write(name, "");
    std::filesystem::resize_file(tree.Path(name), size);
    tree.SetTime(name, kFixedTime);
  }
  // A difference in the last byte lies beyond every 32-bit position.
  {
    std::fstream target(Tgt("huge"), std::ios::in | std::ios::out | std::ios::binary);
    target.seekp(size - 1);
    ASSERT_TRUE(target.write("x", 1).flush());
  }
  tree.SetTime("tgt/huge", kFixedTime);
  options().SetChecked(Option::DifferAt, true);
  EXPECT_EQ(ComparePair("huge"), (Lines{Differ("huge", "8000000A"), Pair("huge") + " do not match."}));
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(size));
  EXPECT_EQ(view.Range.second, 10737);
}

}  // namespace
}  // namespace zek::test
