// SHA-256 where OpenSSL is not available (the web edition's build): every
// digest fails, as sweep/sha256.h allows, and no digest is ever printed.

#include "sweep/sha256.h"

namespace impactsim {

struct Sha256::Context {};

Sha256::Sha256() : failed_(true) {}

Sha256::~Sha256() = default;

bool Sha256::Update(std::string_view piece) {
  (void)piece;
  return !failed_;
}

std::string Sha256::Hex() {
  failed_ = true;
  return "";
}

}  // namespace impactsim
