#include <filesystem>
#include <fstream>

#include "engine/probe.h"
#include "engine/run_fixture.h"
#include "platform/io_error.h"
#include "support/skip.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

class ComparisonRunTest : public RunFixture {};

TEST_F(ComparisonRunTest, TypicalRunGivesTheEightLinesAndCounters) {
  tree.Write("src/A.TXT", "alpha");
  tree.Write("tgt/A.TXT", "alpha");
  tree.Write("src/B.TXT", "bravo");
  tree.Write("tgt/B.TXT", "brAvo");
  tree.Write("src/OLD/C.TXT", "charlie");
  tree.Write("src/D.DOC", "not matched by the mask");
  EXPECT_EQ(Compare("*.txt"), (Lines{"running...", Pair("B.TXT") + " do not match.",
                                     "Target file not found: " + Tgt("OLD/C.TXT"), "finished.", "Files total: 3",
                                     "Target files not found: 1", "Files with differences: 1", "Differences found."}));
  EXPECT_EQ(view.Labels[StatusLabel::NichtGefunden], "Not found: 1");
  EXPECT_EQ(view.Labels[StatusLabel::Verschieden], "Different: 1");
  EXPECT_EQ(view.Labels[StatusLabel::Total], "Total files: 3");
  EXPECT_EQ(view.Labels[StatusLabel::File], "Comparing: ./.");
  EXPECT_FALSE(run.Busy());
}

TEST_F(ComparisonRunTest, EmptyOrUnmatchedSourceSaysSoBeforeTheVerdict) {
  // Guards against a run that compared nothing reading as a plain all-clear.
  tree.MakeDir("src");
  const auto expected = [&](const std::string& mask) {
    return Lines{"running...", "finished.", "Files total: 0",
                 "Nothing compared: no file in " + tree.Path("src") + " or its subdirectories matches the mask \"" +
                     mask + "\"",
                 "No differences found"};
  };
  EXPECT_EQ(Compare(), expected("*.*"));
  tree.Write("src/a.doc", "x");
  EXPECT_EQ(Compare("*.txt"), expected("*.txt"));
}

TEST_F(ComparisonRunTest, LabelsAtRunStartSayTotalThenTotalFiles) {
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "1");
  Compare();
  // The run overwrites "Total files: 0" with "Total: 0" before the first pair.
  std::vector<std::string> totals;
  for (const auto& [label, caption] : view.LabelHistory)
    if (label == StatusLabel::Total) totals.push_back(caption);
  EXPECT_EQ(totals, (Lines{"Total files: 0", "Total: 0", "Total files: 1"}));
  run.ResetCounters();
  EXPECT_EQ(view.Labels[StatusLabel::Total], "Total files: 0");
  EXPECT_EQ(view.Labels[StatusLabel::ByteTotal], "Total bytes: 0");
  EXPECT_EQ(run.Counts().FilesTotal, 0);
}

TEST_F(ComparisonRunTest, OnlyMissingTargetsIsADifferenceWithoutDifferingFiles) {
  tree.Write("src/a", "1");
  tree.MakeDir("tgt");
  EXPECT_EQ(Compare(), (Lines{"running...", "Target file not found: " + Tgt("a"), "finished.", "Files total: 1",
                              "Target files not found: 1", "Differences found."}));
}

TEST_F(ComparisonRunTest, TargetMaskIsIgnoredAndTargetWithoutSlashMeansItsParent) {
  tree.Write("src/a.txt", "1");
  tree.Write("tgt/a.txt", "1");
  tree.Write("a.txt", "1");
  inputs.Source = tree.Path("src/*.txt");
  inputs.Target = tree.Path("tgt/*.doc");
  run.RunComparison();
  EXPECT_EQ(view.Lines.back(), "No differences found");
  // "…/tgt" names the directory's parent, as "D:\BACKUP" names the root of D.
  inputs.Target = tree.Path("tgt");
  inputs.OptionSet.SetChecked(Option::FilesEqual, true);
  run.RunComparison();
  EXPECT_EQ(view.Lines[1], "File " + Src("a.txt") + " and " + tree.Path("a.txt") + " are equal.");
}

TEST_F(ComparisonRunTest, CancelDuringTheWalkStopsAndReportsTheBreak) {
  for (const char* name : {"d1/a", "d2/a", "d3/a"}) tree.Write(std::string("src/") + name, "x");
  tree.MakeDir("tgt");
  // A Cancel before the run has no effect on it.
  run.Break();
  view.OnLine = [&](const std::string& line) {
    if (line.rfind("Target file not found", 0) == 0) run.Break();
  };
  Compare();
  EXPECT_EQ(run.Counts().FilesTotal, 1);
  EXPECT_EQ(view.Lines, (Lines{"running...", view.Lines[1], "finished.", "USER BREAK!", "Files total: 1",
                               "Target files not found: 1", "Differences found."}));
}

TEST_F(ComparisonRunTest, LogHoldsExactlyTheLinesOfTheLastRunInCrLf) {
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "2");
  const std::string log = tree.Path("run.log");
  tree.Write("run.log", std::string(100000, 'x'));
  options().SetChecked(Option::WriteLog, true);
  options().SetLogName(log);
  Compare();
  std::string expected;
  for (const std::string& line : view.Lines) expected += line + "\r\n";
  EXPECT_EQ(tree.Read("run.log"), expected);
  EXPECT_EQ(view.Lines.back(), "Differences found. Log written: " + log);
  tree.Write("tgt/a", "1");
  Compare();
  EXPECT_EQ(tree.Read("run.log"), "running...\r\nfinished.\r\nFiles total: 1\r\nNo differences found\r\n");
}

TEST_F(ComparisonRunTest, TheRunsOwnLogIsNeverComparedOnEitherSide) {
  // Guards against a log written inside the source tree reported as "Target file not found" of a complete copy.
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "1");
  tree.MakeDir("src/sub");
  options().SetChecked(Option::WriteLog, true);
  // Known by what it is, not by how its name is spelt.
  options().SetLogName(tree.Path("src/sub/../zek.log"));
  EXPECT_EQ(Compare(), (Lines{"running...", "finished.", "Files total: 1", "No differences found"}));
  // A source file whose namesake is the log, still being written, cannot be checked against it.
  tree.Write("src/zek.log", "kept");
  options().SetLogName(tree.Path("tgt/zek.log"));
  EXPECT_EQ(Compare(), (Lines{"running...", "Target file is this run's log: " + Tgt("zek.log"), "finished.",
                              "Files total: 2", "Not compared: 1 file, 0 directories", "No differences found"}));
  std::string crlf;
  for (const std::string& line : view.Lines) crlf += line + "\r\n";
  EXPECT_EQ(tree.Read("tgt/zek.log"), crlf);
}

TEST_F(ComparisonRunTest, UnusableLogNameClearsTheBoxAndWritesNothing) {
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "2");
  tree.MakeDir("adir");
  for (const std::string& name : {tree.Path("nodir/x.log"), tree.Path("adir"), std::string()}) {
    options().SetChecked(Option::WriteLog, true);
    options().SetLogName(name);
    Compare();
    EXPECT_FALSE(options().Checked(Option::WriteLog)) << name;
    EXPECT_EQ(view.Lines.back(), "Differences found.");
  }
  EXPECT_FALSE(tree.Exists("nodir"));
}

TEST_F(ComparisonRunTest, LogBoxTurnedOffMidRunStopsWritingButTheLogIsClosed) {
  tree.Write("src/a", "1");
  tree.Write("tgt/a", "1");
  options().SetChecked(Option::WriteLog, true);
  options().SetLogName(tree.Path("run.log"));
  view.OnLine = [&](const std::string& line) {
    if (line == "finished.") options().SetChecked(Option::WriteLog, false);
  };
  Compare();
  // The line is written after the dispatch in which the box was cleared.
  EXPECT_EQ(tree.Read("run.log"), "running...\r\n");
  EXPECT_FALSE(run.LogOpen());
}

// A back end whose reads fail at a chosen block, as a damaged medium does.
class FailingReads : public FileAccess {
 public:
  int FailAtRead = 2;
  int Reads = 0;
  FileResult<size_t> BlockRead(FileHandle h, void* buffer, size_t count) override {
    if (++Reads == FailAtRead) return FileResult<size_t>::Failure(5);
    return FileAccess::BlockRead(h, buffer, count);
  }
};

TEST_F(ComparisonRunTest, ReadErrorEndsTheRunWithBusyClearedAndTheLogComplete) {
  // Guards against a read error leaving Busy set, which would refuse every later run.
  tree.Write("src/big", std::string(100000, 'a'));
  tree.Write("tgt/big", std::string(100000, 'a'));
  options().SetChecked(Option::WriteLog, true);
  options().SetLogName(tree.Path("run.log"));
  FailingReads failing;
  failing.FailAtRead = 3;  // the source's second block
  {
    ScopedFileAccess scoped(failing);
    try {
      Compare();
      FAIL() << "the read error did not end the run";
    } catch (const EInOutError& error) {
      EXPECT_EQ(std::string(error.what()), "I/O-Fehler 5");
    }
  }
  EXPECT_FALSE(run.Busy());
  EXPECT_FALSE(run.LogOpen());
  EXPECT_EQ(view.Lines, Lines{"running..."});
  EXPECT_EQ(tree.Read("run.log"), "running...\r\n");
  Compare();
  EXPECT_EQ(view.Lines.back(), "No differences found");
}

TEST(ProbeFileNameTest, CreatableNamesLeaveNothingAndExistingFilesStayUntouched) {
  ZEK_SKIP_ON_WINDOWS("symbolic links, and paths written with \"/\"");
  TempTree tree;
  EXPECT_TRUE(ProbeFileName(tree.Path("new.log")));
  EXPECT_FALSE(tree.Exists("new.log"));
  tree.Write("old.log", "keep me");
  EXPECT_TRUE(ProbeFileName(tree.Path("old.log")));
  EXPECT_EQ(tree.Read("old.log"), "keep me");
  // Doubled separators are cleaned before the probe.
  EXPECT_TRUE(ProbeFileName(tree.Root() + "//old.log"));
  EXPECT_FALSE(ProbeFileName(""));
  EXPECT_FALSE(ProbeFileName(tree.Root()));
  EXPECT_FALSE(ProbeFileName(tree.Path("missing/x.log")));
  // A dangling link must not be replaced or removed by the probe.
  std::filesystem::create_symlink(tree.Path("nowhere"), tree.Path("dangling"));
  EXPECT_FALSE(ProbeFileName(tree.Path("dangling")));
  EXPECT_TRUE(tree.Exists("dangling"));
  EXPECT_FALSE(tree.Exists("nowhere"));
}

}  // namespace
}  // namespace zek::test
