// Growth, zero fill, shrinking, failed resizes and destruction of dynamic arrays.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/dyn_array.h"
#include "tests/numeric/dyn_helpers.h"

namespace {

// One entry per element type, so the typed tests cover all five families.
template <typename Array, typename Elem, bool (*InitFn)(Array**, std::int32_t),
          bool (*EnsureFn)(Array*, std::int32_t), void (*FreeFn)(Array**)>
struct Family {
  using ArrayT = Array;
  using ElemT = Elem;
  static bool init(Array** p, std::int32_t d) { return InitFn(p, d); }
  static bool ensure(Array* a, std::int32_t old) { return EnsureFn(a, old); }
  static void destroy(Array** p) { FreeFn(p); }
};

using RealFamily = Family<dynArray_real_T, double, Rx_dynInit_real_T, Rx_dynEnsureCapacity_real_T,
                          Rx_dynFree_real_T>;
using Real1Family = Family<dynArray_real_T, double, Rx_dynInit_real_T1,
                           Rx_dynEnsureCapacity_real_T1, Rx_dynFree_real_T>;
using Int32Family = Family<dynArray_int32_T, std::int32_t, Rx_dynInit_int32_T,
                           Rx_dynEnsureCapacity_int32_T, Rx_dynFree_int32_T>;
using Uint32Family = Family<dynArray_uint32_T, std::uint32_t, Rx_dynInit_uint32_T,
                            Rx_dynEnsureCapacity_uint32_T, Rx_dynFree_uint32_T>;
using BooleanFamily = Family<dynArray_boolean_T, boolean_T, Rx_dynInit_boolean_T,
                             Rx_dynEnsureCapacity_boolean_T, Rx_dynFree_boolean_T>;
using CharFamily = Family<dynArray_char_T, char_T, Rx_dynInit_char_T, Rx_dynEnsureCapacity_char_T,
                          Rx_dynFree_char_T>;

template <typename F>
class DynArrayTest : public ::testing::Test {
 protected:
  using Array = typename F::ArrayT;
  using Elem = typename F::ElemT;
  Array* a = nullptr;

  void SetUp() override { ASSERT_TRUE(F::init(&a, 2)); }
  void TearDown() override { F::destroy(&a); }

  // The callers' resize pattern: old numel, new sizes, make room.
  bool resize(std::int32_t rows, std::int32_t cols) {
    const std::int32_t old = a->sizes[0] * a->sizes[1];
    a->sizes[0] = rows;
    a->sizes[1] = cols;
    return F::ensure(a, old);
  }
  bool allZeroUpTo(std::int32_t from, std::int32_t to) const {
    for (std::int32_t k = from; k < to; ++k) {
      if (a->elements[k] != Elem(0)) return false;
    }
    return true;
  }
  static Elem valueAt(std::int32_t k) { return static_cast<Elem>(k % 2 == 0 ? 1 : (k % 100) + 1); }
};

using Families =
    ::testing::Types<RealFamily, Real1Family, Int32Family, Uint32Family, BooleanFamily, CharFamily>;
TYPED_TEST_SUITE(DynArrayTest, Families);

TYPED_TEST(DynArrayTest, StartsEmptyWithoutStorage) {
  EXPECT_EQ(this->a->elements, nullptr);
  EXPECT_EQ(this->a->capacity, 0);
  EXPECT_EQ(this->a->dimCount, 2);
  EXPECT_TRUE(this->a->ownsElements);
  EXPECT_EQ(this->a->sizes[0], 0);
  EXPECT_EQ(this->a->sizes[1], 0);
}

TYPED_TEST(DynArrayTest, ResizeToNothingAllocatesNothing) {
  ASSERT_TRUE(this->resize(1, 0));
  EXPECT_EQ(this->a->elements, nullptr);
  EXPECT_EQ(this->a->capacity, 0);
}

TYPED_TEST(DynArrayTest, GrowsFromSixteenAndKeepsTheOldElements) {
  ASSERT_TRUE(this->resize(1, 5));
  EXPECT_EQ(this->a->capacity, 16);
  EXPECT_TRUE(this->a->ownsElements);
  EXPECT_TRUE(this->allZeroUpTo(0, 16));
  for (std::int32_t k = 0; k < 5; ++k) this->a->elements[k] = this->valueAt(k);

  ASSERT_TRUE(this->resize(1, 17));
  EXPECT_EQ(this->a->capacity, 32);
  for (std::int32_t k = 0; k < 5; ++k) EXPECT_EQ(this->a->elements[k], this->valueAt(k)) << k;
  EXPECT_TRUE(this->allZeroUpTo(5, 32));
}

TYPED_TEST(DynArrayTest, ShrinkingKeepsStorageAndCapacity) {
  ASSERT_TRUE(this->resize(10, 10));
  EXPECT_EQ(this->a->capacity, 128);
  for (std::int32_t k = 0; k < 100; ++k) this->a->elements[k] = this->valueAt(k);
  const auto* storage = this->a->elements;
  ASSERT_TRUE(this->resize(1, 3));
  EXPECT_EQ(this->a->elements, storage);
  EXPECT_EQ(this->a->capacity, 128);
  // Regrowing within the capacity moves nothing either.
  ASSERT_TRUE(this->resize(100, 1));
  EXPECT_EQ(this->a->elements, storage);
  for (std::int32_t k = 0; k < 100; ++k) EXPECT_EQ(this->a->elements[k], this->valueAt(k)) << k;
}

TYPED_TEST(DynArrayTest, ProductAbove32BitsFailsSafely) {
  ASSERT_TRUE(this->resize(1, 5));
  for (std::int32_t k = 0; k < 5; ++k) this->a->elements[k] = this->valueAt(k);
  const auto* storage = this->a->elements;
  // 65536 * 65537 = 4295032832 wraps to 65536 in 32-bit arithmetic.
  EXPECT_FALSE(this->resize(65536, 65537));
  EXPECT_EQ(this->a->sizes[0], 0);
  EXPECT_EQ(this->a->sizes[1], 0);
  EXPECT_EQ(this->a->elements, storage);
  EXPECT_EQ(this->a->capacity, 16);
  for (std::int32_t k = 0; k < 5; ++k) EXPECT_EQ(this->a->elements[k], this->valueAt(k)) << k;
  // The array stays usable: regrowing within the capacity finds the storage untouched.
  ASSERT_TRUE(this->resize(1, 5));
  EXPECT_EQ(this->a->elements, storage);
  for (std::int32_t k = 0; k < 5; ++k) EXPECT_EQ(this->a->elements[k], this->valueAt(k)) << k;
  ASSERT_TRUE(this->resize(1, 20));
  EXPECT_EQ(this->a->capacity, 32);
}

TYPED_TEST(DynArrayTest, NegativeSizeFailsSafely) {
  EXPECT_FALSE(this->resize(-1, 5));
  EXPECT_EQ(this->a->sizes[0], 0);
  EXPECT_EQ(this->a->sizes[1], 0);
  EXPECT_EQ(this->a->elements, nullptr);
  EXPECT_EQ(this->a->capacity, 0);
}

TYPED_TEST(DynArrayTest, OldCountBeyondTheStorageCopiesOnlyTheStorage) {
  ASSERT_TRUE(this->resize(1, 16));
  for (std::int32_t k = 0; k < 16; ++k) this->a->elements[k] = this->valueAt(k);
  this->a->sizes[1] = 40;
  ASSERT_TRUE(TypeParam::ensure(this->a, 1000));  // a wrong old count must not over-read
  EXPECT_EQ(this->a->capacity, 64);
  for (std::int32_t k = 0; k < 16; ++k) EXPECT_EQ(this->a->elements[k], this->valueAt(k)) << k;
  EXPECT_TRUE(this->allZeroUpTo(16, 64));
}

TYPED_TEST(DynArrayTest, NegativeOldCountKeepsNothing) {
  ASSERT_TRUE(this->resize(1, 3));
  for (std::int32_t k = 0; k < 3; ++k) this->a->elements[k] = this->valueAt(k);
  this->a->sizes[1] = 17;
  ASSERT_TRUE(TypeParam::ensure(this->a, -7));
  EXPECT_EQ(this->a->capacity, 32);
  EXPECT_TRUE(this->allZeroUpTo(0, 32));
}

TYPED_TEST(DynArrayTest, FreeClearsThePointerAndToleratesNull) {
  ASSERT_TRUE(this->resize(3, 3));
  TypeParam::destroy(&this->a);
  EXPECT_EQ(this->a, nullptr);
  TypeParam::destroy(&this->a);  // already absent: harmless
  EXPECT_EQ(this->a, nullptr);
}

// Capacity reached from a fresh array for a requested count.
struct GrowthCase {
  const char* name;
  std::int32_t first;   // count of the first resize
  std::int32_t second;  // count of the second resize
  std::int32_t wantFirst;
  std::int32_t wantSecond;
};
const GrowthCase kGrowth[] = {
    {"one", 1, 1, 16, 16},
    {"exactly_sixteen", 16, 16, 16, 16},
    {"seventeen", 17, 17, 32, 32},
    {"hundred", 100, 100, 128, 128},
    {"thousand", 1000, 1025, 1024, 2048},
    {"doubles_the_old_capacity", 20, 129, 32, 256},
    {"small_then_large", 3, 5000, 16, 8192},
    {"zero_then_one", 0, 1, 0, 16},
};
class GrowthTest : public ::testing::TestWithParam<GrowthCase> {};
TEST_P(GrowthTest, Capacity) {
  const GrowthCase& c = GetParam();
  dynArray_real_T* a = nullptr;
  ASSERT_TRUE(Rx_dynInit_real_T(&a, 1));
  a->sizes[0] = c.first;
  ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(a, 0));
  EXPECT_EQ(a->capacity, c.wantFirst);
  a->sizes[0] = c.second;
  ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(a, c.first));
  EXPECT_EQ(a->capacity, c.wantSecond);
  Rx_dynFree_real_T(&a);
}
INSTANTIATE_TEST_SUITE_P(DynArray, GrowthTest, ::testing::ValuesIn(kGrowth),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DynArray, CountAboveTwoToTheThirtySaturatesTheCapacity) {
  // One-byte elements keep the 2 GiB allocation cheap (it is never touched).
  dynArray_char_T* a = nullptr;
  ASSERT_TRUE(Rx_dynInit_char_T(&a, 1));
  a->sizes[0] = 1073741825;
  ASSERT_TRUE(Rx_dynEnsureCapacity_char_T(a, 0));
  EXPECT_EQ(a->capacity, 2147483647);
  EXPECT_EQ(a->elements[0], 0);
  EXPECT_EQ(a->elements[2147483646], 0);
  Rx_dynFree_char_T(&a);
}

TEST(DynArray, ZeroDimensionalArrayHoldsOneElement) {
  dynArray_real_T* a = nullptr;
  ASSERT_TRUE(Rx_dynInit_real_T(&a, 0));
  ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(a, 0));
  EXPECT_EQ(a->capacity, 16);
  Rx_dynFree_real_T(&a);
}

TEST(DynArray, NegativeDimensionCountIsRefused) {
  dynArray_real_T dummy{};
  dynArray_real_T* a = &dummy;  // anything but null
  EXPECT_FALSE(Rx_dynInit_real_T(&a, -1));
  EXPECT_EQ(a, nullptr);
}

TEST(DynArray, ThreeHugeSizesFailWithoutOverflow) {
  dynArray_uint32_T* a = nullptr;
  ASSERT_TRUE(Rx_dynInit_uint32_T(&a, 3));
  a->sizes[0] = 2147483647;
  a->sizes[1] = 2147483647;
  a->sizes[2] = 2147483647;
  EXPECT_FALSE(Rx_dynEnsureCapacity_uint32_T(a, 0));
  EXPECT_EQ(sizesOf(a), (std::vector<std::int32_t>{0, 0, 0}));
  EXPECT_EQ(a->elements, nullptr);
  Rx_dynFree_uint32_T(&a);
}

struct NumelCase {
  const char* name;
  std::vector<std::int32_t> sizes;
  std::int64_t want;
};
const NumelCase kNumel[] = {
    {"no_dimensions", {}, 1},
    {"row", {1, 7}, 7},
    {"matrix", {3, 4}, 12},
    {"cube", {2, 3, 4}, 24},
    {"zero_beats_huge", {0, 2147483647, 2147483647}, 0},
    {"beyond_32_bits", {65536, 65537}, 4295032832LL},
    {"largest_pair", {2147483647, 2147483647}, 4611686014132420609LL},
    {"beyond_64_bits_saturates", {2147483647, 2147483647, 2147483647}, INT64_MAX},
    {"negative", {3, -1}, -1},
    {"negative_with_zero", {0, -1}, -1},
};
class NumelTest : public ::testing::TestWithParam<NumelCase> {};
TEST_P(NumelTest, Product) {
  const NumelCase& c = GetParam();
  EXPECT_EQ(Rx_dynNumel(c.sizes.data(), static_cast<std::int32_t>(c.sizes.size())), c.want);
}
INSTANTIATE_TEST_SUITE_P(DynArray, NumelTest, ::testing::ValuesIn(kNumel),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
