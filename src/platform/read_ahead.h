#pragma once
// While a run compares one pair, asks the kernel to fetch the files that its
// walk reaches next, on both sides, so that a cold disk serves many reads at a
// time instead of one. It changes nothing that the run sees: the run reads,
// measures and opens exactly as it would without it, and the helper threads
// keep to state of their own. Where the files are already cached it soon falls
// to sampling every few files.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/file_access.h"

namespace zek {

struct ReadAheadPlan {
  std::string SourceDir;
  std::string Mask;  // of the source files
  std::string TargetDir;
  bool Subdirectories = true;
  // Target files get their dirty pages written back and their cached pages
  // dropped before they are fetched, so that they come from the device.
  bool FromDisk = false;
  // The run reads bytes (not time and size only), and of pairs whose sizes
  // differ too: the helpers ask for no data that the run will not read.
  bool ReadsBytes = true;
  bool ReadsDifferentSizes = false;
  // The source files the run takes up, where it takes up only some; the
  // helpers count and fetch only those.
  std::function<bool(const std::string& source)> Takes = nullptr;
};

// Called with each source and target path pair that the helpers' walk
// reaches; false ends the walk.
using ReadAheadPairs = std::function<bool(const std::string& source, const std::string& target)>;

// The helpers' walk, in its order: the run's rules (platform/walk_rule.h) over
// the source directories on local disks. `stop` is looked at before every
// entry and every directory.
void WalkPairs(const ReadAheadPlan& plan, const std::atomic<bool>& stop, const ReadAheadPairs& pair);

class ReadAhead {
 public:
  // Starts the helper threads; they walk the source tree in the order of the
  // run's walk: a directory's files, then its subdirectories.
  explicit ReadAhead(const ReadAheadPlan& plan);
  // Stops the helpers without waiting for them: one may be held in the kernel
  // by a stalled file system, and the run's verdict must not wait for it. Each
  // ends after the one call it is in, with state that it shares with no run.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The run has begun its pair number `pairs` (counting from 1): the helpers
  // may go that many pairs further.
  void Reached(int64_t pairs);
  // True once for an open target file that the helpers have dropped from the
  // cache and fetched from the device (FromDisk), if it has not been changed
  // since: its pages came from the device and need no second fetch.
  bool TakeFetchedFromDisk(FileHandle file);

 private:
  struct Shared;
  static void Walk(std::shared_ptr<Shared> shared);
  static void Fetch(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_;
};

// Writes an open file's dirty pages back and drops its cached ones, so that
// its next reads come from the device.
void DropCachedPages(FileHandle file);
// False where the system cannot drop one file's pages: a run there cannot
// promise that it reads from the device.
bool CanDropCachedPages();

}  // namespace zek
