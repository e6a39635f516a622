// Column-major dynamic arrays: create, make room, destroy.
#include "numeric/dyn_array.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

constexpr std::int32_t kMinCapacity = 16;
constexpr std::int32_t kDoublingLimit = 1073741823;  // 2^30 - 1: doubling stays in range
constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Growth rule: from the current capacity (at least 16), double until the count
// fits; a candidate above 2^30 - 1 jumps to the largest 32-bit count instead,
// so the loop never overflows and ends for every count up to 2147483647.
std::int32_t grownCapacity(std::int32_t capacity, std::int32_t numel) {
  std::int32_t candidate = capacity < kMinCapacity ? kMinCapacity : capacity;
  while (candidate < numel) {
    candidate = candidate > kDoublingLimit ? kMaxCount : candidate * 2;
  }
  return candidate;
}

template <typename Array>
bool dynInit(Array** pArray, std::int32_t numDimensions) {
  if (pArray == nullptr) return false;
  *pArray = nullptr;
  if (numDimensions < 0) return false;
  Array* a = static_cast<Array*>(std::calloc(1, sizeof(Array)));
  if (a == nullptr) return false;
  // At least one entry so that a zero-dimensional array still has valid storage.
  const std::size_t entries = numDimensions > 0 ? static_cast<std::size_t>(numDimensions) : 1u;
  a->sizes = static_cast<std::int32_t*>(std::calloc(entries, sizeof(std::int32_t)));
  if (a->sizes == nullptr) {
    std::free(a);
    return false;
  }
  a->elements = nullptr;
  a->capacity = 0;
  a->dimCount = numDimensions;
  a->ownsElements = true;
  *pArray = a;
  return true;
}

template <typename Array>
void clearSizes(Array* a) {
  if (a->sizes == nullptr) return;
  for (std::int32_t i = 0; i < a->dimCount; ++i) a->sizes[i] = 0;
}

template <typename Array>
bool dynEnsureCapacity(Array* a, std::int32_t oldNumel) {
  using Elem = typename std::remove_pointer<decltype(a->elements)>::type;
  if (a == nullptr) return false;
  const std::int64_t numel = Rx_dynNumel(a->sizes, a->dimCount);
  if (numel < 0 || numel > kMaxCount) {
    clearSizes(a);
    return false;
  }
  if (numel <= a->capacity) return true;

  const std::int32_t capacity = grownCapacity(a->capacity, static_cast<std::int32_t>(numel));
  Elem* storage = static_cast<Elem*>(std::calloc(static_cast<std::size_t>(capacity), sizeof(Elem)));
  if (storage == nullptr) {
    clearSizes(a);
    return false;
  }
  if (a->elements != nullptr) {
    // Never copy more than the old storage holds, whatever the caller claims.
    std::int32_t keep = oldNumel < 0 ? 0 : oldNumel;
    if (keep > a->capacity) keep = a->capacity;
    if (keep > 0) std::memcpy(storage, a->elements, static_cast<std::size_t>(keep) * sizeof(Elem));
    if (a->ownsElements) std::free(a->elements);
  }
  a->elements = storage;
  a->capacity = capacity;
  a->ownsElements = true;
  return true;
}

template <typename Array>
void dynFree(Array** pArray) {
  if (pArray == nullptr || *pArray == nullptr) return;
  Array* a = *pArray;
  if (a->elements != nullptr && a->ownsElements) std::free(a->elements);
  std::free(a->sizes);
  std::free(a);
  *pArray = nullptr;
}

}  // namespace

std::int64_t Rx_dynNumel(const std::int32_t* sizes, std::int32_t dimCount) {
  if (dimCount <= 0) return 1;
  if (sizes == nullptr) return -1;
  bool anyZero = false;
  for (std::int32_t i = 0; i < dimCount; ++i) {
    if (sizes[i] < 0) return -1;
    if (sizes[i] == 0) anyZero = true;
  }
  if (anyZero) return 0;
  // Saturates instead of overflowing: three large sizes exceed even 64 bits.
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t product = 1;
  for (std::int32_t i = 0; i < dimCount; ++i) {
    if (product > kMax / sizes[i]) return kMax;
    product *= sizes[i];
  }
  return product;
}

bool Rx_dynInit_real_T(dynArray_real_T** pArray, std::int32_t numDimensions) {
  return dynInit(pArray, numDimensions);
}
bool Rx_dynInit_int32_T(dynArray_int32_T** pArray, std::int32_t numDimensions) {
  return dynInit(pArray, numDimensions);
}
bool Rx_dynInit_uint32_T(dynArray_uint32_T** pArray, std::int32_t numDimensions) {
  return dynInit(pArray, numDimensions);
}
bool Rx_dynInit_boolean_T(dynArray_boolean_T** pArray, std::int32_t numDimensions) {
  return dynInit(pArray, numDimensions);
}
bool Rx_dynInit_char_T(dynArray_char_T** pArray, std::int32_t numDimensions) {
  return dynInit(pArray, numDimensions);
}

bool Rx_dynEnsureCapacity_real_T(dynArray_real_T* array, std::int32_t oldNumel) {
  return dynEnsureCapacity(array, oldNumel);
}
bool Rx_dynEnsureCapacity_int32_T(dynArray_int32_T* array, std::int32_t oldNumel) {
  return dynEnsureCapacity(array, oldNumel);
}
bool Rx_dynEnsureCapacity_uint32_T(dynArray_uint32_T* array, std::int32_t oldNumel) {
  return dynEnsureCapacity(array, oldNumel);
}
bool Rx_dynEnsureCapacity_boolean_T(dynArray_boolean_T* array, std::int32_t oldNumel) {
  return dynEnsureCapacity(array, oldNumel);
}
bool Rx_dynEnsureCapacity_char_T(dynArray_char_T* array, std::int32_t oldNumel) {
  return dynEnsureCapacity(array, oldNumel);
}

void Rx_dynFree_real_T(dynArray_real_T** pArray) { dynFree(pArray); }
void Rx_dynFree_int32_T(dynArray_int32_T** pArray) { dynFree(pArray); }
void Rx_dynFree_uint32_T(dynArray_uint32_T** pArray) { dynFree(pArray); }
void Rx_dynFree_boolean_T(dynArray_boolean_T** pArray) { dynFree(pArray); }
void Rx_dynFree_char_T(dynArray_char_T** pArray) { dynFree(pArray); }

bool Rx_dynInit_real_T1(dynArray_real_T** pArray, std::int32_t numDimensions) {
  return Rx_dynInit_real_T(pArray, numDimensions);
}
bool Rx_dynEnsureCapacity_real_T1(dynArray_real_T* array, std::int32_t oldNumel) {
  return Rx_dynEnsureCapacity_real_T(array, oldNumel);
}
