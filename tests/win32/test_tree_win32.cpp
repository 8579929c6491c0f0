// The temporary tree of the tests, on Windows: below the user's temporary
// directory, with backslashes, times set through SetFileTime.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>

#include "support/test_tree.h"

namespace zek::test {

namespace fs = std::filesystem;

TempTree::TempTree() {
  static std::atomic<int> counter{0};
  char temp[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = std::string(temp) + "zek32-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(counter++);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      root_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempTree::~TempTree() {
  std::error_code ignored;
  // Tests leave hidden and read-only entries behind; clear them first.
  for (auto it = fs::recursive_directory_iterator(root_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(root_, ignored);
}

std::string TempTree::Path(const std::string& relative) const {
  std::string path = root_ + "\\" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

void TempTree::SetTime(const std::string& relative, std::time_t mtime) const {
  const uint64_t ticks = static_cast<uint64_t>(static_cast<int64_t>(mtime) * 10000000 + 116444736000000000);
  const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const HANDLE h = CreateFileA(Path(relative).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const bool ok = h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, &time, &time);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  if (!ok) throw std::runtime_error("cannot set time of " + relative);
}

void TempTree::MakeFifo(const std::string& relative) const {
  throw std::runtime_error("Windows has no FIFOs in its file system: " + relative);
}

UnopenableFile::UnopenableFile(const TempTree& tree, const std::string& relative) {
  tree.Write(relative, "");
  const HANDLE h = CreateFileA(tree.Path(relative).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold " + relative + " open");
  writer_ = h;
}

UnopenableFile::~UnopenableFile() { CloseHandle(writer_); }

}  // namespace zek::test
