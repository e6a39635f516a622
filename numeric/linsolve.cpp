// Gaussian elimination with partial pivoting in complex arithmetic.
#include "numeric/linsolve.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "model/rt_nonfinite.h"

namespace {

// Pivot size is |re| + |im|, cheaper than the modulus and what the pivoting
// rule compares.
double pivotSize(creal_T z) { return std::fabs(z.re) + std::fabs(z.im); }

bool isNonZero(creal_T z) { return z.re != 0.0 || z.im != 0.0; }

// a - b * c, product first.
creal_T subMul(creal_T a, creal_T b, creal_T c) {
  const creal_T p = Rx_cmul(b, c);
  return {a.re - p.re, a.im - p.im};
}

// In-place LU of the n-by-n column-major lu; pivotRow[j] is the row
// exchanged with row j (j when none). Row j changes place only when a later
// row is strictly larger in pivot size, so ties and NaNs keep the order.
void factor(creal_T lu[], std::int32_t n, std::int32_t pivotRow[]) {
  for (std::int32_t j = 0; j < n; ++j) {
    std::int32_t p = j;
    double best = pivotSize(lu[j + n * j]);
    for (std::int32_t i = j + 1; i < n; ++i) {
      const double size = pivotSize(lu[i + n * j]);
      if (size > best) {
        best = size;
        p = i;
      }
    }
    pivotRow[j] = j;
    if (isNonZero(lu[p + n * j])) {
      if (p != j) {
        pivotRow[j] = p;
        for (std::int32_t c = 0; c < n; ++c) {
          const creal_T t = lu[j + n * c];
          lu[j + n * c] = lu[p + n * c];
          lu[p + n * c] = t;
        }
      }
      for (std::int32_t i = j + 1; i < n; ++i) lu[i + n * j] = Rx_cdiv(lu[i + n * j], lu[j + n * j]);
    }
    for (std::int32_t c = j + 1; c < n; ++c) {
      const creal_T u = lu[j + n * c];
      if (!isNonZero(u)) continue;
      const creal_T t = {-1.0 * u.re, -1.0 * u.im};
      for (std::int32_t i = j + 1; i < n; ++i) {
        const creal_T p2 = Rx_cmul(t, lu[i + n * j]);
        lu[i + n * c] = {lu[i + n * c].re + p2.re, lu[i + n * c].im + p2.im};
      }
    }
  }
}

void substitute(const creal_T lu[], std::int32_t n, const std::int32_t pivotRow[], creal_T b[]) {
  for (std::int32_t j = 0; j < n; ++j) {
    if (pivotRow[j] != j) {
      const creal_T t = b[j];
      b[j] = b[pivotRow[j]];
      b[pivotRow[j]] = t;
    }
  }
  for (std::int32_t j = 0; j < n; ++j) {
    if (!isNonZero(b[j])) continue;
    for (std::int32_t i = j + 1; i < n; ++i) b[i] = subMul(b[i], b[j], lu[i + n * j]);
  }
  // A right-hand side that is exactly zero stays zero, even over a zero pivot.
  for (std::int32_t k = n - 1; k >= 0; --k) {
    if (!isNonZero(b[k])) continue;
    b[k] = Rx_cdiv(b[k], lu[k + n * k]);
    for (std::int32_t i = 0; i < k; ++i) b[i] = subMul(b[i], b[k], lu[i + n * k]);
  }
}

}  // namespace

void Rx_linsolve_p(const creal_T A[], const std::int32_t ASize[2], creal_T b[],
                   const std::int32_t bSize[1]) {
  const std::int32_t n = ASize[0];
  // A non-square matrix or a right-hand side of another length is refused:
  // b is left as it was rather than read or written out of bounds.
  if (n <= 0 || ASize[1] != n || bSize[0] != n) return;
  // The model solves 1x1 and 2x2 systems; far larger ones are refused too,
  // which keeps n * n well inside 32 bits.
  constexpr std::int32_t kLargest = 4096;
  if (n > kLargest) return;

  constexpr std::int32_t kSmall = 2;
  creal_T smallLu[kSmall * kSmall];
  std::int32_t smallPivot[kSmall];
  creal_T* lu = smallLu;
  std::int32_t* pivotRow = smallPivot;
  if (n > kSmall) {
    const std::size_t count = static_cast<std::size_t>(n);
    lu = static_cast<creal_T*>(std::malloc(count * count * sizeof(creal_T)));
    pivotRow = static_cast<std::int32_t*>(std::malloc(count * sizeof(std::int32_t)));
    if (lu == nullptr || pivotRow == nullptr) {
      std::free(lu);
      std::free(pivotRow);
      for (std::int32_t i = 0; i < n; ++i) b[i] = {rtNaN, rtNaN};
      return;
    }
  }
  for (std::int32_t i = 0; i < n * n; ++i) lu[i] = A[i];
  factor(lu, n, pivotRow);
  substitute(lu, n, pivotRow, b);
  if (n > kSmall) {
    std::free(lu);
    std::free(pivotRow);
  }
}
