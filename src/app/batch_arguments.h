#pragma once
// What batch mode's SOURCE and TARGET name, as the run takes them. People
// type two directories, as for a recursive diff, or two files, as for a byte
// comparison; the window's fields keep their own rules.
#include <stdexcept>
#include <string>

namespace zek {

// A mistake on the command line: exit 2, with the text on stderr.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct BatchPaths {
  std::string Source;  // a directory and a mask, or with FilePair the one file
  std::string Target;  // a directory, or with FilePair the file to compare with
  bool FilePair = false;
};

// | SOURCE                          | TARGET                    | compares                              |
// |---------------------------------|---------------------------|---------------------------------------|
// | a directory (with or without /) | a directory (may be new)  | all its files: DIR/*.* with TARGET    |
// | a path ending in a mask         | a directory               | the matching files with TARGET        |
// | one existing file               | no existing directory     | the two files with each other         |
// | one existing file               | an existing directory     | the file with its namesake there      |
// | any                             | last part holds * or ?    | against the directory part of TARGET  |
// A TARGET is never replaced by its parent. Raises UsageError for an empty
// path, and for a SOURCE and TARGET that are one directory or one file.
BatchPaths MapBatchPaths(const std::string& source, const std::string& target);

// Raises UsageError where writing the manifest `file` would change a file
// of the trees compared: a file of the source tree (any name there, as the
// walk would meet it), or an existing one of the target tree.
void RefuseManifestInTrees(const std::string& file, const BatchPaths& paths);

}  // namespace zek
