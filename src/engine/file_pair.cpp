#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/comparison_run.h"
#include "engine/line_escape.h"
#include "engine/path_rules.h"
#include "platform/io_error.h"
#include "platform/locale.h"

namespace zek {
namespace {

constexpr int64_t kBlockBytes = static_cast<int64_t>(kBlockSize);
// The most blocks the first read of a pair takes.
constexpr size_t kFirstReadBlocks = 4;

// Both files are closed however the comparison ends.
struct OpenPair {
  FileHandle Source = kNoFile;
  FileHandle Target = kNoFile;
  ~OpenPair() {
    Files().Close(Source);
    Files().Close(Target);
  }
};

// How many leading bytes of a and b are equal: memcmp runs at memory speed, and
// only the chunk that holds a difference is looked at byte by byte.
size_t EqualPrefix(const unsigned char* a, const unsigned char* b, size_t length) {
  if (std::memcmp(a, b, length) == 0) return length;
  constexpr size_t kChunk = 256;
  size_t i = 0;
  while (length - i >= kChunk && std::memcmp(a + i, b + i, kChunk) == 0) i += kChunk;
  while (i < length && a[i] == b[i]) ++i;
  return i;
}

// One file of the pair as the block loop sees it: blocks handed out of a buffer
// that reads of several blocks fill, and the file's size as last measured.
// A block is what a read of kBlockSize bytes at the same position would give:
// whole, or what is left at the end of the file. The size is measured again
// once the bytes read after its measurement are used up, which is where a
// block-by-block reader would first learn that the file has changed, unless
// the last read itself showed the end: it asks for a byte past the measured
// size, and a read that stops right at that size found the file ending there.
class BlockReader {
 public:
  BlockReader(FileHandle file, ReadBuffer& buffer) : file_(file), buffer_(buffer) {}

  void SetSize(int64_t size) {
    size_ = size;
    measured_ = true;
  }
  // A size of 0 may be a pseudo-file's (/proc, /sys, some FUSE file systems)
  // that holds data all the same: such a file ends where a read returns
  // nothing, not at its measured size.
  void ReadToTheEnd() { sizeless_ = true; }
  // The file was read to its end and held `bytes` bytes.
  bool EndsAt(int64_t bytes) { return sizeless_ ? AtEnd() && position_ == bytes : bytes == Size(); }
  int64_t Size() {
    if (!measured_) SetSize(Files().FileSize(file_).OrRaise());
    return size_;
  }
  // The end-of-file test: no byte in hand, and the position is at the size.
  bool AtEnd() { return begin_ == end_ && (sizeless_ ? readEnd_ : position_ >= Size()); }

  // The next block; when it has to read, it reads up to `blocks` blocks.
  size_t Next(size_t blocks, const unsigned char*& data) {
    const size_t unread = end_ - begin_;
    if (unread == 0 || (unread < kBlockSize && !complete_)) Fill(blocks);
    const size_t n = std::min(end_ - begin_, kBlockSize);
    data = buffer_.data() + begin_;
    begin_ += n;
    position_ += static_cast<int64_t>(n);
    if (begin_ == end_ && !endSeen_) measured_ = false;
    return n;
  }

 private:
  void Fill(size_t blocks) {
    // The remainder of a read that came short goes in front of what follows.
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    endSeen_ = false;
    size_t want = blocks * kBlockSize;
    if (sizeless_) {
      while (end_ < want && end_ < kBlockSize && !readEnd_) {
        const size_t got = Files().BlockRead(file_, buffer_.data() + end_, want - end_).OrRaise();
        end_ += got;
        readEnd_ = got == 0;
      }
      complete_ = readEnd_ || end_ == want;
      return;
    }
    const int64_t left = std::max<int64_t>(Size() - position_, 0);
    bool probing = left < static_cast<int64_t>(want);
    if (probing) want = std::max(end_, static_cast<size_t>(left) + 1);
    while (end_ < want) {
      const size_t asked = want - end_;
      const size_t got = Files().BlockRead(file_, buffer_.data() + end_, asked).OrRaise();
      end_ += got;
      endSeen_ = probing && got < asked && static_cast<int64_t>(end_) == left;
      if (got == 0 || endSeen_) break;
      if (probing && end_ == want) {
        // The file has grown past its measured size: read on as for a longer one.
        probing = false;
        want = blocks * kBlockSize;
      }
      // One whole block is enough to go on; the rest is read when it is needed.
      if (end_ >= kBlockSize) break;
    }
    // A short remainder is the end of the file only where a read found the end
    // there, or where it is all of the blocks asked for; any other is read on.
    complete_ = endSeen_ || (!probing && end_ == want);
  }

  FileHandle file_;
  ReadBuffer& buffer_;
  size_t begin_ = 0;  // the bytes in hand are buffer_[begin_, end_)
  size_t end_ = 0;
  bool complete_ = false;
  bool endSeen_ = false;  // the last read found the end right at the measured size
  bool sizeless_ = false;
  bool readEnd_ = false;  // a read returned nothing
  int64_t position_ = 0;  // bytes handed out as blocks
  int64_t size_ = 0;
  bool measured_ = false;
};

int64_t HalfEvenUnits(int64_t bytes, int64_t unit) {
  int64_t units = bytes / unit;
  const int64_t rest = bytes % unit;
  if (rest * 2 > unit || (rest * 2 == unit && units % 2 != 0)) ++units;
  return units;
}

constexpr int kProgressLimit = 65535;

}  // namespace

std::string HexPosition(int64_t position) {
  char text[24];
  std::snprintf(text, sizeof text, "%02llX", static_cast<unsigned long long>(position));
  return text;
}

std::string FormatByteTotal(long double total) {
  std::string digits = std::to_string(static_cast<unsigned long long>(total < 0 ? 0 : total));
  const char separator = ThousandsSeparator();
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), 1, separator);
  return digits;
}

int ProgressMaximum(int64_t size) {
  const int64_t units = HalfEvenUnits(size < 0 ? 0 : size, kProgressStep);
  return units > kProgressLimit ? kProgressLimit : static_cast<int>(units);
}

int ProgressPosition(int64_t bytes, int64_t size) {
  int64_t units = HalfEvenUnits(bytes, kProgressStep);
  if (HalfEvenUnits(size < 0 ? 0 : size, kProgressStep) > kProgressLimit)
    units = static_cast<int64_t>(static_cast<long double>(bytes) * kProgressLimit / static_cast<long double>(size));
  return units > kProgressLimit ? kProgressLimit : static_cast<int>(units);
}

void TComparisonRun::ShowByteTotal() { view_.SetLabel(StatusLabel::ByteTotal, "Total bytes: " + FormatByteTotal(TotalBytes)); }

void TComparisonRun::CompareFilePair(std::string sourcePath, std::string targetPath, int64_t sourceSize) {
  FileAccess& files = Files();
  IOptionControls& options = inputs_.Options();
  sourcePath = RemoveDoubleBackslashes(sourcePath);
  targetPath = RemoveDoubleBackslashes(targetPath);
  const std::string pair = "File " + sourcePath + " and " + targetPath;

  bool pairUsable = true;
  bool pairEqual = true;
  bool countedDifferent = false;
  // A pair adds at most one to FilesDifferent, however many ways it differs.
  auto countDifferent = [&] {
    pairEqual = false;
    if (countedDifferent) return;
    countedDifferent = true;
    ++FilesDifferent;
    view_.SetLabel(StatusLabel::Verschieden, "Different: " + std::to_string(FilesDifferent));
  };

  // One look at each file serves its existence test, its time test and its
  // open, so no other program can slip in between them. The source is looked
  // at first and alone: a missing source leaves the target unseen.
  OpenPair open;
  const FileLook sourceLook = files.LookAndOpen(sourcePath);
  FileLook targetLook;
  open.Source = sourceLook.Handle;
  // The log that this run writes is no file of the tree, whatever its name.
  if (LogFile.Is(sourceLook.Id)) return;

  ++FilesTotal;
  if (readAhead_) readAhead_->Reached(FilesTotal);
  view_.SetLabel(StatusLabel::Total, "Total files: " + std::to_string(FilesTotal));
  view_.SetLabel(StatusLabel::File, EscapeControls("Comparing: " + sourcePath));
  // Out of descriptors or memory, an open says nothing about the file: the run ends.
  if (IsResourceError(sourceLook.OpenError)) throw EInOutError(sourceLook.OpenError);
  if (!sourceLook.Exists) {
    Report("Source file not found: " + sourcePath);
    ++FilesNotCompared;
    pairUsable = false;
  } else if (sourceLook.Special) {
    // A FIFO or a device is never opened, and no namesake can stand in for it:
    // it is not compared, whether or not one exists. A namesake of its kind
    // gets its own line.
    if (options.Checked(Option::CouldNotOpenSource)) Report("Could not open source file: " + sourcePath);
    ++FilesNotCompared;
    pairUsable = false;
  }
  if (pairUsable || sourceLook.Special) {
    targetLook = files.LookAndOpen(targetPath);
    open.Target = targetLook.Handle;
    // Read from disk: no byte of the target may come from pages that a write or
    // an earlier read left in the cache, unless the helpers fetched them anew.
    if (open.Target != kNoFile && inputs_.ReadFromDisk() && !(readAhead_ && readAhead_->TakeFetchedFromDisk(open.Target)))
      DropCachedPages(open.Target);
    if (IsResourceError(targetLook.OpenError)) throw EInOutError(targetLook.OpenError);
    if (!pairUsable) {
      if (targetLook.Special && options.Checked(Option::CouldNotOpenTarget))
        Report("Could not open target file: " + targetPath);
    } else if (!targetLook.Exists) {
      if (options.Checked(Option::TargetNotFound)) Report("Target file not found: " + targetPath);
      ++TargetsNotFound;
      view_.SetLabel(StatusLabel::NichtGefunden, "Not found: " + std::to_string(TargetsNotFound));
      pairUsable = false;
    } else if (LogFile.Is(targetLook.Id)) {
      // A namesake that is this run's own log, still being written, says nothing of the copy.
      if (options.Checked(Option::CouldNotOpenTarget)) Report("Target file is this run's log: " + targetPath);
      ++FilesNotCompared;
      pairUsable = false;
    }
  }
  if (pairUsable && sourceLook.TimeSteps != targetLook.TimeSteps) {
    if (options.Checked(Option::DifferentTime)) Report(pair + " have different file time.");
    countDifferent();
  }
  if (pairUsable) {
    if (sourceLook.OpenError != 0) {
      if (options.Checked(Option::CouldNotOpenSource)) Report("Could not open source file: " + sourcePath);
      pairUsable = false;
    }
    if (targetLook.OpenError != 0) {
      if (options.Checked(Option::CouldNotOpenTarget)) Report("Could not open target file: " + targetPath);
      pairUsable = false;
    }
    if (!pairUsable) ++FilesNotCompared;
  }
  view_.Repaint();
  view_.ProcessMessages();

  int64_t pairBytes = 0;
  int64_t lastShownBytes = 0;
  view_.SetProgressPosition(0);
  view_.SetProgressRange(0, ProgressMaximum(sourceSize));

  // The opens measured the sizes for the size test. The dispatch between is no
  // meeting point with other programs: a file that changes during it is one
  // that changed just after its size was taken.
  BlockReader source(open.Source, sourceBuffer_);
  BlockReader target(open.Target, targetBuffer_);
  if (pairUsable) {
    source.SetSize(sourceLook.Size);
    target.SetSize(targetLook.Size);
    if (sourceLook.Size == 0 && targetLook.Size == 0) {
      source.ReadToTheEnd();
      target.ReadToTheEnd();
    }
    if (source.Size() != target.Size()) {
      if (options.Checked(Option::DifferentSize)) Report(pair + " have different size.");
      countDifferent();
    }
  }

  int64_t bytePosition = 0;
  size_t sourceRead = 1;
  size_t targetRead = 1;
  int32_t differencesSeen = 0;
  while (pairUsable && !source.AtEnd() && !target.AtEnd() && sourceRead != 0 && targetRead != 0 &&
         (pairEqual || options.Checked(Option::DifferAt)) && !options.Checked(Option::OnlyTimeDateSize) &&
         (source.Size() == target.Size() || options.Checked(Option::CompareDifferentSize)) && !UserBreak) {
    // Nothing read or measured may outlive a dispatch, where the user can act:
    // reads go no further than the block after which the progress update
    // comes, and while differences are listed (each line a dispatch) every
    // block is read alone. The first read takes a few blocks: small files are
    // read in one go, and a big pair that differs early reads little more.
    size_t blocks = static_cast<size_t>((lastShownBytes + kProgressStep - pairBytes) / kBlockBytes) + 1;
    if (options.Checked(Option::DifferAt)) {
      blocks = 1;
    } else if (pairBytes == 0) {
      blocks = std::min(blocks, kFirstReadBlocks);
    }
    const unsigned char* sourceData = nullptr;
    const unsigned char* targetData = nullptr;
    sourceRead = source.Next(blocks, sourceData);
    targetRead = target.Next(blocks, targetData);
    const size_t n = sourceRead < targetRead ? sourceRead : targetRead;
    // The byte rule only runs where a difference lies; between differences
    // nothing can set UserBreak (that needs a Report), so skipping equal bytes
    // in bulk counts exactly as the byte-by-byte rule does.
    size_t i = 0;
    while (i < n && !UserBreak) {
      const size_t same = EqualPrefix(sourceData + i, targetData + i, n - i);
      bytePosition += static_cast<int64_t>(same);
      i += same;
      if (i == n) break;
      ++bytePosition;
      ++i;
      pairEqual = false;
      if (!options.Checked(Option::DifferAt)) {
        // Later differences of this block would change nothing but the count.
        bytePosition += static_cast<int64_t>(n - i);
        i = n;
      } else if (++differencesSeen <= options.CompNr()) {
        Report(pair + " differ at position " + HexPosition(bytePosition) + " (hex)");
      } else {
        break;
      }
    }
    if (sourceRead != targetRead) pairEqual = false;
    pairBytes += static_cast<int64_t>(sourceRead);
    TotalBytes += static_cast<long double>(sourceRead);
    if (pairBytes > lastShownBytes + kProgressStep) {
      view_.SetProgressPosition(ProgressPosition(pairBytes, sourceSize));
      lastShownBytes = pairBytes;
      ShowByteTotal();
      view_.ProcessMessages();
    }
  }
  ShowByteTotal();

  // A file that shrank or grew while it was compared can end the block loop
  // before any byte differed. Equal means both files were read to their end.
  // The sizes are measured afresh unless the loop's last test measured them
  // with nothing read or dispatched since, as is the source's at its end.
  if (pairUsable && pairEqual && !UserBreak && !options.Checked(Option::OnlyTimeDateSize) &&
      (!source.EndsAt(pairBytes) || !target.EndsAt(pairBytes)))
    pairEqual = false;

  if (pairUsable) {
    if (!pairEqual) {
      if (options.Checked(Option::DoNotMatch)) Report(pair + " do not match.");
      countDifferent();
    } else if (options.Checked(Option::FilesEqual)) {
      Report(pair + " are equal.");
    }
  }
}

}  // namespace zek
