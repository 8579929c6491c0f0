#pragma once
// The reading side of a pair comparison: one file handed out block by block.
#include <cstddef>
#include <cstdint>

#include "engine/comparison_run.h"
#include "platform/file_access.h"

namespace zek {

// How many leading bytes of a and b are equal: memcmp runs at memory speed, and
// only the chunk that holds a difference is looked at byte by byte.
size_t EqualPrefix(const unsigned char* a, const unsigned char* b, size_t length);

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
  size_t Next(size_t blocks, const unsigned char*& data);

 private:
  void Fill(size_t blocks);
  void FillSizeless(size_t want);

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

}  // namespace zek
