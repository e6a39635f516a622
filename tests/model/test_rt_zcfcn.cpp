#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/rt_nonfinite.h"
#include "model/rt_zcfcn.h"

namespace {

struct ZcCase {
  const char* name;
  std::int32_t direction;
  std::vector<double> samples;
  std::vector<std::int32_t> want;
};

const ZcCase kZcCases[] = {
    {"rise_through_zero_reported_at_zero", 1, {-1, 0, 1}, {0, 1, 0}},
    {"rise_direct", 1, {-1, 1}, {0, 1}},
    {"fall_ignored_when_watching_rises", 1, {1, -1}, {0, 0}},
    {"nan_counts_as_zero", 1, {-1, rtNaN, 1}, {0, 1, 0}},
    {"negative_zero_counts_as_zero", 1, {-1, -0.0, 1}, {0, 1, 0}},
    {"fall_through_zero_reported_once", -1, {1, 0, -1}, {0, -1, 0}},
    {"either_direction", 0, {1, -1, 1, 0, -1}, {0, -1, 1, -1, 0}},
    {"unknown_direction_reports_nothing", 7, {-1, 1, -1}, {0, 0, 0}},
    {"zero_then_rise_then_zero_again", 1, {-1, 0, 1, 0, 1}, {0, 1, 0, 0, 1}},
};

class ZcTest : public ::testing::TestWithParam<ZcCase> {};

TEST_P(ZcTest, Sequence) {
  const ZcCase& c = GetParam();
  ZCSigState state = kZcUninitialized;
  std::vector<std::int32_t> got;
  for (double x : c.samples) got.push_back(rt_ZCFcn(c.direction, &state, x));
  EXPECT_EQ(got, c.want);
}

INSTANTIATE_TEST_SUITE_P(RtZcFcn, ZcTest, ::testing::ValuesIn(kZcCases),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(RtZcFcn, DroppedEventIsNotStored) {
  ZCSigState state = kZcUninitialized;
  rt_ZCFcn(1, &state, 1.0);
  rt_ZCFcn(1, &state, -1.0);
  EXPECT_EQ(state, 2);  // negative class, no event bits
}

}  // namespace
