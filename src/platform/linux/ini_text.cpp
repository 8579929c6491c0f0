#include "platform/linux/ini_text.h"

#include <algorithm>
#include <cstring>

namespace zek {
namespace {

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

// The line end to add before appending, if the last line has none.
std::string_view MissingLineEnd(std::string_view data, std::string_view lineEnd) {
  if (data.empty() || data.back() == '\n') return {};
  return data.back() == '\r' ? "\n" : lineEnd;
}

}  // namespace

std::optional<std::string_view> FindIniValue(std::string_view data, std::string_view section, std::string_view key) {
  const Location where = Locate(data, section, key);
  if (!where.KeyLine) return std::nullopt;
  return Unquote(ParseLine(where.KeyLine->Text).Value);
}

std::unordered_map<std::string, std::pair<size_t, size_t>> IndexIniValues(std::string_view data) {
  std::unordered_map<std::string, std::pair<size_t, size_t>> values;
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
      values.try_emplace(section + '\n' + AsciiLower(line.Name), static_cast<size_t>(value.data() - data.data()),
                         value.size());
    }
    return true;
  });
  return values;
}

std::string IniValueKey(std::string_view section, std::string_view key) {
  return AsciiLower(section) + '\n' + AsciiLower(key);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::optional<std::string> IniWithValue(std::string_view data, std::string_view section, std::string_view key,
                                        std::string_view value) {
  const std::string_view text = TrimLeft(value);
  const std::string_view lineEnd = LineEndOf(data);
  const Location where = Locate(data, section, key);
  std::string out;
  if (where.KeyLine) {
    const Line& line = *where.KeyLine;
    const ParsedLine parsed = ParseLine(line.Text);
    if (parsed.Value == Trim(text)) return std::nullopt;
    // The line keeps its own ending; one cut short at the end of the file gets the file's.
    const size_t textEnd = line.Start + line.Text.size();
    const std::string_view ownEnd = data.substr(textEnd, line.Next - textEnd);
    out.append(data.substr(0, line.Start)).append(parsed.Name).append("=").append(text);
    out.append(ownEnd.empty() || ownEnd == "\r" ? lineEnd : ownEnd);
    out.append(data.substr(line.Next));
  } else if (where.SectionFound) {
    const size_t at = where.LastNonBlank.Next;
    out.append(data.substr(0, at)).append(MissingLineEnd(data.substr(0, at), lineEnd));
    out.append(key).append("=").append(text).append(lineEnd);
    out.append(data.substr(at));
  } else {
    out.append(data).append(MissingLineEnd(data, lineEnd));
    out.append("[").append(section).append("]").append(lineEnd);
    out.append(key).append("=").append(text).append(lineEnd);
  }
  return out;
}

// What GetPrivateProfileStringA hands back: the value found, or else the
// default without its trailing blanks, cut to the buffer.
uint32_t CopyProfileString(std::optional<std::string_view> found, const char* defaultValue, char* buffer,
                           uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view result = defaultValue != nullptr ? defaultValue : "";
  while (!result.empty() && result.back() == ' ') result.remove_suffix(1);
  if (found) result = *found;
  const size_t count = std::min<size_t>(result.size(), size - 1);
  std::memcpy(buffer, result.data(), count);
  buffer[count] = '\0';
  return static_cast<uint32_t>(count);
}

}  // namespace zek
