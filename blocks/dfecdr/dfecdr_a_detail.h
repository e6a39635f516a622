// Pieces shared by the time-domain and statistical parts of DFE/CDR
// revision A. Not for use outside the block.
#pragma once

#include <cstdint>

#include "numeric/dyn_array.h"

namespace dfecdr_a {
namespace detail {

// Element count of a row held by a possibly absent array.
std::int32_t rowLength(const dynArray_real_T* a);

// Resizes a (a 2-D array) to 1 x n. False when it could not be sized (it is
// then empty) or is absent.
bool resizeRow(dynArray_real_T* a, std::int32_t n);

// Number of symbol levels for a Modulation value: floor(M) when M >= 1 and
// floor(M) <= kMaxLevels; otherwise 0 (NaN, negative, too many).
std::int32_t levelCount(double modulation);

// Symbol values for n levels, ascending, from -0.5 to 0.5 (n >= 1 entries).
void fillSymbolTable(double v[], std::int32_t n);

// Row a, a + step, ... up to b (step 1 or 2), built symmetrically from both
// ends so that it ends exactly at b when b is within rounding of a step.
// Value-by-value form: no storage needed.
struct ColonRow {
  double first;
  double last;
  double step;
  std::int32_t count;  // 0 for an empty row
};
ColonRow colonRow(double a, double b, double step);
double colonValue(const ColonRow& row, std::int32_t i);  // 0-based, i < count

}  // namespace detail
}  // namespace dfecdr_a
