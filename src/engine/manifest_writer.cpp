#include <cerrno>

#include "engine/manifest.h"
#include "engine/path_rules.h"

namespace zek {
namespace {

// Written out in pieces of this size: one write per piece, not one per file.
constexpr size_t kWriteOut = 65536;
// Names tried beside the manifest before giving up.
constexpr int kPartNames = 100;

}  // namespace

ManifestWriter::ManifestWriter(std::string fileName) : fileName_(std::move(fileName)) {
  FileStatus created = FileStatus::Failure(EEXIST);  // until a name is free
  for (int i = 0; i < kPartNames && !created.Ok(); ++i) {
    partName_ = fileName_ + ".part" + (i == 0 ? std::string() : std::to_string(i));
    created = Files().CreateNew(partName_);
  }
  created.OrRaise();
  const FileResult<FileHandle> opened = Files().OpenWrite(partName_);
  if (!opened.Ok()) {
    (void)Files().Erase(partName_);
    opened.OrRaise();
  }
  file_ = opened.Value();
  buffer_ = ManifestHeader();
}

ManifestWriter::~ManifestWriter() {
  if (partName_.empty()) return;
  if (file_ != kNoFile) (void)Files().CloseWrite(file_);
  (void)Files().Erase(partName_);
}

void ManifestWriter::Begin() {
  // A pair that differed leaves its bytes in the hash: they are dropped.
  if (hashing_) (void)hash_.Finish();
  hashing_ = false;
}

void ManifestWriter::Hash(const unsigned char* data, size_t count) {
  hash_.Update(data, count);
  hashing_ = true;
}

void ManifestWriter::Record(const std::string& relativePath, int64_t size, int64_t timeSteps) {
  ManifestEntry entry;
  entry.RelativePath = relativePath;
  if (PathDelimiter() != '/')
    for (char& c : entry.RelativePath)
      if (c == PathDelimiter()) c = '/';
  entry.Size = size;
  entry.TimeSteps = timeSteps;
  entry.Digest = hash_.Finish();
  hashing_ = false;
  Put(ManifestLines(entry));
  ++recorded_;
}

void ManifestWriter::Put(const std::string& text) {
  buffer_ += text;
  if (buffer_.size() >= kWriteOut) WriteOut();
}

void ManifestWriter::WriteOut() {
  Files().Write(file_, buffer_.data(), buffer_.size()).OrRaise();
  buffer_.clear();
}

void ManifestWriter::Commit() {
  buffer_ += ManifestEnd(recorded_);
  WriteOut();
  const FileHandle file = file_;
  file_ = kNoFile;
  Files().CloseWrite(file).OrRaise();
  Files().Rename(partName_, fileName_).OrRaise();
  partName_.clear();
}

}  // namespace zek
