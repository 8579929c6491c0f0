#include "engine/block_reader.h"

#include <algorithm>
#include <cstring>

namespace zek {

size_t EqualPrefix(const unsigned char* a, const unsigned char* b, size_t length) {
  if (std::memcmp(a, b, length) == 0) return length;
  constexpr size_t kChunk = 256;
  size_t i = 0;
  while (length - i >= kChunk && std::memcmp(a + i, b + i, kChunk) == 0) i += kChunk;
  while (i < length && a[i] == b[i]) ++i;
  return i;
}

size_t BlockReader::Next(size_t blocks, const unsigned char*& data) {
  const size_t unread = end_ - begin_;
  if (unread == 0 || (unread < kBlockSize && !complete_)) Fill(blocks);
  const size_t n = std::min(end_ - begin_, kBlockSize);
  data = buffer_.data() + begin_;
  begin_ += n;
  position_ += static_cast<int64_t>(n);
  if (begin_ == end_ && !endSeen_) measured_ = false;
  return n;
}

void BlockReader::Fill(size_t blocks) {
  // The remainder of a read that came short goes in front of what follows.
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  endSeen_ = false;
  size_t want = blocks * kBlockSize;
  if (sizeless_) return FillSizeless(want);
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

void BlockReader::FillSizeless(size_t want) {
  while (end_ < want && end_ < kBlockSize && !readEnd_) {
    const size_t got = Files().BlockRead(file_, buffer_.data() + end_, want - end_).OrRaise();
    end_ += got;
    readEnd_ = got == 0;
  }
  complete_ = readEnd_ || end_ == want;
}

}  // namespace zek
