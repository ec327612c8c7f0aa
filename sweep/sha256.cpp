#include "sweep/sha256.h"

#include <openssl/evp.h>

namespace impactsim {

struct Sha256::Context {
  EVP_MD_CTX* Digest = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(Digest); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  failed_ = context_->Digest == nullptr ||
            EVP_DigestInit_ex(context_->Digest, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() = default;

bool Sha256::Update(std::string_view piece) {
  if (!failed_ && !piece.empty()) {
    failed_ = EVP_DigestUpdate(context_->Digest, piece.data(), piece.size()) != 1;
  }
  return !failed_;
}

std::string Sha256::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (failed_ || EVP_DigestFinal_ex(context_->Digest, digest, &size) != 1) {
    failed_ = true;
    return "";
  }
  failed_ = true;  // finished: nothing more can be added
  const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += digits[digest[i] >> 4];
    hex += digits[digest[i] & 0xfu];
  }
  return hex;
}

}  // namespace impactsim
