#include "platform/file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/dos_time.h"
#include "platform/entry_attributes.h"
#include "platform/linux/descriptor.h"
#include "platform/separators.h"
#include "platform/wildcard.h"

namespace zek {
namespace {

// True if O_NONBLOCK was set and is now cleared; of the status flags that
// F_SETFL sets, LookAndOpen and OpenWrite give only that one.
bool ClearNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) != 0 && fcntl(fd, F_SETFL, 0) == 0;
}

// The kernel's default read-ahead window.
constexpr off_t kSequentialHintSize = 128 * 1024;

// Without repeated slashes, and without trailing ones but for the root's: a
// view of path itself where that is so already (most paths are, and a deep
// tree makes them long), else of the normal form written into storage.
std::string_view NormalView(const std::string& path, std::string& storage) {
  std::string_view normal = path;
  if (HasDoubledSeparator(path, '/')) normal = storage = CollapseSeparators(path, '/');
  if (normal.size() > 1 && normal.back() == '/') normal.remove_suffix(1);
  return normal;
}

// The held entry for a path, or held.end(). A path spelt as it is held is
// found by comparisons alone; another spelling is made normal first.
template <class Held>
auto FindHeld(Held& held, const std::string& path) {
  auto spelt = [&](std::string_view p) {
    return std::find_if(held.begin(), held.end(), [&](const HeldDirectory& d) { return d.Path == p; });
  };
  const auto h = spelt(path);
  if (h != held.end()) return h;
  std::string storage;
  const std::string_view normal = NormalView(path, storage);
  return normal.size() == path.size() ? held.end() : spelt(normal);
}

// Names a path for the *at calls. A path in a held directory (or the held
// directory itself) is named relative to it. The kernel takes at most PATH_MAX
// bytes of path in one call: any other longer path is opened a directory at a
// time, and the call then names the last component relative to the directory
// that holds it; a shorter one goes through as it is.
class PathAt {
 public:
  PathAt(const std::string& path, const std::vector<HeldDirectory>& held) {
    if (!held.empty() && InHeld(path, held)) return;
    if (path.size() < PATH_MAX) {
      name_ = path;
      return;
    }
    const size_t slash = path.rfind('/');
    name_ = path.substr(slash + 1);
    if (name_.empty()) name_ = ".";
    owned_.Reset(open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (size_t start = 0; owned_.Valid() && start < slash;) {
      size_t end = path.find('/', start);
      if (end == std::string::npos || end > slash) end = slash;
      if (end > start)
        owned_.Reset(openat(owned_.Get(), path.substr(start, end - start).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      start = end + 1;
    }
    if (!owned_.Valid()) error_ = LastError();
    dir_ = owned_.Valid() ? owned_.Get() : AT_FDCWD;
  }
  PathAt(const PathAt&) = delete;
  PathAt& operator=(const PathAt&) = delete;

  // 0, or why the directory that holds the last component could not be reached.
  int Error() const { return error_; }
  int Dir() const { return dir_; }
  const char* Name() const { return name_.c_str(); }

  // A held directory itself is looked at through its descriptor, which needs
  // no search permission in it.
  bool Stat(struct stat& st) const {
    if (error_ != 0) return false;
    return name_ == "." && dir_ != AT_FDCWD ? fstat(dir_, &st) == 0 : fstatat(Dir(), Name(), &st, 0) == 0;
  }
  int Open(int flags, mode_t mode = 0) const {
    if (error_ != 0) {
      errno = error_;
      return -1;
    }
    return openat(Dir(), Name(), flags, mode);
  }

 private:
  // A path spelt as a held directory or a name in one is found by comparisons
  // alone; another spelling is made normal first.
  bool InHeld(const std::string& path, const std::vector<HeldDirectory>& held) {
    if (Match(path, held)) return true;
    std::string storage;
    const std::string_view normal = NormalView(path, storage);
    return normal.size() != path.size() && Match(normal, held);
  }
  bool Match(std::string_view path, const std::vector<HeldDirectory>& held) {
    const size_t slash = path.rfind('/');
    const bool named = slash != std::string::npos && slash + 1 < path.size();
    const std::string_view dir = !named ? std::string_view() : slash == 0 ? std::string_view("/")
                                                                          : path.substr(0, slash);
    for (const HeldDirectory& h : held) {
      if (path == h.Path) {
        name_ = ".";
      } else if (named && dir == h.Path) {
        name_ = std::string(path.substr(slash + 1));
      } else {
        continue;
      }
      dir_ = h.Fd;
      error_ = h.Error;
      return true;
    }
    return false;
  }

  int dir_ = AT_FDCWD;
  UniqueFd owned_;  // a directory this object opened
  int error_ = 0;
  std::string name_;
};

// Fills the record from the next entry that matches.
SearchStep NextMatch(FindRecord& f) {
  DIR* dir = static_cast<DIR*>(f.Handle);
  if (dir == nullptr) return SearchStep::Failure(EBADF);
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) return errno != 0 ? SearchStep::Failure(errno) : SearchStep::End();
    const std::string name = entry->d_name;
    if (!MatchesMask(name, f.Mask)) continue;
    if (f.DirectoriesOnly && entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
      continue;
    struct stat st {};
    bool looked = false;
    if (name == "." || name == "..") {
      st.st_mode = S_IFDIR | S_IWUSR;
    } else {
      // Links are followed; a dangling one is listed as what it is, a file whose
      // target does not exist. The entry is looked up in the open directory, not
      // through its whole path again. One that cannot be looked at (a directory
      // the user may read but not search) is still listed, as the listing names
      // it, so that the walk accounts for it.
      looked = fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 ||
               fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
      if (!looked) st.st_mode = (entry->d_type == DT_DIR ? S_IFDIR : S_IFREG) | S_IWUSR;
    }
    const bool regular = looked && S_ISREG(st.st_mode);
    if (S_ISLNK(st.st_mode)) st.st_mode = S_IFREG | (st.st_mode & 07777);
    const int attr = AttributesOf(name, st);
    if ((attr & f.ExcludeAttr) != 0) continue;
    f.Name = name;
    f.Attr = attr;
    f.Regular = regular;
    f.Size = looked ? static_cast<int64_t>(st.st_size) : 0;
    f.Time = looked ? PackDosDateTime(st.st_mtime) : 0;
    return SearchStep::Entry();
  }
}

SearchStep StartSearch(const std::string& pattern, int attr, bool directoriesOnly, const std::vector<HeldDirectory>& held,
                       FindRecord& f) {
  f.Handle = nullptr;
  f.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  f.DirectoriesOnly = directoriesOnly;
  const size_t slash = pattern.rfind('/');
  f.Directory = slash == std::string::npos ? "." : slash == 0 ? "/"
                                                              : pattern.substr(0, slash);
  f.Mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  // A held directory that could be opened for listing is listed through a copy
  // of its descriptor: opening it again by "." would need search permission in it.
  const auto h = FindHeld(held, f.Directory);
  UniqueFd fd;
  if (h != held.end() && h->Readable) {
    fd.Reset(fcntl(h->Fd, F_DUPFD_CLOEXEC, 0));
    if (fd.Valid() && lseek(fd.Get(), 0, SEEK_SET) != 0) return SearchStep::Failure(LastError());
  } else {
    fd.Reset(PathAt(f.Directory, held).Open(O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  if (!fd.Valid()) return SearchStep::Failure(LastError());
  DIR* dir = fdopendir(fd.Get());
  if (dir == nullptr) return SearchStep::Failure(LastError());
  fd.Release();  // closedir closes it
  f.Handle = dir;
  const SearchStep result = NextMatch(f);
  if (!result.Found()) {
    closedir(dir);
    f.Handle = nullptr;
  }
  return result;
}

}  // namespace

SearchStep FileAccess::FindFirst(const std::string& pattern, int attr, FindRecord& f) {
  return StartSearch(pattern, attr, false, held_, f);
}

SearchStep FileAccess::FindFirstDirectory(const std::string& pattern, int attr, FindRecord& f) {
  return StartSearch(pattern, attr, true, held_, f);
}

SearchStep FileAccess::FindNext(FindRecord& f) { return NextMatch(f); }

void FileAccess::FindClose(FindRecord& f) {
  if (f.Handle != nullptr) closedir(static_cast<DIR*>(f.Handle));
  f.Handle = nullptr;
}

bool FileAccess::DirectoryId(const std::string& path, FileId& id) {
  struct stat st {};
  if (!PathAt(path.empty() ? "/" : path, held_).Stat(st) || !S_ISDIR(st.st_mode)) return false;
  id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

FileStatus FileAccess::HoldDirectory(const std::string& path, FileId* id) {
  const auto held = FindHeld(held_, path);
  int fd = -1;
  if (held != held_.end()) {
    ++held->Holds;
    if (held->Error != 0) return FileStatus::Failure(held->Error);
    fd = held->Fd;
  } else {
    // Opened for listing where the user may read it, else only for lookups.
    const PathAt at(path, held_);
    fd = at.Open(O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool readable = fd >= 0;
    if (!readable && errno == EACCES) fd = at.Open(O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int error = fd < 0 ? LastError() : 0;
    std::string storage;
    held_.push_back({std::string(NormalView(path, storage)), fd, readable, error, 1});
    if (error != 0) return FileStatus::Failure(error);
  }
  struct stat st {};
  if (id != nullptr && fstat(fd, &st) == 0) *id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return {};
}

FileStatus FileAccess::HoldParentDirectory(const std::string& child, const std::string& path, const FileId& id) {
  const auto below = FindHeld(held_, child);
  if (FindHeld(held_, path) == held_.end() && below != held_.end() && below->Fd >= 0) {
    UniqueFd fd(openat(below->Fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const bool readable = fd.Valid();
    if (!readable && errno == EACCES) fd.Reset(openat(below->Fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (fd.Valid() && fstat(fd.Get(), &st) == 0 &&
        id == FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)}) {
      std::string storage;
      held_.push_back({std::string(NormalView(path, storage)), fd.Release(), readable, 0, 1});
      return {};
    }
  }
  return HoldDirectory(path);
}

void FileAccess::ReleaseDirectory(const std::string& path) {
  const auto h = FindHeld(held_, path);
  if (h == held_.end() || --h->Holds > 0) return;
  UniqueFd(h->Fd).Reset();  // a hold that failed has none
  held_.erase(h);
}

bool FileAccess::FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && PathAt(path, held_).Stat(st) && !S_ISDIR(st.st_mode);
}

bool FileAccess::DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && PathAt(path, held_).Stat(st) && S_ISDIR(st.st_mode);
}

namespace {

void TakeTimes(FileLook& look, const struct stat& st) {
  look.TimeSteps = LocalTwoSecondSteps(st.st_mtime);
  look.WriteTime = {static_cast<int64_t>(st.st_mtim.tv_sec), static_cast<int32_t>(st.st_mtim.tv_nsec)};
}

// The look before an open: only a regular file is opened. False when there is
// nothing to open.
bool LookBeforeOpen(const PathAt& at, FileLook& look) {
  struct stat st {};
  if (!at.Stat(st) || S_ISDIR(st.st_mode)) return false;
  look.Exists = true;
  TakeTimes(look, st);
  if (S_ISREG(st.st_mode)) return true;
  look.OpenError = EACCES;
  look.Special = true;
  return false;
}

}  // namespace

FileLook FileAccess::LookAndOpen(const std::string& path, KnownAs known) {
  FileLook look;
  if (path.empty()) return look;
  const PathAt at(path, held_);
  if (known != KnownAs::RegularFile && !LookBeforeOpen(at, look)) return look;
  // O_NONBLOCK so that a FIFO put in the file's place since the look cannot
  // hold us; it is refused below. O_NONBLOCK stays on the file, which spares
  // a call per file: Linux ignores it for regular files, and should a file
  // system honour it, BlockRead clears it at the first EAGAIN.
  UniqueFd fd(at.Open(O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) {
    const int error = LastError();
    // Removed since the look: not found, as a look a moment later would say.
    if (error == ENOENT) return FileLook{};
    // A file that cannot be opened is still reported with its time.
    if (known == KnownAs::RegularFile && !LookBeforeOpen(at, look)) return look;
    look.OpenError = error;
    return look;
  }
  // The open file is the one compared: its time and size count.
  struct stat st {};
  const bool looked = fstat(fd.Get(), &st) == 0;
  // A directory put in the place of a file the search found: no file there.
  if (looked && S_ISDIR(st.st_mode)) return FileLook{};
  look.Exists = true;
  if (!looked || !S_ISREG(st.st_mode)) {
    if (looked) TakeTimes(look, st);
    look.OpenError = looked ? EACCES : LastError();
    return look;
  }
  TakeTimes(look, st);
  look.Id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  // Files within the kernel's default read-ahead gain nothing from the hint.
  if (st.st_size > kSequentialHintSize) posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  look.Handle = fd.Release();
  look.Size = static_cast<int64_t>(st.st_size);
  return look;
}

FileResult<int64_t> FileAccess::FileSize(FileHandle h) {
  struct stat st {};
  if (fstat(h, &st) != 0) return FileResult<int64_t>::Failure(LastError());
  return static_cast<int64_t>(st.st_size);
}

bool FileAccess::HandleId(FileHandle h, FileId& id) {
  struct stat st {};
  if (fstat(h, &st) != 0) return false;
  id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

FileResult<size_t> FileAccess::BlockRead(FileHandle h, void* buffer, size_t count) {
  for (;;) {
    const ssize_t got = read(h, buffer, count);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    if (errno == EAGAIN && ClearNonBlocking(h)) continue;
    return FileResult<size_t>::Failure(LastError());
  }
}

void FileAccess::Close(FileHandle h) {
  if (h != kNoFile) close(h);
}

FileResult<FileHandle> FileAccess::OpenWrite(const std::string& path) {
  // O_NONBLOCK so that a FIFO without a reader fails at once (ENXIO) instead
  // of waiting for one; the writes then block as usual.
  UniqueFd fd(PathAt(path, held_).Open(O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
  if (!fd.Valid() || !ClearNonBlocking(fd.Get())) return FileResult<FileHandle>::Failure(LastError(), kNoFile);
  return fd.Release();
}

FileStatus FileAccess::Write(FileHandle h, const char* data, size_t count) {
  return FileStatus::FromCode(WriteAll(h, std::string_view(data, count)));
}

FileStatus FileAccess::CloseWrite(FileHandle h) { return FileStatus::FromCode(UniqueFd(h).Close()); }

FileStatus FileAccess::CreateNew(const std::string& path) {
  UniqueFd fd(PathAt(path, held_).Open(O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
  return FileStatus::FromCode(fd.Valid() ? fd.Close() : LastError());
}

FileStatus FileAccess::Erase(const std::string& path) {
  const PathAt at(path, held_);
  if (at.Error() != 0) return FileStatus::Failure(at.Error());
  return FileStatus::FromCode(unlinkat(at.Dir(), at.Name(), 0) != 0 ? LastError() : 0);
}

FileStatus FileAccess::Rename(const std::string& from, const std::string& to) {
  return FileStatus::FromCode(rename(from.c_str(), to.c_str()) != 0 ? LastError() : 0);
}

std::string FileAccess::GetCurrentDir() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

FileStatus FileAccess::SetCurrentDir(const std::string& path) {
  const UniqueFd fd(PathAt(path, held_).Open(O_PATH | O_DIRECTORY | O_CLOEXEC));
  return FileStatus::FromCode(!fd.Valid() || fchdir(fd.Get()) != 0 ? LastError() : 0);
}

bool IsResourceError(int error) { return error == EMFILE || error == ENFILE || error == ENOMEM; }

}  // namespace zek
