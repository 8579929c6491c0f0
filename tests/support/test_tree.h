#pragma once
// A directory tree in a fresh temporary directory, removed again at the end,
// with files whose contents and last-write times the test sets.
#include <ctime>
#include <string>

namespace zek::test {

// A fixed, even-second time well inside the DOS range.
constexpr std::time_t kFixedTime = 1700000000;

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& Root() const { return root_; }
  // relative uses "/"; the path has the system's own separators.
  std::string Path(const std::string& relative) const;
  // Creates the missing directories on the way.
  void Write(const std::string& relative, const std::string& content, std::time_t mtime = kFixedTime) const;
  void MakeDir(const std::string& relative) const;
  void SetTime(const std::string& relative, std::time_t mtime) const;
  // A FIFO: POSIX only, Windows has none in its file system.
  void MakeFifo(const std::string& relative) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

 private:
  std::string root_;
};

// A file of the tree that the program finds but cannot open while this object
// lives: on POSIX a FIFO, which it never opens; on Windows a file that this
// object holds open for writing, as another program would.
class UnopenableFile {
 public:
  UnopenableFile(const TempTree& tree, const std::string& relative);
  ~UnopenableFile();
  UnopenableFile(const UnopenableFile&) = delete;
  UnopenableFile& operator=(const UnopenableFile&) = delete;

 private:
  void* writer_ = nullptr;
};

}  // namespace zek::test
