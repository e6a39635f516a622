// Complex division branches, products and the 1x1 / 2x2 elimination.
// Reference values: gen_numeric_cases.py (same operations, IEEE doubles).
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/complex.h"
#include "numeric/linsolve.h"
#include "tests/common/same_bits.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

::testing::AssertionResult sameComplex(creal_T got, creal_T want) {
  const auto re = sameBits(got.re, want.re);
  const auto im = sameBits(got.im, want.im);
  if (re && im) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "re: " << (re ? "ok" : re.message())
                                       << "; im: " << (im ? "ok" : im.message());
}

// ------------------------------------------------------------- division
struct DivCase {
  const char* name;
  creal_T num;
  creal_T den;
  creal_T want;
};
const DivCase kDiv[] = {
    {"real_divisor_real_numerator", {-6, 0}, {3, 0}, {-2, 0.0}},
    {"real_divisor_imaginary_numerator", {0, 6}, {-3, 0}, {0.0, -2}},
    {"real_divisor_general", {6, 9}, {3, 0}, {2, 3}},
    {"real_divisor_minus_zero_imaginary", {6, 9}, {3, -0.0}, {2, 3}},
    {"imaginary_divisor_imaginary_numerator", {0, 6}, {0, 3}, {2, 0.0}},
    {"imaginary_divisor_real_numerator", {6, 0}, {0, 3}, {0.0, -2}},
    {"imaginary_divisor_real_numerator_negative", {-6, 0}, {0, 3}, {0.0, 2}},
    {"imaginary_divisor_general", {6, 9}, {0, 3}, {3, -2}},
    {"real_part_larger", {1, 2}, {3, 1}, {0.49999999999999994, 0.5}},
    {"imaginary_part_larger", {1, 2}, {1, 3}, {0.7000000000000001, -0.1}},
    // Values where other groupings of the same formula round differently.
    {"real_part_larger_rounding", {0.7, 0.7}, {0.9, 0.7}, {0.8615384615384616, 0.1076923076923078}},
    {"imaginary_part_larger_rounding", {0.7, 0.7}, {0.7, 0.9},
     {0.8615384615384616, -0.1076923076923078}},
    {"equal_magnitudes_exactly_one", {1, 1}, {1, 1}, {1, 0}},
    {"equal_magnitudes_opposite_signs", {1, 1}, {-1, 1}, {0, -1}},
    {"equal_magnitudes_general", {0.1, 0.7}, {-0.3, 0.3}, {1.0, -1.3333333333333333}},
    {"by_zero", {1, 1}, {0, 0}, {kInf, kInf}},
    {"real_by_zero", {-1, 0}, {0, 0}, {-kInf, 0.0}},
};
class CdivTest : public ::testing::TestWithParam<DivCase> {};
TEST_P(CdivTest, Exact) {
  EXPECT_TRUE(sameComplex(Rx_cdiv(GetParam().num, GetParam().den), GetParam().want));
}
INSTANTIATE_TEST_SUITE_P(Complex, CdivTest, ::testing::ValuesIn(kDiv),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Complex, DivisionByNaNIsNaN) {
  const creal_T q = Rx_cdiv({1, 1}, {kNaN, 1});
  EXPECT_TRUE(std::isnan(q.re));
  EXPECT_TRUE(std::isnan(q.im));
  const creal_T r = Rx_cdiv({1, 1}, {1, kNaN});
  EXPECT_TRUE(std::isnan(r.re));
  EXPECT_TRUE(std::isnan(r.im));
}

TEST(Complex, Product) {
  EXPECT_TRUE(sameComplex(Rx_cmul({1, 2}, {3, 4}), {-5, 10}));
  EXPECT_TRUE(sameComplex(Rx_cmul({0.1, 0}, {3, 0}), {0.30000000000000004, 0}));
  EXPECT_TRUE(sameComplex(Rx_cmul({-1, 0}, {0, 0}), {-0.0, 0.0}));
}

// ---------------------------------------------------------------- solve
struct SolveCase {
  const char* name;
  std::vector<creal_T> rowsA;  // row by row, as written
  std::vector<creal_T> b;
  std::vector<creal_T> want;
};
const SolveCase kSolve[] = {
    {"one_by_one", {{2, 0}}, {{4, 0}}, {{2, 0}}},
    {"one_by_one_equal_magnitudes", {{1, 1}}, {{1, 1}}, {{1, 0}}},
    {"one_by_one_zero_rhs_stays_zero", {{0, 0}}, {{0, 0}}, {{0, 0}}},
    {"one_by_one_zero_pivot", {{0, 0}}, {{1, 0}}, {{kInf, 0}}},
    {"no_row_exchange", {{1, 0}, {1, 0}, {-0.5, 0}, {-0.25, 0}}, {{1, 0}, {-0.1, 0}},
     {{-0.6000000000000001, 0}, {1.6, 0}}},
    {"row_exchange", {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {{1, 0}, {5, 0}}, {{1, 0}, {1, 0}}},
    // |1| + |0| ties with |-1| + |0|: row 1 stays the pivot row.
    {"tie_keeps_the_first_row", {{1, 0}, {0.1, 0}, {-1, 0}, {0.2, 0}}, {{0.9, 0}, {0.3, 0}},
     {{0.5000000000000001, 0}, {3.999999999999999, 0}}},
    // Pivot size |re| + |im|: 2 + 2i (4) beats 3 (3), although its modulus is smaller.
    {"pivot_size_is_the_sum_of_parts", {{3, 0}, {1, 0}, {2, 2}, {0.3, 0}}, {{1, 0}, {0.7, 0}},
     {{0.08445297504798466, -0.15355086372360843}, {0.746641074856046, 0.4606525911708252}}},
    {"complex", {{1, 2}, {3, -1}, {2, -1}, {1, 1}}, {{1, 1}, {2, 0}}, {{0.68, 0.24}, {0.3, -0.1}}},
    {"singular_zero_rhs_gives_zeros", {{1, 0}, {1, 0}, {2, 0}, {2, 0}}, {{0, 0}, {0, 0}},
     {{0, 0}, {0, 0}}},
    {"first_variable_zero_is_not_divided", {{0, 0}, {0, 0}, {0, 0}, {1, 0}}, {{0, 0}, {3, 0}},
     {{0, 0}, {3, 0}}},
};
class SolveTest : public ::testing::TestWithParam<SolveCase> {};
TEST_P(SolveTest, Exact) {
  const SolveCase& c = GetParam();
  const std::int32_t n = static_cast<std::int32_t>(c.b.size());
  std::vector<creal_T> A(c.rowsA.size());
  for (std::int32_t i = 0; i < n; ++i)
    for (std::int32_t j = 0; j < n; ++j) A[i + n * j] = c.rowsA[i * n + j];  // column-major
  const std::vector<creal_T> original = A;
  std::vector<creal_T> b = c.b;
  const std::int32_t ASize[2] = {n, n};
  const std::int32_t bSize[1] = {n};
  Rx_linsolve_p(A.data(), ASize, b.data(), bSize);
  for (std::int32_t i = 0; i < n; ++i) EXPECT_TRUE(sameComplex(b[i], c.want[i])) << "x" << i;
  for (std::size_t i = 0; i < A.size(); ++i) EXPECT_TRUE(sameComplex(A[i], original[i])) << i;
}
INSTANTIATE_TEST_SUITE_P(Linsolve, SolveTest, ::testing::ValuesIn(kSolve),
                         [](const auto& i) { return std::string(i.param.name); });

// Equal columns with b outside their span: the row exchange shows in the
// sign of the infinity (exchanging would give -inf for x2).
TEST(Linsolve, SingularSystemGivesInfinitiesWithoutExchangeOnTies) {
  const creal_T A[4] = {{1, 0}, {1, 0}, {1, 0}, {1, 0}};
  creal_T b[2] = {{1, 0}, {2, 0}};
  const std::int32_t ASize[2] = {2, 2};
  const std::int32_t bSize[1] = {2};
  Rx_linsolve_p(A, ASize, b, bSize);
  EXPECT_TRUE(sameBits(b[1].re, kInf));
  EXPECT_TRUE(sameBits(b[1].im, 0.0));
  EXPECT_TRUE(sameBits(b[0].re, -kInf));
  EXPECT_TRUE(std::isnan(b[0].im));
}

TEST(Linsolve, NaNInTheMatrixSpreads) {
  const creal_T A[4] = {{kNaN, 0}, {1, 0}, {1, 0}, {2, 0}};
  creal_T b[2] = {{1, 0}, {1, 0}};
  const std::int32_t ASize[2] = {2, 2};
  const std::int32_t bSize[1] = {2};
  Rx_linsolve_p(A, ASize, b, bSize);
  EXPECT_TRUE(std::isnan(b[0].re) || std::isnan(b[1].re));
}

TEST(Linsolve, MismatchedSizesLeaveTheRightHandSide) {
  const creal_T A[4] = {{1, 0}, {0, 0}, {0, 0}, {1, 0}};
  creal_T b[2] = {{5, 0}, {6, 0}};
  const std::int32_t ASize[2] = {2, 2};
  const std::int32_t bSize[1] = {1};
  Rx_linsolve_p(A, ASize, b, bSize);
  EXPECT_TRUE(sameComplex(b[0], {5, 0}));
  EXPECT_TRUE(sameComplex(b[1], {6, 0}));
  const std::int32_t notSquare[2] = {2, 1};
  const std::int32_t bSize2[1] = {2};
  Rx_linsolve_p(A, notSquare, b, bSize2);
  EXPECT_TRUE(sameComplex(b[0], {5, 0}));
}

// Larger systems are not used by the model but still solve correctly.
TEST(Linsolve, ThreeByThree) {
  // A = [[2, 1, 0], [1, 3, 1], [0, 1, 4]] (rows), x = (1, 2, 3).
  const creal_T A[9] = {{2, 0}, {1, 0}, {0, 0}, {1, 0}, {3, 0}, {1, 0}, {0, 0}, {1, 0}, {4, 0}};
  creal_T b[3] = {{4, 0}, {10, 0}, {14, 0}};
  const std::int32_t ASize[2] = {3, 3};
  const std::int32_t bSize[1] = {3};
  Rx_linsolve_p(A, ASize, b, bSize);
  EXPECT_NEAR(b[0].re, 1.0, 1e-14);
  EXPECT_NEAR(b[1].re, 2.0, 1e-14);
  EXPECT_NEAR(b[2].re, 3.0, 1e-14);
}

}  // namespace
