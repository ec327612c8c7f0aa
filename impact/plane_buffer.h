#pragma once
// Room for a model's quotient planes: megabytes that a run fills at its
// start. Taken in huge pages where the system offers them, as one page fault
// per 4 KiB page would cost a short run more than its rounds; and kept by
// each thread for its next run, as a new run of the same settings needs as
// much room again.

#include <cstddef>

namespace impactsim {

class PlaneBuffer {
 public:
  PlaneBuffer() = default;
  PlaneBuffer(const PlaneBuffer&) = delete;
  PlaneBuffer& operator=(const PlaneBuffer&) = delete;
  ~PlaneBuffer();

  // Room for `count` doubles, contents unspecified; earlier contents are not
  // kept. Throws std::bad_alloc.
  void Resize(std::size_t count);
  double* Data() { return data_; }
  const double* Data() const { return data_; }

 private:
  double* data_ = nullptr;
  std::size_t capacity_ = 0;  // doubles
};

}  // namespace impactsim
