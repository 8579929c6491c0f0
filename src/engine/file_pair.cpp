#include <cstdio>
#include <cstring>
#include <locale>

#include "engine/comparison_run.h"
#include "engine/path_rules.h"

namespace zek {
namespace {

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

// The thousands separator of the user's locale, looked up once.
char ThousandsSeparator() {
  static const char separator = [] {
    try {
      const std::locale user("");
      const auto& punct = std::use_facet<std::numpunct<char>>(user);
      // A locale without grouping (the plain "C" one) still gets the English comma.
      return punct.grouping().empty() ? ',' : punct.thousands_sep();
    } catch (const std::exception&) {
      return ',';  // no usable locale in the environment
    }
  }();
  return separator;
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

  ++FilesTotal;
  view_.SetLabel(StatusLabel::Total, "Total files: " + std::to_string(FilesTotal));
  view_.SetLabel(StatusLabel::File, "Comparing: " + sourcePath);

  if (!files.FileExists(sourcePath)) {
    Report("Source file not found: " + sourcePath);
    pairUsable = false;
  }
  if (pairUsable && !files.FileExists(targetPath)) {
    if (options.Checked(Option::TargetNotFound)) Report("Target file not found: " + targetPath);
    ++TargetsNotFound;
    view_.SetLabel(StatusLabel::NichtGefunden, "Not found: " + std::to_string(TargetsNotFound));
    pairUsable = false;
  }
  if (pairUsable) {
    int64_t sourceTime = 0, targetTime = 0;
    // A file that vanished since its existence test has no time; its open fails below.
    if (files.FileTimeSteps(sourcePath, sourceTime) && files.FileTimeSteps(targetPath, targetTime) &&
        sourceTime != targetTime) {
      if (options.Checked(Option::DifferentTime)) Report(pair + " have different file time.");
      countDifferent();
    }
  }

  OpenPair open;
  if (pairUsable) {
    if (files.OpenRead(sourcePath, open.Source) != 0) {
      if (options.Checked(Option::CouldNotOpenSource)) Report("Could not open source file: " + sourcePath);
      pairUsable = false;
    }
    if (files.OpenRead(targetPath, open.Target) != 0) {
      if (options.Checked(Option::CouldNotOpenTarget)) Report("Could not open target file: " + targetPath);
      pairUsable = false;
    }
  }
  view_.Repaint();
  view_.ProcessMessages();

  int64_t pairBytes = 0;
  int64_t lastShownBytes = 0;
  view_.SetProgressPosition(0);
  view_.SetProgressRange(0, ProgressMaximum(sourceSize));

  if (pairUsable && files.FileSize(open.Source) != files.FileSize(open.Target)) {
    if (options.Checked(Option::DifferentSize)) Report(pair + " have different size.");
    countDifferent();
  }

  int64_t bytePosition = 0;
  size_t sourceRead = 1;
  size_t targetRead = 1;
  int32_t differencesSeen = 0;
  while (pairUsable && !files.Eof(open.Source) && !files.Eof(open.Target) && sourceRead != 0 && targetRead != 0 &&
         (pairEqual || options.Checked(Option::DifferAt)) && !options.Checked(Option::OnlyTimeDateSize) &&
         (files.FileSize(open.Source) == files.FileSize(open.Target) ||
          options.Checked(Option::CompareDifferentSize)) &&
         !UserBreak) {
    sourceRead = files.BlockRead(open.Source, sourceBuffer_.data(), kBlockSize);
    targetRead = files.BlockRead(open.Target, targetBuffer_.data(), kBlockSize);
    const size_t n = sourceRead < targetRead ? sourceRead : targetRead;
    // The byte rule only runs where a difference lies; between differences
    // nothing can set UserBreak (that needs a Report), so skipping equal bytes
    // in bulk counts exactly as the byte-by-byte rule does.
    size_t i = 0;
    while (i < n && !UserBreak) {
      const size_t same = EqualPrefix(sourceBuffer_.data() + i, targetBuffer_.data() + i, n - i);
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
