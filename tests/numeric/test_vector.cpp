// Interpolation, rotation, blocked sums, differences, scalar expansion,
// maxima, colon rows and the coefficient kernels.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/rt_nonfinite.h"
#include "numeric/vector.h"
#include "tests/common/same_bits.h"
#include "tests/numeric/dyn_helpers.h"

namespace {

using Vec = std::vector<double>;
const double kInf = std::numeric_limits<double>::infinity();
const double kQuietNaN = std::numeric_limits<double>::quiet_NaN();
const double kTiny = 1.1102230246251565e-16;  // 2^-53: lost when added to 1 alone

template <typename T>
std::string caseName(const ::testing::TestParamInfo<T>& i) {
  return std::string(i.param.name);
}

// ------------------------------------------------------------ 12-point table
const double kAscX[12] = {0.0, 0.3, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 12.0};
const double kAscY[12] = {1.0, 2.0, 7.7, 7.7, 30.0, 40.0, 50.0, 60.0, 70.0, 80.0, 90.0, 120.0};

struct Interp1Case {
  const char* name;
  double q;
  double want;
};
const Interp1Case kInterp1[] = {
    {"first_knot", 0.0, 1.0},
    {"last_knot", 12.0, 120.0},
    {"beyond_last", 12.5, rtNaN},
    {"before_first", -0.1, rtNaN},
    {"nan_query", kQuietNaN, rtNaN},
    {"interior_knot", 5.0, 50.0},
    // r = 0.1 / 0.3; y1 * r + (1 - r) * y0 in that order.
    {"weighted_in_that_order", 0.1, 1.3333333333333335},
    // The weighted form would give 7.699999999999999 here.
    {"equal_neighbours_give_y_exactly", 1.2, 7.7},
    {"midpoint", 2.5, 18.85},
    {"last_interval", 10.5, 105.0},
};
class Interp1Test : public ::testing::TestWithParam<Interp1Case> {};
TEST_P(Interp1Test, Ascending) {
  EXPECT_TRUE(sameBits(Rx_interp1(kAscX, kAscY, GetParam().q), GetParam().want));
}
TEST_P(Interp1Test, DescendingTableGivesTheSameAnswers) {
  double x[12];
  double y[12];
  for (int k = 0; k < 12; ++k) {
    x[k] = kAscX[11 - k];
    y[k] = kAscY[11 - k];
  }
  EXPECT_TRUE(sameBits(Rx_interp1(x, y, GetParam().q), GetParam().want));
}
INSTANTIATE_TEST_SUITE_P(Vector, Interp1Test, ::testing::ValuesIn(kInterp1),
                         caseName<Interp1Case>);

TEST(Vector, Interp1OnTheUnitGrid) {
  double x[12];
  double y[12];
  for (int k = 0; k < 12; ++k) {
    x[k] = k + 1.0;
    y[k] = 10.0 * (k + 1.0);
  }
  EXPECT_TRUE(sameBits(Rx_interp1(x, y, 1.5), 15.0));
  EXPECT_TRUE(sameBits(Rx_interp1(x, y, 12.0), 120.0));
  EXPECT_TRUE(sameBits(Rx_interp1(x, y, 12.5), rtNaN));
}

TEST(Vector, Interp1NaNInTheTableGivesNaN) {
  double x[12];
  for (int k = 0; k < 12; ++k) x[k] = kAscX[k];
  x[7] = kQuietNaN;
  EXPECT_TRUE(sameBits(Rx_interp1(x, kAscY, 1.0), rtNaN));
}

// ------------------------------------------------------------ two points
struct Interp1jCase {
  const char* name;
  double x[2];
  double y[2];
  double want;
};
const Interp1jCase kInterp1j[] = {
    {"symmetric", {-1.0, 1.0}, {0.0, 2.0}, 1.0},
    {"swapped_points", {1.0, -1.0}, {2.0, 0.0}, 1.0},
    {"zero_outside_above", {1.0, 2.0}, {5.0, 7.0}, rtNaN},
    {"zero_outside_below", {-2.0, -1.0}, {5.0, 7.0}, rtNaN},
    {"zero_at_first", {0.0, 1.0}, {3.0, 4.0}, 3.0},
    {"zero_at_second", {-1.0, 0.0}, {3.0, 4.0}, 4.0},
    {"equal_values_exact", {-0.3, 0.7}, {0.1, 0.1}, 0.1},
    // r = 0.3: y2 * r + y1 * (1 - r).
    {"weighted_in_that_order", {-0.3, 0.7}, {1.0, 2.0}, 1.2999999999999998},
    {"nan_first", {kQuietNaN, 1.0}, {1.0, 2.0}, rtNaN},
    {"nan_second", {-1.0, kQuietNaN}, {1.0, 2.0}, rtNaN},
};
class Interp1jTest : public ::testing::TestWithParam<Interp1jCase> {};
TEST_P(Interp1jTest, Exact) {
  EXPECT_TRUE(sameBits(Rx_interp1_j(GetParam().x, GetParam().y), GetParam().want));
}
INSTANTIATE_TEST_SUITE_P(Vector, Interp1jTest, ::testing::ValuesIn(kInterp1j),
                         caseName<Interp1jCase>);

// --------------------------------------------------------------- rotation
struct ShiftCase {
  const char* name;
  Vec in;
  Vec want;
};
const ShiftCase kShift[] = {
    {"three", {1, 2, 3}, {3, 1, 2}},
    {"two", {-0.0, 5}, {5, -0.0}},
    {"one", {7}, {7}},
    {"empty", {}, {}},
};
class ShiftTest : public ::testing::TestWithParam<ShiftCase> {};
TEST_P(ShiftTest, BothNames) {
  RealArray a(1);
  setVector(a, GetParam().in);
  Rx_circshift_i(a.get());
  EXPECT_TRUE(sameBits(contents(a.get()), GetParam().want));
  RealArray b(1);
  setVector(b, GetParam().in);
  Rx_circshift_o(b.get());
  EXPECT_TRUE(sameBits(contents(b.get()), GetParam().want));
}
INSTANTIATE_TEST_SUITE_P(Vector, ShiftTest, ::testing::ValuesIn(kShift), caseName<ShiftCase>);

// ------------------------------------------------------------ blocked sum
// Vectors that tell the block order apart: 1 followed by 2^-53 terms, which
// vanish when added to 1 one at a time but not when summed in a block first.
struct SumCase {
  const char* name;
  Vec values;
  double want;
};
Vec oneThenTinies(std::size_t n, std::initializer_list<std::size_t> tinyAt) {
  Vec v(n, 0.0);
  v[0] = 1.0;
  for (std::size_t k : tinyAt) v[k] = kTiny;
  return v;
}
Vec oneThenAllTiny(std::size_t n) {
  Vec v(n, kTiny);
  v[0] = 1.0;
  return v;
}
const SumCase kSum[] = {
    {"empty", {}, 0.0},
    {"single_minus_zero", {-0.0}, -0.0},
    {"minus_zeros", {-0.0, -0.0}, -0.0},
    {"small", {1, 2, 3.5}, 6.5},
    // First block sums left to right: its 1023 tinies are lost one by one.
    {"first_block_left_to_right", oneThenAllTiny(1024), 1.0},
    // Element 1025 onward is a block of its own: three tinies make 3 * 2^-53 first.
    {"second_block_summed_on_its_own", oneThenTinies(1027, {1024, 1025, 1026}),
     1.0000000000000004},
    // 1024 tinies in block two add 2^-43; the first block's 1023 are still lost.
    {"two_full_blocks", oneThenAllTiny(2048), 1.0000000000001137},
    // Block sums go into the total one after another, not summed together first.
    {"block_sums_added_in_turn", oneThenTinies(2100, {1024, 2048}), 1.0},
    {"nan_spreads", {1, kQuietNaN, 2}, kQuietNaN},
    {"infinities_cancel_to_nan", {kInf, -kInf}, -kQuietNaN},
};
class SumTest : public ::testing::TestWithParam<SumCase> {};
TEST_P(SumTest, BothNames) {
  RealArray a(1);
  setVector(a, GetParam().values);
  const double want = GetParam().want;
  const double got = Rx_sum(a.get());
  const double gotG = Rx_sum_g(a.get());
  if (std::isnan(want)) {
    EXPECT_TRUE(std::isnan(got));
    EXPECT_TRUE(std::isnan(gotG));
  } else {
    EXPECT_TRUE(sameBits(got, want));
    EXPECT_TRUE(sameBits(gotG, want));
  }
}
INSTANTIATE_TEST_SUITE_P(Vector, SumTest, ::testing::ValuesIn(kSum), caseName<SumCase>);

// ------------------------------------------------------------ differences
struct DiffCase {
  const char* name;
  Vec in;
  Vec want;
};
const DiffCase kDiff[] = {
    {"squares", {1, 4, 9}, {3, 5}},
    {"two", {0.1, 0.3}, {0.19999999999999998}},
    {"one_gives_empty", {5}, {}},
    {"empty_gives_empty", {}, {}},
    {"repeated_value_is_zero", {2, 2, -0.0, 0.0}, {0, -2, 0}},
};
class DiffTest : public ::testing::TestWithParam<DiffCase> {};
TEST_P(DiffTest, BothNamesGiveARow) {
  for (auto fn : {Rx_diff, Rx_diff_m}) {
    RealArray x(2);
    setRow(x, GetParam().in);
    RealArray y(2);
    ASSERT_TRUE(fn(x.get(), y.get()));
    EXPECT_EQ(sizesOf(y.get()),
              (std::vector<std::int32_t>{1, static_cast<std::int32_t>(GetParam().want.size())}));
    EXPECT_TRUE(sameBits(contents(y.get()), GetParam().want));
  }
}
TEST_P(DiffTest, InPlace) {
  RealArray x(2);
  setRow(x, GetParam().in);
  ASSERT_TRUE(Rx_diff(x.get(), x.get()));
  EXPECT_TRUE(sameBits(contents(x.get()), GetParam().want));
}
INSTANTIATE_TEST_SUITE_P(Vector, DiffTest, ::testing::ValuesIn(kDiff), caseName<DiffCase>);

// ------------------------------------------------------- scalar expansion
struct PlusCase {
  const char* name;
  Vec x;
  Vec y;
  bool ok;
  Vec want;
};
const PlusCase kPlus[] = {
    {"scalar_y", {1, 2, 3}, {10}, true, {11, 12, 13}},
    {"scalar_x", {1}, {1, 2}, true, {2, 3}},
    {"same_length", {1, 2}, {0.5, -2}, true, {1.5, 0}},
    {"both_scalar", {-0.0}, {-0.0}, true, {-0.0}},
    {"scalar_x_empty_y", {4}, {}, true, {}},
    {"empty_x_scalar_y", {}, {4}, true, {}},
    {"scalar_x_grows_past_capacity", {1}, Vec(40, 0.25), true, Vec(40, 1.25)},
    {"lengths_disagree_leave_x", {1, 2, 3}, {1, 2}, false, {1, 2, 3}},
};
class PlusTest : public ::testing::TestWithParam<PlusCase> {};
TEST_P(PlusTest, Result) {
  const PlusCase& c = GetParam();
  RealArray x(1);
  setVector(x, c.x);
  RealArray y(1);
  setVector(y, c.y);
  EXPECT_EQ(Rx_plus(x.get(), y.get()), c.ok);
  EXPECT_TRUE(sameBits(contents(x.get()), c.want));
  EXPECT_TRUE(sameBits(contents(y.get()), c.y));  // y is left alone
}
INSTANTIATE_TEST_SUITE_P(Vector, PlusTest, ::testing::ValuesIn(kPlus), caseName<PlusCase>);

TEST(Vector, PlusOfAnArrayWithItself) {
  RealArray x(1);
  setVector(x, {1, 2.5});
  ASSERT_TRUE(Rx_plus(x.get(), x.get()));
  EXPECT_TRUE(sameBits(contents(x.get()), Vec{2, 5}));
}

struct OrCase {
  const char* name;
  std::vector<bool> x;
  std::vector<bool> y;
  bool ok;
  std::vector<bool> want;
};
const OrCase kOr[] = {
    {"elementwise", {false, true, false, true}, {false, false, true, true}, true,
     {false, true, true, true}},
    {"scalar_y_true", {false, false, false}, {true}, true, {true, true, true}},
    {"scalar_y_false", {false, true, false}, {false}, true, {false, true, false}},
    {"scalar_x", {true}, {false, false}, true, {true, true}},
    {"empty", {}, {}, true, {}},
    {"lengths_disagree", {true, false}, {true, false, true}, false, {}},
};
class OrTest : public ::testing::TestWithParam<OrCase> {};
TEST_P(OrTest, Result) {
  const OrCase& c = GetParam();
  BoolArray x(1);
  setVector(x, c.x);
  BoolArray y(1);
  setVector(y, c.y);
  BoolArray z(1);
  EXPECT_EQ(Rx_or(z.get(), x.get(), y.get()), c.ok);
  if (c.ok) {
    const auto got = contents(z.get());
    EXPECT_EQ(std::vector<bool>(got.begin(), got.end()), c.want);
  }
}
TEST_P(OrTest, IntoItsOwnInput) {
  const OrCase& c = GetParam();
  if (!c.ok) return;
  BoolArray x(1);
  setVector(x, c.x);
  BoolArray y(1);
  setVector(y, c.y);
  ASSERT_TRUE(Rx_or(x.get(), x.get(), y.get()));
  const auto got = contents(x.get());
  EXPECT_EQ(std::vector<bool>(got.begin(), got.end()), c.want);
}
INSTANTIATE_TEST_SUITE_P(Vector, OrTest, ::testing::ValuesIn(kOr), caseName<OrCase>);

TEST(Vector, AnyOfARow) {
  const boolean_T none[3] = {false, false, false};
  const boolean_T last[3] = {false, false, true};
  const std::int32_t size3[2] = {1, 3};
  const std::int32_t size0[2] = {1, 0};
  const std::int32_t negative[2] = {1, -4};
  EXPECT_FALSE(Rx_any(none, size3));
  EXPECT_TRUE(Rx_any(last, size3));
  EXPECT_FALSE(Rx_any(last, size0));
  EXPECT_FALSE(Rx_any(last, negative));
}

// ------------------------------------------------------------------ maxima
struct MaxCase {
  const char* name;
  Vec in;
  double want;
  std::int32_t wantIndex;
};
const MaxCase kMax[] = {
    {"leading_nan_skipped_first_tie_wins", {kQuietNaN, 3, 7, 7}, 7, 3},
    {"all_nan", {rtNaN, kQuietNaN, kQuietNaN}, rtNaN, 1},
    {"pair_tie_takes_first", {2, 2}, 2, 1},
    {"pair_nan_first", {kQuietNaN, 5}, 5, 2},
    {"pair_nan_second", {5, kQuietNaN}, 5, 1},
    {"pair_both_nan", {rtNaN, kQuietNaN}, rtNaN, 1},
    {"pair_second_larger", {-1, 0}, 0, 2},
    {"single", {4}, 4, 1},
    {"single_nan", {kQuietNaN}, kQuietNaN, 1},
    {"signed_zero_tie_takes_first", {-0.0, 0.0, -1}, -0.0, 1},
    {"pair_signed_zero_tie_takes_first", {0.0, -0.0}, 0.0, 1},
    {"minus_infinities_and_nan", {-kInf, -kInf, kQuietNaN}, -kInf, 1},
    {"nan_in_the_middle", {1, kQuietNaN, 3, kQuietNaN, 2}, 3, 3},
    {"later_tie_ignored", {1, 3, 2, 3}, 3, 2},
    {"only_last_is_a_number", {kQuietNaN, kQuietNaN, -2}, -2, 3},
};
class MaxTest : public ::testing::TestWithParam<MaxCase> {};
TEST_P(MaxTest, AllForms) {
  const MaxCase& c = GetParam();
  RealArray x(1);
  setVector(x, c.in);
  double value = 0.0;
  std::int32_t index = -1;
  Rx_maximum_bx(x.get(), &value, &index);
  EXPECT_TRUE(sameBits(value, c.want));
  EXPECT_EQ(index, c.wantIndex);
  EXPECT_TRUE(sameBits(Rx_maximum_b(x.get()), c.want));
  EXPECT_TRUE(sameBits(Rx_maximum(static_cast<const dynArray_real_T*>(x.get())), c.want));
}
INSTANTIATE_TEST_SUITE_P(Vector, MaxTest, ::testing::ValuesIn(kMax), caseName<MaxCase>);

TEST(Vector, MaximumOfNothingReportsNoPosition) {
  RealArray x(1);
  double value = 0.0;
  std::int32_t index = -1;
  Rx_maximum_bx(x.get(), &value, &index);
  EXPECT_TRUE(std::isnan(value));
  EXPECT_EQ(index, 0);
}

struct PairCase {
  const char* name;
  double x[2];
  double wantMax;
  double wantMin;
};
const PairCase kPair[] = {
    {"ascending", {1, 2}, 2, 1},
    {"descending", {2, 1}, 2, 1},
    {"nan_first", {kQuietNaN, 1}, 1, 1},
    {"nan_second", {1, kQuietNaN}, 1, 1},
    {"both_nan_gives_the_model_nan", {kQuietNaN, kQuietNaN}, rtNaN, rtNaN},
    {"minus_zero_first", {-0.0, 0.0}, -0.0, -0.0},
    {"plus_zero_first", {0.0, -0.0}, 0.0, 0.0},
    {"infinities", {-kInf, kInf}, kInf, -kInf},
};
class PairTest : public ::testing::TestWithParam<PairCase> {};
TEST_P(PairTest, Exact) {
  EXPECT_TRUE(sameBits(Rx_maximum(GetParam().x), GetParam().wantMax));
  EXPECT_TRUE(sameBits(Rx_minimum(GetParam().x), GetParam().wantMin));
}
INSTANTIATE_TEST_SUITE_P(Vector, PairTest, ::testing::ValuesIn(kPair), caseName<PairCase>);

// ------------------------------------------------------------- colon rows
struct ColonCase {
  const char* name;
  bool stepTwo;
  double a;
  double b;
  bool ok;
  Vec want;
};
const double kJustBelowOne = 1.0 - kTiny;
const double kThreeUp = 3.0000000000000004;  // 3 + 1 ulp
const ColonCase kColon[] = {
    {"zero_to_four", false, 0, 4, true, {0, 1, 2, 3, 4}},
    {"one_to_zero_is_empty", false, 1, 0, true, {}},
    {"ends_exactly_at_b", false, 0, kJustBelowOne, true, {0, kJustBelowOne}},
    {"ends_exactly_at_b_above", false, 0, kThreeUp, true, {0, 1, kThreeUp - 1, kThreeUp}},
    {"beyond_rounding_ends_at_a_step", false, 0, 3.0000000001, true, {0, 1, 2, 3}},
    {"single", false, 0, 0, true, {0}},
    {"rounds_down", false, 0, 2.4, true, {0, 1, 2}},
    {"candidate_past_b_drops_one", false, 0, 2.6, true, {0, 1, 2}},
    {"fractional_start", false, 0.5, 3, true, {0.5, 1.5, 2.5}},
    {"symmetric_odd", false, -2, 2, true, {-2, -1, 0, 1, 2}},
    // Built from both ends: the upper half counts down from b.
    {"odd_from_both_ends", false, 0.1, 6.1, true,
     {0.1, 0.1 + 1, 0.1 + 2, (0.1 + 6.1) / 2, 6.1 - 2, 6.1 - 1, 6.1}},
    {"nine_from_both_ends", false, 0.2, 8.2, true,
     {0.2, 0.2 + 1, 0.2 + 2, 0.2 + 3, (0.2 + 8.2) / 2, 8.2 - 3, 8.2 - 2, 8.2 - 1, 8.2}},
    {"five_from_both_ends", false, 0.1, 4.1, true, {0.1, 0.1 + 1, (0.1 + 4.1) / 2, 4.1 - 1, 4.1}},
    {"even_from_both_ends", false, 0.1, 5.1, true,
     {0.1, 0.1 + 1, 0.1 + 2, 5.1 - 2, 5.1 - 1, 5.1}},
    {"nan_start_is_empty", false, kQuietNaN, 1, true, {}},
    {"nan_end_is_empty", false, 0, kQuietNaN, true, {}},
    {"negative_count_is_empty", false, 0, -1.6, true, {}},
    {"infinite_end_fails", false, 0, kInf, false, {}},
    {"infinite_start_fails", false, -kInf, 0, false, {}},
    {"count_beyond_32_bits_fails", false, 0, 3e9, false, {}},
    {"step_two", true, 1, 6, true, {1, 3, 5}},
    {"step_two_exact_end", true, 1, 7, true, {1, 3, 5, 7}},
    {"step_two_symmetric_even", true, -3, 3, true, {-3, -1, 1, 3}},
    {"step_two_single", true, 0, 0.9, true, {0}},
    {"step_two_empty", true, 1, 0, true, {}},
};
class ColonTest : public ::testing::TestWithParam<ColonCase> {};
TEST_P(ColonTest, Row) {
  const ColonCase& c = GetParam();
  RealArray y(2);
  setRow(y, {9, 9, 9});  // whatever the row held before is replaced
  const bool ok = c.stepTwo ? Rx_float_colon_i(c.a, c.b, y.get()) : Rx_float_colon(c.a, c.b, y.get());
  EXPECT_EQ(ok, c.ok);
  EXPECT_EQ(sizesOf(y.get()),
            (std::vector<std::int32_t>{1, static_cast<std::int32_t>(c.want.size())}));
  EXPECT_TRUE(sameBits(contents(y.get()), c.want));
}
INSTANTIATE_TEST_SUITE_P(Vector, ColonTest, ::testing::ValuesIn(kColon), caseName<ColonCase>);

TEST(Vector, ColonBuildsTheUpperHalfFromTheEnd) {
  // Guards the cases above: counting up from a would give other bits.
  EXPECT_FALSE(sameBits(5.1 - 2, 0.1 + 3));
  EXPECT_FALSE(sameBits(8.2 - 3, 0.2 + 5));
  EXPECT_FALSE(sameBits(4.1 - 1, 0.1 + 3));
}

// ------------------------------------------------------- expression kernels
struct Expand5Case {
  const char* name;
  Vec x;
  Vec y;
  Vec want;
};
const Expand5Case kExpand5[] = {
    {"scalar_y", {2, 3, 4}, {10}, {10, 20, 30}},
    {"scalar_x", {3}, {1, 2, 3}, {2, 4, 6}},
    {"same_length", {1.5, 2.5}, {2, 4}, {1, 6}},
    {"rounding_of_x_minus_one_first", {1.1}, {3}, {(1.1 - 1) * 3}},
    {"lengths_disagree_take_the_common_part", {2, 3, 4}, {1, 1}, {1, 2}},
    {"empty_y", {2}, {}, {}},
};
class Expand5Test : public ::testing::TestWithParam<Expand5Case> {};
TEST_P(Expand5Test, Row) {
  const Expand5Case& c = GetParam();
  double x[8] = {0};
  for (std::size_t k = 0; k < c.x.size(); ++k) x[k] = c.x[k];
  std::int32_t xSize[2] = {1, static_cast<std::int32_t>(c.x.size())};
  const std::int32_t ySize[2] = {1, static_cast<std::int32_t>(c.y.size())};
  Rx_binary_expand_op_iakme5(x, xSize, c.y.data(), ySize);
  ASSERT_EQ(xSize[0], 1);
  ASSERT_EQ(xSize[1], static_cast<std::int32_t>(c.want.size()));
  EXPECT_TRUE(sameBits(Vec(x, x + xSize[1]), c.want));
}
INSTANTIATE_TEST_SUITE_P(Vector, Expand5Test, ::testing::ValuesIn(kExpand5),
                         caseName<Expand5Case>);

// acc + w[k] * v[lo .. hi], each part in the order
// (v.re * w.re - v.im * w.im + acc.re, v.re * w.im + v.im * w.re + acc.im).
creal_T fma3(creal_T v, creal_T w, creal_T acc) {
  return {v.re * w.re - v.im * w.im + acc.re, v.re * w.im + v.im * w.re + acc.im};
}

TEST(Vector, ExpandAccumulateElementwise) {
  const creal_T w[3] = {{9, 9}, {0.3, -0.7}, {9, 9}};
  const creal_T v[5] = {{8, 8}, {0.1, 0.2}, {1.0, 0.1}, {-0.5, 0.25}, {8, 8}};
  creal_T acc[3] = {{1, 1}, {2, -2}, {0.1, 0.3}};
  const creal_T before[3] = {acc[0], acc[1], acc[2]};
  std::int32_t accSize[1] = {3};
  Rx_binary_expand_op_iakme(acc, accSize, w, 1, v, 1, 3);
  ASSERT_EQ(accSize[0], 3);
  for (int j = 0; j < 3; ++j) {
    const creal_T want = fma3(v[1 + j], w[1], before[j]);
    EXPECT_TRUE(sameBits(acc[j].re, want.re)) << j;
    EXPECT_TRUE(sameBits(acc[j].im, want.im)) << j;
  }
  // The product difference comes first; adding acc.re earlier rounds otherwise.
  EXPECT_TRUE(sameBits(acc[1].re, 2.37));
  EXPECT_FALSE(sameBits(acc[1].re, 1.0 * 0.3 + 2.0 - 0.1 * -0.7));
}

TEST(Vector, ExpandAccumulateSingleSourceElementKeepsTheLength) {
  const creal_T w[1] = {{2, 1}};
  const creal_T v[3] = {{7, 7}, {1, -1}, {7, 7}};
  creal_T acc[4] = {{0, 0}, {1, 0}, {0, 1}, {-1, -1}};
  const creal_T before[4] = {acc[0], acc[1], acc[2], acc[3]};
  std::int32_t accSize[1] = {4};
  Rx_binary_expand_op_iakme(acc, accSize, w, 0, v, 1, 1);
  ASSERT_EQ(accSize[0], 4);
  for (int j = 0; j < 4; ++j) {
    const creal_T want = fma3(v[1], w[0], before[j]);
    EXPECT_TRUE(sameBits(acc[j].re, want.re)) << j;
    EXPECT_TRUE(sameBits(acc[j].im, want.im)) << j;
  }
}

TEST(Vector, ExpandAccumulateScalarAccumulatorGrows) {
  const creal_T w[1] = {{0.5, 0}};
  const creal_T v[2] = {{2, 4}, {6, 8}};
  creal_T acc[2] = {{10, 20}, {99, 99}};
  std::int32_t accSize[1] = {1};
  Rx_binary_expand_op_iakme(acc, accSize, w, 0, v, 0, 1);
  ASSERT_EQ(accSize[0], 2);
  EXPECT_TRUE(sameBits(acc[0].re, 11.0));
  EXPECT_TRUE(sameBits(acc[0].im, 22.0));
  EXPECT_TRUE(sameBits(acc[1].re, 13.0));
  EXPECT_TRUE(sameBits(acc[1].im, 24.0));
}

TEST(Vector, ExpandAccumulateEmptyRange) {
  const creal_T w[1] = {{1, 0}};
  const creal_T v[1] = {{1, 0}};
  creal_T acc[2] = {{1, 1}, {2, 2}};
  std::int32_t accSize[1] = {2};
  Rx_binary_expand_op_iakme(acc, accSize, w, 0, v, 0, -1);
  EXPECT_EQ(accSize[0], 0);
}

}  // namespace
