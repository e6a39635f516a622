// Cursor search on the pulse response, shared by both DFE/CDR revisions.
#include "blocks/dfecdr/dfecdr_common_pulse.h"

#include <cmath>

#include "numeric/vector.h"

namespace dfecdr_common {

std::int32_t checkedOffset(double w, std::int32_t n) {
  if (!(w >= 1.0 && w < static_cast<double>(n) + 1.0)) return -1;
  return static_cast<std::int32_t>(w) - 1;
}

std::int32_t foldedOffset(double position, std::int32_t n, ModFn mod) {
  return checkedOffset(mod(position - 1.0, static_cast<double>(n)) + 1.0, n);
}

void selectPolarity(const double* pulse, std::int32_t n, dynArray_real_T* q, MaxFn maximum) {
  double* w = q->elements;
  const double base = (pulse[0] + pulse[n - 1]) / 2.0;
  for (std::int32_t i = 0; i < n; ++i) w[i] = pulse[i] - base;
  const double signedMax = maximum(q);
  for (std::int32_t i = 0; i < n; ++i) w[i] = std::fabs(pulse[i] - base);
  const double absMax = maximum(q);
  const bool negate = !(signedMax == absMax);
  for (std::int32_t i = 0; i < n; ++i) w[i] = negate ? -pulse[i] : pulse[i];
}

bool findEdgeCrossing(const dynArray_real_T* q, double sps, ModFn mod, double* crossing) {
  const std::int32_t n = q->sizes[0];
  const double* w = q->elements;
  double peakValue = 0.0;
  std::int32_t t = 1;
  Rx_maximum_bx(q, &peakValue, &t);
  if (t < 1 || t > n) return false;
  // Past the peak the pulse exceeds its delayed copy until the edge.
  double d = 1e6;
  while (d > 0.0) {
    if (t >= n) return false;
    ++t;
    const std::int32_t back = foldedOffset(static_cast<double>(t) - sps, n, mod);
    if (back < 0) return false;
    d = w[t - 1] - w[back];
  }
  const std::int32_t backPrev = foldedOffset(static_cast<double>(t - 1) - sps, n, mod);
  if (backPrev < 0) return false;
  const double dPrev = w[t - 2] - w[backPrev];
  const double xs[2] = {dPrev, d};
  const double ys[2] = {static_cast<double>(t - 1), static_cast<double>(t)};
  *crossing = Rx_interp1_j(xs, ys);
  return true;
}

}  // namespace dfecdr_common
