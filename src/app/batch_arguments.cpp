#include "app/batch_arguments.h"

#include "engine/path_rules.h"
#include "platform/file_access.h"

namespace zek {
namespace {

bool EndsInSeparator(const std::string& path) {
  const char last = path.back();
  return last == PathDelimiter() || (kNativeSyntax == PathSyntax::Windows && last == ':');
}

std::string AsDirectory(const std::string& path) { return EndsInSeparator(path) ? path : path + PathDelimiter(); }

bool HasWildcard(const std::string& path) { return NamePart(path).find_first_of("*?") != std::string::npos; }

// Which file a path names, where it names one that can be looked at.
bool IdOfFile(const std::string& path, FileId& id) {
  const FileLook look = Files().LookAndOpen(path);
  Files().Close(look.Handle);
  id = look.Id;
  return look.Exists && look.Id != FileId{};
}

void RefuseOneObject(const BatchPaths& paths) {
  FileAccess& files = Files();
  FileId source, target;
  if (paths.FilePair) {
    if (IdOfFile(paths.Source, source) && IdOfFile(paths.Target, target) && source == target)
      throw UsageError("SOURCE and TARGET are the same file: " + paths.Source);
    return;
  }
  const std::string sourceDir = DirectoryOrCurrent(paths.Source);
  if (files.DirectoryId(sourceDir, source) && files.DirectoryId(DirectoryOrCurrent(paths.Target), target) &&
      source == target)
    throw UsageError("SOURCE and TARGET are the same directory: " + sourceDir);
}

}  // namespace

BatchPaths MapBatchPaths(const std::string& source, const std::string& target) {
  if (source.empty() || target.empty()) throw UsageError("SOURCE and TARGET must not be empty");
  FileAccess& files = Files();
  BatchPaths paths{source, target, false};
  const bool sourceMask = HasWildcard(source);
  if (!sourceMask && files.DirectoryExists(source)) {
    paths.Source = AsDirectory(source) + "*.*";
  } else if (!sourceMask && files.FileExists(source) && !files.DirectoryExists(target)) {
    paths.FilePair = true;
  }
  if (!paths.FilePair && !HasWildcard(target)) paths.Target = AsDirectory(target);
  RefuseOneObject(paths);
  return paths;
}

}  // namespace zek
