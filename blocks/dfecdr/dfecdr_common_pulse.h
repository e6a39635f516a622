// Pulse-response work that the statistical steps of both DFE/CDR revisions
// share: folding positions onto the circular pulse, the polarity choice, the
// edge crossing that places the cursor, the taps read after the cursor and
// the feedback added to the victim column.
//
// Positions are 1-based fractional sample indices, as the cursor arithmetic
// uses them; the offsets returned are 0-based. Each revision passes the
// modulus and maximum routines it is built on (they agree wherever these
// functions use them: the divisor is always a whole row count).
#pragma once

#include <cstdint>

#include "numeric/dyn_array.h"
#include "numeric/scalar.h"

namespace dfecdr_common {

using ModFn = double (*)(double, double);
using MaxFn = double (*)(const dynArray_real_T*);

// 0-based offset of the 1-based position w truncated toward zero, or -1 when
// w is not a number in [1, n + 1); no NaN or infinity is ever cast.
std::int32_t checkedOffset(double w, std::int32_t n);

// The 1-based position folded circularly into 1 .. n (floored modulus), as a
// 0-based offset; -1 for a non-finite position.
std::int32_t foldedOffset(double position, std::int32_t n, ModFn mod);

// q (sized n) = pulse or -pulse, whichever makes the largest deviation from
// the mean of the two end samples a positive one. A NaN in the comparison
// selects -pulse.
void selectPolarity(const double* pulse, std::int32_t n, dynArray_real_T* q, MaxFn maximum);

// Crossing of q with its copy delayed by sps samples, searched from the peak
// of q toward later samples; *crossing is its interpolated 1-based position
// (NaN when the samples around it are). False when there is none to find: q
// still rises at its last sample, or a position to fold is not finite.
bool findEdgeCrossing(const dynArray_real_T* q, double sps, ModFn mod, double* crossing);

// The data sampler sits half a symbol before the edge crossing, moved by
// phaseOffset symbols. Unrounded.
inline double cursorFromCrossing(double crossing, double sps, double phaseOffset) {
  return (crossing - sps / 2.0) + sps * phaseOffset;
}

// Mode 2: taps that cancel the pulse one to four symbols after the rounded
// cursor tr; quantised first, then clamped (the accumulator keeps the
// unquantised value unless clamped).
template <class Rec>
void setTapsFromPulse(Rec* obj, const double* pulse, std::int32_t n, double tr, ModFn mod) {
  const double sps = obj->samplesPerSymbol;
  for (int k = 0; k < 4; ++k) {
    const std::int32_t at = foldedOffset(tr + static_cast<double>(k + 1) * sps, n, mod);
    if (at < 0) continue;
    const double w = -pulse[at];
    const double step = obj->tapStep[k];
    double applied = step != 0.0 ? rt_roundd_snf(w / step) * step : w;
    double acc = w;
    if (applied > obj->tapUpper[k]) {
      applied = obj->tapUpper[k];
      acc = applied;
    } else if (applied < obj->tapLower[k]) {
      applied = obj->tapLower[k];
      acc = applied;
    }
    obj->tapAccumulators[k] = acc;
    obj->appliedTaps[k] = applied;
  }
}

// Adds each applied tap to the victim column as an impulse, half a symbol
// before its post-cursor sample, so that its one-symbol pulse covers that
// sample. The position of an odd samples-per-symbol count is truncated.
template <class Rec>
void addFeedback(const Rec* obj, double* column, std::int32_t n, double tr, ModFn mod) {
  const double sps = obj->samplesPerSymbol;
  for (int k = 0; k < 4; ++k) {
    const std::int32_t at =
        foldedOffset(static_cast<double>(k + 1) * sps + tr - sps / 2.0, n, mod);
    if (at < 0) continue;
    column[at] = column[at] + obj->appliedTaps[k] / obj->SampleInterval;
  }
}

}  // namespace dfecdr_common
