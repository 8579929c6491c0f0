#include "platform/sha256.h"

#include <openssl/evp.h>

#include <new>

namespace zek {
namespace {

// Fetched once: an implicit fetch at every start of a hash costs more than
// hashing a small file.
const EVP_MD* Algorithm() {
  static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return md;
}

}  // namespace

struct Sha256::State {
  EVP_MD_CTX* Context = nullptr;
  bool Started = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->Context = EVP_MD_CTX_new();
  if (state_->Context == nullptr || Algorithm() == nullptr) {
    EVP_MD_CTX_free(state_->Context);
    throw std::bad_alloc();
  }
}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->Context); }

void Sha256::Update(const unsigned char* data, size_t count) {
  if (!state_->Started) {
    if (EVP_DigestInit_ex2(state_->Context, Algorithm(), nullptr) != 1) throw std::bad_alloc();
    state_->Started = true;
  }
  if (count != 0) EVP_DigestUpdate(state_->Context, data, count);
}

Sha256Digest Sha256::Finish() {
  Update(nullptr, 0);
  Sha256Digest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->Context, digest.data(), &length);
  state_->Started = false;
  return digest;
}

}  // namespace zek
