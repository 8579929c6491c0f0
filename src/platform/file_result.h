#pragma once
// What a file service returns where a call can fail as part of a run: success
// (with its value), or the system's error code of the failure, never 0. The
// services never raise; a caller that ends the run on a failure raises the
// I/O error itself, with OrRaise.
#include <utility>

#include "platform/io_error.h"

namespace zek {

class [[nodiscard]] FileStatus {
 public:
  FileStatus() = default;
  static FileStatus Failure(int error) { return FileStatus(error); }
  // From a system call's own form: 0 for success, else the error code.
  static FileStatus FromCode(int code) { return FileStatus(code); }
  bool Ok() const { return error_ == 0; }
  int Error() const { return error_; }
  void OrRaise() const {
    if (error_ != 0) throw EInOutError(error_);
  }

 private:
  explicit FileStatus(int error) : error_(error) {}
  int error_ = 0;
};

template <class T>
class [[nodiscard]] FileResult {
 public:
  FileResult(T value) : value_(std::move(value)) {}  // NOLINT: a value is a success
  // With the value a failed call leaves, such as no handle.
  static FileResult Failure(int error, T value = T{}) {
    FileResult result{std::move(value)};
    result.error_ = error;
    return result;
  }
  bool Ok() const { return error_ == 0; }
  int Error() const { return error_; }
  // The value of a success.
  const T& Value() const { return value_; }
  T OrRaise() const {
    if (error_ != 0) throw EInOutError(error_);
    return value_;
  }

 private:
  T value_{};
  int error_ = 0;
};

// One step of a directory search: an entry in the record, the end of the
// listing (no further entry matches), or the error of a directory that cannot
// be listed.
class [[nodiscard]] SearchStep {
 public:
  static SearchStep Entry() { return SearchStep(true, 0); }
  static SearchStep End() { return SearchStep(false, 0); }
  static SearchStep Failure(int error) { return SearchStep(false, error); }
  bool Found() const { return found_; }
  bool Failed() const { return error_ != 0; }
  int Error() const { return error_; }

 private:
  SearchStep(bool found, int error) : found_(found), error_(error) {}
  bool found_;
  int error_;
};

}  // namespace zek
