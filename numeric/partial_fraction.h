// Partial-fraction expansion of k (1 - s/z) / ((1 - s/p1)(1 - s/p2)) into
// r1 / (1 - s/p1) + r2 / (1 - s/p2); at most one zero, one or two poles.
#pragma once

#include <cstdint>

#include "numeric/complex.h"

// Residues: one per pole, in pole order; residueSize is set to (1, np).
// Inputs are not validated: equal poles or a zero at the origin give infinite
// or NaN residues. A zero given with a single pole has no equation for its
// term and is left out (residue k); a pole count other than 1 or 2 gives no
// residues (size 1-by-0).
void Rx_partialFractionExpansion(const double zeros[], const std::int32_t zerosSize[2],
                                 const double poles[], const std::int32_t polesSize[2], double k,
                                 creal_T residues[], std::int32_t residueSize[2]);
