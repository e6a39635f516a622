// Residues of k (1 - s/z) / ((1 - s/p1)(1 - s/p2)) by matching the
// coefficients of the numerator against the denominator's partial products.
#include "numeric/partial_fraction.h"

#include <cstdint>

#include "numeric/linsolve.h"

namespace {

std::int32_t rowLength(const std::int32_t size[2]) {
  if (size[0] <= 0 || size[1] <= 0) return 0;
  const std::int64_t n = static_cast<std::int64_t>(size[0]) * size[1];
  return n > 2 ? 3 : static_cast<std::int32_t>(n);  // only 0, 1 and 2 are meaningful
}

// -1/p as the coefficient of s in (1 - s/p).
double slope(double root) { return -(1.0 / root) * 1.0; }

}  // namespace

void Rx_partialFractionExpansion(const double zeros[], const std::int32_t zerosSize[2],
                                 const double poles[], const std::int32_t polesSize[2], double k,
                                 creal_T residues[], std::int32_t residueSize[2]) {
  const std::int32_t nz = rowLength(zerosSize);
  const std::int32_t np = rowLength(polesSize);
  residueSize[0] = 1;
  residueSize[1] = 0;
  if (np < 1 || np > 2) return;

  // Coefficients of 1 - s/z in rising powers of s. With a single pole there
  // is no row for the zero's term; it is dropped rather than written past b.
  creal_T b[2] = {{1.0, 0.0}, {0.0, 0.0}};
  if (nz >= 1 && np == 2) b[1] = {slope(zeros[0]), 0.0};

  creal_T A[4] = {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};
  if (np == 2) {
    A[1] = {slope(poles[1]), 0.0};
    A[2] = {1.0, 0.0};
    A[3] = {slope(poles[0]), 0.0};
  }
  const std::int32_t ASize[2] = {np, np};
  const std::int32_t bSize[1] = {np};
  Rx_linsolve_p(A, ASize, b, bSize);

  for (std::int32_t i = 0; i < np; ++i) residues[i] = {b[i].re * k, b[i].im * k};
  residueSize[1] = np;
}
