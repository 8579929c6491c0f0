#include "platform/text_file.h"

#include "platform/io_error.h"

namespace zek {
namespace {
constexpr size_t kFlushAt = 16 * 1024;
}

TextFile::~TextFile() { CloseQuietly(); }

void TextFile::Rewrite(const std::string& name) {
  CloseQuietly();
  handle_ = Files().OpenWrite(name).OrRaise();
  hasId_ = Files().HandleId(handle_, id_);
}

void TextFile::WriteLine(const std::string& line) {
  if (!IsOpen()) throw EInOutError(103);  // the runtime's "file not open"
  buffer_ += line;
  buffer_ += lineEnd_;
  if (buffer_.size() >= kFlushAt) Flush();
}

void TextFile::Flush() {
  const FileStatus written = Files().Write(handle_, buffer_.data(), buffer_.size());
  buffer_.clear();
  written.OrRaise();
}

void TextFile::Close() {
  if (!IsOpen()) return;
  const FileStatus written = Files().Write(handle_, buffer_.data(), buffer_.size());
  buffer_.clear();
  const FileStatus closed = Files().CloseWrite(handle_);
  handle_ = kNoFile;
  written.OrRaise();
  closed.OrRaise();
}

void TextFile::CloseQuietly() {
  if (!IsOpen()) return;
  (void)Files().Write(handle_, buffer_.data(), buffer_.size());  // keep what was reported so far
  (void)Files().CloseWrite(handle_);
  handle_ = kNoFile;
  buffer_.clear();
}

}  // namespace zek
