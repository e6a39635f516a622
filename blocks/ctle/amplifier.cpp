#include "blocks/ctle/amplifier.h"

#include "model/rt_nonfinite.h"
#include "numeric/scalar.h"

void Rx_SystemCore_setup_ia(blk_SaturatingAmplifier_Rx_T* obj) {
  obj->isSetUp = 1;
  obj->Mode = 0.0;
  const double L = obj->Limit;
  const double G = obj->LinearGain;
  const double span = 2.0 * L / G;  // grid half-width
  constexpr std::int32_t last = kAmplifierPoints - 1;
  obj->inputGrid[0] = -span;
  for (std::int32_t i = 1; i < last; ++i) obj->inputGrid[i] = ((2.0 * i - 62.0) * span) / 62.0;
  obj->inputGrid[last / 2] = 0.0;
  obj->inputGrid[last] = span;

  const double knee = 1.5 * L / G;  // input at which the curve reaches +-L
  const double peak = 1.5 * L;
  for (std::int32_t i = 0; i < kAmplifierPoints; ++i) {
    double u = obj->inputGrid[i] / knee;
    if (u > 1.0) {
      u = 1.0;
    } else if (u < -1.0) {
      u = -1.0;
    }
    obj->outputTable[i] = peak * (u - Rx_rt_powd_snf(u, 3.0) / 3.0);
  }
}

double Rx_SaturatingAmplifier_lookup(const blk_SaturatingAmplifier_Rx_T* obj, double s) {
  const double* const x = obj->inputGrid;
  const double* const y = obj->outputTable;
  constexpr std::int32_t last = kAmplifierPoints - 1;
  if (s <= x[0]) return y[0];
  if (s > x[last]) return y[last];
  // 1-based bisection; (lo + hi + 1) / 2 rounds the midpoint half up, as lo + hi > 0.
  std::int32_t lo = 1;
  std::int32_t hi = kAmplifierPoints;
  while (hi > lo + 1) {
    const std::int32_t mid = (lo + hi + 1) / 2;
    if (s <= x[mid - 1]) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  const double xl = x[lo - 1];
  const double xh = x[hi - 1];
  return ((xh - s) * y[lo - 1] + y[hi - 1] * (s - xl)) / (xh - xl);
}

double Rx_SaturatingAmplifier_output(blk_SaturatingAmplifier_Rx_T* obj, double amplifierMode,
                                     double sample) {
  if (obj->Limit != kAmplifierLimit) obj->Limit = kAmplifierLimit;
  if (obj->LinearGain != kAmplifierGain) obj->LinearGain = kAmplifierGain;
  if (!(obj->Mode == amplifierMode) && !(rtIsNaN(obj->Mode) && rtIsNaN(amplifierMode)))
    obj->Mode = amplifierMode;
  if (obj->Mode == 1.0) return Rx_SaturatingAmplifier_lookup(obj, sample);
  return sample;
}
