#include "engine/path_rules.h"

#include "platform/separators.h"

namespace zek {
namespace {

bool IsBoundary(char c, PathSyntax syntax) {
  return syntax == PathSyntax::Windows ? (c == '\\' || c == ':') : c == '/';
}

// Position, counted from 1, of the last separator (or drive colon); 0 if none.
size_t LastBoundary(const std::string& path, PathSyntax syntax) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsBoundary(path[i - 1], syntax)) return i;
  return 0;
}

}  // namespace

char PathDelimiter(PathSyntax syntax) { return syntax == PathSyntax::Windows ? '\\' : '/'; }

std::string DirectoryPart(const std::string& path, PathSyntax syntax) {
  size_t i = LastBoundary(path, syntax);
  const char delimiter = PathDelimiter(syntax);
  // Keep the separator of a root ("C:\", "/"), drop any other trailing one.
  if (i > 1 && path[i - 1] == delimiter && !IsBoundary(path[i - 2], syntax)) --i;
  return path.substr(0, i);
}

std::string DirectoryOrCurrent(const std::string& path, PathSyntax syntax) {
  std::string directory = DirectoryPart(path, syntax);
  return directory.empty() ? "." : directory;
}

std::string NamePart(const std::string& path, PathSyntax syntax) {
  return path.substr(LastBoundary(path, syntax), 255);
}

std::string RemoveDoubleBackslashes(const std::string& path, PathSyntax syntax) {
  const char delimiter = PathDelimiter(syntax);
  // Most paths hold no doubled separator: they are copied whole.
  return HasDoubledSeparator(path, delimiter) ? CollapseSeparators(path, delimiter) : path;
}

std::string RelativePath(const std::string& dir, const std::string& path, PathSyntax syntax) {
  if (path.compare(0, dir.size(), dir) != 0) return NamePart(path, syntax);
  const size_t start = path.find_first_not_of(PathDelimiter(syntax), dir.size());
  return start == std::string::npos ? "" : path.substr(start);
}

}  // namespace zek
