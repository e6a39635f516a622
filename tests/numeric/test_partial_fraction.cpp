// Residues of first-order sections. Reference values: gen_numeric_cases.py.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/partial_fraction.h"
#include "tests/common/same_bits.h"

namespace {

struct PfeCase {
  const char* name;
  std::vector<double> zeros;
  std::vector<double> poles;
  double k;
  std::vector<creal_T> want;
};
const PfeCase kPfe[] = {
    {"one_pole", {}, {5.0}, 3.0, {{3.0, 0.0}}},
    {"one_pole_negative_gain", {}, {5.0}, -2.0, {{-2.0, -0.0}}},
    {"two_poles_and_a_zero", {10.0}, {4.0, 2.0}, 1.0, {{-0.6000000000000001, 0.0}, {1.6, 0.0}}},
    {"two_poles", {}, {1.0, 3.0}, 2.0, {{3.0, 0.0}, {-0.9999999999999999, 0.0}}},
    {"gigahertz_poles", {5e9}, {3e9, 7e9}, 0.7,
     {{0.48999999999999994, 0.0}, {0.21000000000000002, 0.0}}},
    // A zero with a single pole has no row for its term: it is left out.
    // A pole at 0 makes its factor's slope infinite; the residues reach the limits.
    {"pole_at_the_origin", {}, {0.0, 2.0}, 1.0, {{1.0, 0.0}, {-0.0, 0.0}}},
    {"zero_with_one_pole_is_dropped", {10.0}, {4.0}, 1.5, {{1.5, 0.0}}},
};
class PfeTest : public ::testing::TestWithParam<PfeCase> {};
TEST_P(PfeTest, Exact) {
  const PfeCase& c = GetParam();
  const std::int32_t zSize[2] = {1, static_cast<std::int32_t>(c.zeros.size())};
  const std::int32_t pSize[2] = {1, static_cast<std::int32_t>(c.poles.size())};
  creal_T residues[2] = {{99, 99}, {99, 99}};
  std::int32_t rSize[2] = {0, 0};
  Rx_partialFractionExpansion(c.zeros.data(), zSize, c.poles.data(), pSize, c.k, residues, rSize);
  ASSERT_EQ(rSize[0], 1);
  ASSERT_EQ(rSize[1], static_cast<std::int32_t>(c.poles.size()));
  for (std::size_t i = 0; i < c.want.size(); ++i) {
    EXPECT_TRUE(sameBits(residues[i].re, c.want[i].re)) << "residue " << i;
    EXPECT_TRUE(sameBits(residues[i].im, c.want[i].im)) << "residue " << i;
  }
}
INSTANTIATE_TEST_SUITE_P(PartialFraction, PfeTest, ::testing::ValuesIn(kPfe),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(PartialFraction, ResiduesAddUpToTheGain) {
  const double zeros[1] = {10.0};
  const double poles[2] = {4.0, 2.0};
  const std::int32_t zSize[2] = {1, 1};
  const std::int32_t pSize[2] = {1, 2};
  creal_T r[2];
  std::int32_t rSize[2];
  Rx_partialFractionExpansion(zeros, zSize, poles, pSize, 1.0, r, rSize);
  EXPECT_NEAR(r[0].re + r[1].re, 1.0, 1e-15);
}

struct BadCase {
  const char* name;
  std::vector<double> zeros;
  std::vector<double> poles;
};
const BadCase kBad[] = {
    {"equal_poles", {}, {2.0, 2.0}},
    {"equal_poles_with_zero", {1.0}, {3.0, 3.0}},
    {"zero_at_the_origin", {0.0}, {4.0, 2.0}},
};
class PfeBadTest : public ::testing::TestWithParam<BadCase> {};
TEST_P(PfeBadTest, NonFiniteResiduesNoError) {
  const BadCase& c = GetParam();
  const std::int32_t zSize[2] = {1, static_cast<std::int32_t>(c.zeros.size())};
  const std::int32_t pSize[2] = {1, 2};
  creal_T r[2];
  std::int32_t rSize[2];
  Rx_partialFractionExpansion(c.zeros.data(), zSize, c.poles.data(), pSize, 1.0, r, rSize);
  EXPECT_EQ(rSize[1], 2);
  EXPECT_FALSE(std::isfinite(r[0].re) && std::isfinite(r[0].im) && std::isfinite(r[1].re) &&
               std::isfinite(r[1].im));
}
INSTANTIATE_TEST_SUITE_P(PartialFraction, PfeBadTest, ::testing::ValuesIn(kBad),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(PartialFraction, NoPolesGiveNoResidues) {
  const std::int32_t zSize[2] = {1, 0};
  const std::int32_t pSize[2] = {1, 0};
  creal_T r[1] = {{7, 7}};
  std::int32_t rSize[2] = {5, 5};
  Rx_partialFractionExpansion(nullptr, zSize, nullptr, pSize, 1.0, r, rSize);
  EXPECT_EQ(rSize[0], 1);
  EXPECT_EQ(rSize[1], 0);
  EXPECT_TRUE(sameBits(r[0].re, 7.0));
}

}  // namespace
