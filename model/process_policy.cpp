#include "model/process_policy.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace impactsim {

void KeepFreedMemoryBetweenRuns() {
#if defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
}

}  // namespace impactsim
