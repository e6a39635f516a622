// Complex doubles and the fixed division rule used by the linear solve.
#pragma once

struct creal_T {
  double re;
  double im;
};

// (a + ib)(c + id) = (ac - bd) + i(ad + bc), evaluated in that order.
creal_T Rx_cmul(creal_T a, creal_T b);

// Smith's method with special cases for a purely real or purely imaginary
// divisor; see the implementation for the exact order of operations.
creal_T Rx_cdiv(creal_T num, creal_T den);
