// Complex linear solve of a 1x1 or 2x2 system by elimination with partial
// pivoting. A singular A is not detected: zero pivots give infinities or NaNs,
// which callers see as they are; a right-hand side that becomes exactly zero
// stays zero.
#pragma once

#include <cstdint>

#include "numeric/complex.h"

// A: n-by-n, column-major, read only; b: n values, overwritten with x.
// Sizes that do not agree (A not square, or b not of length n) leave b as it
// was. Systems above 2x2 (up to 4096) are eliminated the same way, column
// by column; larger ones also leave b as it was.
void Rx_linsolve_p(const creal_T A[], const std::int32_t ASize[2], creal_T b[],
                   const std::int32_t bSize[1]);
