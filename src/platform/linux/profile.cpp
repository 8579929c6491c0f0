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

namespace zek {
namespace {

namespace fs = std::filesystem;

// What a new file gets; an existing file keeps the line end it uses.
constexpr std::string_view kNewFileLineEnd = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Names match in any case, ASCII only: bytes above 127 are compared as they
// are, whatever the locale.
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// One line of the file: its text without the line ending, and where the line
// and its ending lie in the file.
struct Line {
  std::string_view Text;
  size_t Start;
  size_t Next;
};

// Hands each line to visit until it returns false. No list of lines is kept:
// a huge file costs one pass, not a second copy.
template <class Visit>
void ForEachLine(std::string_view data, Visit visit) {
  size_t pos = 0;
  while (pos < data.size()) {
    const size_t newline = data.find('\n', pos);
    const size_t end = newline == std::string_view::npos ? data.size() : newline;
    std::string_view text = data.substr(pos, end - pos);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const size_t next = newline == std::string_view::npos ? data.size() : newline + 1;
    if (!visit(Line{text, pos, next})) return;
    pos = next;
  }
}

enum class LineKind { Other,
                      Header,
                      Key };

struct ParsedLine {
  LineKind Kind = LineKind::Other;
  std::string_view Name;   // section or key
  std::string_view Value;  // trimmed, quotes still on
};

ParsedLine ParseLine(std::string_view text) {
  const std::string_view rest = TrimLeft(text);
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    const std::string_view name = close == std::string_view::npos ? rest.substr(1) : rest.substr(1, close - 1);
    return {LineKind::Header, Trim(name), {}};
  }
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) return {};
  return {LineKind::Key, Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

// Where a key stands, as far as it is there. Only the first section of a name
// counts, and in it only the first key of a name.
struct Location {
  bool SectionFound = false;
  std::optional<Line> KeyLine;
  Line LastNonBlank{};  // of the section, its header included
};

Location Locate(std::string_view data, std::string_view section, std::string_view key) {
  Location where;
  bool inside = false;
  ForEachLine(data, [&](const Line& text) {
    const ParsedLine line = ParseLine(text.Text);
    if (line.Kind == LineKind::Header) {
      if (where.SectionFound) return false;
      inside = SameName(line.Name, section);
      where.SectionFound = inside;
      where.LastNonBlank = text;
      return true;
    }
    if (!inside) return true;
    if (!Trim(text.Text).empty()) where.LastNonBlank = text;
    if (line.Kind == LineKind::Key && SameName(line.Name, key)) {
      where.KeyLine = text;
      return false;
    }
    return true;
  });
  return where;
}

// The line end the file already uses: that of its first line.
std::string_view LineEndOf(std::string_view data) {
  const size_t newline = data.find('\n');
  if (newline == std::string_view::npos) return kNewFileLineEnd;
  return newline > 0 && data[newline - 1] == '\r' ? "\r\n" : "\n";
}

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

// The line end to add before appending, if the last line has none.
std::string_view MissingLineEnd(std::string_view data, std::string_view lineEnd) {
  if (data.empty() || data.back() == '\n') return {};
  return data.back() == '\r' ? "\n" : lineEnd;
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

// What GetPrivateProfileStringA hands back: the value found, or else the
// default without its trailing blanks, cut to the buffer.
uint32_t CopyOut(std::optional<std::string_view> found, const char* defaultValue, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view result = defaultValue != nullptr ? defaultValue : "";
  while (!result.empty() && result.back() == ' ') result.remove_suffix(1);
  if (found) result = *found;
  const size_t count = std::min<size_t>(result.size(), size - 1);
  std::memcpy(buffer, result.data(), count);
  buffer[count] = '\0';
  return static_cast<uint32_t>(count);
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
  if (!contents_) return;
  // One pass over the file, so that each look-up costs no more than a hash.
  const std::string_view data = *contents_;
  std::unordered_map<std::string, bool> sections;
  std::string section;
  bool first = false;
  ForEachLine(data, [&](const Line& text) {
    const ParsedLine line = ParseLine(text.Text);
    if (line.Kind == LineKind::Header) {
      section = AsciiLower(line.Name);
      first = sections.try_emplace(section, true).second;
    } else if (first && line.Kind == LineKind::Key) {
      const std::string_view value = Unquote(line.Value);
      values_.try_emplace(section + '\n' + AsciiLower(line.Name), static_cast<size_t>(value.data() - data.data()),
                          value.size());
    }
    return true;
  });
}

uint32_t TProfileSnapshot::GetString(const char* section, const char* key, const char* defaultValue,
                                     char* buffer, uint32_t size) const {
  std::optional<std::string_view> found;
  if (contents_ && section != nullptr && key != nullptr) {
    if (const auto at = values_.find(AsciiLower(section) + '\n' + AsciiLower(key)); at != values_.end())
      found = std::string_view(*contents_).substr(at->second.first, at->second.second);
  }
  return CopyOut(found, defaultValue, buffer, size);
}

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName) {
  std::optional<std::string_view> found;
  std::optional<std::string> data;
  if (section != nullptr && key != nullptr && fileName != nullptr && buffer != nullptr && size > 0)
    data = ReadWholeFile(ResolveSettingsPath(fileName));
  if (data) {
    if (const Location where = Locate(*data, section, key); where.KeyLine)
      found = Unquote(ParseLine(where.KeyLine->Text).Value);
  }
  return CopyOut(found, defaultValue, buffer, size);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  if (section == nullptr || key == nullptr || value == nullptr || fileName == nullptr) return false;
  const std::string_view text = TrimLeft(value);
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(text)) return false;

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

  const std::string_view lineEnd = LineEndOf(data);
  const Location where = Locate(data, section, key);
  std::string out;
  if (where.KeyLine) {
    const Line& line = *where.KeyLine;
    const ParsedLine parsed = ParseLine(line.Text);
    if (parsed.Value == Trim(text)) return true;  // the file stays as it is, to the byte
    // The line keeps its own ending; one cut short at the end of the file gets the file's.
    const size_t textEnd = line.Start + line.Text.size();
    const std::string_view ownEnd = std::string_view(data).substr(textEnd, line.Next - textEnd);
    out.append(data, 0, line.Start).append(parsed.Name).append("=").append(text);
    out.append(ownEnd.empty() || ownEnd == "\r" ? lineEnd : ownEnd);
    out.append(data, line.Next);
  } else if (where.SectionFound) {
    const size_t at = where.LastNonBlank.Next;
    out.append(data, 0, at).append(MissingLineEnd(std::string_view(data).substr(0, at), lineEnd));
    out.append(key).append("=").append(text).append(lineEnd);
    out.append(data, at);
  } else {
    out.append(data).append(MissingLineEnd(data, lineEnd));
    out.append("[").append(section).append("]").append(lineEnd);
    out.append(key).append("=").append(text).append(lineEnd);
  }
  if (!exists) return ReplaceFile(*path, out, nullptr) == Outcome::Written;
  // A hard-linked file stays one file under all its names.
  if (st.st_nlink == 1) {
    const Outcome outcome = ReplaceFile(*path, out, &st);
    if (outcome != Outcome::NotHere) return outcome == Outcome::Written;
  }
  return WriteInPlace(*path, data, out);
}

}  // namespace zek
