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

// Whether the directory that holds `path` is `directory` or lies below it,
// by the identities of the directories on the way up.
bool InsideDirectory(const std::string& path, const std::string& directory) {
  FileAccess& files = Files();
  FileId top, at, up;
  std::string step = DirectoryOrCurrent(path);
  if (!files.DirectoryId(directory, top) || !files.DirectoryId(step, at)) return false;
  for (;;) {
    if (at == top) return true;
    step += PathDelimiter() + std::string("..");
    // The root is its own parent.
    if (!files.DirectoryId(step, up) || up == at) return false;
    at = up;
  }
}

}  // namespace

void RefuseManifestInTrees(const std::string& file, const BatchPaths& paths) {
  const auto refuse = [&](const char* which) {
    throw UsageError("the manifest " + file + " would change a file of the " + which + " tree");
  };
  FileId manifest, other;
  const bool exists = IdOfFile(file, manifest);
  if (paths.FilePair) {
    if (exists && IdOfFile(paths.Source, other) && other == manifest) refuse("source");
    if (exists && IdOfFile(paths.Target, other) && other == manifest) refuse("target");
    return;
  }
  if (InsideDirectory(file, DirectoryOrCurrent(paths.Source))) refuse("source");
  if (exists && InsideDirectory(file, DirectoryOrCurrent(paths.Target))) refuse("target");
}

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
