#pragma once
// A text file written line by line, each line ending in CR LF (or the ending
// it is made with). Every failure
// raises EInOutError; lines may be buffered, and the file on disk is complete
// once Close has returned.
#include <string>

#include "platform/file_access.h"

namespace zek {

class TextFile {
 public:
  TextFile() = default;
  explicit TextFile(const char* lineEnd) : lineEnd_(lineEnd) {}
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
  // Writes what is buffered, so that a file that cannot take it says so now.
  void Flush();
  // Which file is open: a reader can tell it apart from the files it meets.
  bool Is(const FileId& id) const { return IsOpen() && hasId_ && id == id_; }

 private:
  FileHandle handle_ = kNoFile;
  FileId id_;
  bool hasId_ = false;
  std::string buffer_;
  const char* lineEnd_ = "\r\n";
};

}  // namespace zek
