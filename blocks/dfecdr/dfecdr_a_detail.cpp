// Shared pieces of DFE/CDR revision A: row resizing, symbol tables, and the
// value-by-value form of the colon rows used by the threshold grids.
#include "blocks/dfecdr/dfecdr_a_detail.h"

#include <cmath>

#include "blocks/dfecdr/dfecdr_a.h"

namespace dfecdr_a {
namespace detail {

std::int32_t rowLength(const dynArray_real_T* a) {
  if (a == nullptr || a->elements == nullptr) return 0;
  const std::int64_t n = Rx_dynNumel(a->sizes, a->dimCount);
  // Never trust a count beyond the storage actually held.
  if (n <= 0) return 0;
  return n > a->capacity ? a->capacity : static_cast<std::int32_t>(n);
}

bool resizeRow(dynArray_real_T* a, std::int32_t n) {
  if (a == nullptr || a->dimCount < 1) return false;
  std::int64_t old = Rx_dynNumel(a->sizes, a->dimCount);
  if (old > a->capacity) old = a->capacity;
  if (old < 0) old = 0;
  if (a->dimCount == 1) {
    a->sizes[0] = n;
  } else {
    a->sizes[0] = 1;
    a->sizes[1] = n;
    for (std::int32_t d = 2; d < a->dimCount; ++d) a->sizes[d] = 1;
  }
  return Rx_dynEnsureCapacity_real_T(a, static_cast<std::int32_t>(old));
}

std::int32_t levelCount(double modulation) {
  // NaN fails the first comparison; the upper bound keeps the cast defined.
  if (!(modulation >= 1.0) || !(modulation < kMaxLevels + 1.0)) return 0;
  return static_cast<std::int32_t>(std::floor(modulation));
}

void fillSymbolTable(double v[], std::int32_t n) {
  if (n < 1) return;
  v[n - 1] = 0.5;
  if (n >= 2) v[0] = -0.5;
  if (n >= 3) {
    const double spacing = 0.5 / static_cast<double>(n - 1);
    for (std::int32_t i = 2; i <= n - 1; ++i)
      v[i - 1] = static_cast<double>(2 * i - n - 1) * spacing;
    if (n % 2 == 1) v[(n + 1) / 2 - 1] = 0.0;
  }
}

ColonRow colonRow(double a, double b, double step) {
  ColonRow row{a, a, step, 0};
  const double s = std::floor((b - a) / step + 0.5);
  const double e = a + s * step;
  const double u = (std::fabs(a) >= std::fabs(b) || std::isnan(b)) ? std::fabs(a) : std::fabs(b);
  double count;
  if (std::fabs(e - b) < 4.440892098500626e-16 * u) {
    count = s + 1.0;
    row.last = b;
  } else if (e > b) {
    count = s;
    row.last = a + (s - 1.0) * step;
  } else {
    count = s + 1.0;
    row.last = e;
  }
  if (!(count >= 1.0)) return row;  // negative or NaN: empty
  row.count = count >= 2147483647.0 ? INT32_MAX : static_cast<std::int32_t>(count);
  return row;
}

double colonValue(const ColonRow& row, std::int32_t i) {
  const std::int32_t n = row.count;
  if (i == 0) return row.first;
  if (i == n - 1) return row.last;
  const std::int32_t m = (n - 1) / 2;
  if (i <= m - 1) return row.first + static_cast<double>(i) * row.step;
  if (n % 2 == 1) {
    if (i == m) return (row.first + row.last) / 2.0;
  } else {
    if (i == m) return row.first + static_cast<double>(m) * row.step;
    if (i == m + 1) return row.last - static_cast<double>(m) * row.step;
  }
  return row.last - static_cast<double>(n - 1 - i) * row.step;
}

}  // namespace detail
}  // namespace dfecdr_a
