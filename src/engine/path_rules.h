#pragma once
// The shared path rules. They work on either path syntax: Windows ("\" and the
// drive ":") or POSIX ("/"); the program uses the native one, so on Linux the
// "doubled backslashes" are doubled slashes.
#include <string>

namespace zek {

enum class PathSyntax { Windows,
                        Posix };
#ifdef _WIN32
constexpr PathSyntax kNativeSyntax = PathSyntax::Windows;
#else
constexpr PathSyntax kNativeSyntax = PathSyntax::Posix;
#endif

char PathDelimiter(PathSyntax syntax = kNativeSyntax);

// "C:\DATA\*.*" -> "C:\DATA", "C:\*.*" -> "C:\", "/data/*.txt" -> "/data", "/*.*" -> "/".
std::string DirectoryPart(const std::string& path, PathSyntax syntax = kNativeSyntax);
// DirectoryPart, where an empty one (a bare mask such as "*.txt") means the
// current directory: ".".
std::string DirectoryOrCurrent(const std::string& path, PathSyntax syntax = kNativeSyntax);
// The characters after the last separator, at most 255 of them.
std::string NamePart(const std::string& path, PathSyntax syntax = kNativeSyntax);
// Shrinks every run of two or more separators to one.
std::string RemoveDoubleBackslashes(const std::string& path, PathSyntax syntax = kNativeSyntax);
// The part of `path`, a file the walk of `dir` reached, below `dir`: "sub/a.txt"
// of "/data//sub/a.txt" in "/data", of "./sub/a.txt" in ".". Separators that
// lead it are dropped; a path outside `dir` keeps its name part.
std::string RelativePath(const std::string& dir, const std::string& path, PathSyntax syntax = kNativeSyntax);

}  // namespace zek
