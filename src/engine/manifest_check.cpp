#include "engine/manifest_check.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/comparison_run.h"
#include "engine/line_escape.h"
#include "engine/path_rules.h"
#include "platform/console.h"
#include "platform/file_access.h"
#include "platform/read_ahead.h"

namespace zek {
namespace {

// Each reader reads and hashes pieces of this size.
constexpr size_t kPiece = 256 * 1024;
// A reader waits for its reads, so more readers than processors keep a cold
// disk's queue full: four a processor, 4 to 16.
int ReaderCount() { return static_cast<int>(std::clamp(4 * std::thread::hardware_concurrency(), 4u, 16u)); }
// How often the check looks for Ctrl-C while it waits for a reader.
constexpr auto kDispatchEvery = std::chrono::milliseconds(50);

std::string Plural(int32_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

// The files' outcomes, filled by the readers in any order and taken in the manifest's.
struct Outcomes {
  explicit Outcomes(size_t n) : Files(n), Done(n, false) {}
  std::mutex Lock;
  std::condition_variable Ready;
  std::vector<CheckedFile> Files;
  std::vector<bool> Done;
  size_t Next = 0;  // the next file a reader takes
};

// Stops the readers and waits for them however the check ends: each is at
// most one piece away from its next look at the stop flag.
class Readers {
 public:
  explicit Readers(std::atomic<bool>& halt) : halt_(halt) {}
  ~Readers() {
    halt_ = true;
    for (std::thread& t : threads_) t.join();
  }
  Readers(const Readers&) = delete;
  Readers& operator=(const Readers&) = delete;
  template <class F>
  void Start(int count, F work) {
    // Ctrl-C, SIGTERM and SIGHUP are the check's own thread's: the readers start with them blocked.
    BlockStopSignalsInThisThread(true);
    try {
      for (int i = 0; i < count; ++i) threads_.emplace_back(work);
    } catch (const std::system_error&) {
      // Out of threads: the readers that started do the work.
    }
    BlockStopSignalsInThisThread(false);
    if (threads_.empty()) throw std::bad_alloc();
  }

 private:
  std::atomic<bool>& halt_;
  std::vector<std::thread> threads_;
};

}  // namespace

TManifestCheck::TManifestCheck(IRunView& view, ManifestCheckPlan plan) : view_(view), plan_(std::move(plan)) {}

void TManifestCheck::Load() {
  const std::string& name = plan_.ManifestFile;
  const FileLook look = Files().LookAndOpen(name);
  const auto unreadable = [&](const std::string& why) { return EManifestError(name + ": " + why); };
  if (!look.Exists) {
    Files().Close(look.Handle);
    throw unreadable("no such file");
  }
  if (look.Handle == kNoFile) throw unreadable(look.Special ? "not a regular file" : EInOutError(look.OpenError).what());
  std::string text;
  std::vector<unsigned char> piece(kPiece);
  for (;;) {
    const FileResult<size_t> got = Files().BlockRead(look.Handle, piece.data(), piece.size());
    if (!got.Ok()) {
      Files().Close(look.Handle);
      throw unreadable(EInOutError(got.Error()).what());
    }
    if (got.Value() == 0) break;
    text.append(reinterpret_cast<const char*>(piece.data()), got.Value());
  }
  Files().Close(look.Handle);
  ParsedManifest parsed = ParseManifest(text);
  if (parsed.Error) throw EManifestError(name + ":" + std::to_string(parsed.Error->Line) + ": " + parsed.Error->What);
  entries_ = std::move(parsed.Entries);
}

CheckedFile TManifestCheck::CheckOne(const ManifestEntry& entry) const {
  CheckedFile file;
  file.RelativePath = entry.RelativePath;
  std::string below = entry.RelativePath;
  std::replace(below.begin(), below.end(), '/', PathDelimiter());
  file.Path = RemoveDoubleBackslashes(plan_.TargetDir + PathDelimiter() + below);
  file.RecordedSize = entry.Size;
  file.RecordedTimeSteps = entry.TimeSteps;
  const FileLook look = Files().LookAndOpen(file.Path);
  struct Closer {
    FileHandle Handle;
    ~Closer() { Files().Close(Handle); }
  } closer{look.Handle};
  if (!look.Exists) {
    file.Status = CheckStatus::NotFound;
    return file;
  }
  file.FoundTimeSteps = look.TimeSteps;
  file.FoundWriteTime = look.WriteTime;
  if (look.Special || look.Handle == kNoFile) {
    file.Reason = look.Special ? "not a regular file" : std::string("open: ") + EInOutError(look.OpenError).what();
    file.Cause = look.Special ? NotComparedReason::NotRegularFile : NotComparedReason::CannotOpenTarget;
    return file;
  }
  file.FoundSize = look.Size;
  if (reportFile_ != nullptr && reportFile_->Is(look.Id)) {
    // A file this check is still writing says nothing of the copy.
    file.Reason = "this check's report";
    file.Cause = NotComparedReason::CannotOpenTarget;
    return file;
  }
  if (entry.Size && look.Size != *entry.Size) {
    file.Status = CheckStatus::SizeDiffers;
    return file;
  }
  if (plan_.FromDisk) DropCachedPages(look.Handle);
  ReadBuffer piece(kPiece);
  Sha256 hash;
  for (;;) {
    if (halt_) {
      file.Reason = "the check was broken off";
      file.Cause = NotComparedReason::Interrupted;
      return file;
    }
    const FileResult<size_t> got = Files().BlockRead(look.Handle, piece.data(), piece.size());
    if (!got.Ok()) {
      file.Reason = std::string("read: ") + EInOutError(got.Error()).what();
      file.Cause = NotComparedReason::IoError;
      return file;
    }
    if (got.Value() == 0) break;
    hash.Update(piece.data(), got.Value());
    file.BytesRead += static_cast<int64_t>(got.Value());
  }
  // A file that changed while it was read is judged by what was read.
  file.FoundSize = file.BytesRead;
  if (entry.Size && file.BytesRead != *entry.Size) {
    file.Status = CheckStatus::SizeDiffers;
  } else {
    file.Status = hash.Finish() == entry.Digest ? CheckStatus::Intact : CheckStatus::ContentDiffers;
  }
  return file;
}

void TManifestCheck::Run() {
  counts_ = CheckCounts{};
  stop_ = false;
  halt_ = false;
  std::vector<const ManifestEntry*> todo;
  for (const ManifestEntry& entry : entries_)
    if (InShard(entry.RelativePath, plan_.Part)) todo.push_back(&entry);
  Report("running...");
  {
    Outcomes outcomes(todo.size());
    Readers readers(halt_);
    if (!todo.empty()) {
      readers.Start(std::min<int>(ReaderCount(), static_cast<int>(todo.size())), [&] {
        for (;;) {
          size_t i = 0;
          {
            const std::lock_guard<std::mutex> lock(outcomes.Lock);
            if (halt_ || outcomes.Next == todo.size()) return;
            i = outcomes.Next++;
          }
          CheckedFile file = CheckOne(*todo[i]);
          const std::lock_guard<std::mutex> lock(outcomes.Lock);
          outcomes.Files[i] = std::move(file);
          outcomes.Done[i] = true;
          outcomes.Ready.notify_all();
        }
      });
    }
    for (size_t i = 0; i < todo.size() && !stop_; ++i) {
      CheckedFile file;
      {
        std::unique_lock<std::mutex> lock(outcomes.Lock);
        while (!outcomes.Done[i] && !stop_) {
          if (outcomes.Ready.wait_for(lock, kDispatchEvery) == std::cv_status::timeout) {
            lock.unlock();
            view_.ProcessMessages();
            lock.lock();
          }
        }
        if (stop_) break;
        file = std::move(outcomes.Files[i]);
      }
      Take(file);
    }
  }
  Report("finished.");
  if (stop_) Report("USER BREAK!");
  Report("Files total: " + std::to_string(counts_.FilesTotal));
  if (counts_.NotFound != 0) Report("Target files not found: " + std::to_string(counts_.NotFound));
  if (counts_.Different != 0) Report("Files with differences: " + std::to_string(counts_.Different));
  if (const std::string incomplete = IncompleteText(); !incomplete.empty()) Report(incomplete);
  Report(counts_.NotFound == 0 && counts_.Different == 0 ? "No differences found" : "Differences found.");
}

void TManifestCheck::Take(const CheckedFile& file) {
  ++counts_.FilesTotal;
  counts_.Bytes += file.BytesRead;
  const auto size = [](const std::optional<int64_t>& bytes) { return bytes ? std::to_string(*bytes) : "?"; };
  switch (file.Status) {
    case CheckStatus::Intact:
      if (plan_.ShowIntact && !file.TimeDiffers()) Report("File " + file.Path + " is intact.");
      break;
    case CheckStatus::NotFound:
      ++counts_.NotFound;
      Report("Target file not found: " + file.Path);
      break;
    case CheckStatus::SizeDiffers:
      ++counts_.Different;
      Report("File " + file.Path + " has a different size: " + size(file.FoundSize) + " bytes, recorded " +
             size(file.RecordedSize) + ".");
      break;
    case CheckStatus::ContentDiffers:
      ++counts_.Different;
      Report("File " + file.Path + " does not match its recorded SHA-256.");
      break;
    case CheckStatus::NotChecked:
      ++counts_.NotChecked;
      Report("Could not check target file: " + file.Path + " (" + file.Reason + ")");
      break;
  }
  if (file.TimeDiffers()) {
    // Counted only where the time counts, and once for a file that also differs otherwise.
    if (plan_.TimeCounts && file.Status == CheckStatus::Intact) ++counts_.Different;
    Report("File " + file.Path + " has a different file time: " + FormatTimeSteps(*file.FoundTimeSteps) +
           ", recorded " + FormatTimeSteps(*file.RecordedTimeSteps) + ".");
  }
  Record(file);
}

void TManifestCheck::Record(const CheckedFile& file) const {
  if (recorder_ == nullptr) return;
  PairRecord record;
  record.RelativePath = file.RelativePath;
  record.Reason = file.Cause;
  record.Source = FileFacts{file.RecordedSize, std::nullopt, file.RecordedTimeSteps};
  if (file.FoundTimeSteps) record.Target = FileFacts{file.FoundSize, file.FoundWriteTime, std::nullopt};
  record.TimeDiffers = file.TimeDiffers();
  record.BytesRead = file.BytesRead;
  switch (file.Status) {
    case CheckStatus::Intact:
      // As counted: a different time is a difference where it counts.
      record.Status = plan_.TimeCounts && record.TimeDiffers ? PairStatus::Different : PairStatus::Equal;
      record.DigestDiffers = false;
      break;
    case CheckStatus::NotFound:
      record.Status = PairStatus::TargetMissing;
      break;
    case CheckStatus::SizeDiffers:
      record.Status = PairStatus::Different;
      record.SizeDiffers = true;
      break;
    case CheckStatus::ContentDiffers:
      record.Status = PairStatus::Different;
      record.DigestDiffers = true;
      break;
    case CheckStatus::NotChecked:
      record.Status = PairStatus::NotCompared;
      break;
  }
  recorder_->PairTaken(record);
}

std::string TManifestCheck::IncompleteText() const {
  if (counts_.FilesTotal == 0 && !stop_) {
    if (entries_.empty()) return "Nothing checked: the manifest records no file";
    return "Nothing checked: no file of the manifest is in shard " + std::to_string(plan_.Part.K) + "/" +
           std::to_string(plan_.Part.N);
  }
  if (counts_.NotChecked == 0) return "";
  return "Not checked: " + Plural(counts_.NotChecked, "file", "files");
}

void TManifestCheck::Report(const std::string& line) {
  view_.AppendMessage(EscapeControls(line));
  view_.ProcessMessages();
}

}  // namespace zek
