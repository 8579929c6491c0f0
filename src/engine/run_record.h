#pragma once
// What a run finds, pair by pair, for readers other than the message lines:
// the JSON Lines report. A recorder hears of each file the run takes up once,
// after the pair's last line, and of each directory it could not list.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_access.h"

namespace zek {

enum class PairStatus { Equal,
                        Different,
                        TargetMissing,
                        SourceMissing,
                        NotCompared };

enum class NotComparedReason { None,
                               CannotOpenSource,
                               CannotOpenTarget,
                               NotRegularFile,
                               IoError,
                               Interrupted };  // Cancel or Ctrl-C before the last byte

// One side of a pair as the run's look found it, or as a manifest records it.
struct FileFacts {
  std::optional<int64_t> Size;  // known for a file that could be opened
  // The last write exactly; a manifest records only its local two-second steps.
  std::optional<FileTime> WriteTime;
  std::optional<int64_t> TimeSteps;  // where WriteTime is unknown
};

struct PairRecord {
  std::string RelativePath;  // to the source directory
  PairStatus Status = PairStatus::Equal;
  NotComparedReason Reason = NotComparedReason::None;
  std::optional<FileFacts> Source;
  std::optional<FileFacts> Target;
  bool TimeDiffers = false;
  bool SizeDiffers = false;
  // Byte positions as the lines give them: the first byte is position 1.
  std::optional<int64_t> FirstDifference;
  std::vector<int64_t> ListedDifferences;
  int64_t BytesRead = 0;  // of the source, as the byte total counts them; of the target in a check
  // A check against a manifest: whether the SHA-256 differs, where it was computed.
  std::optional<bool> DigestDiffers;
};

class IRunRecorder {
 public:
  virtual ~IRunRecorder() = default;
  virtual void PairTaken(const PairRecord& pair) = 0;
  virtual void DirectoryNotListed(const std::string& relativePath, int error) = 0;
};

}  // namespace zek
