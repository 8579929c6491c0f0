#include "platform/profile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/linux/descriptor.h"
#include "platform/linux/ini_text.h"

namespace zek {
namespace {

namespace fs = std::filesystem;

// The whole file; nullopt when there is no regular file to read. A FIFO or a
// device is never opened in a way that could block.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) return std::nullopt;
  std::optional<std::string> data;
  struct stat st {};
  if (fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode)) {
    std::string bytes;
    // Room for the whole file at once: no copying as it grows.
    bytes.reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
      const ssize_t n = read(fd.Get(), chunk, sizeof chunk);
      if (n > 0) {
        bytes.append(chunk, static_cast<size_t>(n));
      } else if (n == 0) {
        data = std::move(bytes);
        break;
      } else if (errno != EINTR) {
        break;
      }
    }
  }
  return data;
}

// The file a write replaces: the end of a chain of symbolic links, so that the
// link itself survives. nullopt for a loop.
std::optional<fs::path> FollowLinks(fs::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
    const fs::path target = fs::read_symlink(path, ec);
    if (ec) return std::nullopt;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return std::nullopt;
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

enum class Outcome { Written,
                     Failed,
                     NotHere };

// Writes the new contents beside the file and renames them over it, so that a
// full disk or a crash leaves either the old file or the new one, never a part.
// NotHere when the directory takes no new file, or the new file cannot have the
// old one's owner and group (root saving a user's file leaves it the user's).
Outcome ReplaceFile(const fs::path& path, std::string_view data, const struct stat* old) {
  std::string temp = path.string() + ".XXXXXX";
  UniqueFd fd(mkstemp(temp.data()));
  if (!fd.Valid()) return errno == EACCES || errno == EPERM ? Outcome::NotHere : Outcome::Failed;
  bool owned = true;
  if (old != nullptr) {
    struct stat st {};
    owned = fstat(fd.Get(), &st) == 0 && ((st.st_uid == old->st_uid && st.st_gid == old->st_gid) ||
                                          fchown(fd.Get(), old->st_uid, old->st_gid) == 0);
  }
  bool ok = owned && WriteAll(fd.Get(), data) == 0 &&
            fchmod(fd.Get(), old != nullptr ? old->st_mode & 07777 : NewFileMode()) == 0 && fsync(fd.Get()) == 0;
  ok = fd.Close() == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return owned ? Outcome::Failed : Outcome::NotHere;
  }
  // The rename itself lasts only once the directory is on disk.
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const UniqueFd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.Valid()) fsync(dirFd.Get());
  return Outcome::Written;
}

// Rewrites the file itself where it cannot be replaced. Room is reserved first
// and only the bytes from the first change on are written, so that a full disk
// finds the old file as it was.
bool WriteInPlace(const fs::path& path, std::string_view old, std::string_view data) {
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Valid()) return false;
  struct stat st {};
  bool ok = fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode);
  if (ok && data.size() > old.size() &&
      fallocate(fd.Get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(data.size())) != 0)
    ok = errno == EOPNOTSUPP;  // a file system without reservations is written all the same
  const size_t same = static_cast<size_t>(std::ranges::mismatch(old, data).in2 - data.begin());
  ok = ok && lseek(fd.Get(), static_cast<off_t>(same), SEEK_SET) >= 0 && WriteAll(fd.Get(), data.substr(same)) == 0 &&
       (data.size() >= old.size() || ftruncate(fd.Get(), static_cast<off_t>(data.size())) == 0) && fsync(fd.Get()) == 0;
  ok = fd.Close() == 0 && ok;
  return ok;
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr ? user->pw_dir : "";
}

}  // namespace

std::string ResolveSettingsPath(const std::string& fileName) {
  if (fileName.find('/') != std::string::npos) return fileName;
  // A relative XDG_CONFIG_HOME is invalid by the XDG rules: it would move with
  // the current directory.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string dir = config != nullptr && config[0] == '/' ? config : HomeDirectory() + "/.config";
  return dir + "/" + fileName;
}

TProfileSnapshot::TProfileSnapshot(const std::string& fileName)
    : contents_(ReadWholeFile(ResolveSettingsPath(fileName))) {
  // One pass over the file, so that each look-up costs no more than a hash.
  if (contents_) values_ = IndexIniValues(*contents_);
}

uint32_t TProfileSnapshot::GetString(const char* section, const char* key, const char* defaultValue,
                                     char* buffer, uint32_t size) const {
  std::optional<std::string_view> found;
  if (contents_ && section != nullptr && key != nullptr) {
    if (const auto at = values_.find(IniValueKey(section, key)); at != values_.end())
      found = std::string_view(*contents_).substr(at->second.first, at->second.second);
  }
  return CopyProfileString(found, defaultValue, buffer, size);
}

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName) {
  std::optional<std::string_view> found;
  std::optional<std::string> data;
  if (section != nullptr && key != nullptr && fileName != nullptr && buffer != nullptr && size > 0)
    data = ReadWholeFile(ResolveSettingsPath(fileName));
  if (data) found = FindIniValue(*data, section, key);
  return CopyProfileString(found, defaultValue, buffer, size);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  if (section == nullptr || key == nullptr || value == nullptr || fileName == nullptr) return false;
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;

  const fs::path resolved = ResolveSettingsPath(fileName);
  if (std::strchr(fileName, '/') == nullptr) {
    // The configuration directory is the user's alone, as the XDG rules ask.
    const fs::path dir = resolved.parent_path();
    std::error_code ec;
    if (fs::create_directories(dir, ec)) fs::permissions(dir, fs::perms::owner_all, ec);
  }
  const std::optional<fs::path> path = FollowLinks(resolved);
  if (!path) return false;

  std::string data;
  struct stat st {};
  const bool exists = stat(path->c_str(), &st) == 0;
  if (exists) {
    // The owner's write bit is the read-only attribute; it binds root as well.
    // Beyond it the user needs the right to write the file: a writable
    // directory alone would let a rename replace anybody's file.
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0 ||
        faccessat(AT_FDCWD, path->c_str(), W_OK, AT_EACCESS) != 0)
      return false;
    std::optional<std::string> old = ReadWholeFile(*path);
    if (!old) return false;
    data = std::move(*old);
  } else if (errno != ENOENT) {
    return false;
  }

  const std::optional<std::string> out = IniWithValue(data, section, key, value);
  if (!out) return true;  // the file stays as it is, to the byte
  if (!exists) return ReplaceFile(*path, *out, nullptr) == Outcome::Written;
  // A hard-linked file stays one file under all its names.
  if (st.st_nlink == 1) {
    const Outcome outcome = ReplaceFile(*path, *out, &st);
    if (outcome != Outcome::NotHere) return outcome == Outcome::Written;
  }
  return WriteInPlace(*path, data, *out);
}

}  // namespace zek
