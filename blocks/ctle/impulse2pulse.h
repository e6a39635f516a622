// Impulse response to single-symbol pulse response.
#pragma once

#include "numeric/dyn_array.h"

// pulse[j] = scale * sum_{k=1..N} impulse[(j - k) mod n], j = 0 .. n-1, with
// N = samplesPerSymbol truncated toward zero, the terms added for k = 1, 2, ...
// in that order. pulse is resized to n (one dimension). The samples-per-symbol
// count saturates: NaN gives N = 0 (all zeros), values beyond the 32-bit range
// the nearest end of it. Returns false, leaving pulse empty, when pulse could
// not be sized or when N * n exceeds 2^32 additions (a request that would run
// for hours, never a real channel).
bool Rx_impulse2pulse(const dynArray_real_T* impulse, double samplesPerSymbol, double scale,
                      dynArray_real_T* pulse);
