// Scalar helpers whose results at NaN, infinities, signed zeros and ties are
// fixed, because sample indices and tap positions are derived from them.
#include "numeric/scalar.h"

#include <cmath>
#include <cstdint>

#include "model/rt_nonfinite.h"

namespace {

constexpr double kTwoPow52 = 4503599627370496.0;
constexpr double kEps = 2.220446049250313e-16;  // 2^-52

// True when |x / y| is within 2^-52 (relative) of an integer.
bool quotientNearInteger(double x, double y) {
  const double q = std::fabs(x / y);
  return std::fabs(q - std::floor(q + 0.5)) <= kEps * q;
}

bool signsDiffer(double x, double y) { return (x < 0.0) != (y < 0.0); }

// Two's-complement reinterpretation without implementation-defined casts.
std::int32_t toSigned(std::uint32_t u) {
  if (u <= 0x7fffffffu) return static_cast<std::int32_t>(u);
  return static_cast<std::int32_t>(u - 0x80000000u) + INT32_MIN;
}

std::uint32_t magnitude(std::int32_t v) {
  return v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
}

// Shared by the two modulus variants; nearIntegerIsZero selects the
// tolerance test for non-integer divisors.
double flooredMod(double x, double y, bool nearIntegerIsZero) {
  if (y == 0.0) return x == 0.0 ? y : x;
  if (rtIsNaN(x) || rtIsNaN(y) || rtIsInf(x)) return rtNaN;
  if (x == 0.0) return 0.0 / y;
  if (rtIsInf(y)) return signsDiffer(x, y) ? y : x;
  double r = std::fmod(x, y);
  if (nearIntegerIsZero && r != 0.0 && y > std::floor(y) && quotientNearInteger(x, y)) r = 0.0;
  if (r == 0.0) return 0.0 * y;
  return signsDiffer(x, y) ? r + y : r;
}

}  // namespace

double rt_roundd_snf(double u) {
  if (rtIsNaN(u) || !(std::fabs(u) < kTwoPow52)) return u;
  if (u >= 0.5) return std::floor(u + 0.5);
  if (u > -0.5) return 0.0 * u;
  return std::ceil(u - 0.5);
}

double rt_remd_snf(double x, double y) {
  if (rtIsNaN(x) || rtIsNaN(y) || rtIsInf(x)) return rtNaN;
  if (rtIsInf(y)) return x;
  if (y != 0.0 && y != std::trunc(y) && quotientNearInteger(x, y)) return 0.0 * x;
  return std::fmod(x, y);
}

double Rx_mod(double x) {
  if (rtIsNaN(x) || rtIsInf(x)) return rtNaN;
  if (x == 0.0) return 0.0;
  const double r = std::fmod(x, 2.0);
  if (r == 0.0) return 0.0;
  return x < 0.0 ? r + 2.0 : r;
}

double Rx_mod_p(double x, double y) { return flooredMod(x, y, false); }

double Rx_mod(double x, double y) { return flooredMod(x, y, true); }

double Rx_rt_powd_snf(double base, double exponent) {
  if (rtIsNaN(base) || rtIsNaN(exponent)) return rtNaN;
  const double absBase = std::fabs(base);
  const double absExp = std::fabs(exponent);
  if (rtIsInf(exponent)) {
    if (absBase == 1.0) return 1.0;
    if (absBase > 1.0) return exponent > 0.0 ? rtInf : 0.0;
    return exponent > 0.0 ? 0.0 : rtInf;
  }
  if (absExp == 0.0) return 1.0;
  if (absExp == 1.0) return exponent > 0.0 ? base : 1.0 / base;
  if (exponent == 2.0) return base * base;
  if (exponent == 0.5 && base >= 0.0) return std::sqrt(base);
  if (base < 0.0 && exponent > std::floor(exponent)) return rtNaN;
  return std::pow(base, exponent);
}

std::int32_t div_s32(std::int32_t numerator, std::int32_t denominator) {
  if (denominator == 0) return numerator >= 0 ? INT32_MAX : INT32_MIN;
  const std::uint32_t q = magnitude(numerator) / magnitude(denominator);
  const bool negative = (numerator < 0) != (denominator < 0);
  return toSigned(negative ? 0u - q : q);
}

std::int32_t div_s32_sat(std::int32_t numerator, std::int32_t denominator) {
  if (denominator == 0) return numerator >= 0 ? INT32_MAX : INT32_MIN;
  const std::uint32_t q = magnitude(numerator) / magnitude(denominator);
  const bool negative = (numerator < 0) != (denominator < 0);
  if (!negative) return q >= 0x7fffffffu ? INT32_MAX : static_cast<std::int32_t>(q);
  if (q >= 0x80000000u) return INT32_MIN;
  return -static_cast<std::int32_t>(q);
}

bool Rx_isequal(const double u[4], const double v[4]) {
  for (int i = 0; i < 4; ++i) {
    if (!(u[i] == v[i])) return false;
  }
  return true;
}

bool Rx_isequaln(double a, double b) { return a == b || (rtIsNaN(a) && rtIsNaN(b)); }
