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

// The largest room a finished model on this thread gave back. Trivially
// destructible, so it stays readable while the thread's other objects are
// destroyed, in whatever order: SpareRelease frees the room at thread exit
// and marks the spare gone, and a buffer destroyed after that frees its own.
struct Spare {
  double* data = nullptr;
  std::size_t capacity = 0;  // doubles
  bool gone = false;
};
thread_local Spare spare;

struct SpareRelease {
  ~SpareRelease() {
    std::free(spare.data);
    spare.data = nullptr;
    spare.capacity = 0;
    spare.gone = true;
  }
};
thread_local SpareRelease release;

// Swaps a buffer's room with the spare.
void Trade(double*& data, std::size_t& capacity) {
  (void)&release;  // the thread frees whatever the spare holds when it ends
  std::swap(data, spare.data);
  std::swap(capacity, spare.capacity);
}

}  // namespace

PlaneBuffer::~PlaneBuffer() {
  if (!spare.gone && capacity_ > spare.capacity) Trade(data_, capacity_);
  std::free(data_);
}

void PlaneBuffer::Resize(std::size_t count) {
  if (count <= capacity_) return;
  if (spare.capacity >= count && spare.capacity > capacity_) {
    Trade(data_, capacity_);
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
