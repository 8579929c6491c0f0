// The block loop reads several blocks at once; what it shows must stay that of
// the block-by-block rule: the lines, the byte total growing by whole blocks,
// the progress positions, where the scan stops, and which read errors count.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>

#include "engine/run_fixture.h"
#include "platform/io_error.h"
#include "support/skip.h"

namespace zek::test {
namespace {

using Lines = std::vector<std::string>;

// What the block-by-block rule shows for an identical pair of `size` bytes:
// the progress positions and the byte total.
struct Shown {
  std::vector<int> Positions{0};
  int64_t TotalBytes = 0;
};
Shown BlockByBlock(int64_t size) {
  Shown shown;
  int64_t last = 0;
  while (shown.TotalBytes < size) {
    shown.TotalBytes += std::min<int64_t>(static_cast<int64_t>(kBlockSize), size - shown.TotalBytes);
    if (shown.TotalBytes > last + kProgressStep) {
      shown.Positions.push_back(ProgressPosition(shown.TotalBytes, size));
      last = shown.TotalBytes;
    }
  }
  return shown;
}

// Counts what each open file delivers, and can stand in for a file system that
// hands out fewer bytes per read than asked, or changes a file behind the run.
class WatchedFiles : public FileAccess {
 public:
  std::map<FileHandle, int64_t> Delivered;  // bytes per open file
  std::vector<size_t> Asked;
  size_t MostPerRead = SIZE_MAX;
  std::function<void(FileHandle)> AfterRead;
  std::function<void(const std::string&)> AfterOpen;

  FileLook LookAndOpen(const std::string& path, KnownAs known) override {
    const FileLook look = FileAccess::LookAndOpen(path, known);
    if (look.Handle != kNoFile) Delivered[look.Handle] = 0;
    if (AfterOpen) AfterOpen(path);
    return look;
  }
  FileResult<size_t> BlockRead(FileHandle h, void* buffer, size_t count) override {
    // A loop that never ends would only show as a test that hangs.
    if (Asked.size() > 100000) throw std::runtime_error("endless reads");
    Asked.push_back(count);
    const FileResult<size_t> got = FileAccess::BlockRead(h, buffer, std::min(count, MostPerRead));
    if (!got.Ok()) return got;
    Delivered[h] += static_cast<int64_t>(got.Value());
    if (AfterRead) AfterRead(h);
    return got;
  }
};

// A view that looks at what has been read at every dispatch.
class DispatchView : public RecordingView {
 public:
  std::function<void()> OnDispatch;
  void ProcessMessages() override {
    RecordingView::ProcessMessages();
    if (OnDispatch) OnDispatch();
  }
};

class MultiBlockReadTest : public ::testing::Test {
 protected:
  MultiBlockReadTest() : run(view, inputs) { inputs.OptionSet.SetChecked(Option::FilesEqual, true); }

  Lines ComparePair(const std::string& name) {
    view.Lines.clear();
    view.Positions.clear();
    files.Delivered.clear();
    files.Asked.clear();
    run.ResetCounters();
    const auto size = std::filesystem::file_size(Src(name));
    ScopedFileAccess scoped(files);
    run.CompareFilePair(Src(name), Tgt(name), static_cast<int64_t>(size), KnownAs::Nothing);
    return view.Lines;
  }
  void WriteBoth(const std::string& name, const std::string& content) {
    tree.Write("src/" + name, content);
    tree.Write("tgt/" + name, content);
  }
  std::string Src(const std::string& name) const { return tree.Path("src/" + name); }
  std::string Tgt(const std::string& name) const { return tree.Path("tgt/" + name); }
  std::string Pair(const std::string& name) const { return "File " + Src(name) + " and " + Tgt(name); }

  TempTree tree;
  DispatchView view;
  PlainInputs inputs;
  TComparisonRun run;
  WatchedFiles files;
};

TEST_F(MultiBlockReadTest, IdenticalPairsShowWhatTheBlockByBlockRuleShows) {
  // Guards against a larger read that counts bytes not yet compared or moves the progress bar at other steps.
  const int64_t b = static_cast<int64_t>(kBlockSize);
  for (const int64_t size : {int64_t{0}, int64_t{1}, b - 1, b, b + 1, 4 * b - 1, 4 * b, 4 * b + 1, 10 * b, 10 * b + 1,
                             int64_t{1000000}, int64_t{1000001}, 25 * b + 7}) {
    SCOPED_TRACE(size);
    WriteBoth("f", std::string(static_cast<size_t>(size), 'k'));
    const Shown expected = BlockByBlock(size);
    EXPECT_EQ(ComparePair("f"), Lines{Pair("f") + " are equal."});
    EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(expected.TotalBytes));
    EXPECT_EQ(view.Positions, expected.Positions);
    // Each file is read exactly once, to its end, and no further.
    for (const auto& [handle, bytes] : files.Delivered) EXPECT_EQ(bytes, size);
  }
}

TEST_F(MultiBlockReadTest, NothingReadAheadOutlivesADispatch) {
  // Guards against bytes read before a progress update being compared after it, when the user may have acted.
  WriteBoth("f", std::string(2000000, 'p'));
  int dispatches = 0;
  view.OnDispatch = [&] {
    ++dispatches;
    for (const auto& [handle, bytes] : files.Delivered) EXPECT_EQ(static_cast<long double>(bytes), run.Counts().TotalBytes);
  };
  EXPECT_EQ(ComparePair("f"), Lines{Pair("f") + " are equal."});
  EXPECT_GT(dispatches, 9);  // the one after the opens and one per progress step
  // The reads were larger than a block, or the test shows nothing.
  EXPECT_GT(*std::max_element(files.Asked.begin(), files.Asked.end()), kBlockSize);
}

TEST_F(MultiBlockReadTest, TheTotalCountsWholeBlocksUpToTheOneWithTheFirstDifference) {
  // Guards against the byte total or the verdict taking in blocks that were read ahead but never compared.
  const size_t size = 30 * kBlockSize;
  for (const size_t block : {1, 2, 4, 5, 9, 10, 11, 13, 20, 30}) {
    SCOPED_TRACE(block);
    std::string data(size, 'q');
    tree.Write("src/d", data);
    data[(block - 1) * kBlockSize + kBlockSize / 2] = 'Q';
    tree.Write("tgt/d", data);
    EXPECT_EQ(ComparePair("d"), Lines{Pair("d") + " do not match."});
    EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(block * kBlockSize));
    EXPECT_EQ(run.Counts().FilesDifferent, 1);
  }
}

TEST_F(MultiBlockReadTest, APairThatDiffersInItsFirstByteReadsAFewBlocksOnly) {
  // Guards against a read ahead that reads a large file whose first block already decides the verdict.
  std::string data(1 << 24, 'e');
  tree.Write("src/e", data);
  data[0] = 'E';
  tree.Write("tgt/e", data);
  EXPECT_EQ(ComparePair("e"), Lines{Pair("e") + " do not match."});
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(kBlockSize));
  for (const auto& [handle, bytes] : files.Delivered) EXPECT_LE(bytes, static_cast<int64_t>(4 * kBlockSize));
}

TEST_F(MultiBlockReadTest, ListedDifferencesReadOneBlockAtATimeAndCountOnAcrossReads) {
  // Guards against positions that jump or repeat where one read ends and the next begins.
  inputs.OptionSet.SetChecked(Option::DifferAt, true);
  inputs.OptionSet.SetCompNr(100);
  std::string a(15 * kBlockSize + 99, 'a');
  std::string b = a;
  std::vector<size_t> at{0, kBlockSize - 1, kBlockSize, 4 * kBlockSize - 1, 4 * kBlockSize, 10 * kBlockSize,
                         15 * kBlockSize + 98};
  for (const size_t i : at) b[i] = 'b';
  tree.Write("src/l", a);
  tree.Write("tgt/l", b);
  Lines expected;
  for (const size_t i : at)
    expected.push_back(Pair("l") + " differ at position " + HexPosition(static_cast<int64_t>(i) + 1) + " (hex)");
  expected.push_back(Pair("l") + " do not match.");
  EXPECT_EQ(ComparePair("l"), expected);
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(a.size()));
  for (const size_t asked : files.Asked) EXPECT_LE(asked, kBlockSize);
}

TEST_F(MultiBlockReadTest, ReadsThatDeliverLessThanAskedStillMakeWholeBlocks) {
  // Guards against a short read in the middle of a file being taken for its end, or making a short block.
  files.MostPerRead = 7000;
  const int64_t size = 13 * static_cast<int64_t>(kBlockSize) + 5;
  std::string data(static_cast<size_t>(size), 's');
  WriteBoth("s", data);
  const Shown expected = BlockByBlock(size);
  EXPECT_EQ(ComparePair("s"), Lines{Pair("s") + " are equal."});
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(size));
  EXPECT_EQ(view.Positions, expected.Positions);
  // A difference in the sixth block still counts six whole blocks.
  data[5 * kBlockSize + 3] = 'S';
  tree.Write("tgt/s", data);
  EXPECT_EQ(ComparePair("s"), Lines{Pair("s") + " do not match."});
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(6 * kBlockSize));
}

// Files whose size reads 0 although they hold data, as those of /proc do.
class PseudoFiles : public WatchedFiles {
 public:
  FileLook LookAndOpen(const std::string& path, KnownAs known) override {
    FileLook look = WatchedFiles::LookAndOpen(path, known);
    look.Size = 0;
    return look;
  }
  FileResult<int64_t> FileSize(FileHandle) override { return int64_t{0}; }
};

TEST_F(MultiBlockReadTest, PairsWhoseSizesBothReadZeroAreReadUntilAReadReturnsNothing) {
  // Guards against two pseudo-files (/proc, /sys) called equal by their reported size 0, without a byte read.
  WriteBoth("same", std::string(3 * kBlockSize + 5, 's'));
  WriteBoth("block", std::string(kBlockSize, 'b'));
  tree.Write("src/other", "VmPeak: 1 kB\n");
  tree.Write("tgt/other", "VmPeak: 2 kB\n");
  tree.Write("src/longer", "abc");
  tree.Write("tgt/longer", "abcd");
  WriteBoth("empty", "");
  PseudoFiles pseudo;
  ScopedFileAccess scoped(pseudo);
  auto compare = [&](const std::string& name) {
    view.Lines.clear();
    pseudo.Asked.clear();
    run.CompareFilePair(Src(name), Tgt(name), 0, KnownAs::Nothing);
    return view.Lines;
  };
  EXPECT_EQ(compare("same"), Lines{Pair("same") + " are equal."});
  EXPECT_EQ(compare("block"), Lines{Pair("block") + " are equal."});
  EXPECT_EQ(compare("other"), Lines{Pair("other") + " do not match."});
  EXPECT_EQ(compare("longer"), Lines{Pair("longer") + " do not match."});
  EXPECT_EQ(compare("empty"), Lines{Pair("empty") + " are equal."});
  EXPECT_EQ(pseudo.Asked.size(), 2u) << "a real empty pair costs one read each";
}

// A source whose reads stop short at a damaged spot and fail at the next read,
// as FileAccess::BlockRead does for a read error behind good bytes.
class DamagedSource : public WatchedFiles {
 public:
  std::string Path;
  int64_t Damage = 0;

  FileLook LookAndOpen(const std::string& path, KnownAs known) override {
    const FileLook look = WatchedFiles::LookAndOpen(path, known);
    if (look.Handle != kNoFile && path == Path) {
      source_ = look.Handle;
      held_ = false;
    }
    return look;
  }
  FileResult<size_t> BlockRead(FileHandle h, void* buffer, size_t count) override {
    if (h != source_) return WatchedFiles::BlockRead(h, buffer, count);
    const int64_t room = Damage - Delivered[h];
    if (held_ || room == 0) return FileResult<size_t>::Failure(EIO);
    held_ = static_cast<int64_t>(count) > room;
    return WatchedFiles::BlockRead(h, buffer, held_ ? static_cast<size_t>(room) : count);
  }

 private:
  FileHandle source_ = kNoFile;
  bool held_ = false;
};

TEST_F(MultiBlockReadTest, AReadErrorCountsOnlyWhereTheBlockByBlockRuleWouldReadIt) {
  // Guards against a read error met only by reading ahead ending the run, or one the rule does read being lost.
  DamagedSource damaged;
  damaged.Path = Src("r");
  damaged.Damage = 7 * static_cast<int64_t>(kBlockSize) + 100;  // inside the eighth block
  std::string data(20 * kBlockSize, 'r');
  tree.Write("src/r", data);
  data[4 * kBlockSize + 1] = 'R';  // the fifth block differs: the rule stops there
  tree.Write("tgt/r", data);
  view.Lines.clear();
  run.ResetCounters();
  {
    ScopedFileAccess scoped(damaged);
    run.CompareFilePair(Src("r"), Tgt("r"), static_cast<int64_t>(data.size()), KnownAs::Nothing);
  }
  EXPECT_EQ(view.Lines, Lines{Pair("r") + " do not match."});
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(5 * kBlockSize));
  EXPECT_GT(damaged.Delivered.size(), 0u);
  EXPECT_GT(*std::max_element(damaged.Asked.begin(), damaged.Asked.end()), kBlockSize);

  // Without the difference the rule reads the eighth block, and its error ends the comparison there.
  tree.Write("tgt/r", std::string(20 * kBlockSize, 'r'));
  view.Lines.clear();
  run.ResetCounters();
  ScopedFileAccess scoped(damaged);
  try {
    run.CompareFilePair(Src("r"), Tgt("r"), static_cast<int64_t>(data.size()), KnownAs::Nothing);
    FAIL() << "the read error in the eighth block was lost";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode, EIO);
  }
  EXPECT_EQ(view.Lines, Lines{});
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(7 * kBlockSize));
}

TEST_F(MultiBlockReadTest, FilesThatShrinkOrGrowWhileTheyAreReadEndTheComparison) {
  // Guards against a file that changes size mid-compare hanging the loop, crashing it, counting bytes it never
  ZEK_SKIP_ON_WINDOWS("changes a file the run holds open, which Windows refuses: the run shares reads only");
  // had, or being called equal to a copy it no longer matches.
  struct Change {
    const char* Side;
    int64_t NewSize;
    int AfterReads;
  };
  const int64_t size = 30 * static_cast<int64_t>(kBlockSize);
  for (const Change change : {Change{"src", 10000, 1}, Change{"src", 0, 1}, Change{"tgt", 0, 1},
                              Change{"tgt", 250000, 2}, Change{"src", size + 50000, 1}, Change{"tgt", size + 1, 3},
                              Change{"src", 3 * static_cast<int64_t>(kBlockSize) + 7, 1}}) {
    SCOPED_TRACE(std::string(change.Side) + " to " + std::to_string(change.NewSize));
    WriteBoth("c", std::string(static_cast<size_t>(size), 'c'));
    const std::string changing = tree.Path(std::string(change.Side) + "/c");
    int reads = 0;
    files.AfterRead = [&](FileHandle) {
      if (++reads == change.AfterReads) std::filesystem::resize_file(changing, change.NewSize);
    };
    const Lines lines = ComparePair("c");
    files.AfterRead = nullptr;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], Pair("c") + " do not match.");
    EXPECT_EQ(run.Counts().FilesTotal, 1);
    // Counted are bytes that were there to be read, handed out in blocks.
    EXPECT_LE(run.Counts().TotalBytes, static_cast<long double>(std::max(size, change.NewSize)));
    int64_t delivered = 0;
    for (const auto& [handle, bytes] : files.Delivered) delivered = std::max(delivered, bytes);
    EXPECT_LE(run.Counts().TotalBytes, static_cast<long double>(delivered));
  }
}

TEST_F(MultiBlockReadTest, APairThatGrowsAlikeWhileItIsReadIsReadToItsNewEnd) {
  // Guards against sizes that are never measured again, so that the end of the file is taken from before the reads.
  ZEK_SKIP_ON_WINDOWS("changes a file the run holds open, which Windows refuses: the run shares reads only");
  const int64_t size = 12 * static_cast<int64_t>(kBlockSize) + 5;
  const int64_t grown = 17 * static_cast<int64_t>(kBlockSize) + 9;
  WriteBoth("g", std::string(static_cast<size_t>(size), 'g'));
  int reads = 0;
  files.AfterRead = [&](FileHandle) {
    if (++reads == 4) {  // both files have had their first and second read
      for (const char* side : {"src/g", "tgt/g"}) std::filesystem::resize_file(tree.Path(side), grown);
    }
  };
  EXPECT_EQ(ComparePair("g"), Lines{Pair("g") + " are equal."});
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(grown));
}

TEST_F(MultiBlockReadTest, AFileThatGrowsBeforeItsFirstReadIsReadInWholeBlocks) {
  // Guards against the read that looks for the end of a small file handing out the few bytes it asked for as a
  ZEK_SKIP_ON_WINDOWS("changes a file the run holds open, which Windows refuses: the run shares reads only");
  // short block when the file has grown past them, which shifts every block after it.
  const std::string small(1000, 'w');
  std::string grown(50000, 'w');
  WriteBoth("w", small);
  files.AfterOpen = [&](const std::string& path) {
    if (path != Tgt("w")) return;  // both are open
    tree.Write("src/w", grown);
    grown[30000] = 'W';
    tree.Write("tgt/w", grown);
  };
  EXPECT_EQ(ComparePair("w"), Lines{Pair("w") + " do not match."});
  files.AfterOpen = nullptr;
  // The difference lies in the second whole block of the grown file.
  EXPECT_EQ(run.Counts().TotalBytes, static_cast<long double>(2 * kBlockSize));
}

}  // namespace
}  // namespace zek::test
