// The temporary tree on Linux: mkdtemp, "/", utimes, mkfifo.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <filesystem>
#include <stdexcept>

#include "support/test_tree.h"

namespace zek::test {

namespace fs = std::filesystem;

TempTree::TempTree() {
  std::string pattern = (fs::temp_directory_path() / "zek32-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

std::string TempTree::Path(const std::string& relative) const { return root_ + "/" + relative; }

TempTree::~TempTree() {
  std::error_code ignored;
  // Tests may leave directories without permissions behind; open them up first.
  for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(root_, ignored);
}

void TempTree::SetTime(const std::string& relative, std::time_t mtime) const {
  const timeval times[2] = {{mtime, 0}, {mtime, 0}};
  if (utimes(Path(relative).c_str(), times) != 0) throw std::runtime_error("cannot set time of " + relative);
}

void TempTree::MakeFifo(const std::string& relative) const {
  if (mkfifo(Path(relative).c_str(), 0644) != 0) throw std::runtime_error("cannot make FIFO " + relative);
}

UnopenableFile::UnopenableFile(const TempTree& tree, const std::string& relative) { tree.MakeFifo(relative); }

UnopenableFile::~UnopenableFile() = default;

}  // namespace zek::test
