// The parts of the temporary tree that every system shares; creating,
// naming, removing and time stamps are in test_tree_posix.cpp and
// tests/win32/test_tree_win32.cpp.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/test_tree.h"

namespace zek::test {

namespace fs = std::filesystem;

void TempTree::Write(const std::string& relative, const std::string& content, std::time_t mtime) const {
  const fs::path path = Path(relative);
  fs::create_directories(path.parent_path());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }
  SetTime(relative, mtime);
}

void TempTree::MakeDir(const std::string& relative) const { fs::create_directories(Path(relative)); }

std::string TempTree::Read(const std::string& relative) const {
  std::ifstream in(Path(relative), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TempTree::Exists(const std::string& relative) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(Path(relative), ignored));
}

}  // namespace zek::test
