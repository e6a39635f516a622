// Rounding, remainders, moduli, powers, integer division and equality at
// their edges: NaN, infinities, signed zeros, ties and 32-bit limits.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "model/rt_nonfinite.h"
#include "numeric/scalar.h"
#include "tests/common/same_bits.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kQuietNaN = std::numeric_limits<double>::quiet_NaN();  // sign bit clear
const double kTwo52 = 4503599627370496.0;
const double kBelowHalf = 0.49999999999999994;  // largest double below 0.5

template <typename T>
std::string caseName(const ::testing::TestParamInfo<T>& i) {
  return std::string(i.param.name);
}

// ---------------------------------------------------------------- rounding
struct UnaryCase {
  const char* name;
  double in;
  double want;
};

const UnaryCase kRound[] = {
    {"half_up", 0.5, 1.0},
    {"half_down", -0.5, -1.0},
    {"one_and_half", 1.5, 2.0},
    {"minus_one_and_half", -1.5, -2.0},
    {"two_and_half_away_from_zero", 2.5, 3.0},
    {"minus_two_and_half_away_from_zero", -2.5, -3.0},
    {"below_half_is_zero_not_one", kBelowHalf, 0.0},
    {"above_minus_half_is_minus_zero", -kBelowHalf, -0.0},
    {"neg_small", -0.2, -0.0},
    {"neg_point_three", -0.3, -0.0},
    {"pos_small", 0.3, 0.0},
    {"zero", 0.0, 0.0},
    {"minus_zero", -0.0, -0.0},
    {"just_below_one_and_half", 1.4999999999999998, 1.0},
    {"large_odd_below_2_52", 4503599627370495.0, 4503599627370495.0},
    {"half_below_2_52", 4503599627370495.5, 4503599627370496.0},
    {"two_pow_52_plus_one_unchanged", kTwo52 + 1.0, kTwo52 + 1.0},
    {"minus_two_pow_52_minus_one_unchanged", -(kTwo52 + 1.0), -(kTwo52 + 1.0)},
    {"huge_unchanged", 1e300, 1e300},
    {"inf_unchanged", kInf, kInf},
    {"minus_inf_unchanged", -kInf, -kInf},
    {"nan_unchanged", rtNaN, rtNaN},
    {"positive_nan_unchanged", kQuietNaN, kQuietNaN},
};
class RoundTest : public ::testing::TestWithParam<UnaryCase> {};
TEST_P(RoundTest, Exact) { EXPECT_TRUE(sameBits(rt_roundd_snf(GetParam().in), GetParam().want)); }
INSTANTIATE_TEST_SUITE_P(Scalar, RoundTest, ::testing::ValuesIn(kRound), caseName<UnaryCase>);

// ------------------------------------------------- one-argument modulus by 2
const UnaryCase kModTwo[] = {
    {"minus_half", -0.5, 1.5},
    {"four", 4.0, 0.0},
    {"minus_four_is_plus_zero", -4.0, 0.0},
    {"minus_zero_is_plus_zero", -0.0, 0.0},
    {"three", 3.0, 1.0},
    {"minus_three", -3.0, 1.0},
    {"five_and_half", 5.5, 1.5},
    {"minus_five_and_half", -5.5, 0.5},
    // r + 2 rounds to 2 for a negative x too small to show against 2.
    {"tiny_negative_rounds_up_to_two", -1e-20, 2.0},
    {"nan", rtNaN, rtNaN},
    {"positive_nan_gives_the_model_nan", kQuietNaN, rtNaN},
    {"inf", kInf, rtNaN},
    {"minus_inf", -kInf, rtNaN},
};
class ModTwoTest : public ::testing::TestWithParam<UnaryCase> {};
TEST_P(ModTwoTest, Exact) { EXPECT_TRUE(sameBits(Rx_mod(GetParam().in), GetParam().want)); }
INSTANTIATE_TEST_SUITE_P(Scalar, ModTwoTest, ::testing::ValuesIn(kModTwo), caseName<UnaryCase>);

// ------------------------------------------------------ two-argument helpers
struct BinaryCase {
  const char* name;
  double x;
  double y;
  double want;
};

const BinaryCase kRem[] = {
    {"five_three", 5.0, 3.0, 2.0},
    {"minus_five_three", -5.0, 3.0, -2.0},
    {"five_minus_three", 5.0, -3.0, 2.0},
    {"minus_five_minus_three", -5.0, -3.0, -2.0},
    {"near_integer_quotient_is_zero", 0.3, 0.1, 0.0},
    {"near_integer_quotient_keeps_sign_of_x", -0.3, 0.1, -0.0},
    {"near_integer_quotient_negative_divisor", 0.3, -0.1, 0.0},
    {"exact_quotient_non_integer_divisor", 0.5, 0.25, 0.0},
    {"non_integer_divisor_plain_remainder", 1.0, 0.3, 0.10000000000000003},
    {"integer_divisor_has_no_tolerance", 2.5, 1.0, 0.5},
    {"exact_multiple", 6.0, 3.0, 0.0},
    {"exact_negative_multiple", -6.0, 3.0, -0.0},
    {"minus_zero_dividend", -0.0, 3.0, -0.0},
    {"inf_divisor", 1.0, kInf, 1.0},
    {"minus_inf_divisor", -1.0, -kInf, -1.0},
    {"inf_dividend", kInf, 1.0, rtNaN},
    {"nan_dividend", kQuietNaN, 1.0, rtNaN},
    {"nan_divisor", 1.0, kQuietNaN, rtNaN},
};
class RemTest : public ::testing::TestWithParam<BinaryCase> {};
TEST_P(RemTest, Exact) {
  const BinaryCase& c = GetParam();
  EXPECT_TRUE(sameBits(rt_remd_snf(c.x, c.y), c.want));
}
INSTANTIATE_TEST_SUITE_P(Scalar, RemTest, ::testing::ValuesIn(kRem), caseName<BinaryCase>);

TEST(Scalar, RemainderByZeroIsNaN) {
  EXPECT_TRUE(std::isnan(rt_remd_snf(1.0, 0.0)));
  EXPECT_TRUE(std::isnan(rt_remd_snf(0.0, 0.0)));
  EXPECT_TRUE(std::isnan(rt_remd_snf(-3.0, -0.0)));
}

// Floored modulus: cases where both variants agree.
const BinaryCase kModCommon[] = {
    {"minus_one_three", -1.0, 3.0, 2.0},
    {"one_minus_three", 1.0, -3.0, -2.0},
    {"minus_one_minus_three", -1.0, -3.0, -1.0},
    {"five_three", 5.0, 3.0, 2.0},
    {"x_mod_zero_is_x", 5.0, 0.0, 5.0},
    {"zero_mod_zero_is_y", 0.0, 0.0, 0.0},
    {"minus_zero_mod_zero_is_y", -0.0, 0.0, 0.0},
    {"zero_mod_minus_zero_is_y", 0.0, -0.0, -0.0},
    {"inf_mod_zero_is_inf", kInf, 0.0, kInf},
    {"nan_mod_zero_keeps_its_nan", kQuietNaN, 0.0, kQuietNaN},
    {"zero_takes_sign_of_y", 0.0, -3.0, -0.0},
    {"minus_zero_takes_sign_of_y", -0.0, 3.0, 0.0},
    {"minus_one_mod_inf", -1.0, kInf, kInf},
    {"one_mod_inf", 1.0, kInf, 1.0},
    {"one_mod_minus_inf", 1.0, -kInf, -kInf},
    {"minus_one_mod_minus_inf", -1.0, -kInf, -1.0},
    {"exact_multiple_is_plus_zero", 6.0, 3.0, 0.0},
    {"negative_exact_multiple_is_plus_zero", -6.0, 3.0, 0.0},
    {"exact_multiple_negative_divisor_is_minus_zero", 6.0, -3.0, -0.0},
    {"fraction", 5.5, 2.0, 1.5},
    {"negative_fraction", -5.5, 2.0, 0.5},
    {"negative_divisor_fraction", 7.5, -2.0, -0.5},
    {"nan_dividend", kQuietNaN, 3.0, rtNaN},
    {"nan_divisor", 3.0, kQuietNaN, rtNaN},
    {"inf_dividend", kInf, 3.0, rtNaN},
};
class ModTest : public ::testing::TestWithParam<BinaryCase> {};
TEST_P(ModTest, BothVariantsExact) {
  const BinaryCase& c = GetParam();
  EXPECT_TRUE(sameBits(Rx_mod_p(c.x, c.y), c.want)) << "Rx_mod_p";
  EXPECT_TRUE(sameBits(Rx_mod(c.x, c.y), c.want)) << "Rx_mod";
}
INSTANTIATE_TEST_SUITE_P(Scalar, ModTest, ::testing::ValuesIn(kModCommon), caseName<BinaryCase>);

// Non-integer divisors whose quotient is within 2^-52 of an integer: only the
// two-argument Rx_mod treats the remainder as zero.
struct ModToleranceCase {
  const char* name;
  double x;
  double y;
  double wantPlain;     // Rx_mod_p
  double wantTolerant;  // Rx_mod
};
const ModToleranceCase kModTolerance[] = {
    {"point_three_by_point_one", 0.3, 0.1, 0.09999999999999998, 0.0},
    {"minus_point_three_by_point_one", -0.3, 0.1, 2.7755575615628914e-17, 0.0},
    {"point_three_by_minus_point_one", 0.3, -0.1, -2.7755575615628914e-17, -0.0},
    {"far_from_integer", 1.0, 0.3, 0.10000000000000003, 0.10000000000000003},
};
class ModToleranceTest : public ::testing::TestWithParam<ModToleranceCase> {};
TEST_P(ModToleranceTest, Exact) {
  const ModToleranceCase& c = GetParam();
  EXPECT_TRUE(sameBits(Rx_mod_p(c.x, c.y), c.wantPlain)) << "Rx_mod_p";
  EXPECT_TRUE(sameBits(Rx_mod(c.x, c.y), c.wantTolerant)) << "Rx_mod";
}
INSTANTIATE_TEST_SUITE_P(Scalar, ModToleranceTest, ::testing::ValuesIn(kModTolerance),
                         caseName<ModToleranceCase>);

// ------------------------------------------------------------------- power
const BinaryCase kPow[] = {
    {"negative_base_fractional_exponent", -8.0, 1.0 / 3.0, rtNaN},
    {"negative_base_integer_exponent", -2.0, 3.0, -8.0},
    {"negative_base_larger_integer_exponent", -8.0, 3.0, -512.0},
    {"negative_base_negative_integer_exponent", -2.0, -2.0, 0.25},
    {"zero_to_zero", 0.0, 0.0, 1.0},
    {"inf_to_zero", kInf, 0.0, 1.0},
    {"minus_zero_exponent", 5.0, -0.0, 1.0},
    {"nan_base_zero_exponent_is_nan", kQuietNaN, 0.0, rtNaN},
    {"one_to_nan_is_nan", 1.0, kQuietNaN, rtNaN},
    {"half_to_minus_inf", 0.5, -kInf, kInf},
    {"half_to_inf", 0.5, kInf, 0.0},
    {"two_to_inf", 2.0, kInf, kInf},
    {"two_to_minus_inf", 2.0, -kInf, 0.0},
    {"minus_two_to_inf", -2.0, kInf, kInf},
    {"minus_one_to_inf", -1.0, kInf, 1.0},
    {"one_to_minus_inf", 1.0, -kInf, 1.0},
    {"square_root", 2.0, 0.5, 1.4142135623730951},
    {"square_root_of_minus_zero_is_minus_zero", -0.0, 0.5, -0.0},
    {"square_root_of_negative", -4.0, 0.5, rtNaN},
    {"exponent_one", 3.0, 1.0, 3.0},
    {"exponent_minus_one", 4.0, -1.0, 0.25},
    {"zero_to_minus_one", 0.0, -1.0, kInf},
    {"minus_zero_to_minus_one", -0.0, -1.0, -kInf},
    {"square_is_a_product", 1.1, 2.0, 1.2100000000000002},
    {"general", 2.0, 10.0, 1024.0},
};
class PowTest : public ::testing::TestWithParam<BinaryCase> {};
TEST_P(PowTest, Exact) {
  const BinaryCase& c = GetParam();
  EXPECT_TRUE(sameBits(Rx_rt_powd_snf(c.x, c.y), c.want));
}
INSTANTIATE_TEST_SUITE_P(Scalar, PowTest, ::testing::ValuesIn(kPow), caseName<BinaryCase>);

// --------------------------------------------------------- integer division
struct DivCase {
  const char* name;
  std::int32_t n;
  std::int32_t d;
  std::int32_t wantPlain;      // div_s32
  std::int32_t wantSaturated;  // div_s32_sat
};
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
const DivCase kDiv[] = {
    {"seven_by_minus_two", 7, -2, -3, -3},
    {"minus_seven_by_two", -7, 2, -3, -3},
    {"minus_seven_by_minus_two", -7, -2, 3, 3},
    {"minus_seven_by_zero", -7, 0, kMin, kMin},
    {"seven_by_zero", 7, 0, kMax, kMax},
    {"zero_by_zero", 0, 0, kMax, kMax},
    {"min_by_minus_one", kMin, -1, kMin, kMax},
    {"min_by_one", kMin, 1, kMin, kMin},
    {"min_by_two", kMin, 2, -1073741824, -1073741824},
    {"min_by_min", kMin, kMin, 1, 1},
    {"max_by_minus_one", kMax, -1, -kMax, -kMax},
    {"max_by_one", kMax, 1, kMax, kMax},
    {"zero_by_minus_five", 0, -5, 0, 0},
};
class DivTest : public ::testing::TestWithParam<DivCase> {};
TEST_P(DivTest, Exact) {
  const DivCase& c = GetParam();
  EXPECT_EQ(div_s32(c.n, c.d), c.wantPlain);
  EXPECT_EQ(div_s32_sat(c.n, c.d), c.wantSaturated);
}
INSTANTIATE_TEST_SUITE_P(Scalar, DivTest, ::testing::ValuesIn(kDiv), caseName<DivCase>);

// ----------------------------------------------------------------- equality
struct EqualCase {
  const char* name;
  double u[4];
  double v[4];
  bool want;
};
const EqualCase kEqual[] = {
    {"equal", {1, 2, 3, 4}, {1, 2, 3, 4}, true},
    {"signed_zeros_are_equal", {0.0, -0.0, 1, 1}, {-0.0, 0.0, 1, 1}, true},
    {"last_differs", {1, 2, 3, 4}, {1, 2, 3, 5}, false},
    {"first_differs", {0, 2, 3, 4}, {1, 2, 3, 4}, false},
    {"nan_in_both_at_same_place", {1, kQuietNaN, 3, 4}, {1, kQuietNaN, 3, 4}, false},
    {"infinities", {kInf, -kInf, 0, 0}, {kInf, -kInf, 0, 0}, true},
};
class EqualTest : public ::testing::TestWithParam<EqualCase> {};
TEST_P(EqualTest, Result) {
  EXPECT_EQ(Rx_isequal(GetParam().u, GetParam().v), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Scalar, EqualTest, ::testing::ValuesIn(kEqual), caseName<EqualCase>);

struct EqualNCase {
  const char* name;
  double a;
  double b;
  bool want;
};
const EqualNCase kEqualN[] = {
    {"nan_nan", rtNaN, kQuietNaN, true},
    {"nan_one", rtNaN, 1.0, false},
    {"one_nan", 1.0, rtNaN, false},
    {"signed_zeros", 0.0, -0.0, true},
    {"ones", 1.0, 1.0, true},
    {"one_two", 1.0, 2.0, false},
    {"infinities", kInf, kInf, true},
    {"opposite_infinities", kInf, -kInf, false},
};
class EqualNTest : public ::testing::TestWithParam<EqualNCase> {};
TEST_P(EqualNTest, Result) {
  EXPECT_EQ(Rx_isequaln(GetParam().a, GetParam().b), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Scalar, EqualNTest, ::testing::ValuesIn(kEqualN), caseName<EqualNCase>);

}  // namespace
