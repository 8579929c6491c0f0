#pragma once
// SHA-256 from the system's cryptography library: OpenSSL's libcrypto on
// Linux, BCrypt on Windows. A checksum that a user holds against sha256sum
// must come from a proven implementation, not from one of our own.
#include <array>
#include <cstddef>
#include <memory>

namespace zek {

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
 public:
  // Raises std::bad_alloc where the library cannot set up a hash.
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const unsigned char* data, size_t count);
  // The digest of everything since the start or the last Finish; the next
  // Update starts a new stream.
  Sha256Digest Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zek
