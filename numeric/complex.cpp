// Complex product and the fixed division rule (Smith's method with special
// cases for a purely real or purely imaginary divisor).
#include "numeric/complex.h"

#include <cmath>

creal_T Rx_cmul(creal_T a, creal_T b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

creal_T Rx_cdiv(creal_T num, creal_T den) {
  const double nr = num.re;
  const double ni = num.im;
  const double dr = den.re;
  const double di = den.im;
  if (di == 0.0) {
    if (ni == 0.0) return {nr / dr, 0.0};
    if (nr == 0.0) return {0.0, ni / dr};
    return {nr / dr, ni / dr};
  }
  if (dr == 0.0) {
    if (nr == 0.0) return {ni / di, 0.0};
    if (ni == 0.0) return {0.0, -(nr / di)};
    return {ni / di, -(nr / di)};
  }
  const double absDr = std::fabs(dr);
  const double absDi = std::fabs(di);
  if (absDr > absDi) {
    const double s = di / dr;
    const double d = dr + s * di;
    return {(nr + s * ni) / d, (ni - s * nr) / d};
  }
  if (absDr == absDi) {
    const double hr = dr > 0.0 ? 0.5 : -0.5;
    const double hi = di > 0.0 ? 0.5 : -0.5;
    return {(nr * hr + ni * hi) / absDr, (ni * hr - nr * hi) / absDr};
  }
  // |dr| < |di|, or a NaN in the divisor, which then spreads through s.
  const double s = dr / di;
  const double d = di + s * dr;
  return {(s * nr + ni) / d, (s * ni - nr) / d};
}
