#pragma once
// The time, size and byte cascade of one file pair, step by step. Each step
// returns what it found: the line to report (and the box that lets it be
// written) and what it adds to the run's counts. The run reports and counts
// each finding before it takes the next step, as a line may be a dispatch in
// which the user breaks the run off or changes a file.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/block_reader.h"
#include "engine/comparison_run.h"
#include "engine/run_record.h"
#include "engine/run_interfaces.h"
#include "platform/file_access.h"
#include "platform/read_ahead.h"
#include "platform/text_file.h"

namespace zek {

enum class PairCount { None,
                       NotCompared,
                       TargetNotFound,
                       Different };

struct PairFinding {
  std::optional<Option> ShownBy;  // without one, the line is always written
  std::string Line;
  PairCount Counts = PairCount::None;
};
using PairFindings = std::vector<PairFinding>;

// The files this run writes, which are never files of the tree.
struct RunOwnFiles {
  const TextFile& Log;
  const TextFile* Report = nullptr;
  // "log" or "report" for one of them, else nullptr.
  const char* Which(const FileId& id) const {
    if (Log.Is(id)) return "log";
    return Report != nullptr && Report->Is(id) ? "report" : nullptr;
  }
};

class PairComparison {
 public:
  // The paths as the lines name them. Options and `userBreak` are read at the
  // moment of use.
  PairComparison(std::string sourcePath, std::string targetPath, IRunInputs& inputs, const bool& userBreak,
                 ReadBuffer& sourceBuffer, ReadBuffer& targetBuffer);

  // One look at each file serves its existence test, its time test and its
  // open. False for a file that this run writes: no file of the tree.
  bool LookAtSource(const RunOwnFiles& own, KnownAs known);
  // What the source look found; a want of descriptors or memory ends the run.
  PairFindings CheckSource();
  // The target is looked at only after the source's findings are reported.
  PairFindings LookAtTarget(const RunOwnFiles& own, ReadAhead* readAhead);
  PairFindings CompareTimesAndOpens();
  PairFindings CompareSizes();

  // The block loop: ReadsOn, ReadBlocks, NextDifference until it finds none,
  // FinishBlock (the source bytes read), ProgressDue.
  bool ReadsOn();
  void ReadBlocks();
  std::optional<PairFinding> NextDifference();
  int64_t FinishBlock();
  // True once per progress step of the pair's bytes.
  bool ProgressDue();
  int64_t Bytes() const { return pairBytes_; }
  // The source bytes of the block that ReadBlocks gave.
  const unsigned char* SourceBlock() const { return sourceData_; }
  size_t SourceBlockBytes() const { return sourceRead_; }

  // Equal, or not: the pair's last line.
  PairFindings Conclude();

  const std::string& SourcePath() const { return sourcePath_; }
  // What the steps so far found, for the report (its path left empty). A pair
  // whose steps ended early by an error is no verdict: `IoError` says so.
  PairRecord Record() const { return record_; }
  void EndedByError();
  int64_t SourceTimeSteps() const { return sourceLook_.TimeSteps; }
  // After Conclude: every byte of both files was read and found equal, in a
  // run that was not broken off.
  bool BytesVerified() const { return bytesVerified_; }

 private:
  // Both files are closed however the comparison ends.
  struct OpenPair {
    FileHandle Source = kNoFile;
    FileHandle Target = kNoFile;
    ~OpenPair();
  };

  // A difference of the pair: it adds at most one to the different files,
  // however many ways it differs.
  PairFinding Differs(Option shownBy, const std::string& what);
  bool EndedEqual();
  // The pair is not compared, for `reason`; a difference already found stays
  // its verdict.
  void NotCompared(PairStatus status, NotComparedReason reason);

  const std::string sourcePath_;
  const std::string targetPath_;
  const std::string pair_;  // "File <source> and <target>"
  IRunInputs& inputs_;
  IOptionControls& options_;
  const bool& userBreak_;
  ReadBuffer& sourceBuffer_;
  ReadBuffer& targetBuffer_;
  OpenPair open_;
  FileLook sourceLook_;
  FileLook targetLook_;
  std::optional<BlockReader> source_;
  std::optional<BlockReader> target_;
  bool usable_ = true;
  bool equal_ = true;
  bool countedDifferent_ = false;
  bool bytesVerified_ = false;
  // The block loop.
  int64_t pairBytes_ = 0;
  int64_t lastShownBytes_ = 0;
  int64_t bytePosition_ = 0;
  size_t sourceRead_ = 1;
  size_t targetRead_ = 1;
  const unsigned char* sourceData_ = nullptr;
  const unsigned char* targetData_ = nullptr;
  size_t blockBytes_ = 0;  // compared in this block: the shorter read
  size_t at_ = 0;          // of blockBytes_
  bool blockDone_ = false;
  int32_t differencesSeen_ = 0;
  PairRecord record_;
};

}  // namespace zek
