#pragma once
// A manifest: the SHA-256 of every file that a run found equal to its
// namesake, so that the target can be checked later without the source. Its
// lines are those of sha256sum, which `sha256sum -c` run in the target
// directory accepts as they stand; each file's size and time come in a comment
// line before its own, which sha256sum skips:
//
//   # zek32 manifest 1 ...              (the first line, a note for people)
//   #= 20480 2026-12-09 16:40:02        size in bytes, last write (local time)
//   <64 hex digits>  sub/name.txt       relative to the source, "/" between parts
//   # end: 1 file                       the last line: the run ended and all is here
//
// A name holding a line break or a backslash is written as sha256sum writes
// it: the line starts with a backslash, and the name has "\\", "\n" and "\r"
// for those characters.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_access.h"
#include "platform/sha256.h"

namespace zek {

struct ManifestEntry {
  std::string RelativePath;  // "/" between its parts on every system
  // Both or neither: a line of sha256sum without our comment records no size
  // and no time.
  std::optional<int64_t> Size;
  std::optional<int64_t> TimeSteps;  // local two-second steps, as FileLook::TimeSteps
  Sha256Digest Digest{};
};

std::string ManifestHeader();
// The comment line and the checksum line of one file, each ending in "\n".
std::string ManifestLines(const ManifestEntry& entry);
std::string ManifestEnd(size_t files);

// Where a manifest cannot be read: its line (from 1) and what is wrong.
struct ManifestError {
  size_t Line = 0;
  std::string What;
};
struct ParsedManifest {
  std::vector<ManifestEntry> Entries;
  std::optional<ManifestError> Error;
};
// Also takes the lines of a plain sha256sum, without sizes and times; one that
// starts as ours must end with its end line and the number it gives.
ParsedManifest ParseManifest(std::string_view text);

// A time of two-second steps as "YYYY-MM-DD HH:MM:SS", and back.
std::string FormatTimeSteps(int64_t steps);
std::optional<int64_t> ParseTimeSteps(std::string_view text);

// Writes a manifest under a name of its own beside the file asked for (NAME.part,
// or NAME.part1 and on where that exists), and puts it in that file's place
// only once the run has ended: a run ended by an error or Ctrl-C leaves no
// file that looks complete, and no file is ever truncated but the one named.
class ManifestWriter {
 public:
  // Raises EInOutError where no file can be created beside `fileName`.
  explicit ManifestWriter(std::string fileName);
  // Without Commit, the file of its own is removed.
  ~ManifestWriter();
  ManifestWriter(const ManifestWriter&) = delete;
  ManifestWriter& operator=(const ManifestWriter&) = delete;

  // A pair's comparison starts: its source bytes follow, as the run reads them.
  void Begin();
  void Hash(const unsigned char* data, size_t count);
  // The pair was found equal: its lines are written.
  void Record(const std::string& relativePath, int64_t size, int64_t timeSteps);
  // The end line, then the file takes the place of the one named.
  void Commit();

  size_t Recorded() const { return recorded_; }
  const std::string& FileName() const { return fileName_; }

 private:
  void Put(const std::string& text);
  void WriteOut();

  std::string fileName_;
  std::string partName_;
  FileHandle file_ = kNoFile;
  std::string buffer_;
  Sha256 hash_;
  bool hashing_ = false;
  size_t recorded_ = 0;
};

}  // namespace zek
