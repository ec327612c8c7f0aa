#pragma once
// SHA-256 over text given piece by piece, as a sweep's digests are taken:
// of a whole file read in blocks, or of a task's series lines as its rounds
// end, so that nothing has to be held to be digested.

#include <memory>
#include <string>
#include <string_view>

namespace impactsim {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the digest cannot be taken (SHA-256 not available, or a
  // piece failed); every later call then fails too.
  bool Update(std::string_view piece);

  // The digest of everything given, as 64 lower-case hex digits; empty when
  // it could not be taken. Ends the digest: no Update after it.
  std::string Hex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
  bool failed_ = false;
};

}  // namespace impactsim
