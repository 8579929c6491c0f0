#include "engine/pair_comparison.h"

#include <algorithm>
#include <utility>

#include "platform/io_error.h"

namespace zek {
namespace {

constexpr int64_t kBlockBytes = static_cast<int64_t>(kBlockSize);
// The most blocks the first read of a pair takes.
constexpr size_t kFirstReadBlocks = 4;

FileFacts FactsOf(const FileLook& look) {
  FileFacts facts;
  if (look.Handle != kNoFile) facts.Size = look.Size;
  facts.WriteTime = look.WriteTime;
  return facts;
}

}  // namespace

PairComparison::OpenPair::~OpenPair() {
  Files().Close(Source);
  Files().Close(Target);
}

PairComparison::PairComparison(std::string sourcePath, std::string targetPath, IRunInputs& inputs,
                               const bool& userBreak, ReadBuffer& sourceBuffer, ReadBuffer& targetBuffer)
    : sourcePath_(std::move(sourcePath)),
      targetPath_(std::move(targetPath)),
      pair_("File " + sourcePath_ + " and " + targetPath_),
      inputs_(inputs),
      options_(inputs.Options()),
      userBreak_(userBreak),
      sourceBuffer_(sourceBuffer),
      targetBuffer_(targetBuffer) {}

bool PairComparison::LookAtSource(const RunOwnFiles& own, KnownAs known) {
  // The source is looked at first and alone: a missing source leaves the
  // target unseen.
  sourceLook_ = Files().LookAndOpen(sourcePath_, known);
  open_.Source = sourceLook_.Handle;
  if (sourceLook_.Exists) record_.Source = FactsOf(sourceLook_);
  return own.Which(sourceLook_.Id) == nullptr;
}

PairFindings PairComparison::CheckSource() {
  // Out of descriptors or memory, an open says nothing about the file: the run ends.
  if (IsResourceError(sourceLook_.OpenError)) throw EInOutError(sourceLook_.OpenError);
  if (!sourceLook_.Exists) {
    usable_ = false;
    NotCompared(PairStatus::SourceMissing, NotComparedReason::None);
    return {{std::nullopt, "Source file not found: " + sourcePath_, PairCount::NotCompared}};
  }
  if (sourceLook_.Special) {
    // A FIFO or a device is never opened, and no namesake can stand in for it:
    // it is not compared, whether or not one exists. A namesake of its kind
    // gets its own line.
    usable_ = false;
    NotCompared(PairStatus::NotCompared, NotComparedReason::NotRegularFile);
    return {{Option::CouldNotOpenSource, "Could not open source file: " + sourcePath_, PairCount::NotCompared}};
  }
  return {};
}

PairFindings PairComparison::LookAtTarget(const RunOwnFiles& own, ReadAhead* readAhead) {
  if (!usable_ && !sourceLook_.Special) return {};
  targetLook_ = Files().LookAndOpen(targetPath_);
  open_.Target = targetLook_.Handle;
  // Read from disk: no byte of the target may come from pages that a write or
  // an earlier read left in the cache, unless the helpers fetched them anew.
  if (open_.Target != kNoFile && inputs_.ReadFromDisk() && !(readAhead && readAhead->TakeFetchedFromDisk(open_.Target)))
    DropCachedPages(open_.Target);
  if (IsResourceError(targetLook_.OpenError)) throw EInOutError(targetLook_.OpenError);
  if (targetLook_.Exists) record_.Target = FactsOf(targetLook_);
  if (!usable_) {
    if (!targetLook_.Special) return {};
    return {{Option::CouldNotOpenTarget, "Could not open target file: " + targetPath_, PairCount::None}};
  }
  if (!targetLook_.Exists) {
    usable_ = false;
    NotCompared(PairStatus::TargetMissing, NotComparedReason::None);
    return {{Option::TargetNotFound, "Target file not found: " + targetPath_, PairCount::TargetNotFound}};
  }
  if (const char* which = own.Which(targetLook_.Id)) {
    // A namesake that this run is still writing says nothing of the copy.
    usable_ = false;
    NotCompared(PairStatus::NotCompared, NotComparedReason::CannotOpenTarget);
    return {{Option::CouldNotOpenTarget, std::string("Target file is this run's ") + which + ": " + targetPath_,
             PairCount::NotCompared}};
  }
  return {};
}

PairFindings PairComparison::CompareTimesAndOpens() {
  PairFindings found;
  if (!usable_) return found;
  record_.TimeDiffers = sourceLook_.TimeSteps != targetLook_.TimeSteps;
  if (record_.TimeDiffers) found.push_back(Differs(Option::DifferentTime, " have different file time."));
  if (sourceLook_.OpenError != 0)
    found.push_back({Option::CouldNotOpenSource, "Could not open source file: " + sourcePath_, PairCount::None});
  if (targetLook_.OpenError != 0)
    found.push_back({Option::CouldNotOpenTarget, "Could not open target file: " + targetPath_, PairCount::None});
  if (sourceLook_.OpenError != 0 || targetLook_.OpenError != 0) {
    usable_ = false;
    NotCompared(PairStatus::NotCompared, sourceLook_.OpenError != 0 ? NotComparedReason::CannotOpenSource
                                         : targetLook_.Special      ? NotComparedReason::NotRegularFile
                                                                    : NotComparedReason::CannotOpenTarget);
    found.back().Counts = PairCount::NotCompared;
  }
  return found;
}

PairFindings PairComparison::CompareSizes() {
  // The opens measured the sizes for the size test. The dispatch between is no
  // meeting point with other programs: a file that changes during it is one
  // that changed just after its size was taken.
  source_.emplace(open_.Source, sourceBuffer_);
  target_.emplace(open_.Target, targetBuffer_);
  if (!usable_) return {};
  source_->SetSize(sourceLook_.Size);
  target_->SetSize(targetLook_.Size);
  if (sourceLook_.Size == 0 && targetLook_.Size == 0) {
    source_->ReadToTheEnd();
    target_->ReadToTheEnd();
  }
  record_.SizeDiffers = source_->Size() != target_->Size();
  if (!record_.SizeDiffers) return {};
  return {Differs(Option::DifferentSize, " have different size.")};
}

bool PairComparison::ReadsOn() {
  if (!usable_ || source_->AtEnd() || target_->AtEnd() || sourceRead_ == 0 || targetRead_ == 0) return false;
  // A pair found different is read on only to list its differences.
  if (!equal_ && !options_.Checked(Option::DifferAt)) return false;
  if (options_.Checked(Option::OnlyTimeDateSize)) return false;
  if (source_->Size() != target_->Size() && !options_.Checked(Option::CompareDifferentSize)) return false;
  return !userBreak_;
}

void PairComparison::ReadBlocks() {
  // Nothing read or measured may outlive a dispatch, where the user can act:
  // reads go no further than the block after which the progress update
  // comes, and while differences are listed (each line a dispatch) every
  // block is read alone. The first read takes a few blocks: small files are
  // read in one go, and a big pair that differs early reads little more.
  size_t blocks = static_cast<size_t>((lastShownBytes_ + kProgressStep - pairBytes_) / kBlockBytes) + 1;
  if (options_.Checked(Option::DifferAt)) {
    blocks = 1;
  } else if (pairBytes_ == 0) {
    blocks = std::min(blocks, kFirstReadBlocks);
  }
  sourceRead_ = source_->Next(blocks, sourceData_);
  targetRead_ = target_->Next(blocks, targetData_);
  blockBytes_ = std::min(sourceRead_, targetRead_);
  at_ = 0;
  blockDone_ = false;
}

std::optional<PairFinding> PairComparison::NextDifference() {
  // The byte rule only runs where a difference lies; between differences
  // nothing can set the user break (that needs a line), so skipping equal
  // bytes in bulk counts exactly as the byte-by-byte rule does.
  while (at_ < blockBytes_ && !blockDone_ && !userBreak_) {
    const size_t same = EqualPrefix(sourceData_ + at_, targetData_ + at_, blockBytes_ - at_);
    bytePosition_ += static_cast<int64_t>(same);
    at_ += same;
    if (at_ == blockBytes_) break;
    ++bytePosition_;
    ++at_;
    equal_ = false;
    if (!record_.FirstDifference) record_.FirstDifference = bytePosition_;
    if (!options_.Checked(Option::DifferAt)) {
      // Later differences of this block would change nothing but the count.
      bytePosition_ += static_cast<int64_t>(blockBytes_ - at_);
      at_ = blockBytes_;
    } else if (++differencesSeen_ <= options_.CompNr()) {
      record_.ListedDifferences.push_back(bytePosition_);
      return PairFinding{std::nullopt, pair_ + " differ at position " + HexPosition(bytePosition_) + " (hex)"};
    } else {
      blockDone_ = true;
    }
  }
  return std::nullopt;
}

int64_t PairComparison::FinishBlock() {
  if (sourceRead_ != targetRead_) equal_ = false;
  pairBytes_ += static_cast<int64_t>(sourceRead_);
  record_.BytesRead = pairBytes_;
  return static_cast<int64_t>(sourceRead_);
}

bool PairComparison::ProgressDue() {
  if (pairBytes_ <= lastShownBytes_ + kProgressStep) return false;
  lastShownBytes_ = pairBytes_;
  return true;
}

// A file that shrank or grew while it was compared can end the block loop
// before any byte differed. Equal means both files were read to their end.
// The sizes are measured afresh unless the loop's last test measured them
// with nothing read or dispatched since, as is the source's at its end.
bool PairComparison::EndedEqual() {
  return equal_ && (userBreak_ || options_.Checked(Option::OnlyTimeDateSize) ||
                    (source_->EndsAt(pairBytes_) && target_->EndsAt(pairBytes_)));
}

PairFindings PairComparison::Conclude() {
  if (!usable_) return {};
  if (!EndedEqual()) {
    record_.Status = PairStatus::Different;
    return {Differs(Option::DoNotMatch, " do not match.")};
  }
  // Broken off before the last byte, equal so far is no verdict.
  if (userBreak_ && !options_.Checked(Option::OnlyTimeDateSize) && !(source_->AtEnd() && target_->AtEnd()))
    NotCompared(PairStatus::NotCompared, NotComparedReason::Interrupted);
  bytesVerified_ = !userBreak_ && !options_.Checked(Option::OnlyTimeDateSize);
  return {{Option::FilesEqual, pair_ + " are equal.", PairCount::None}};
}

void PairComparison::NotCompared(PairStatus status, NotComparedReason reason) {
  if (!countedDifferent_) record_.Status = status;
  record_.Reason = reason;
}

void PairComparison::EndedByError() { NotCompared(PairStatus::NotCompared, NotComparedReason::IoError); }

PairFinding PairComparison::Differs(Option shownBy, const std::string& what) {
  equal_ = false;
  record_.Status = PairStatus::Different;
  const PairCount counts = countedDifferent_ ? PairCount::None : PairCount::Different;
  countedDifferent_ = true;
  return {shownBy, pair_ + what, counts};
}

}  // namespace zek
