#include "platform/sha256.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <new>

namespace zek {
namespace {

// Opened once for the process, as each open loads the provider.
BCRYPT_ALG_HANDLE Algorithm() {
  static const BCRYPT_ALG_HANDLE algorithm = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) handle = nullptr;
    return handle;
  }();
  return algorithm;
}

}  // namespace

struct Sha256::State {
  BCRYPT_HASH_HANDLE Hash = nullptr;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (Algorithm() == nullptr) throw std::bad_alloc();
}

Sha256::~Sha256() {
  if (state_->Hash != nullptr) BCryptDestroyHash(state_->Hash);
}

void Sha256::Update(const unsigned char* data, size_t count) {
  if (state_->Hash == nullptr && BCryptCreateHash(Algorithm(), &state_->Hash, nullptr, 0, nullptr, 0, 0) != 0) {
    state_->Hash = nullptr;
    throw std::bad_alloc();
  }
  // BCrypt takes at most 4 GiB at a time.
  while (count != 0) {
    const ULONG part = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
    BCryptHashData(state_->Hash, const_cast<PUCHAR>(data), part, 0);
    data += part;
    count -= part;
  }
}

Sha256Digest Sha256::Finish() {
  Update(nullptr, 0);
  Sha256Digest digest{};
  BCryptFinishHash(state_->Hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  BCryptDestroyHash(state_->Hash);
  state_->Hash = nullptr;
  return digest;
}

}  // namespace zek
