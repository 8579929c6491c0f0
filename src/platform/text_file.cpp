#include "platform/text_file.h"

#include "platform/io_error.h"

namespace zek {
namespace {
constexpr size_t kFlushAt = 16 * 1024;
}

TextFile::~TextFile() { CloseQuietly(); }

void TextFile::Rewrite(const std::string& name) {
  CloseQuietly();
  FileHandle h = kNoFile;
  if (const int code = Files().OpenWrite(name, h)) throw EInOutError(code);
  handle_ = h;
  hasId_ = Files().HandleId(h, id_);
}

void TextFile::WriteLine(const std::string& line) {
  if (!IsOpen()) throw EInOutError(103);  // the runtime's "file not open"
  buffer_ += line;
  buffer_ += "\r\n";
  if (buffer_.size() >= kFlushAt) Flush();
}

void TextFile::Flush() {
  const int code = Files().Write(handle_, buffer_.data(), buffer_.size());
  buffer_.clear();
  if (code != 0) throw EInOutError(code);
}

void TextFile::Close() {
  if (!IsOpen()) return;
  int code = Files().Write(handle_, buffer_.data(), buffer_.size());
  buffer_.clear();
  const int closeCode = Files().CloseWrite(handle_);
  handle_ = kNoFile;
  if (code == 0) code = closeCode;
  if (code != 0) throw EInOutError(code);
}

void TextFile::CloseQuietly() {
  if (!IsOpen()) return;
  Files().Write(handle_, buffer_.data(), buffer_.size());  // keep what was reported so far
  Files().CloseWrite(handle_);
  handle_ = kNoFile;
  buffer_.clear();
}

}  // namespace zek
