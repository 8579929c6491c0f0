#include "engine/manifest.h"

#include <charconv>
#include <cstdio>

#include "platform/dos_time.h"

namespace zek {
namespace {

constexpr std::string_view kHeaderStart = "# zek32 manifest 1";
constexpr std::string_view kFileComment = "#= ";
constexpr std::string_view kEndStart = "# end: ";
constexpr int64_t kStepsPerDay = 43200;

std::string CountOfFiles(size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); }

std::optional<int64_t> Number(std::string_view digits) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// sha256sum's own escape of a name, undone; nothing for an escape it never writes.
std::optional<std::string> Unescape(std::string_view name) {
  std::string plain;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      plain += name[i];
      continue;
    }
    if (++i == name.size()) return std::nullopt;
    switch (name[i]) {
      case '\\':
        plain += '\\';
        break;
      case 'n':
        plain += '\n';
        break;
      case 'r':
        plain += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return plain;
}

// "HEX  NAME" or "HEX *NAME", the escaped form after a leading backslash.
std::optional<ManifestEntry> ChecksumLine(std::string_view line) {
  const bool escaped = !line.empty() && line[0] == '\\';
  if (escaped) line.remove_prefix(1);
  ManifestEntry entry;
  if (line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) return std::nullopt;
  for (size_t i = 0; i < entry.Digest.size(); ++i) {
    const int high = HexValue(line[2 * i]);
    const int low = HexValue(line[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    entry.Digest[i] = static_cast<unsigned char>(high << 4 | low);
  }
  const std::string_view name = line.substr(66);
  std::optional<std::string> path = escaped ? Unescape(name) : std::string(name);
  if (!path || path->empty()) return std::nullopt;
  entry.RelativePath = std::move(*path);
  return entry;
}

}  // namespace

std::string FormatTimeSteps(int64_t steps) {
  const int64_t day = steps >= 0 ? steps / kStepsPerDay : (steps - kStepsPerDay + 1) / kStepsPerDay;
  const int64_t seconds = (steps - day * kStepsPerDay) * 2;
  const CivilDate date = CivilFromDays(day);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d", static_cast<long long>(date.Year), date.Month,
                date.Day, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return text;
}

std::optional<int64_t> ParseTimeSteps(std::string_view text) {
  // YYYY-MM-DD HH:MM:SS, the year of four digits or more.
  const size_t dash = text.find('-', 1);
  if (dash == std::string_view::npos || text.size() != dash + 15 || text[dash + 3] != '-' || text[dash + 6] != ' ' ||
      text[dash + 9] != ':' || text[dash + 12] != ':')
    return std::nullopt;
  const auto year = Number(text.substr(0, dash));
  const auto month = Number(text.substr(dash + 1, 2));
  const auto day = Number(text.substr(dash + 4, 2));
  const auto hour = Number(text.substr(dash + 7, 2));
  const auto minute = Number(text.substr(dash + 10, 2));
  const auto second = Number(text.substr(dash + 13, 2));
  if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 || *day < 1 || *day > 31 ||
      *hour > 23 || *minute > 59 || *second > 59 || *second % 2 != 0)
    return std::nullopt;
  const int64_t days = DaysFromCivil(*year, static_cast<int>(*month), static_cast<int>(*day));
  if (CivilFromDays(days).Day != *day) return std::nullopt;  // 31 April, 29 February of a common year
  return days * kStepsPerDay + (*hour * 3600 + *minute * 60 + *second) / 2;
}

std::string ManifestHeader() {
  return std::string(kHeaderStart) +
         ": SHA-256 of the files a run found equal, as sha256sum writes them (check with"
         " sha256sum -c in the target, or zek32 --batch --manifest).\n"
         "# Each file's line follows a line \"#= SIZE YYYY-MM-DD HH:MM:SS\": its size in bytes and"
         " its last write in local time; the last line says how many files there are.\n";
}

std::string ManifestLines(const ManifestEntry& entry) {
  std::string name;
  bool escaped = false;
  for (const char c : entry.RelativePath) {
    const char* escape = c == '\\' ? "\\\\" : c == '\n' ? "\\n"
                                          : c == '\r'   ? "\\r"
                                                        : nullptr;
    escaped = escaped || escape != nullptr;
    if (escape != nullptr) {
      name += escape;
    } else {
      name += c;
    }
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string lines = std::string(kFileComment) + std::to_string(entry.Size.value_or(0)) + " " +
                      FormatTimeSteps(entry.TimeSteps.value_or(0)) + "\n";
  if (escaped) lines += '\\';
  for (const unsigned char byte : entry.Digest) {
    lines += kHex[byte >> 4];
    lines += kHex[byte & 15];
  }
  return lines + "  " + name + "\n";
}

std::string ManifestEnd(size_t files) { return std::string(kEndStart) + CountOfFiles(files) + "\n"; }

ParsedManifest ParseManifest(std::string_view text) {
  ParsedManifest parsed;
  const auto fail = [&](size_t line, std::string what) {
    parsed.Error = ManifestError{line, std::move(what)};
    return parsed;
  };
  const bool ours = text.substr(0, kHeaderStart.size()) == kHeaderStart;
  std::optional<int64_t> size, steps;
  std::optional<size_t> endLine;
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    if (end == std::string_view::npos && ours) return fail(number, "the line has no end: the manifest is cut short");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (endLine) return fail(number, "a line after the end line");
    if (line.substr(0, kFileComment.size()) == kFileComment) {
      const std::string_view rest = line.substr(kFileComment.size());
      const size_t space = rest.find(' ');
      size = space == std::string_view::npos ? std::nullopt : Number(rest.substr(0, space));
      steps = space == std::string_view::npos ? std::nullopt : ParseTimeSteps(rest.substr(space + 1));
      if (!size || *size < 0 || !steps) return fail(number, "not a size and a time (\"#= SIZE YYYY-MM-DD HH:MM:SS\")");
      continue;
    }
    if (line.substr(0, kEndStart.size()) == kEndStart) {
      if (line != std::string(kEndStart) + CountOfFiles(parsed.Entries.size()))
        return fail(number, "the end line does not give the " + CountOfFiles(parsed.Entries.size()) + " recorded");
      endLine = number;
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    std::optional<ManifestEntry> entry = ChecksumLine(line);
    if (!entry) return fail(number, "not a checksum line (64 hex digits, two spaces, a name)");
    if (ours && !size) return fail(number, "no \"#= SIZE TIME\" line before this file's line");
    entry->Size = size;
    entry->TimeSteps = steps;
    size.reset();
    steps.reset();
    parsed.Entries.push_back(std::move(*entry));
  }
  if (ours && !endLine) return fail(number + 1, "no end line: the manifest is incomplete");
  return parsed;
}

}  // namespace zek
