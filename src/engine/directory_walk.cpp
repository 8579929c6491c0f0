#include "engine/directory_walk.h"

#include <functional>
#include <utility>

#include "engine/comparison_run.h"
#include "engine/path_rules.h"
#include "platform/io_error.h"
#include "platform/walk_rule.h"

namespace zek {
namespace {

// While the walk works below a directory it keeps the directory pair open, so
// that each subdirectory is opened by its name there; a level whose last
// subdirectory is entered needs its pair no more. Past this many levels with
// subdirectories left, a pair is let go and opened again on the way back up,
// from the subdirectory just left, so that no tree runs out of descriptors.
constexpr size_t kHeldLevels = 16;

}  // namespace

size_t DirectoryWalk::FileIdHash::operator()(const FileId& id) const {
  return std::hash<uint64_t>()(id.Inode ^ (id.Device * 0x9E3779B97F4A7C15ULL));
}

DirectoryWalk::DirectoryWalk(std::string sourceDir, std::string targetDir, std::string mask, const bool& userBreak,
                             IRunInputs& inputs)
    : mask_(std::move(mask)),
      userBreak_(userBreak),
      inputs_(inputs),
      sourceDir_(std::move(sourceDir)),
      targetDir_(std::move(targetDir)) {}

DirectoryWalk::~DirectoryWalk() {
  CloseSearch();
  for (Level& level : levels_) Release(level);
}

// The walk keeps its own stack of levels rather than recursing, so that no
// depth of tree can overflow the call stack; the order of work is the
// recursion's: depth first, each directory's files before its subdirectories.
WalkStep DirectoryWalk::Next() {
  switch (phase_) {
    case Phase::Start:
      Hold();
      return Reach();
    case Phase::Reached: {
      if (sourceError_ != 0) return NotListed(sourceError_);
      StartSearch();
      const SearchStep found = Files().FindFirst(searchPath_, kFilePassAttr, record_);
      if (found.Failed()) return NotListed(found.Error());
      return ListFiles(found);
    }
    case Phase::Files:
      return ListFiles(Files().FindNext(record_));
    case Phase::Climb:
      return Climb();
    case Phase::Done:
      break;
  }
  return WalkStep::End;
}

WalkStep DirectoryWalk::Reach() {
  phase_ = Phase::Reached;
  searchPath_ = RemoveDoubleBackslashes(sourceDir_ + PathDelimiter() + mask_);
  return WalkStep::Directory;
}

WalkStep DirectoryWalk::NotListed(int error) {
  error_ = error;
  phase_ = Phase::Climb;
  return WalkStep::NotListed;
}

WalkStep DirectoryWalk::ListFiles(SearchStep found) {
  const char delimiter = PathDelimiter();
  while (found.Found() && !userBreak_) {
    if (TakesUpFile(record_.Name, record_.Attr)) {
      sourceFile_ = sourceDir_ + delimiter + record_.Name;
      targetFile_ = targetDir_ + delimiter + record_.Name;
      phase_ = Phase::Files;
      return WalkStep::Pair;
    }
    found = Files().FindNext(record_);
  }
  CloseSearch();
  // Subdirectories are gathered first: no search stays open across a descent.
  searchPath_ = RemoveDoubleBackslashes(sourceDir_ + delimiter + std::string(kSubdirectoryPassMask));
  StartSearch();
  // Only directories are gathered, so the search may pass over the rest unseen.
  found = Files().FindFirstDirectory(searchPath_, kSubdirectoryPassAttr, record_);
  if (found.Failed()) return NotListed(found.Error());
  std::vector<std::string>& subdirs = levels_.back().Subdirs;
  while (found.Found() && !userBreak_ && inputs_.IncludeSubDir()) {
    if (EntersDirectory(record_.Name, record_.Attr)) subdirs.push_back(record_.Name);
    found = Files().FindNext(record_);
  }
  return Climb();
}

void DirectoryWalk::StartSearch() { searching_ = true; }

void DirectoryWalk::CloseSearch() {
  if (!searching_) return;
  searching_ = false;
  Files().FindClose(record_);
}

WalkStep DirectoryWalk::Climb() {
  CloseSearch();
  phase_ = Phase::Climb;
  while (!levels_.empty()) {
    const Level& top = levels_.back();
    if (!userBreak_ && top.Next < top.Subdirs.size()) {
      if (Descend()) return Reach();
    } else {
      Ascend();
    }
  }
  phase_ = Phase::Done;
  return WalkStep::End;
}

// Holds the pair that sourceDir_ and targetDir_ name as a new level, or
// returns false for a directory the walk is inside already.
bool DirectoryWalk::Hold() {
  FileAccess& files = Files();
  Level level;
  level.SourceLength = sourceDir_.size();
  level.TargetLength = targetDir_.size();
  // Held as the search names it: a leading doubled separator is no network
  // path on Windows but the root of the current drive, as in the pattern.
  sourceError_ = files.HoldDirectory(RemoveDoubleBackslashes(sourceDir_), &level.SourceId).Error();
  level.Reached = sourceError_ == 0;
  if (level.Reached && inside_.count(level.SourceId) != 0) {
    files.ReleaseDirectory(sourceDir_);
    return false;
  }
  const int targetError = files.HoldDirectory(RemoveDoubleBackslashes(targetDir_)).Error();
  level.Held = true;
  ++heldLevels_;
  if (level.Reached) inside_.insert(level.SourceId);
  levels_.push_back(std::move(level));
  if (IsResourceError(targetError)) throw EInOutError(targetError);
  return true;
}

void DirectoryWalk::Release(Level& level) {
  if (!level.Held) return;
  Files().ReleaseDirectory(targetDir_.substr(0, level.TargetLength));
  Files().ReleaseDirectory(sourceDir_.substr(0, level.SourceLength));
  level.Held = false;
  --heldLevels_;
}

void DirectoryWalk::CutPaths(const Level& level) {
  sourceDir_.resize(level.SourceLength);
  targetDir_.resize(level.TargetLength);
}

// Enters the next subdirectory of the deepest level; false for one the walk
// is inside already, which is passed over.
bool DirectoryWalk::Descend() {
  const char delimiter = PathDelimiter();
  const size_t top = levels_.size() - 1;
  Level& parent = levels_[top];
  const std::string name = std::move(parent.Subdirs[parent.Next++]);
  const bool last = parent.Next == parent.Subdirs.size();
  if (last) std::vector<std::string>().swap(parent.Subdirs);
  sourceDir_ += delimiter;
  sourceDir_ += name;
  targetDir_ += delimiter;
  targetDir_ += name;
  if (!Hold()) {
    CutPaths(levels_[top]);
    return false;
  }
  Level& above = levels_[top];
  if (!last && heldLevels_ > kHeldLevels) Files().DirectoryId(targetDir_.substr(0, above.TargetLength), above.TargetId);
  if (last || heldLevels_ > kHeldLevels) Release(above);
  return true;
}

// Leaves the deepest level, holding the one above again if it was let go
// with subdirectories left.
void DirectoryWalk::Ascend() {
  FileAccess& files = Files();
  const size_t top = levels_.size() - 1;
  Level& done = levels_[top];
  if (top > 0) {
    Level& above = levels_[top - 1];
    if (!above.Held && !userBreak_ && above.Next < above.Subdirs.size()) {
      const int sourceBack = files.HoldParentDirectory(sourceDir_, sourceDir_.substr(0, above.SourceLength), above.SourceId).Error();
      const int targetBack = files.HoldParentDirectory(targetDir_, targetDir_.substr(0, above.TargetLength), above.TargetId).Error();
      above.Held = true;
      ++heldLevels_;
      if (IsResourceError(sourceBack)) throw EInOutError(sourceBack);
      if (IsResourceError(targetBack)) throw EInOutError(targetBack);
    }
  }
  Release(done);
  if (done.Reached) inside_.erase(done.SourceId);
  levels_.pop_back();
  if (!levels_.empty()) CutPaths(levels_.back());
}

void TComparisonRun::DirectoryNotListed(int error, const std::string& directory) {
  if (IsResourceError(error)) throw EInOutError(error);
  // Every shard walks the whole tree; one of them speaks for a directory.
  if (shard_.K != 1) return;
  ++counts_.DirectoriesNotCompared;
  if (inputs_.Options().Checked(Option::CouldNotOpenSource))
    Report("Could not open source directory: " + RemoveDoubleBackslashes(directory));
  if (recorder_ == nullptr) return;
  const std::string relative = RelativePath(sourceDir_, directory);
  recorder_->DirectoryNotListed(relative.empty() ? "." : relative, error);
}

void TComparisonRun::CompareDirectory(std::string sourceDir, std::string targetDir) {
  DirectoryWalk walk(std::move(sourceDir), std::move(targetDir), sourceMask_, userBreak_, inputs_);
  for (;;) {
    switch (walk.Next()) {
      case WalkStep::Directory:
        view_.ProcessMessages();
        if (inputs_.Options().Checked(Option::ShowDir)) Report("Switching to directory " + walk.SearchPath());
        break;
      case WalkStep::Pair:
        CompareFilePair(walk.SourceFile(), walk.TargetFile(), walk.FileSize(), walk.FileKnownAs());
        break;
      case WalkStep::NotListed:
        DirectoryNotListed(walk.Error(), walk.SourceDir());
        break;
      case WalkStep::End:
        return;
    }
  }
}

}  // namespace zek
