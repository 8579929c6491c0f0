#pragma once
// The walk of the source tree, one step at a time: the directories it reaches,
// the file pairs in them and the directories it cannot list, in the run's
// order. Its caller reports and compares each step before it asks for the next.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/run_interfaces.h"
#include "platform/file_access.h"

namespace zek {

enum class WalkStep {
  Directory,  // a directory is reached: SearchPath names its file pass
  Pair,       // a file to compare: SourceFile, TargetFile, FileSize
  NotListed,  // SourceDir could not be listed: Error
  End,
};

class DirectoryWalk {
 public:
  // `userBreak` is looked at before every entry and every subdirectory, the
  // sub-directory box of `inputs` at every entry of the subdirectory pass.
  DirectoryWalk(std::string sourceDir, std::string targetDir, std::string mask, const bool& userBreak,
                IRunInputs& inputs);
  // Closes the search and lets go of every directory held, however the walk ends.
  ~DirectoryWalk();
  DirectoryWalk(const DirectoryWalk&) = delete;
  DirectoryWalk& operator=(const DirectoryWalk&) = delete;

  WalkStep Next();

  const std::string& SearchPath() const { return searchPath_; }
  const std::string& SourceDir() const { return sourceDir_; }
  const std::string& SourceFile() const { return sourceFile_; }
  const std::string& TargetFile() const { return targetFile_; }
  int64_t FileSize() const { return record_.Size; }
  // The search has just looked at the file: a regular one needs no second look.
  KnownAs FileKnownAs() const { return record_.Regular ? KnownAs::RegularFile : KnownAs::Nothing; }
  int Error() const { return error_; }

 private:
  // One directory on the way down from the start directory. The levels share
  // the path fields: sourceDir_ and targetDir_ cut to a level's lengths name
  // its directory pair, so a level costs the same at any depth.
  struct Level {
    size_t SourceLength = 0;
    size_t TargetLength = 0;
    FileId SourceId;
    FileId TargetId;                   // taken when the pair is let go with subdirectories left
    bool Reached = false;              // the source directory could be opened
    bool Held = false;                 // its directory pair is held (a failed hold included)
    std::vector<std::string> Subdirs;  // gathered by the subdirectory pass
    size_t Next = 0;                   // the next of Subdirs to visit
  };
  struct FileIdHash {
    size_t operator()(const FileId& id) const;
  };
  enum class Phase { Start,
                     Reached,
                     Files,
                     Climb,
                     Done };

  WalkStep Reach();
  WalkStep NotListed(int error);
  // Hands out the next file of the file pass from `found` on; past its last,
  // gathers the subdirectories and climbs on.
  WalkStep ListFiles(SearchStep found);
  WalkStep Climb();
  bool Hold();
  void Release(Level& level);
  void CutPaths(const Level& level);
  bool Descend();
  void Ascend();
  void StartSearch();
  void CloseSearch();

  const std::string mask_;
  const bool& userBreak_;
  IRunInputs& inputs_;
  Phase phase_ = Phase::Start;
  std::string sourceDir_;
  std::string targetDir_;
  std::string searchPath_;
  std::string sourceFile_;
  std::string targetFile_;
  FindRecord record_;  // the one search record every level uses
  bool searching_ = false;
  int sourceError_ = 0;  // of the last directory held
  int error_ = 0;
  std::vector<Level> levels_;
  // The source directories the walk is inside: links are followed, and a link
  // that leads back into one of them would never end.
  std::unordered_set<FileId, FileIdHash> inside_;
  size_t heldLevels_ = 0;
};

}  // namespace zek
