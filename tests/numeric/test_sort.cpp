// Both sorts: ascending, stable (signed zeros show the order of equal values),
// NaNs last in input order (NaN payloads show their order).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/rt_nonfinite.h"
#include "numeric/vector.h"
#include "tests/common/same_bits.h"

namespace {

using Vec = std::vector<double>;

double fromBits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

const double kInf = std::numeric_limits<double>::infinity();
// Distinct quiet NaNs, so that their final order is visible.
const double kNaN1 = fromBits(0x7ff8000000000001ULL);
const double kNaN2 = fromBits(0xfff8000000000002ULL);
const double kNaN3 = fromBits(0x7ff8000000000003ULL);

// Stable ascending order with NaNs behind every number, NaNs in input order.
Vec reference(Vec v) {
  std::stable_sort(v.begin(), v.end(), [](double a, double b) {
    return !std::isnan(a) && (std::isnan(b) || a < b);
  });
  return v;
}

Vec sortedByL(Vec v) {
  const std::int32_t size[2] = {1, static_cast<std::int32_t>(v.size())};
  EXPECT_TRUE(Rx_sort_l(v.data(), size, 2));
  return v;
}

// Values with many ties, both zeros and several NaNs.
Vec randomVector(std::mt19937& rng, std::size_t n, bool wide) {
  static const double pool[] = {-1.0, -0.0, 0.0, 1.0, 2.0, 2.5, -kInf, kInf, kNaN1, kNaN2, kNaN3};
  std::uniform_int_distribution<int> pick(0, sizeof pool / sizeof pool[0] - 1);
  std::uniform_real_distribution<double> real(-100.0, 100.0);
  std::uniform_int_distribution<int> coin(0, 3);
  Vec v(n);
  for (double& x : v) x = (wide && coin(rng) == 0) ? real(rng) : pool[pick(rng)];
  return v;
}

// ---------------------------------------------------------- short rows
struct SortCase {
  const char* name;
  Vec in;
  Vec want;
};
const SortCase kShortSort[] = {
    {"nan_goes_last", {kNaN1, 5}, {5, kNaN1}},
    {"equal_keep_order", {2, 2}, {2, 2}},
    {"signed_zeros_keep_order", {0.0, -0.0}, {0.0, -0.0}},
    {"signed_zeros_keep_order_reversed", {-0.0, 0.0}, {-0.0, 0.0}},
    {"swap", {5, 1}, {1, 5}},
    {"sorted", {1, 5}, {1, 5}},
    {"two_nans_keep_order", {kNaN2, kNaN1}, {kNaN2, kNaN1}},
    {"number_then_nan", {3, kNaN1}, {3, kNaN1}},
    {"infinities", {kInf, -kInf}, {-kInf, kInf}},
    {"single", {7}, {7}},
    {"empty", {}, {}},
};
class ShortSortTest : public ::testing::TestWithParam<SortCase> {};
TEST_P(ShortSortTest, AsARow) {
  Vec v = GetParam().in;
  std::int32_t size[2] = {1, static_cast<std::int32_t>(v.size())};
  Rx_sort(v.data(), size);
  EXPECT_TRUE(sameBits(v, GetParam().want));
  EXPECT_EQ(size[0], 1);
  EXPECT_EQ(size[1], static_cast<std::int32_t>(v.size()));
}
TEST_P(ShortSortTest, ColumnComesBackAsARow) {
  Vec v = GetParam().in;
  std::int32_t size[2] = {static_cast<std::int32_t>(v.size()), 1};
  Rx_sort(v.data(), size);
  EXPECT_TRUE(sameBits(v, GetParam().want));
  EXPECT_EQ(size[0], 1);
  EXPECT_EQ(size[1], static_cast<std::int32_t>(v.size()));
}
TEST_P(ShortSortTest, MergeSortAgrees) {
  EXPECT_TRUE(sameBits(sortedByL(GetParam().in), GetParam().want));
}
INSTANTIATE_TEST_SUITE_P(Sort, ShortSortTest, ::testing::ValuesIn(kShortSort),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Sort, ShortSortHandlesLongerRowsLikeTheMergeSort) {
  const Vec in = {3, kNaN1, 1, -0.0, 0.0, 2};
  Vec v = in;
  std::int32_t size[2] = {1, 6};
  Rx_sort(v.data(), size);
  EXPECT_TRUE(sameBits(v, reference(in)));
}

// ------------------------------------------------------ merge sort patterns
const SortCase kPatterns[] = {
    {"example", {3, kNaN1, 1, 1, 2}, {1, 1, 2, 3, kNaN1}},
    {"example_with_signed_ones", {3, kNaN1, 0.0, -0.0, 2}, {0.0, -0.0, 2, 3, kNaN1}},
    {"all_nan", {kNaN3, kNaN1, kNaN2, kNaN1, kNaN3}, {kNaN3, kNaN1, kNaN2, kNaN1, kNaN3}},
    {"nan_run_in_the_middle", {4, 3, kNaN1, kNaN2, kNaN3, 2, 1}, {1, 2, 3, 4, kNaN1, kNaN2, kNaN3}},
    {"nan_first_and_last", {kNaN2, 1, 0, kNaN1}, {0, 1, kNaN2, kNaN1}},
    {"one_full_block_descending", {4, 3, 2, 1}, {1, 2, 3, 4}},
    // Each block of four sees a tie across its two pairs.
    {"ties_across_pairs", {0.0, 1, -0.0, 2, -0.0, 0.0, 1, 0.0},
     {0.0, -0.0, -0.0, 0.0, 0.0, 1, 1, 2}},
    {"block_network_all_orders", {2, 1, 4, 3, 1, 4, 2, 3, 4, 1, 3, 2},
     {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}},
    {"incomplete_last_block", {5, 4, 3, 2, 1}, {1, 2, 3, 4, 5}},
    {"nans_split_the_blocks", {2, kNaN1, 1, kNaN2, 4, 3, kNaN3, 0, -1},
     {-1, 0, 1, 2, 3, 4, kNaN1, kNaN2, kNaN3}},
    {"sorted_long", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
    {"reversed_long", {13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
};
class PatternTest : public ::testing::TestWithParam<SortCase> {};
TEST_P(PatternTest, Exact) {
  EXPECT_TRUE(sameBits(sortedByL(GetParam().in), GetParam().want));
  EXPECT_TRUE(sameBits(reference(GetParam().in), GetParam().want));  // the reference agrees
}
INSTANTIATE_TEST_SUITE_P(Sort, PatternTest, ::testing::ValuesIn(kPatterns),
                         [](const auto& i) { return std::string(i.param.name); });

// Every length up to 24 covers each count of blocks of four, odd block counts
// and every incomplete last block.
class LengthTest : public ::testing::TestWithParam<int> {};
TEST_P(LengthTest, MatchesStableSortWithNaNsLast) {
  const int n = GetParam();
  std::mt19937 rng(1234u + static_cast<unsigned>(n));
  for (int trial = 0; trial < 200; ++trial) {
    const Vec in = randomVector(rng, static_cast<std::size_t>(n), trial % 2 == 0);
    ASSERT_TRUE(sameBits(sortedByL(in), reference(in))) << "trial " << trial;
  }
}
INSTANTIATE_TEST_SUITE_P(Sort, LengthTest, ::testing::Range(0, 25),
                         [](const auto& i) { return "length_" + std::to_string(i.param); });

struct LargeCase {
  const char* name;
  std::size_t n;
  bool wide;
};
const LargeCase kLarge[] = {
    {"power_of_two", 4096, false},
    {"odd_block_count_and_tail", 4099, true},
    {"many_levels", 20001, true},
    {"one_block_more", 36, false},
};
class LargeSortTest : public ::testing::TestWithParam<LargeCase> {};
TEST_P(LargeSortTest, MatchesStableSortWithNaNsLast) {
  std::mt19937 rng(99u);
  const Vec in = randomVector(rng, GetParam().n, GetParam().wide);
  EXPECT_TRUE(sameBits(sortedByL(in), reference(in)));
}
INSTANTIATE_TEST_SUITE_P(Sort, LargeSortTest, ::testing::ValuesIn(kLarge),
                         [](const auto& i) { return std::string(i.param.name); });

// ------------------------------------------------------ along a dimension
TEST(Sort, SortsEachColumnOrEachRow) {
  constexpr int kRows = 5;
  constexpr int kCols = 7;
  std::mt19937 rng(7u);
  const Vec in = randomVector(rng, kRows * kCols, true);
  const std::int32_t size[2] = {kRows, kCols};

  Vec byColumn = in;
  ASSERT_TRUE(Rx_sort_l(byColumn.data(), size, 1));
  for (int c = 0; c < kCols; ++c) {
    const Vec column(in.begin() + c * kRows, in.begin() + (c + 1) * kRows);
    EXPECT_TRUE(sameBits(Vec(byColumn.begin() + c * kRows, byColumn.begin() + (c + 1) * kRows),
                         reference(column)))
        << "column " << c;
  }

  Vec byRow = in;
  ASSERT_TRUE(Rx_sort_l(byRow.data(), size, 2));
  for (int r = 0; r < kRows; ++r) {
    Vec row;
    Vec got;
    for (int c = 0; c < kCols; ++c) {
      row.push_back(in[r + kRows * c]);
      got.push_back(byRow[r + kRows * c]);
    }
    EXPECT_TRUE(sameBits(got, reference(row))) << "row " << r;
  }
}

TEST(Sort, SingleElementAndHigherDimensionAreLeftAlone) {
  Vec one = {kNaN1};
  const std::int32_t size1[2] = {1, 1};
  EXPECT_TRUE(Rx_sort_l(one.data(), size1, 2));
  EXPECT_TRUE(sameBits(one, Vec{kNaN1}));
  Vec row = {3, 1, 2};
  const std::int32_t size3[2] = {1, 3};
  EXPECT_TRUE(Rx_sort_l(row.data(), size3, 3));
  EXPECT_TRUE(sameBits(row, (Vec{3, 1, 2})));
  EXPECT_TRUE(Rx_sort_l(row.data(), size3, 1));  // columns of one element
  EXPECT_TRUE(sameBits(row, (Vec{3, 1, 2})));
}

// ------------------------------------------------------------------ merge
TEST(Sort, MergeTakesTheFirstRunOnTies) {
  // Two runs at offset 2: (0, 1, 3) and (-0, 1, 2); the work arrays are
  // indexed like x.
  Vec x = {9, 9, 0.0, 1, 3, -0.0, 1, 2, 9};
  std::vector<std::int32_t> idx = {0, 0, 1, 2, 3, 4, 5, 6, 0};
  std::vector<std::int32_t> iwork(x.size(), -1);
  Vec xwork(x.size(), 0.0);
  Rx_merge(idx.data(), x.data(), 2, 3, 3, iwork.data(), xwork.data());
  EXPECT_TRUE(sameBits(x, (Vec{9, 9, 0.0, -0.0, 1, 1, 2, 3, 9})));
  EXPECT_EQ(idx, (std::vector<std::int32_t>{0, 0, 1, 4, 2, 5, 6, 3, 0}));
}

TEST(Sort, MergeWithAnEmptyRunChangesNothing) {
  Vec x = {2, 1};
  std::vector<std::int32_t> idx = {1, 2};
  std::vector<std::int32_t> iwork(2);
  Vec xwork(2);
  Rx_merge(idx.data(), x.data(), 0, 2, 0, iwork.data(), xwork.data());
  EXPECT_TRUE(sameBits(x, (Vec{2, 1})));
  EXPECT_EQ(idx, (std::vector<std::int32_t>{1, 2}));
}

}  // namespace
