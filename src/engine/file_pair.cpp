#include <cstdio>
#include <optional>
#include <utility>

#include "engine/comparison_run.h"
#include "engine/line_escape.h"
#include "engine/manifest.h"
#include "engine/pair_comparison.h"
#include "engine/path_rules.h"
#include "platform/locale.h"

namespace zek {
namespace {

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

void TComparisonRun::ShowByteTotal() { view_.SetLabel(StatusLabel::ByteTotal, "Total bytes: " + FormatByteTotal(counts_.TotalBytes)); }

void TComparisonRun::CompareFilePair(std::string sourcePath, std::string targetPath, int64_t sourceSize,
                                     KnownAs source) {
  std::string relative;
  if (recorder_ != nullptr || manifest_ != nullptr || !shard_.Whole()) {
    relative = RelativePath(sourceDir_, sourcePath);
    if (!InShard(relative, shard_)) return;
  }
  PairComparison pair(RemoveDoubleBackslashes(sourcePath), RemoveDoubleBackslashes(targetPath), inputs_, userBreak_,
                      sourceBuffer_, targetBuffer_);
  if (!pair.LookAtSource({logFile_, reportFile_}, source)) return;
  try {
    ComparePair(pair, sourceSize, relative);
  } catch (...) {
    // The run ends here; the report still says which pair it ended in.
    pair.EndedByError();
    Record(pair, std::move(relative));
    throw;
  }
  Record(pair, std::move(relative));
}

void TComparisonRun::Record(const PairComparison& pair, std::string relative) {
  if (recorder_ == nullptr) return;
  PairRecord record = pair.Record();
  record.RelativePath = std::move(relative);
  recorder_->PairTaken(record);
}

void TComparisonRun::ComparePair(PairComparison& pair, int64_t sourceSize, const std::string& relative) {
  if (manifest_ != nullptr) manifest_->Begin();
  ++counts_.FilesTotal;
  if (readAhead_) readAhead_->Reached(counts_.FilesTotal);
  view_.SetLabel(StatusLabel::Total, "Total files: " + std::to_string(counts_.FilesTotal));
  view_.SetLabel(StatusLabel::File, EscapeControls("Comparing: " + pair.SourcePath()));
  Take(pair.CheckSource());
  Take(pair.LookAtTarget({logFile_, reportFile_}, readAhead_ ? &*readAhead_ : nullptr));
  Take(pair.CompareTimesAndOpens());
  view_.Repaint();
  view_.ProcessMessages();
  view_.SetProgressPosition(0);
  view_.SetProgressRange(0, ProgressMaximum(sourceSize));
  Take(pair.CompareSizes());
  while (pair.ReadsOn()) {
    pair.ReadBlocks();
    // The manifest's hash takes the source bytes that the comparison reads anyway.
    if (manifest_ != nullptr) manifest_->Hash(pair.SourceBlock(), pair.SourceBlockBytes());
    while (const std::optional<PairFinding> difference = pair.NextDifference()) Take(*difference);
    counts_.TotalBytes += static_cast<long double>(pair.FinishBlock());
    if (pair.ProgressDue()) {
      view_.SetProgressPosition(ProgressPosition(pair.Bytes(), sourceSize));
      ShowByteTotal();
      view_.ProcessMessages();
    }
  }
  ShowByteTotal();
  Take(pair.Conclude());
  if (manifest_ != nullptr && pair.BytesVerified())
    manifest_->Record(relative, pair.Bytes(), pair.SourceTimeSteps());
}

void TComparisonRun::Take(const PairFindings& findings) {
  for (const PairFinding& finding : findings) Take(finding);
}

void TComparisonRun::Take(const PairFinding& finding) {
  if (!finding.ShownBy || inputs_.Options().Checked(*finding.ShownBy)) Report(finding.Line);
  switch (finding.Counts) {
    case PairCount::None:
      break;
    case PairCount::NotCompared:
      ++counts_.FilesNotCompared;
      break;
    case PairCount::TargetNotFound:
      ++counts_.TargetsNotFound;
      view_.SetLabel(StatusLabel::NichtGefunden, "Not found: " + std::to_string(counts_.TargetsNotFound));
      break;
    case PairCount::Different:
      ++counts_.FilesDifferent;
      view_.SetLabel(StatusLabel::Verschieden, "Different: " + std::to_string(counts_.FilesDifferent));
      break;
  }
}

}  // namespace zek
