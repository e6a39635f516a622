#include "blocks/ctle/ctle_coefficients.h"

#include <cmath>

#include "numeric/partial_fraction.h"
#include "numeric/vector.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Polynomials in z^-1, coefficient of degree d at position d.
constexpr std::int32_t kMaxTerms = kCtleMaxPoles + 1;

creal_T cadd(creal_T a, creal_T b) { return {a.re + b.re, a.im + b.im}; }

// poly (length len, room for len + 1) times (1 - e z^-1), in complex arithmetic.
void multiplyFirstOrder(creal_T poly[], std::int32_t len, double e) {
  const creal_T one = {1.0, 0.0};
  const creal_T minusE = {-e, 0.0};
  poly[len] = Rx_cmul(poly[len - 1], minusE);
  for (std::int32_t d = len - 1; d >= 1; --d)
    poly[d] = cadd(Rx_cmul(poly[d], one), Rx_cmul(poly[d - 1], minusE));
  poly[0] = Rx_cmul(poly[0], one);
}

// Resizes a one- or two-dimensional array to rows x cols (cols ignored for one dimension)
// and zero-fills it.
bool resizeZero(dynArray_real_T* a, std::int32_t dims, std::int32_t rows, std::int32_t cols) {
  if (a == nullptr || a->dimCount != dims) return false;
  const std::int64_t old = Rx_dynNumel(a->sizes, a->dimCount);
  a->sizes[0] = rows;
  if (dims == 2) a->sizes[1] = cols;
  if (!Rx_dynEnsureCapacity_real_T(a, static_cast<std::int32_t>(old))) return false;
  const std::int64_t numel = Rx_dynNumel(a->sizes, a->dimCount);
  for (std::int64_t i = 0; i < numel; ++i) a->elements[i] = 0.0;
  return true;
}

bool hasRepeat(const double values[], std::int32_t count) {
  double sorted[kCtleMaxPoles] = {0.0, 0.0};
  for (std::int32_t i = 0; i < count; ++i) sorted[i] = values[i];
  std::int32_t size[2] = {1, count};
  Rx_sort(sorted, size);
  for (std::int32_t i = 1; i < size[1]; ++i)
    if (sorted[i] - sorted[i - 1] == 0.0) return true;
  return false;
}

}  // namespace

std::int32_t Rx_CTLE_clampCount(double value, std::int32_t lo, std::int32_t hi) {
  if (!(value >= lo)) return lo;
  if (value > hi) return hi;
  return static_cast<std::int32_t>(value);
}

bool dynInitStruct_ctleCoefficients(ctleCoefficients_Rx_T* c) {
  c->numerator = c->denominator = c->inputHistory = c->outputHistory = nullptr;
  c->zeroCount = c->poleCount = nullptr;
  const bool ok = Rx_dynInit_real_T(&c->numerator, 2) && Rx_dynInit_real_T(&c->denominator, 2) &&
                  Rx_dynInit_real_T(&c->inputHistory, 1) &&
                  Rx_dynInit_real_T(&c->outputHistory, 1) && Rx_dynInit_real_T(&c->zeroCount, 1) &&
                  Rx_dynInit_real_T(&c->poleCount, 1);
  if (!ok) dynFreeStruct_ctleCoefficients(c);
  return ok;
}

void dynFreeStruct_ctleCoefficients(ctleCoefficients_Rx_T* c) {
  Rx_dynFree_real_T(&c->numerator);
  Rx_dynFree_real_T(&c->denominator);
  Rx_dynFree_real_T(&c->inputHistory);
  Rx_dynFree_real_T(&c->outputHistory);
  Rx_dynFree_real_T(&c->zeroCount);
  Rx_dynFree_real_T(&c->poleCount);
}

bool Rx_CTLE_discretise(const creal_T residues[], const double poles[], std::int32_t np,
                        double sampleInterval, double numerator[], double denominator[]) {
  if (np < 1 || np > kCtleMaxPoles) return false;
  double e[kCtleMaxPoles];     // E_i = exp(w_i T): pole of the discrete term
  double lead[kCtleMaxPoles];  // 1 - H_i, H_i = exp(w_i T / 2)
  double lag[kCtleMaxPoles];   // (exp(-w_i T / 2) - 1) E_i, which equals H_i - E_i
  for (std::int32_t i = 0; i < np; ++i) {
    const double wT = (kTwoPi * poles[i]) * sampleInterval;
    e[i] = std::exp(wT);
    lead[i] = 1.0 - std::exp(wT / 2.0);
    lag[i] = (std::exp(-wT / 2.0) - 1.0) * e[i];
  }

  creal_T den[kMaxTerms] = {{1.0, 0.0}};
  for (std::int32_t i = 0; i < np; ++i) multiplyFirstOrder(den, i + 1, e[i]);

  creal_T num[kMaxTerms] = {};
  for (std::int32_t i = 0; i < np; ++i) {
    creal_T term[kMaxTerms] = {{lead[i], 0.0}, {lag[i], 0.0}};
    std::int32_t len = 2;
    for (std::int32_t j = 0; j < np; ++j) {
      if (j == i) continue;
      multiplyFirstOrder(term, len, e[j]);
      ++len;
    }
    const creal_T r = residues[i];
    for (std::int32_t d = 0; d <= np; ++d) {
      num[d].re = (term[d].re * r.re - term[d].im * r.im) + num[d].re;
      num[d].im = (term[d].re * r.im + term[d].im * r.re) + num[d].im;
    }
  }
  for (std::int32_t d = 0; d <= np; ++d) numerator[d] = num[d].re;
  for (std::int32_t d = 1; d <= np; ++d) denominator[d - 1] = den[d].re;
  return true;
}

bool Rx_CTLE_cascadeRequired(const double poleCount[kCtleConfigCount], const double poles[16],
                             const double zeroCount[kCtleConfigCount], const double zeros[8]) {
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    const std::int32_t np = Rx_CTLE_clampCount(poleCount[k], 0, kCtleMaxPoles);
    if (np == 0) return true;
    const double row[kCtleMaxPoles] = {poles[k], poles[k + kCtleConfigCount]};
    if (hasRepeat(row, np)) return true;
  }
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    const std::int32_t nz = Rx_CTLE_clampCount(zeroCount[k], 0, 1);
    if (hasRepeat(&zeros[k], nz)) return true;
  }
  return false;
}

bool Rx_CTLE_resetCoefficients(ctleCoefficients_Rx_T* c, double maxPoleCount,
                               const double zeroCount[kCtleConfigCount],
                               const double poleCount[kCtleConfigCount]) {
  const std::int32_t maxP = Rx_CTLE_clampCount(maxPoleCount, 0, kCtleMaxPoles);
  if (!resizeZero(c->numerator, 2, maxP + 1, kCtleConfigCount)) return false;
  if (!resizeZero(c->denominator, 2, maxP, kCtleConfigCount)) return false;
  if (!resizeZero(c->inputHistory, 1, maxP + 1, 0)) return false;
  if (!resizeZero(c->outputHistory, 1, maxP, 0)) return false;
  if (!resizeZero(c->zeroCount, 1, kCtleConfigCount, 0)) return false;
  if (!resizeZero(c->poleCount, 1, kCtleConfigCount, 0)) return false;
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    c->zeroCount->elements[k] = zeroCount[k];
    c->poleCount->elements[k] = poleCount[k];
  }
  return true;
}

bool Rx_calculateCTLECoefficients(double sampleInterval, const double zeroCount[kCtleConfigCount],
                                  const double poleCount[kCtleConfigCount], double maxPoleCount,
                                  const double zeros[8], const double poles[16],
                                  const double dcGain[kCtleConfigCount],
                                  ctleCoefficients_Rx_T* coefficients, double* designSampleInterval,
                                  double* designScale, boolean_T* ready) {
  if (!Rx_CTLE_resetCoefficients(coefficients, maxPoleCount, zeroCount, poleCount)) return false;
  const std::int32_t maxP = Rx_CTLE_clampCount(maxPoleCount, 0, kCtleMaxPoles);
  double* const numCols = coefficients->numerator->elements;
  double* const denCols = coefficients->denominator->elements;
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    const std::int32_t np = Rx_CTLE_clampCount(poleCount[k], 0, maxP);
    if (np == 0) continue;  // no partial-fraction form; the cascaded path covers it
    std::int32_t nz = zeroCount[k] >= 1.0 ? 1 : 0;
    if (nz >= np) nz = np - 1;
    const double rowPoles[kCtleMaxPoles] = {poles[k], poles[k + kCtleConfigCount]};
    const std::int32_t zerosSize[2] = {1, nz};
    const std::int32_t polesSize[2] = {1, np};
    creal_T residues[kCtleMaxPoles] = {};
    std::int32_t residueSize[2] = {1, 0};
    Rx_partialFractionExpansion(&zeros[k], zerosSize, rowPoles, polesSize, dcGain[k], residues,
                                residueSize);
    double b[kMaxTerms];
    double a[kCtleMaxPoles];
    Rx_CTLE_discretise(residues, rowPoles, np, sampleInterval, b, a);
    for (std::int32_t d = 0; d <= np; ++d) numCols[k * (maxP + 1) + d] = b[d];
    for (std::int32_t d = 0; d < np; ++d) denCols[k * maxP + d] = a[d];
  }
  *designSampleInterval = sampleInterval;
  *designScale = 1.0;
  *ready = true;
  return true;
}
