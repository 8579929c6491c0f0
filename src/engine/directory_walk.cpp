#include <algorithm>
#include <optional>

#include "engine/comparison_run.h"
#include "engine/path_rules.h"

namespace zek {
namespace {

// Keeps the directory on the walk's ancestor chain while its call runs.
class AncestorEntry {
 public:
  AncestorEntry(std::vector<FileId>& chain, const FileId& id) : chain_(chain) { chain_.push_back(id); }
  ~AncestorEntry() { chain_.pop_back(); }
  AncestorEntry(const AncestorEntry&) = delete;
  AncestorEntry& operator=(const AncestorEntry&) = delete;

 private:
  std::vector<FileId>& chain_;
};

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

// Keeps the directory pair open while the walk works in it, so that each name
// is looked up there rather than through its whole path.
class HeldPair {
 public:
  HeldPair(FileAccess& files, const std::string& source, const std::string& target)
      : files_(files), source_(source), target_(target) {
    files_.HoldDirectory(source_);
    files_.HoldDirectory(target_);
  }
  ~HeldPair() {
    files_.ReleaseDirectory(target_);
    files_.ReleaseDirectory(source_);
  }
  HeldPair(const HeldPair&) = delete;
  HeldPair& operator=(const HeldPair&) = delete;

 private:
  FileAccess& files_;
  std::string source_;
  std::string target_;
};

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

void TComparisonRun::CompareDirectory(std::string sourceDir, std::string targetDir) {
  FileAccess& files = Files();
  // Released before the descent: a deep tree must not hold a directory per level.
  std::optional<HeldPair> held(std::in_place, files, sourceDir, targetDir);
  // Links are followed, so a directory may lead back into one the walk is
  // already inside; entering it again would never end.
  FileId id;
  std::optional<AncestorEntry> entry;
  if (files.DirectoryId(sourceDir, id)) {
    if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end()) return;
    entry.emplace(ancestors_, id);
  }

  view_.ProcessMessages();
  const char delimiter = PathDelimiter();
  SearchPath = RemoveDoubleBackslashes(sourceDir + delimiter + SourceMask);
  if (inputs_.Options().Checked(Option::ShowDir)) Report("Switching to directory " + SearchPath);

  {
    SearchGuard search{FindRecord};
    int found = files.FindFirst(SearchPath, faAnyFile, FindRecord);
    while (found == 0 && !UserBreak) {
      if ((FindRecord.Attr & (faDirectory | faVolumeID)) == 0 && !IsDotEntry(FindRecord.Name)) {
        SourceFile = sourceDir + delimiter + FindRecord.Name;
        TargetFile = targetDir + delimiter + FindRecord.Name;
        CompareFilePair(SourceFile, TargetFile, FindRecord.Size);
      }
      found = files.FindNext(FindRecord);
    }
  }

  // Subdirectories are gathered first: no search stays open across a descent.
  std::vector<std::string> subdirList;
  SearchPath = RemoveDoubleBackslashes(sourceDir + delimiter + "*.*");
  {
    SearchGuard search{FindRecord};
    // Only directories are gathered, so the search may pass over the rest unseen.
    int found = files.FindFirstDirectory(SearchPath, faDirectory, FindRecord);
    while (found == 0 && !UserBreak && inputs_.IncludeSubDir()) {
      if ((FindRecord.Attr & faDirectory) != 0 && !IsDotEntry(FindRecord.Name) && (FindRecord.Attr & faVolumeID) == 0)
        subdirList.push_back(FindRecord.Name);
      found = files.FindNext(FindRecord);
    }
  }

  held.reset();
  for (const std::string& name : subdirList) {
    if (UserBreak) break;
    SubSourceDir = sourceDir + delimiter + name;
    SubTargetDir = targetDir + delimiter + name;
    CompareDirectory(SubSourceDir, SubTargetDir);
  }
}

}  // namespace zek
