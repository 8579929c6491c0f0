#pragma once
// A text file written line by line, each line ending in CR LF. Every failure
// raises EInOutError; lines may be buffered, and the file on disk is complete
// once Close has returned.
#include <string>

#include "platform/file_access.h"

namespace zek {

class TextFile {
 public:
  TextFile() = default;
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  void Rewrite(const std::string& name);  // create, or truncate to length 0
  void WriteLine(const std::string& line);
  void Close();
  // Writes what is buffered and closes, without raising: the way out after
  // another error, so the file holds every line up to it.
  void CloseQuietly();
  bool IsOpen() const { return handle_ != kNoFile; }

 private:
  void Flush();

  FileHandle handle_ = kNoFile;
  std::string buffer_;
};

}  // namespace zek
