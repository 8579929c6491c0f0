#pragma once
// A file descriptor that is closed exactly once, by its owner, on every path
// out of a function: error paths need no close of their own.
#include <string_view>

namespace zek {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Hands the descriptor over to a caller that closes it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held, if any, and takes fd; errno stays as it was,
  // for the caller to report the failure that led here.
  void Reset(int fd = -1);
  // Closes now, for a caller that wants to know whether the close failed (a
  // file written): 0 or the error code.
  int Close();

 private:
  int fd_ = -1;
};

// Writes all of data, going on after a signal: 0 or the error code.
int WriteAll(int fd, std::string_view data);

// errno, or EIO where a call failed without setting it.
int LastError();

}  // namespace zek
