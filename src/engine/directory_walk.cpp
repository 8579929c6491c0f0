#include <functional>
#include <unordered_set>
#include <utility>

#include "engine/comparison_run.h"
#include "engine/path_rules.h"
#include "platform/io_error.h"

namespace zek {
namespace {

// Closes the run's one search however the pass ends.
class SearchGuard {
 public:
  explicit SearchGuard(FindRecord& record) : record_(record) {}
  ~SearchGuard() { Files().FindClose(record_); }
  SearchGuard(const SearchGuard&) = delete;
  SearchGuard& operator=(const SearchGuard&) = delete;

 private:
  FindRecord& record_;
};

struct FileIdHash {
  size_t operator()(const FileId& id) const { return std::hash<uint64_t>()(id.Inode ^ (id.Device * 0x9E3779B97F4A7C15ULL)); }
};

// One directory on the walk's way down from the start directory. The levels
// share the path fields: SubSourceDir and SubTargetDir cut to a level's
// lengths name its directory pair, so a level costs the same at any depth.
struct WalkLevel {
  size_t SourceLength = 0;
  size_t TargetLength = 0;
  FileId SourceId;
  FileId TargetId;  // taken when the pair is let go with subdirectories left
  bool Reached = false;  // the source directory could be opened
  bool Held = false;     // its directory pair is held (a failed hold included)
  std::vector<std::string> Subdirs;  // gathered by the subdirectory pass
  size_t Next = 0;                   // the next of Subdirs to visit
};

// While the walk works below a directory it keeps the directory pair open, so
// that each subdirectory is opened by its name there; a level whose last
// subdirectory is entered needs its pair no more. Past this many levels with
// subdirectories left, a pair is let go and opened again on the way back up,
// from the subdirectory just left, so that no tree runs out of descriptors.
constexpr size_t kHeldLevels = 16;

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

void TComparisonRun::DirectoryNotListed(int error) {
  if (IsResourceError(error)) throw EInOutError(error);
  ++DirectoriesNotCompared;
  if (inputs_.Options().Checked(Option::CouldNotOpenSource))
    Report("Could not open source directory: " + RemoveDoubleBackslashes(SubSourceDir));
}

// The walk keeps its own stack of levels rather than recursing, so that no
// depth of tree can overflow the call stack; the order of work is the
// recursion's: depth first, each directory's files before its subdirectories.
void TComparisonRun::CompareDirectory(std::string sourceDir, std::string targetDir) {
  FileAccess& files = Files();
  const char delimiter = PathDelimiter();
  std::vector<WalkLevel> levels;
  // The source directories the walk is inside: links are followed, and a link
  // that leads back into one of them would never end.
  std::unordered_set<FileId, FileIdHash> inside;
  size_t heldLevels = 0;
  SubSourceDir = std::move(sourceDir);
  SubTargetDir = std::move(targetDir);

  auto release = [&](WalkLevel& level) {
    if (!level.Held) return;
    files.ReleaseDirectory(SubTargetDir.substr(0, level.TargetLength));
    files.ReleaseDirectory(SubSourceDir.substr(0, level.SourceLength));
    level.Held = false;
    --heldLevels;
  };

  // Holds the pair that SubSourceDir and SubTargetDir name as a new level, or
  // returns false for a directory the walk is inside already.
  int sourceError = 0;
  auto hold = [&]() {
    WalkLevel level;
    level.SourceLength = SubSourceDir.size();
    level.TargetLength = SubTargetDir.size();
    // Held as the search names it: a leading doubled separator is no network
    // path on Windows but the root of the current drive, as in the pattern.
    sourceError = files.HoldDirectory(RemoveDoubleBackslashes(SubSourceDir), &level.SourceId).Error();
    level.Reached = sourceError == 0;
    if (level.Reached && inside.count(level.SourceId) != 0) {
      files.ReleaseDirectory(SubSourceDir);
      return false;
    }
    const int targetError = files.HoldDirectory(RemoveDoubleBackslashes(SubTargetDir)).Error();
    level.Held = true;
    ++heldLevels;
    if (level.Reached) inside.insert(level.SourceId);
    levels.push_back(std::move(level));
    if (IsResourceError(targetError)) throw EInOutError(targetError);
    return true;
  };

  // The directory's own work: its line, its files, its subdirectories gathered.
  auto visit = [&]() {
    view_.ProcessMessages();
    SearchPath = RemoveDoubleBackslashes(SubSourceDir + delimiter + SourceMask);
    if (inputs_.Options().Checked(Option::ShowDir)) Report("Switching to directory " + SearchPath);
    if (sourceError != 0) {
      DirectoryNotListed(sourceError);
      return;
    }
    {
      SearchGuard search{FindRecord};
      SearchStep found = files.FindFirst(SearchPath, faAnyFile, FindRecord);
      if (found.Failed()) {
        DirectoryNotListed(found.Error());
        return;
      }
      while (found.Found() && !UserBreak) {
        if ((FindRecord.Attr & (faDirectory | faVolumeID)) == 0 && !IsDotEntry(FindRecord.Name)) {
          SourceFile = SubSourceDir + delimiter + FindRecord.Name;
          TargetFile = SubTargetDir + delimiter + FindRecord.Name;
          CompareFilePair(SourceFile, TargetFile, FindRecord.Size);
        }
        found = files.FindNext(FindRecord);
      }
    }
    // Subdirectories are gathered first: no search stays open across a descent.
    SearchPath = RemoveDoubleBackslashes(SubSourceDir + delimiter + "*.*");
    SearchGuard search{FindRecord};
    // Only directories are gathered, so the search may pass over the rest unseen.
    SearchStep found = files.FindFirstDirectory(SearchPath, faDirectory, FindRecord);
    if (found.Failed()) {
      DirectoryNotListed(found.Error());
      return;
    }
    std::vector<std::string>& subdirs = levels.back().Subdirs;
    while (found.Found() && !UserBreak && inputs_.IncludeSubDir()) {
      if ((FindRecord.Attr & faDirectory) != 0 && !IsDotEntry(FindRecord.Name) && (FindRecord.Attr & faVolumeID) == 0)
        subdirs.push_back(FindRecord.Name);
      found = files.FindNext(FindRecord);
    }
  };

  auto cutPaths = [&](const WalkLevel& level) {
    SubSourceDir.resize(level.SourceLength);
    SubTargetDir.resize(level.TargetLength);
  };

  try {
    hold();
    visit();
    while (!levels.empty()) {
      const size_t top = levels.size() - 1;
      if (!UserBreak && levels[top].Next < levels[top].Subdirs.size()) {
        WalkLevel& parent = levels[top];
        const std::string name = std::move(parent.Subdirs[parent.Next++]);
        const bool last = parent.Next == parent.Subdirs.size();
        if (last) std::vector<std::string>().swap(parent.Subdirs);
        SubSourceDir += delimiter;
        SubSourceDir += name;
        SubTargetDir += delimiter;
        SubTargetDir += name;
        if (!hold()) {
          cutPaths(levels[top]);
          continue;
        }
        WalkLevel& above = levels[top];
        if (!last && heldLevels > kHeldLevels) files.DirectoryId(SubTargetDir.substr(0, above.TargetLength), above.TargetId);
        if (last || heldLevels > kHeldLevels) release(above);
        visit();
        continue;
      }
      WalkLevel& done = levels[top];
      if (top > 0) {
        WalkLevel& above = levels[top - 1];
        if (!above.Held && !UserBreak && above.Next < above.Subdirs.size()) {
          const int sourceBack = files.HoldParentDirectory(SubSourceDir, SubSourceDir.substr(0, above.SourceLength), above.SourceId).Error();
          const int targetBack = files.HoldParentDirectory(SubTargetDir, SubTargetDir.substr(0, above.TargetLength), above.TargetId).Error();
          above.Held = true;
          ++heldLevels;
          if (IsResourceError(sourceBack)) throw EInOutError(sourceBack);
          if (IsResourceError(targetBack)) throw EInOutError(targetBack);
        }
      }
      release(done);
      if (done.Reached) inside.erase(done.SourceId);
      levels.pop_back();
      if (!levels.empty()) cutPaths(levels.back());
    }
  } catch (...) {
    for (WalkLevel& level : levels) release(level);
    throw;
  }
}

}  // namespace zek
