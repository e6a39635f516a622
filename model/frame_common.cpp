#include "model/frame_common.h"

#include <sys/mman.h>

#include <cmath>
#include <cstring>

const char* const RT_MEMORY_ALLOCATION_ERROR = "memory allocation error";

namespace {
constexpr std::size_t kMappedGroupSize = std::size_t{1} << 20;  // groups this large are mapped
}  // namespace

void* Rx_allocateGroup(std::size_t size) {
  if (size < kMappedGroupSize) return std::calloc(1, size);
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void Rx_releaseGroup(void* group, std::size_t size) {
  if (group == nullptr) return;
  if (size < kMappedGroupSize)
    std::free(group);
  else
    munmap(group, size);
}

std::int32_t Rx_impulseValueCount(double rowSize, double aggressors) {
  const double total = (aggressors + 1.0) * rowSize;
  if (!(total >= 1.0)) return 0;  // also NaN
  if (total > static_cast<double>(kImpulseCapacity)) return 0;
  return static_cast<std::int32_t>(total);
}

bool Rx_reshapeImpulse(const double* impulse, double rowSize, double aggressors,
                       dynArray_real_T** M) {
  if (!Rx_dynInit_real_T(M, 2)) return false;
  const std::int32_t count = Rx_impulseValueCount(rowSize, aggressors);
  if (count == 0 || !(rowSize >= 1.0)) return false;
  const std::int32_t rows = static_cast<std::int32_t>(rowSize);
  const std::int32_t columns = static_cast<std::int32_t>(aggressors + 1.0);
  dynArray_real_T* m = *M;
  m->sizes[0] = rows;
  m->sizes[1] = columns;
  if (!Rx_dynEnsureCapacity_real_T(m, 0)) return false;
  // Column k takes entries k x rows .. (k + 1) x rows - 1; the last column
  // may be short when the buffer ends first (it stays zero-filled).
  const std::int64_t cells = static_cast<std::int64_t>(rows) * columns;
  const std::int64_t copied = cells < count ? cells : count;
  std::memcpy(m->elements, impulse, static_cast<std::size_t>(copied) * sizeof(double));
  return true;
}

void Rx_copyColumns(const dynArray_real_T* M, std::int32_t count, double* impulseOut) {
  if (M == nullptr || M->elements == nullptr) return;
  const std::int64_t numel = Rx_dynNumel(M->sizes, M->dimCount);
  const std::int64_t n = numel < count ? numel : count;
  if (n > 0) std::memcpy(impulseOut, M->elements, static_cast<std::size_t>(n) * sizeof(double));
}
