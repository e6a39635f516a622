// Impulse-to-pulse conversion: values, order of additions, wrap-around and
// guarded shift counts.
#include "blocks/ctle/impulse2pulse.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/same_bits.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A one-dimensional array owned by the test.
class Array1 {
 public:
  Array1() { EXPECT_TRUE(Rx_dynInit_real_T(&a_, 1)); }
  explicit Array1(const std::vector<double>& v) : Array1() { set(v); }
  ~Array1() { Rx_dynFree_real_T(&a_); }
  Array1(const Array1&) = delete;
  Array1& operator=(const Array1&) = delete;
  void set(const std::vector<double>& v) {
    const std::int32_t old = a_->sizes[0];
    a_->sizes[0] = static_cast<std::int32_t>(v.size());
    ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(a_, old));
    for (std::size_t i = 0; i < v.size(); ++i) a_->elements[i] = v[i];
  }
  std::vector<double> values() const {
    return std::vector<double>(a_->elements, a_->elements + a_->sizes[0]);
  }
  dynArray_real_T* get() { return a_; }

 private:
  dynArray_real_T* a_ = nullptr;
};

// The conversion as first described: N rotated copies of the whole impulse
// response, added one after another, then scaled.
std::vector<double> rotatedCopies(const std::vector<double>& h, std::int32_t shifts, double scale) {
  const std::size_t n = h.size();
  std::vector<double> pulse(n, 0.0);
  for (std::int32_t k = 1; k <= shifts; ++k) {
    std::vector<double> copy(n);
    for (std::size_t j = 0; j < n; ++j) {
      const std::size_t s = static_cast<std::size_t>(k) % n;
      copy[j] = h[(j + n - s) % n];
    }
    for (std::size_t j = 0; j < n; ++j) pulse[j] += copy[j];
  }
  for (double& v : pulse) v *= scale;
  return pulse;
}

std::vector<double> convert(const std::vector<double>& h, double sps, double scale,
                            bool* ok = nullptr) {
  Array1 in(h);
  Array1 out;
  const bool r = Rx_impulse2pulse(in.get(), sps, scale, out.get());
  if (ok != nullptr) *ok = r;
  return out.values();
}

struct PulseCase {
  const char* name;
  std::vector<double> impulse;
  double sps;
  double scale;
  std::vector<double> want;
};

const PulseCase kPulse[] = {
    {"unit_at_0_short_symbol", {1, 0, 0, 0, 0, 0}, 3, 0.5, {0, 0.5, 0.5, 0.5, 0, 0}},
    {"truncates_7_9_to_7", {1, 0, 0, 0, 0, 0, 0, 0, 0}, 7.9, 1, {0, 1, 1, 1, 1, 1, 1, 1, 0}},
    {"below_one_gives_zeros", {1, 2, 3}, 0.99, 2, {0, 0, 0}},
    {"negative_count_zeros_scaled", {1, 2, 3}, -4, -1, {-0.0, -0.0, -0.0}},
    {"single_sample", {0.25}, 5, 2, {2.5}},
    {"empty", {}, 8, 1, {}},
    {"full_wrap_sums_everything", {1, 2, 4, 8}, 4, 0.5, {7.5, 7.5, 7.5, 7.5}},
    {"nan_count_is_zero", {1, 2, 3}, kNaN, 1, {0, 0, 0}},
    {"minus_infinity_is_zero", {1, 2, 3}, -kInf, 1, {0, 0, 0}},
    {"nan_scale", {1, 0}, 1, kNaN, {kNaN, kNaN}},
};

class PulseTest : public ::testing::TestWithParam<PulseCase> {};

TEST_P(PulseTest, Exact) {
  const PulseCase& c = GetParam();
  bool ok = false;
  const std::vector<double> got = convert(c.impulse, c.sps, c.scale, &ok);
  EXPECT_TRUE(ok);
  if (std::isnan(c.scale)) {
    ASSERT_EQ(got.size(), c.want.size());
    for (double v : got) EXPECT_TRUE(std::isnan(v));
  } else {
    EXPECT_TRUE(sameBits(got, c.want));
  }
}

INSTANTIATE_TEST_SUITE_P(Impulse2Pulse, PulseTest, ::testing::ValuesIn(kPulse),
                         [](const auto& i) { return std::string(i.param.name); });

// Values chosen so that every reordering of the additions rounds differently.
std::vector<double> orderSensitive(std::size_t n) {
  std::vector<double> h(n);
  std::uint32_t s = 12345u;
  for (std::size_t i = 0; i < n; ++i) {
    s = s * 1664525u + 1013904223u;
    const double mag = std::ldexp(1.0, static_cast<int>(s >> 27) - 8);
    h[i] = ((s >> 8) & 1u ? -1.0 : 1.0) * mag * (1.0 + static_cast<double>(s & 0xffu) / 7.0);
  }
  return h;
}

struct OrderCase {
  const char* name;
  std::size_t n;
  double sps;
};

const OrderCase kOrder[] = {
    {"symbol_shorter_than_response", 50, 8},
    {"symbol_equals_response", 13, 13},
    {"symbol_longer_than_response", 7, 23},
    {"two_samples", 2, 5},
};

class PulseOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(PulseOrderTest, MatchesRotatedCopiesBitForBit) {
  const OrderCase& c = GetParam();
  const std::vector<double> h = orderSensitive(c.n);
  const double scale = 1e-12;
  EXPECT_TRUE(sameBits(convert(h, c.sps, scale),
                       rotatedCopies(h, static_cast<std::int32_t>(c.sps), scale)));
}

INSTANTIATE_TEST_SUITE_P(Impulse2Pulse, PulseOrderTest, ::testing::ValuesIn(kOrder),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Impulse2Pulse, UnitAreaImpulseGivesUnitPulseOneSampleLater) {
  const double dt = 1e-12;
  std::vector<double> h(64, 0.0);
  h[10] = 1.0 / dt;
  const std::vector<double> got = convert(h, 8, dt);
  for (std::size_t j = 0; j < 64; ++j)
    EXPECT_TRUE(sameBits(got[j], j >= 11 && j <= 18 ? 1.0 : 0.0)) << j;
}

TEST(Impulse2Pulse, OverwritesAndResizesAnEarlierResult) {
  Array1 in({1, 0, 0});
  Array1 out({9, 9, 9, 9, 9, 9, 9});
  ASSERT_TRUE(Rx_impulse2pulse(in.get(), 1, 1, out.get()));
  EXPECT_TRUE(sameBits(out.values(), {0, 1, 0}));
}

TEST(Impulse2Pulse, ExtraDimensionsBecomeOne) {
  Array1 in({1, 2});
  dynArray_real_T* out = nullptr;
  ASSERT_TRUE(Rx_dynInit_real_T(&out, 2));
  ASSERT_TRUE(Rx_impulse2pulse(in.get(), 1, 1, out));
  EXPECT_EQ(out->sizes[0], 2);
  EXPECT_EQ(out->sizes[1], 1);
  EXPECT_TRUE(sameBits(out->elements[0], 2.0));
  EXPECT_TRUE(sameBits(out->elements[1], 1.0));
  Rx_dynFree_real_T(&out);
}

// Counts whose work (count x length) would run for hours are refused: the
// result is an empty pulse and false, never a hang or an undefined cast.
struct RefusedCase {
  const char* name;
  double sps;
  std::size_t n;
};

const RefusedCase kRefused[] = {
    {"plus_infinity", kInf, 64},
    {"beyond_int32", 3e9, 64},
    {"huge", 1e300, 3},
    {"int32_max_times_rows", 2147483647.0, 4},
};

class PulseRefusedTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(PulseRefusedTest, EmptyAndFalse) {
  const RefusedCase& c = GetParam();
  Array1 in(std::vector<double>(c.n, 1.0));
  Array1 out({5, 5});
  EXPECT_FALSE(Rx_impulse2pulse(in.get(), c.sps, 1.0, out.get()));
  EXPECT_EQ(out.get()->sizes[0], 0);
}

INSTANTIATE_TEST_SUITE_P(Impulse2Pulse, PulseRefusedTest, ::testing::ValuesIn(kRefused),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Impulse2Pulse, LargeCountWithinTheWorkLimitStillRuns) {
  // 2^20 shifts over 3 samples: wraps many times, exact in small integers.
  bool ok = false;
  const std::vector<double> got = convert({1, 0, 0}, 1048576.0, 1.0, &ok);
  ASSERT_TRUE(ok);
  // Shifts k with (j - k) mod 3 == 0: 349525 for j = 0 and 1, 349526 for j = 2.
  EXPECT_TRUE(sameBits(got, {349525, 349526, 349525}));
}

TEST(Impulse2Pulse, LargestCountOnOneSampleEndsWithoutOverflow) {
  // INT32_MAX shifts over one sample stay within the work limit; the shift
  // counter must not overflow on its last step.
  bool ok = false;
  const std::vector<double> got = convert({1}, 2147483647.0, 1.0, &ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(sameBits(got, {2147483647.0}));
}

}  // namespace
