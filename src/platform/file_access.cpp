#include "platform/file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>
#include <vector>

#include "platform/dos_time.h"
#include "platform/io_error.h"
#include "platform/wildcard.h"

namespace zek {
namespace {

int LastError() { return errno != 0 ? errno : EIO; }

// True if O_NONBLOCK was set and is now cleared; of the status flags that
// F_SETFL sets, LookAndOpen gives only that one.
bool ClearNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) != 0 && fcntl(fd, F_SETFL, 0) == 0;
}

// The kernel's default read-ahead window.
constexpr off_t kSequentialHintSize = 128 * 1024;

// Without repeated slashes, and without trailing ones but for the root's.
std::string NormalPath(const std::string& path) {
  std::string normal;
  normal.reserve(path.size());
  for (const char c : path)
    if (c != '/' || normal.empty() || normal.back() != '/') normal += c;
  if (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
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
    owned_ = path[0] == '/' ? open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (size_t start = 0; owned_ >= 0 && start < slash;) {
      size_t end = path.find('/', start);
      if (end == std::string::npos || end > slash) end = slash;
      if (end > start) {
        const int next = openat(owned_, path.substr(start, end - start).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        close(owned_);
        owned_ = next;
        errno = error;
      }
      start = end + 1;
    }
    if (owned_ < 0) error_ = LastError();
    dir_ = owned_ >= 0 ? owned_ : AT_FDCWD;
  }
  ~PathAt() {
    if (owned_ >= 0) close(owned_);
  }
  PathAt(const PathAt&) = delete;
  PathAt& operator=(const PathAt&) = delete;

  // 0, or why the directory that holds the last component could not be reached.
  int Error() const { return error_; }
  int Dir() const { return dir_; }
  const char* Name() const { return name_.c_str(); }

  bool Stat(struct stat& st) const { return error_ == 0 && fstatat(Dir(), Name(), &st, 0) == 0; }
  int Open(int flags, mode_t mode = 0) const {
    if (error_ != 0) {
      errno = error_;
      return -1;
    }
    return openat(Dir(), Name(), flags, mode);
  }

 private:
  bool InHeld(const std::string& path, const std::vector<HeldDirectory>& held) {
    const std::string normal = NormalPath(path);
    const size_t slash = normal.rfind('/');
    const bool named = slash != std::string::npos && slash + 1 < normal.size();
    const std::string_view dir = !named ? std::string_view() : slash == 0 ? std::string_view("/")
                                                                          : std::string_view(normal).substr(0, slash);
    for (const HeldDirectory& h : held) {
      if (normal == h.Path) {
        name_ = ".";
      } else if (named && dir == h.Path) {
        name_ = normal.substr(slash + 1);
      } else {
        continue;
      }
      dir_ = h.Fd;
      return true;
    }
    return false;
  }

  int dir_ = AT_FDCWD;
  int owned_ = -1;  // a directory this object opened
  int error_ = 0;
  std::string name_;
};

int AttributesOf(const std::string& name, const struct stat& st) {
  int attr = 0;
  if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  } else if (S_ISREG(st.st_mode)) {
    attr |= faArchive;
  } else {
    attr |= faSysFile;  // FIFOs, sockets, devices
  }
  if (name.size() > 1 && name[0] == '.' && name != "..") attr |= faHidden;
  if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
  return attr;
}

// Fills the record from the next entry that matches, or returns an error code.
int NextMatch(FindRecord& f) {
  DIR* dir = static_cast<DIR*>(f.Handle);
  if (dir == nullptr) return EBADF;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) return errno != 0 ? errno : ENOENT;
    const std::string name = entry->d_name;
    if (!MatchesMask(name, f.Mask)) continue;
    if (f.DirectoriesOnly && entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
      continue;
    struct stat st {};
    // Links are followed; a dangling one is listed as what it is, a file whose
    // target does not exist. The entry is looked up in the open directory, not
    // through its whole path again.
    if (fstatat(dirfd(dir), entry->d_name, &st, 0) != 0 &&
        fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    if (S_ISLNK(st.st_mode)) st.st_mode = S_IFREG | (st.st_mode & 07777);
    const int attr = AttributesOf(name, st);
    if ((attr & f.ExcludeAttr) != 0) continue;
    f.Name = name;
    f.Attr = attr;
    f.Size = static_cast<int64_t>(st.st_size);
    f.Time = PackDosDateTime(st.st_mtime);
    return 0;
  }
}

int StartSearch(const std::string& pattern, int attr, bool directoriesOnly, const std::vector<HeldDirectory>& held,
                FindRecord& f) {
  f.Handle = nullptr;
  f.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  f.DirectoriesOnly = directoriesOnly;
  const size_t slash = pattern.rfind('/');
  f.Directory = slash == std::string::npos ? "." : slash == 0 ? "/" : pattern.substr(0, slash);
  f.Mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  const int fd = PathAt(f.Directory, held).Open(O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    const int error = LastError();
    close(fd);
    return error;
  }
  f.Handle = dir;
  const int result = NextMatch(f);
  if (result != 0) {
    closedir(dir);
    f.Handle = nullptr;
  }
  return result;
}

FileAccess* g_current = nullptr;

}  // namespace

int FileAccess::FindFirst(const std::string& pattern, int attr, FindRecord& f) {
  return StartSearch(pattern, attr, false, held_, f);
}

int FileAccess::FindFirstDirectory(const std::string& pattern, int attr, FindRecord& f) {
  return StartSearch(pattern, attr, true, held_, f);
}

int FileAccess::FindNext(FindRecord& f) { return NextMatch(f); }

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

void FileAccess::HoldDirectory(const std::string& path) {
  const std::string normal = NormalPath(path);
  for (HeldDirectory& h : held_) {
    if (h.Path == normal) {
      ++h.Holds;
      return;
    }
  }
  const int fd = PathAt(normal, held_).Open(O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) held_.push_back({normal, fd, 1});
}

void FileAccess::ReleaseDirectory(const std::string& path) {
  const std::string normal = NormalPath(path);
  const auto h = std::find_if(held_.begin(), held_.end(), [&](const HeldDirectory& d) { return d.Path == normal; });
  if (h == held_.end() || --h->Holds > 0) return;
  close(h->Fd);
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

FileLook FileAccess::LookAndOpen(const std::string& path) {
  FileLook look;
  const PathAt at(path, held_);
  struct stat st {};
  // O_NONBLOCK so that a FIFO without a writer cannot hold us; it is refused below.
  const int fd = path.empty() ? -1 : at.Open(O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) {
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      close(fd);
      return look;
    }
    look.Exists = true;
    look.TimeSteps = LocalTwoSecondSteps(st.st_mtime);
    if (!S_ISREG(st.st_mode)) {
      close(fd);
      look.OpenError = EACCES;
      return look;
    }
    // O_NONBLOCK stays, which spares a call per file: Linux ignores it for
    // regular files, and should a file system honour it, BlockRead clears it
    // at the first EAGAIN. Files within the kernel's default read-ahead gain
    // nothing from the hint.
    if (st.st_size > kSequentialHintSize) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    look.Handle = fd;
    look.Size = static_cast<int64_t>(st.st_size);
    return look;
  }
  // Not opened: it may still exist, unreadable.
  const int error = LastError();
  if (path.empty() || error == ENOENT || !at.Stat(st) || S_ISDIR(st.st_mode)) return look;
  look.Exists = true;
  look.TimeSteps = LocalTwoSecondSteps(st.st_mtime);
  look.OpenError = error;
  return look;
}

int64_t FileAccess::FileSize(FileHandle h) {
  struct stat st {};
  if (fstat(h, &st) != 0) throw EInOutError(LastError());
  return static_cast<int64_t>(st.st_size);
}

size_t FileAccess::BlockRead(FileHandle h, void* buffer, size_t count) {
  for (;;) {
    const ssize_t got = read(h, buffer, count);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    if (errno == EAGAIN && ClearNonBlocking(h)) continue;
    throw EInOutError(LastError());
  }
}

void FileAccess::Close(FileHandle h) {
  if (h != kNoFile) close(h);
}

int FileAccess::OpenWrite(const std::string& path, FileHandle& h) {
  h = PathAt(path, held_).Open(O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  return h < 0 ? LastError() : 0;
}

int FileAccess::Write(FileHandle h, const char* data, size_t count) {
  while (count > 0) {
    const ssize_t put = write(h, data, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data += put;
    count -= static_cast<size_t>(put);
  }
  return 0;
}

int FileAccess::CloseWrite(FileHandle h) { return close(h) != 0 ? LastError() : 0; }

int FileAccess::CreateNew(const std::string& path) {
  const int fd = PathAt(path, held_).Open(O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return LastError();
  return close(fd) != 0 ? LastError() : 0;
}

int FileAccess::Erase(const std::string& path) {
  const PathAt at(path, held_);
  if (at.Error() != 0) return at.Error();
  return unlinkat(at.Dir(), at.Name(), 0) != 0 ? LastError() : 0;
}

std::string FileAccess::GetCurrentDir() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

int FileAccess::SetCurrentDir(const std::string& path) {
  const int fd = PathAt(path, held_).Open(O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  const int result = fchdir(fd) != 0 ? LastError() : 0;
  close(fd);
  return result;
}

FileAccess& Files() {
  static FileAccess posix;
  return g_current != nullptr ? *g_current : posix;
}

ScopedFileAccess::ScopedFileAccess(FileAccess& replacement) : previous_(g_current) { g_current = &replacement; }

ScopedFileAccess::~ScopedFileAccess() { g_current = previous_; }

}  // namespace zek
