// Impulse response to single-symbol pulse response.
//
// Each output element is summed on its own, shift after shift, starting from
// +0: pulse[j] = ((0 + impulse[j-1]) + impulse[j-2]) + ... over N shifts, with
// indices taken modulo n. That is the same order of additions as accumulating
// N shifted copies of the whole array one after another, without the copies.
#include "blocks/ctle/impulse2pulse.h"

#include <cstdint>

namespace {

// Work limit in additions (N * n). Larger requests are refused rather than
// left to run for hours; realistic channels stay far below it.
constexpr double kMaxAdditions = 4294967296.0;  // 2^32

// Truncation toward zero with saturation: NaN gives 0, values beyond the
// 32-bit range give the nearest end of it. A plain cast would be undefined.
std::int32_t shiftCount(double samplesPerSymbol) {
  if (!(samplesPerSymbol == samplesPerSymbol)) return 0;
  if (samplesPerSymbol >= 2147483647.0) return INT32_MAX;
  if (samplesPerSymbol <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(samplesPerSymbol);
}

// Sizes pulse as n elements along its first dimension (any further
// dimensions 1). False when the storage could not be had: pulse is then empty.
bool sizePulse(dynArray_real_T* pulse, std::int32_t n) {
  const std::int64_t oldNumel = Rx_dynNumel(pulse->sizes, pulse->dimCount);
  if (pulse->dimCount < 1) return false;
  pulse->sizes[0] = n;
  for (std::int32_t d = 1; d < pulse->dimCount; ++d) pulse->sizes[d] = 1;
  // The old count never exceeds the old capacity, which is an int32.
  const std::int32_t keep =
      oldNumel > pulse->capacity ? pulse->capacity : static_cast<std::int32_t>(oldNumel);
  return Rx_dynEnsureCapacity_real_T(pulse, keep);
}

void clearSizes(dynArray_real_T* pulse) {
  for (std::int32_t d = 0; d < pulse->dimCount; ++d) pulse->sizes[d] = 0;
}

}  // namespace

bool Rx_impulse2pulse(const dynArray_real_T* impulse, double samplesPerSymbol, double scale,
                      dynArray_real_T* pulse) {
  if (pulse == nullptr) return false;
  const std::int32_t n =
      (impulse != nullptr && impulse->dimCount >= 1 && impulse->sizes[0] > 0) ? impulse->sizes[0]
                                                                               : 0;
  const std::int32_t shifts = shiftCount(samplesPerSymbol);
  if (shifts > 0 && static_cast<double>(shifts) * static_cast<double>(n) > kMaxAdditions) {
    clearSizes(pulse);
    return false;
  }
  if (!sizePulse(pulse, n)) return false;

  const double* x = impulse != nullptr ? impulse->elements : nullptr;
  double* y = pulse->elements;
  for (std::int32_t j = 0; j < n; ++j) {
    double acc = 0.0;
    // Source index (j - k) mod n for k = 1, walking down with wrap-around.
    std::int32_t src = j == 0 ? n - 1 : j - 1;
    // 64-bit counter: shifts may be INT32_MAX when n is tiny.
    for (std::int64_t k = 1; k <= shifts; ++k) {
      acc += x[src];
      src = src == 0 ? n - 1 : src - 1;
    }
    y[j] = acc * scale;
  }
  return true;
}
