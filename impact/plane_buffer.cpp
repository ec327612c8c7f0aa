#include "impact/plane_buffer.h"

#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace impactsim {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The largest room a finished model on this thread gave back.
struct Spare {
  double* data = nullptr;
  std::size_t capacity = 0;
  ~Spare() { std::free(data); }
};
thread_local Spare spare;

}  // namespace

PlaneBuffer::~PlaneBuffer() {
  if (capacity_ > spare.capacity) {
    std::swap(data_, spare.data);
    std::swap(capacity_, spare.capacity);
  }
  std::free(data_);
}

void PlaneBuffer::Resize(std::size_t count) {
  if (count <= capacity_) return;
  if (spare.capacity >= count && spare.capacity > capacity_) {
    std::swap(data_, spare.data);
    std::swap(capacity_, spare.capacity);
    return;
  }
  std::free(data_);
  data_ = nullptr;
  capacity_ = 0;
  const std::size_t bytes = (count * sizeof(double) + kHugePage - 1) / kHugePage * kHugePage;
  void* room = std::aligned_alloc(kHugePage, bytes);
  if (room == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Advice only: where huge pages are off, the room works as it is.
  (void)madvise(room, bytes, MADV_HUGEPAGE);
#endif
  data_ = static_cast<double*>(room);
  capacity_ = bytes / sizeof(double);
}

}  // namespace impactsim
