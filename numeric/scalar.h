// Scalar helpers with fixed behaviour at NaN, infinities, signed zeros and ties.
#pragma once

#include <cstdint>

// Nearest integer, ties away from zero; -0 for (-0.5, 0).
double rt_roundd_snf(double u);
// Remainder of truncated division, sign of x; near-integer quotients give 0.
double rt_remd_snf(double x, double y);
// Modulus after floored division by 2, in [0, 2).
double Rx_mod(double x);
// Modulus after floored division, sign of y; x mod 0 is x.
double Rx_mod_p(double x, double y);
// As Rx_mod_p, but a non-integer y whose quotient is within 2^-52 of an
// integer gives a zero (revision B DFE/CDR).
double Rx_mod(double x, double y);
// Power with fixed special cases (NaN, infinite exponents, 0, +-1, 2, 0.5).
double Rx_rt_powd_snf(double base, double exponent);
// 32-bit division truncating toward zero; d = 0 gives INT32_MAX or INT32_MIN.
std::int32_t div_s32(std::int32_t numerator, std::int32_t denominator);
// As div_s32, with saturation (INT32_MIN / -1 gives INT32_MAX).
std::int32_t div_s32_sat(std::int32_t numerator, std::int32_t denominator);
// Element-wise equality of two 4-vectors; a NaN is never equal.
bool Rx_isequal(const double u[4], const double v[4]);
// Equal, or both NaN.
bool Rx_isequaln(double a, double b);
