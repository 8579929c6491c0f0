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
#include <vector>

namespace zek {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLineEnd = "\r\n";

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

// ASCII only: bytes above 127 are compared as they are, whatever the locale.
bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
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

std::vector<Line> SplitLines(std::string_view data) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < data.size()) {
    const size_t newline = data.find('\n', pos);
    const size_t end = newline == std::string_view::npos ? data.size() : newline;
    std::string_view text = data.substr(pos, end - pos);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const size_t next = newline == std::string_view::npos ? data.size() : newline + 1;
    lines.push_back({text, pos, next});
    pos = next;
  }
  return lines;
}

enum class LineKind { Other, Header, Key };

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
  std::optional<size_t> KeyLine;
  size_t LastNonBlank = 0;  // of the section, its header included
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location where;
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine line = ParseLine(lines[i].Text);
    if (line.Kind == LineKind::Header) {
      if (where.SectionFound) break;
      inside = SameName(line.Name, section);
      where.SectionFound = inside;
      where.LastNonBlank = i;
      continue;
    }
    if (!inside) continue;
    if (!Trim(lines[i].Text).empty()) where.LastNonBlank = i;
    if (line.Kind == LineKind::Key && SameName(line.Name, key)) {
      where.KeyLine = i;
      break;
    }
  }
  return where;
}

// The whole file; nullopt when there is no regular file to read. A FIFO or a
// device is never opened in a way that could block.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> data;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string bytes;
    char chunk[65536];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
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
  close(fd);
  return data;
}

// The line end to add before appending, if the last line has none.
std::string_view MissingLineEnd(std::string_view data) {
  if (data.empty() || data.back() == '\n') return {};
  return data.back() == '\r' ? "\n" : kLineEnd;
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

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Writes the new contents beside the file and renames them over it, so that a
// full disk or a crash leaves either the old file or the new one, never a part.
bool ReplaceFile(const fs::path& path, std::string_view data, std::optional<mode_t> mode) {
  std::string temp = path.string() + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data) && fchmod(fd, mode.value_or(NewFileMode())) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  // The rename itself lasts only once the directory is on disk.
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
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

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view result = defaultValue != nullptr ? defaultValue : "";
  while (!result.empty() && result.back() == ' ') result.remove_suffix(1);
  std::optional<std::string> data;
  if (section != nullptr && key != nullptr && fileName != nullptr)
    data = ReadWholeFile(ResolveSettingsPath(fileName));
  if (data) {
    const std::vector<Line> lines = SplitLines(*data);
    if (const Location where = Locate(lines, section, key); where.KeyLine)
      result = Unquote(ParseLine(lines[*where.KeyLine].Text).Value);
  }
  const size_t count = std::min<size_t>(result.size(), size - 1);
  std::memcpy(buffer, result.data(), count);
  buffer[count] = '\0';
  return static_cast<uint32_t>(count);
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
  std::optional<mode_t> mode;
  struct stat st {};
  if (stat(path->c_str(), &st) == 0) {
    // The owner's write bit is the read-only attribute; it binds root as well.
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return false;
    std::optional<std::string> old = ReadWholeFile(*path);
    if (!old) return false;
    data = std::move(*old);
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return false;
  }

  const std::vector<Line> lines = SplitLines(data);
  const Location where = Locate(lines, section, key);
  std::string out;
  if (where.KeyLine) {
    const Line& line = lines[*where.KeyLine];
    const ParsedLine parsed = ParseLine(line.Text);
    if (parsed.Value == Trim(text)) return true;  // the file stays as it is, to the byte
    out.append(data, 0, line.Start).append(parsed.Name).append("=").append(text).append(kLineEnd);
    out.append(data, line.Next);
  } else if (where.SectionFound) {
    const size_t at = lines[where.LastNonBlank].Next;
    out.append(data, 0, at).append(MissingLineEnd(std::string_view(data).substr(0, at)));
    out.append(key).append("=").append(text).append(kLineEnd);
    out.append(data, at);
  } else {
    out.append(data).append(MissingLineEnd(data));
    out.append("[").append(section).append("]").append(kLineEnd);
    out.append(key).append("=").append(text).append(kLineEnd);
  }
  return ReplaceFile(*path, out, mode);
}

}  // namespace zek
