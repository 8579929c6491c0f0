#pragma once
// One comparison run: the walk of the source tree, the comparison of each file
// pair, the counters, and every line of the run through Report. The main window
// owns one of these; batch mode and the tests make their own.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_interfaces.h"
#include "engine/run_record.h"
#include "engine/shard.h"
#include "platform/file_access.h"
#include "platform/read_ahead.h"
#include "platform/text_file.h"

namespace zek {

// Blocks of this size are compared; the byte total grows by whole blocks.
constexpr size_t kBlockSize = 20480;
// Labels, progress bar and the message pump are served once per this many bytes.
constexpr int64_t kProgressStep = 200000;
// The most blocks read at once: those up to the next progress update.
constexpr size_t kReadAheadBlocks = static_cast<size_t>(kProgressStep) / kBlockSize + 1;

// Storage for file reads, page-aligned: the kernel copies into such buffers
// fastest.
template <class T>
struct PageAligned {
  using value_type = T;
  static constexpr std::align_val_t kAlignment{4096};
  PageAligned() = default;
  template <class U>
  PageAligned(const PageAligned<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlignment)); }
  void deallocate(T* p, size_t) { ::operator delete(p, kAlignment); }
  template <class U>
  bool operator==(const PageAligned<U>&) const {
    return true;
  }
};
using ReadBuffer = std::vector<unsigned char, PageAligned<unsigned char>>;

// What a run counted.
struct RunCounts {
  int32_t FilesTotal = 0;
  int32_t TargetsNotFound = 0;
  int32_t FilesDifferent = 0;
  // Files and directories that could not be compared: a source not found, a
  // file that could not be opened, a source directory that could not be listed.
  int32_t FilesNotCompared = 0;
  int32_t DirectoriesNotCompared = 0;
  long double TotalBytes = 0.0L;
};

struct PairFinding;
class PairComparison;
class ManifestWriter;

class TComparisonRun {
 public:
  TComparisonRun(IRunView& view, IRunInputs& inputs);

  // One whole run: Compare. An I/O error (a read error, a log that cannot be
  // written) ends it and passes on to the caller, with Busy cleared and the log
  // closed, so the next run starts afresh.
  void RunComparison();
  // A run over one pair: the source path names the one file, the target path
  // the file to compare it with, whatever its name.
  void RunPairComparison();
  void ResetCounters();
  void CompareDirectory(std::string sourceDir, std::string targetDir);
  void CompareFilePair(std::string sourcePath, std::string targetPath, int64_t sourceSize, KnownAs source);
  // The one channel for every line of a run: message window, dispatch, log.
  void Report(const std::string& line);
  // After a run: what it could not check (nothing at all, or some files or
  // directories), as one line; empty when it compared everything it met.
  std::string IncompleteRunText() const;

  const RunCounts& Counts() const { return counts_; }
  // A run is going: no second one may start from one of its dispatches.
  bool Busy() const { return busy_; }
  // Cancel (or Ctrl-C): the run stops at the next entry or block and says so.
  // A run clears it as it starts; a caller that compares pairs itself clears
  // it with ClearBreak.
  void Break() { userBreak_ = true; }
  void ClearBreak() { userBreak_ = false; }
  bool UserBreak() const { return userBreak_; }
  bool LogOpen() const { return logFile_.IsOpen(); }
  // The report's recorder hears of every file taken up (nullptr for none);
  // the file it writes, if any, is no file of the tree.
  void SetRecorder(IRunRecorder* recorder, const TextFile* file) {
    recorder_ = recorder;
    reportFile_ = file;
  }
  // Only the files of this shard are taken up; the unlisted directories are
  // the first shard's to report.
  void SetShard(Shard shard) { shard_ = shard; }
  // The directories of this run: where the relative paths start.
  const std::string& SourceDir() const { return sourceDir_; }
  const std::string& TargetDir() const { return targetDir_; }
  const std::string& SourceMask() const { return sourceMask_; }
  // Every pair found equal goes into `manifest`, which a run that ends
  // normally commits before its verdict; nullptr for none.
  void WriteManifestTo(ManifestWriter* manifest) { manifest_ = manifest; }

 private:
  // The frame of every run around `compare`: counters, log, the first line,
  // the summary and the verdict.
  void Run(const std::function<void()>& compare);
  void ShowByteTotal();
  // Reports a pair's finding and counts it.
  void Take(const std::vector<PairFinding>& findings);
  void Take(const PairFinding& finding);
  // One pair's steps, from its count to its last line.
  void ComparePair(PairComparison& pair, int64_t sourceSize, const std::string& relative);
  void Record(const PairComparison& pair, std::string relative);

  // Counts and reports the source directory that could not be listed; a want
  // of descriptors or memory ends the run instead.
  void DirectoryNotListed(int error, const std::string& directory);

  IRunView& view_;
  IRunInputs& inputs_;
  RunCounts counts_;
  TextFile logFile_;
  bool busy_ = false;
  bool userBreak_ = false;
  std::string searchPath_;
  std::string sourceMask_;
  std::string targetPath_;
  std::string sourceDir_;
  std::string targetDir_;
  std::optional<ReadAhead> readAhead_;  // while the walk goes on
  ManifestWriter* manifest_ = nullptr;
  ReadBuffer sourceBuffer_;
  ReadBuffer targetBuffer_;
  IRunRecorder* recorder_ = nullptr;
  const TextFile* reportFile_ = nullptr;
  Shard shard_;
};

// The count lines of a run's end: the files total, and the targets not found
// and the files with differences where there are any.
std::vector<std::string> CountLines(const RunCounts& counts);
// What a run could not check (nothing at all, or some files or directories),
// as one line; empty when it compared everything it met.
std::string IncompleteText(const RunCounts& counts, const std::string& sourceDir, const std::string& mask,
                           bool subdirectories);

// Helpers of the run's texts, exposed for the tests.
std::string HexPosition(int64_t position);
std::string FormatByteTotal(long double total);
// Progress bar units of 200,000 bytes, halves to the even neighbour; sizes whose
// units would pass the bar's 65535 are scaled down to fit.
int ProgressMaximum(int64_t size);
int ProgressPosition(int64_t bytes, int64_t size);

}  // namespace zek
