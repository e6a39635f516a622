// Vector helpers on dynamic arrays and small fixed tables.
#include "numeric/vector.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "model/rt_nonfinite.h"

namespace {

constexpr std::int32_t kSumBlock = 1024;
constexpr double kColonTolerance = 4.440892098500626e-16;  // 2^-51

// Elements that can be read: the count of the sizes, never beyond the storage.
template <typename Array>
std::int32_t usableCount(const Array* a) {
  if (a == nullptr || a->elements == nullptr) return 0;
  const std::int64_t n = Rx_dynNumel(a->sizes, a->dimCount);
  if (n <= 0) return 0;
  return n > a->capacity ? a->capacity : static_cast<std::int32_t>(n);
}

// Gives a the shape of a vector of len elements: a row 1-by-len for two or
// more dimensions when asRow, otherwise len in the first dimension; makes room.
template <typename Array, typename EnsureFn>
bool reshapeVector(Array* a, std::int32_t len, bool asRow, EnsureFn ensure) {
  const std::int64_t old = Rx_dynNumel(a->sizes, a->dimCount);
  const std::int32_t oldNumel = old < 0 ? 0 : (old > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(old));
  for (std::int32_t i = 0; i < a->dimCount; ++i) a->sizes[i] = 1;
  if (asRow && a->dimCount >= 2) {
    a->sizes[1] = len;
  } else if (a->dimCount >= 1) {
    a->sizes[0] = len;
  }
  return ensure(a, oldNumel);
}

bool reshapeReal(dynArray_real_T* a, std::int32_t len, bool asRow) {
  return reshapeVector(a, len, asRow, Rx_dynEnsureCapacity_real_T);
}

// Length of a pointer-and-size row; negative sizes count as empty.
std::int32_t rowCount(const std::int32_t size[2]) {
  if (size[0] <= 0 || size[1] <= 0) return 0;
  const std::int64_t n = static_cast<std::int64_t>(size[0]) * size[1];
  return n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n);
}

// Result length under scalar expansion: y's, unless y has one element.
// Lengths that disagree with neither being 1 have no defined result: -1.
std::int32_t expandedLength(std::int32_t nx, std::int32_t ny) {
  const std::int32_t len = ny == 1 ? nx : ny;
  if (nx != len && nx != 1) return -1;
  return len;
}

double sumElements(const dynArray_real_T* x) {
  const std::int32_t n = usableCount(x);
  if (n == 0) return 0.0;
  const double* v = x->elements;
  const std::int32_t first = n < kSumBlock ? n : kSumBlock;
  double total = v[0];
  for (std::int32_t k = 1; k < first; ++k) total += v[k];
  for (std::int32_t start = kSumBlock; start < n; start += kSumBlock) {
    const std::int32_t stop = n - start < kSumBlock ? n : start + kSumBlock;
    double block = v[start];
    for (std::int32_t k = start + 1; k < stop; ++k) block += v[k];
    total += block;
  }
  return total;
}

void rotateByOne(dynArray_real_T* a) {
  const std::int32_t n = usableCount(a);
  if (n < 2) return;
  double* v = a->elements;
  const double last = v[n - 1];
  for (std::int32_t k = n - 1; k > 0; --k) v[k] = v[k - 1];
  v[0] = last;
}

bool successiveDifferences(const dynArray_real_T* x, dynArray_real_T* y) {
  const std::int32_t n = usableCount(x);
  const std::int32_t len = n >= 2 ? n - 1 : 0;
  // Shrinking never moves storage, so y may be x itself.
  if (!reshapeReal(y, len, true)) return false;
  const double* in = x->elements;
  double* out = y->elements;
  for (std::int32_t k = 0; k < len; ++k) out[k] = in[k + 1] - in[k];
  return true;
}

void maximumWithIndex(const dynArray_real_T* x, double* value, std::int32_t* index) {
  const std::int32_t n = usableCount(x);
  if (n == 0) {
    // Outside the contract: no position to report.
    *value = rtNaN;
    *index = 0;
    return;
  }
  const double* v = x->elements;
  if (n == 1) {
    *value = v[0];
    *index = 1;
    return;
  }
  if (n == 2) {
    if (v[1] > v[0] || (rtIsNaN(v[0]) && !rtIsNaN(v[1]))) {
      *value = v[1];
      *index = 2;
    } else {
      *value = v[0];
      *index = 1;
    }
    return;
  }
  std::int32_t start = 0;
  while (start < n && rtIsNaN(v[start])) ++start;
  if (start == n) {
    *value = v[0];
    *index = 1;
    return;
  }
  double best = v[start];
  std::int32_t at = start;
  for (std::int32_t k = start + 1; k < n; ++k) {
    if (v[k] > best) {
      best = v[k];
      at = k;
    }
  }
  *value = best;
  *index = at + 1;
}

// Row a:d:b for d = 1 or 2, built symmetrically from both ends so that the
// row ends exactly at b when b is within rounding of a step.
bool colonRow(double a, double b, double d, dynArray_real_T* y) {
  const double s = std::floor((b - a) / d + 0.5);
  const double e = a + s * d;
  const double u = (std::fabs(a) >= std::fabs(b) || rtIsNaN(b)) ? std::fabs(a) : std::fabs(b);
  double count;
  double end;
  if (std::fabs(e - b) < kColonTolerance * u) {
    count = s + 1.0;
    end = b;
  } else if (e > b) {
    count = s;
    end = a + (s - 1.0) * d;
  } else {
    count = s + 1.0;
    end = e;
  }
  // NaN or negative counts are empty rows; counts beyond 32 bits cannot be
  // held, which is reported as a failed resize with an empty row.
  if (!(count >= 0.0)) return reshapeReal(y, 0, true);
  if (count > 2147483647.0) {
    reshapeReal(y, 0, true);
    return false;
  }
  const std::int32_t n = static_cast<std::int32_t>(count);
  if (!reshapeReal(y, n, true)) return false;
  if (n == 0) return true;
  double* out = y->elements;
  // A single element is a itself; (a + end) / 2 could overflow for huge a.
  out[0] = a;
  if (n == 1) return true;
  out[n - 1] = end;
  const std::int32_t m = (n - 1) / 2;
  for (std::int32_t k = 1; k < m; ++k) {
    const double kd = static_cast<double>(k) * d;
    out[k] = a + kd;
    out[n - 1 - k] = end - kd;
  }
  if (2 * m == n - 1) {
    out[m] = (a + end) / 2.0;
  } else {
    const double md = static_cast<double>(m) * d;
    out[m] = a + md;
    out[m + 1] = end - md;
  }
  return true;
}

}  // namespace

double Rx_interp1(const double xTable[12], const double yTable[12], double q) {
  double x[12];
  double y[12];
  for (int k = 0; k < 12; ++k) {
    if (rtIsNaN(xTable[k])) return rtNaN;
    x[k] = xTable[k];
    y[k] = yTable[k];
  }
  if (x[1] < x[0]) {
    for (int k = 0; k < 6; ++k) {
      const double tx = x[k];
      x[k] = x[11 - k];
      x[11 - k] = tx;
      const double ty = y[k];
      y[k] = y[11 - k];
      y[11 - k] = ty;
    }
  }
  if (rtIsNaN(q) || q > x[11] || q < x[0]) return rtNaN;
  // Bisection with 1-based low, next, high as the table is indexed.
  int low = 1;
  int next = 2;
  int high = 12;
  while (high > next) {
    const int mid = (low + high) / 2;
    if (q >= x[mid - 1]) {
      low = mid;
      next = mid + 1;
    } else {
      high = mid;
    }
  }
  const double x0 = x[low - 1];
  const double y0 = y[low - 1];
  const double y1 = y[low];
  const double r = (q - x0) / (x[low] - x0);
  if (r == 0.0) return y0;
  if (r == 1.0) return y1;
  if (y0 == y1) return y0;
  return y1 * r + (1.0 - r) * y0;
}

double Rx_interp1_j(const double x[2], const double y[2]) {
  if (rtIsNaN(x[0]) || rtIsNaN(x[1])) return rtNaN;
  double x1 = x[0];
  double x2 = x[1];
  double y1 = y[0];
  double y2 = y[1];
  if (x2 < x1) {
    x1 = x[1];
    x2 = x[0];
    y1 = y[1];
    y2 = y[0];
  }
  if (x2 < 0.0 || x1 > 0.0) return rtNaN;
  const double r = (0.0 - x1) / (x2 - x1);
  if (r == 0.0) return y1;
  if (r == 1.0) return y2;
  if (y1 == y2) return y1;
  return y2 * r + y1 * (1.0 - r);
}

void Rx_circshift_i(dynArray_real_T* a) { rotateByOne(a); }
void Rx_circshift_o(dynArray_real_T* a) { rotateByOne(a); }

double Rx_sum(const dynArray_real_T* x) { return sumElements(x); }
double Rx_sum_g(const dynArray_real_T* x) { return sumElements(x); }

bool Rx_diff(const dynArray_real_T* x, dynArray_real_T* y) { return successiveDifferences(x, y); }
bool Rx_diff_m(const dynArray_real_T* x, dynArray_real_T* y) { return successiveDifferences(x, y); }

bool Rx_plus(dynArray_real_T* x, const dynArray_real_T* y) {
  const std::int32_t nx = usableCount(x);
  const std::int32_t ny = usableCount(y);
  const std::int32_t len = expandedLength(nx, ny);
  if (len < 0) return false;  // lengths disagree: x is left as it was
  if (len == nx) {
    // Same length, or y a scalar: in place (y may be x itself).
    double* v = x->elements;
    if (ny == 1 && len > 0) {
      const double s = y->elements[0];
      for (std::int32_t k = 0; k < len; ++k) v[k] = v[k] + s;
    } else {
      for (std::int32_t k = 0; k < len; ++k) v[k] = v[k] + y->elements[k];
    }
    return reshapeReal(x, len, false);
  }
  // x is a scalar expanded to y's length (y is then another array).
  const double s = x->elements[0];
  if (!reshapeReal(x, len, false)) return false;
  for (std::int32_t k = 0; k < len; ++k) x->elements[k] = s + y->elements[k];
  return true;
}

bool Rx_or(dynArray_boolean_T* z, const dynArray_boolean_T* x, const dynArray_boolean_T* y) {
  const std::int32_t nx = usableCount(x);
  const std::int32_t ny = usableCount(y);
  const std::int32_t len = expandedLength(nx, ny);
  if (len < 0) return false;
  // Built in a temporary first, since z may share storage with x or y.
  boolean_T* t = nullptr;
  if (len > 0) {
    t = static_cast<boolean_T*>(std::malloc(static_cast<std::size_t>(len) * sizeof(boolean_T)));
    if (t == nullptr) return false;
    for (std::int32_t k = 0; k < len; ++k) {
      const bool a = x->elements[nx == 1 ? 0 : k];
      const bool b = y->elements[ny == 1 ? 0 : k];
      t[k] = a || b;
    }
  }
  const bool ok = reshapeVector(z, len, false, Rx_dynEnsureCapacity_boolean_T);
  if (ok) {
    for (std::int32_t k = 0; k < len; ++k) z->elements[k] = t[k];
  }
  std::free(t);
  return ok;
}

bool Rx_any(const boolean_T x[], const std::int32_t xSize[2]) {
  const std::int32_t n = rowCount(xSize);
  for (std::int32_t k = 0; k < n; ++k) {
    if (x[k]) return true;
  }
  return false;
}

void Rx_maximum_bx(const dynArray_real_T* x, double* value, std::int32_t* index) {
  maximumWithIndex(x, value, index);
}

double Rx_maximum_b(const dynArray_real_T* x) {
  double value;
  std::int32_t index;
  maximumWithIndex(x, &value, &index);
  return value;
}

double Rx_maximum(const dynArray_real_T* x) { return Rx_maximum_b(x); }

double Rx_maximum(const double x[2]) {
  if (x[1] > x[0]) return x[1];
  if (!rtIsNaN(x[0])) return x[0];
  if (!rtIsNaN(x[1])) return x[1];
  return rtNaN;
}

double Rx_minimum(const double x[2]) {
  if (x[1] < x[0]) return x[1];
  if (!rtIsNaN(x[0])) return x[0];
  if (!rtIsNaN(x[1])) return x[1];
  return rtNaN;
}

bool Rx_float_colon(double a, double b, dynArray_real_T* y) { return colonRow(a, b, 1.0, y); }
bool Rx_float_colon_i(double a, double b, dynArray_real_T* y) { return colonRow(a, b, 2.0, y); }

void Rx_binary_expand_op_iakme5(double x[], std::int32_t xSize[2], const double y[],
                                const std::int32_t ySize[2]) {
  const std::int32_t nx = rowCount(xSize);
  const std::int32_t ny = rowCount(ySize);
  std::int32_t len = expandedLength(nx, ny);
  if (len < 0) len = nx < ny ? nx : ny;  // disagreeing lengths: the common part
  const double xs = nx > 0 ? x[0] : 0.0;
  for (std::int32_t k = 0; k < len; ++k) {
    const double xv = nx == 1 ? xs : x[k];
    const double yv = ny == 1 ? y[0] : y[k];
    x[k] = (xv - 1.0) * yv;
  }
  xSize[0] = 1;
  xSize[1] = len;
}

void Rx_binary_expand_op_iakme(creal_T acc[], std::int32_t accSize[1], const creal_T w[],
                               std::int32_t k, const creal_T v[], std::int32_t lo,
                               std::int32_t hi) {
  const std::int64_t span = static_cast<std::int64_t>(hi) - lo + 1;
  const std::int32_t nv = span <= 0 ? 0 : (span > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(span));
  const std::int32_t nacc = accSize[0] < 0 ? 0 : accSize[0];
  std::int32_t len = expandedLength(nacc, nv);
  if (len < 0) len = nacc < nv ? nacc : nv;  // disagreeing lengths: the common part
  const creal_T f = w[k];
  const creal_T a0 = nacc > 0 ? acc[0] : creal_T{0.0, 0.0};
  for (std::int32_t j = 0; j < len; ++j) {
    const creal_T vv = nv == 1 ? v[lo] : v[lo + j];
    const creal_T av = nacc == 1 ? a0 : acc[j];
    acc[j] = {vv.re * f.re - vv.im * f.im + av.re, vv.re * f.im + vv.im * f.re + av.im};
  }
  accSize[0] = len;
}
