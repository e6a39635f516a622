// Coefficient calculation: residues, half-sample step-invariant discretisation, combination
// over the common denominator, the configuration record and the realisation choice.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "blocks/ctle/ctle.h"
#include "blocks/ctle/ctle_coefficients.h"
#include "numeric/partial_fraction.h"
#include "tests/common/same_bits.h"

namespace {

constexpr double kG = 19.437929381981153;
constexpr double kZ = -406790955.9967284;
constexpr double kP0 = -1610588571.4285715;
constexpr double kP1 = -1455724285.7142856;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793;

// Residues of K (1 - s/z) / ((1 - s/p0)(1 - s/p1)) from the 2x2 system
//   r0 + r1 = 1,  r0 (-1/p1) + r1 (-1/p0) = -1/z
// by elimination with row 1 as pivot (|1| beats |1/p| for poles in Hz), then times K.
// Real arithmetic gives the same bits as the complex solve while everything is finite.
void referenceResidues(double z, double p0, double p1, double k, double r[2]) {
  const double c21 = -(1.0 / p1) * 1.0;
  const double c22 = -(1.0 / p0) * 1.0;
  const double rhs2 = -(1.0 / z) * 1.0;
  const double m = c21 / 1.0;
  const double u22 = c22 + -1.0 * m;
  const double y2 = rhs2 - 1.0 * m;
  const double x2 = y2 / u22;
  const double x1 = (1.0 - x2 * 1.0) / 1.0;
  r[0] = x1 * k;
  r[1] = x2 * k;
}

struct Filter2 {
  double b[3];
  double a[2];
};

// Two-pole filter by the general combination, written out: D = (1 - E0 q)(1 - E1 q),
// N = r0 (lead0 + lag0 q)(1 - E1 q) + r1 (lead1 + lag1 q)(1 - E0 q), each product multiplied
// out first, then scaled by its residue, then added.
Filter2 referenceFilter(const double r[2], double p0, double p1, double t) {
  const double w0T = (6.283185307179586 * p0) * t;
  const double w1T = (6.283185307179586 * p1) * t;
  const double e0 = std::exp(w0T), e1 = std::exp(w1T);
  const double lead0 = 1.0 - std::exp(w0T / 2.0), lead1 = 1.0 - std::exp(w1T / 2.0);
  const double lag0 = (std::exp(-w0T / 2.0) - 1.0) * e0;
  const double lag1 = (std::exp(-w1T / 2.0) - 1.0) * e1;
  const double t0[3] = {lead0, lead0 * -e1 + lag0, lag0 * -e1};
  const double t1[3] = {lead1, lead1 * -e0 + lag1, lag1 * -e0};
  Filter2 f;
  for (int d = 0; d < 3; ++d) f.b[d] = t1[d] * r[1] + (t0[d] * r[0] + 0.0);
  f.a[0] = -e0 * 1.0 + -e1;
  f.a[1] = -e0 * -e1;
  return f;
}

double dcGainOf(const double b[3], const double a[2]) {
  return ((b[0] + b[1]) + b[2]) / ((1.0 + a[0]) + a[1]);
}

// Arrays of a coefficient record, released at the end of each test.
class CoefficientsFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dynInitStruct_ctleCoefficients(&c_)); }
  void TearDown() override { dynFreeStruct_ctleCoefficients(&c_); }

  bool calculate(double t, const double zeroCount[8], const double poleCount[8], double maxP,
                 const double zeros[8], const double poles[16], const double gains[8]) {
    return Rx_calculateCTLECoefficients(t, zeroCount, poleCount, maxP, zeros, poles, gains, &c_,
                                        &designT_, &designScale_, &ready_);
  }
  double num(int row, int k) const {
    return c_.numerator->elements[k * c_.numerator->sizes[0] + row];
  }
  double den(int row, int k) const {
    return c_.denominator->elements[k * c_.denominator->sizes[0] + row];
  }

  ctleCoefficients_Rx_T c_{};
  double designT_ = -1.0;
  double designScale_ = -1.0;
  boolean_T ready_ = false;
};

const double kOnes8[8] = {1, 1, 1, 1, 1, 1, 1, 1};
const double kTwos8[8] = {2, 2, 2, 2, 2, 2, 2, 2};

// ---- time-domain transfer function ----------------------------------------------------------

struct IntervalCase {
  const char* name;
  double t;
};
const IntervalCase kIntervals[] = {
    {"T1ps", 1e-12},       {"T3p125ps", 3.125e-12}, {"T10ps", 1e-11},
    {"T62p5ps", 6.25e-11}, {"T1ns", 1e-9},          {"T20ns", 2e-8},
};
class FixedTransferFunction : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(FixedTransferFunction, CoefficientsFollowTheCombinationBitForBit) {
  const double t = GetParam().t;
  double r[2];
  referenceResidues(kZ, kP0, kP1, kG, r);
  const Filter2 want = referenceFilter(r, kP0, kP1, t);

  blk_CTLE_Rx_T obj{};
  obj.SampleInterval = t;
  obj.SymbolTime = 32 * t;
  Rx_SystemCore_setup(&obj);
  for (int d = 0; d < 3; ++d) EXPECT_TRUE(sameBits(obj.numerator[d], want.b[d])) << "b" << d;
  for (int d = 0; d < 2; ++d) EXPECT_TRUE(sameBits(obj.denominator[d], want.a[d])) << "a" << d + 1;
}

TEST_P(FixedTransferFunction, AgreesWithTheClosedFormsAndKeepsTheDcGain) {
  const double t = GetParam().t;
  blk_CTLE_Rx_T obj{};
  obj.SampleInterval = t;
  Rx_SystemCore_setup(&obj);
  double r[2];
  referenceResidues(kZ, kP0, kP1, kG, r);
  const double e0 = std::exp(2 * kPi * kP0 * t), e1 = std::exp(2 * kPi * kP1 * t);
  const double h0 = std::exp(kPi * kP0 * t), h1 = std::exp(kPi * kP1 * t);
  const double scale = std::fabs(r[0]) + std::fabs(r[1]);
  EXPECT_NEAR(obj.numerator[0], r[0] * (1 - h0) + r[1] * (1 - h1), 1e-12 * scale);
  EXPECT_NEAR(obj.numerator[1],
              r[0] * ((h0 - e0) - (1 - h0) * e1) + r[1] * ((h1 - e1) - (1 - h1) * e0),
              1e-12 * scale);
  EXPECT_NEAR(obj.numerator[2], -r[0] * (h0 - e0) * e1 - r[1] * (h1 - e1) * e0, 1e-12 * scale);
  EXPECT_NEAR(obj.denominator[0], -(e0 + e1), 1e-15);
  EXPECT_NEAR(obj.denominator[1], e0 * e1, 1e-15);
  EXPECT_NEAR(dcGainOf(obj.numerator, obj.denominator), kG, 1e-8 * kG);
}

INSTANTIATE_TEST_SUITE_P(SampleIntervals, FixedTransferFunction, ::testing::ValuesIn(kIntervals),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(FixedTransferFunction, OnePicosecondGivesTheDocumentedFigures) {
  blk_CTLE_Rx_T obj{};
  obj.SampleInterval = 1e-12;
  Rx_SystemCore_setup(&obj);
  EXPECT_NEAR(obj.numerator[0], 0.3505, 1e-4);
  EXPECT_NEAR(obj.denominator[0], -1.98083, 1e-5);
  EXPECT_NEAR(obj.denominator[1], 0.98092, 1e-5);
  // Both discrete poles just below 1.
  const double e0 = std::exp(6.283185307179586 * kP0 * 1e-12);
  EXPECT_LT(e0, 1.0);
  EXPECT_GT(e0, 0.98);
}

TEST(FixedTransferFunction, ResiduesAreThoseOfTheTwoByTwoSolve) {
  const double zeros[1] = {kZ};
  const double poles[2] = {kP0, kP1};
  const std::int32_t zs[2] = {1, 1}, ps[2] = {1, 2};
  creal_T res[2];
  std::int32_t rs[2];
  Rx_partialFractionExpansion(zeros, zs, poles, ps, kG, res, rs);
  double r[2];
  referenceResidues(kZ, kP0, kP1, kG, r);
  EXPECT_TRUE(sameBits(res[0].re, r[0]));
  EXPECT_TRUE(sameBits(res[1].re, r[1]));
  EXPECT_EQ(res[0].im, 0.0);
  EXPECT_EQ(res[1].im, 0.0);
}

TEST(FixedTransferFunction, OverflowingPoleTermGivesNaNCoefficients) {
  // exp(-w T / 2) overflows beyond about 140 ns for these poles: infinity times 0.
  blk_CTLE_Rx_T obj{};
  obj.SampleInterval = 2e-7;
  Rx_SystemCore_setup(&obj);
  EXPECT_TRUE(std::isnan(obj.numerator[1]));
  EXPECT_TRUE(std::isnan(obj.numerator[2]));
  EXPECT_TRUE(std::isfinite(obj.numerator[0]));  // no overflowed term reaches b0
  EXPECT_TRUE(std::isfinite(obj.denominator[0]));
  EXPECT_TRUE(std::isfinite(obj.denominator[1]));
}

TEST(FixedTransferFunction, ZeroIntervalPutsAllPolesAtOne) {
  blk_CTLE_Rx_T obj{};
  obj.SampleInterval = 0.0;
  Rx_SystemCore_setup(&obj);
  EXPECT_EQ(obj.numerator[0], 0.0);
  EXPECT_EQ(obj.numerator[1], 0.0);
  EXPECT_EQ(obj.numerator[2], 0.0);
  EXPECT_TRUE(sameBits(obj.denominator[0], -2.0));
  EXPECT_TRUE(sameBits(obj.denominator[1], 1.0));
}

// ---- discretisation of single terms ---------------------------------------------------------

TEST(Discretise, OnePoleIsTheHalfSampleStepInvariantTerm) {
  const creal_T r[1] = {{3.0, 0.0}};
  const double p[1] = {-1e9};
  double b[2] = {7, 7}, a[1] = {7};
  ASSERT_TRUE(Rx_CTLE_discretise(r, p, 1, 1e-10, b, a));
  const double wT = (6.283185307179586 * -1e9) * 1e-10;
  const double e = std::exp(wT);
  EXPECT_TRUE(sameBits(b[0], (1.0 - std::exp(wT / 2.0)) * 3.0 + 0.0));
  EXPECT_TRUE(sameBits(b[1], ((std::exp(-wT / 2.0) - 1.0) * e) * 3.0 + 0.0));
  EXPECT_TRUE(sameBits(a[0], -e));
  // Step response at sample n equals r (1 - exp(w t)) at t = (n + 1/2) T.
  double y = 0.0, yPrev = 0.0, xPrev = 0.0;
  for (int n = 0; n < 40; ++n) {
    y = b[0] * 1.0 + b[1] * xPrev - a[0] * yPrev;
    EXPECT_NEAR(y, 3.0 * (1.0 - std::exp(wT * (n + 0.5))), 1e-13) << n;
    yPrev = y;
    xPrev = 1.0;
  }
}

TEST(Discretise, RefusesPoleCountsOutsideOneAndTwo) {
  const creal_T r[2] = {{1.0, 0.0}, {1.0, 0.0}};
  const double p[2] = {-1e9, -2e9};
  double b[3] = {7, 7, 7}, a[2] = {7, 7};
  EXPECT_FALSE(Rx_CTLE_discretise(r, p, 0, 1e-12, b, a));
  EXPECT_FALSE(Rx_CTLE_discretise(r, p, 3, 1e-12, b, a));
  EXPECT_EQ(b[0], 7.0);
  EXPECT_EQ(a[0], 7.0);
}

// ---- statistical configurations ---------------------------------------------------------------

class Configurations : public CoefficientsFixture,
                       public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(Configurations, EveryColumnFollowsTheCombinationAndKeepsItsDcGain) {
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  const double t = GetParam().t;
  ASSERT_TRUE(calculate(t, kOnes8, kTwos8, 2.0, zeros, poles, gains));
  EXPECT_TRUE(ready_);
  EXPECT_TRUE(sameBits(designT_, t));
  EXPECT_TRUE(sameBits(designScale_, 1.0));
  ASSERT_EQ(c_.numerator->sizes[0], 3);
  ASSERT_EQ(c_.numerator->sizes[1], 8);
  ASSERT_EQ(c_.denominator->sizes[0], 2);
  ASSERT_EQ(c_.denominator->sizes[1], 8);
  for (int k = 0; k < 8; ++k) {
    SCOPED_TRACE(k);
    double r[2];
    referenceResidues(zeros[k], poles[k], poles[k + 8], gains[k], r);
    const Filter2 want = referenceFilter(r, poles[k], poles[k + 8], t);
    for (int d = 0; d < 3; ++d) EXPECT_TRUE(sameBits(num(d, k), want.b[d])) << "b" << d;
    for (int d = 0; d < 2; ++d) EXPECT_TRUE(sameBits(den(d, k), want.a[d])) << "a" << d + 1;
    const double b[3] = {num(0, k), num(1, k), num(2, k)};
    const double a[2] = {den(0, k), den(1, k)};
    EXPECT_NEAR(dcGainOf(b, a), std::pow(10.0, -k / 20.0), 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(SampleIntervals, Configurations, ::testing::ValuesIn(kIntervals),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(CoefficientsFixture, RecordHoldsCountsAndZeroHistories) {
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  ASSERT_TRUE(calculate(1e-12, kOnes8, kTwos8, 2.0, zeros, poles, gains));
  ASSERT_EQ(c_.inputHistory->sizes[0], 3);
  ASSERT_EQ(c_.outputHistory->sizes[0], 2);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sameBits(c_.inputHistory->elements[i], 0.0));
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(sameBits(c_.outputHistory->elements[i], 0.0));
  ASSERT_EQ(c_.zeroCount->sizes[0], 8);
  ASSERT_EQ(c_.poleCount->sizes[0], 8);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(c_.zeroCount->elements[k], 1.0);
    EXPECT_EQ(c_.poleCount->elements[k], 2.0);
  }
}

TEST_F(CoefficientsFixture, ShorterColumnsAreZeroPadded) {
  // Configuration 2 with one pole, configuration 5 without poles, configuration 6 with one
  // pole and a zero (a zero needs a second pole: it is left out).
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  double poleCount[8] = {2, 2, 1, 2, 2, 0, 1, 2};
  double zeroCount[8] = {1, 1, 0, 1, 1, 1, 1, 1};
  ASSERT_TRUE(calculate(1e-11, zeroCount, poleCount, 2.0, zeros, poles, gains));
  EXPECT_TRUE(sameBits(num(2, 2), 0.0));
  EXPECT_TRUE(sameBits(den(1, 2), 0.0));
  EXPECT_NE(num(0, 2), 0.0);
  EXPECT_NE(den(0, 2), 0.0);
  for (int d = 0; d < 3; ++d) EXPECT_TRUE(sameBits(num(d, 5), 0.0));
  for (int d = 0; d < 2; ++d) EXPECT_TRUE(sameBits(den(d, 5), 0.0));
  // Single pole: b0 + b1 over 1 + a1 is the gain K, and the column matches the one-pole rule.
  const creal_T r[1] = {{gains[6], 0.0}};
  double b[2], a[1];
  ASSERT_TRUE(Rx_CTLE_discretise(r, &poles[6], 1, 1e-11, b, a));
  EXPECT_TRUE(sameBits(num(0, 6), b[0]));
  EXPECT_TRUE(sameBits(num(1, 6), b[1]));
  EXPECT_TRUE(sameBits(num(2, 6), 0.0));
  EXPECT_TRUE(sameBits(den(0, 6), a[0]));
  EXPECT_TRUE(sameBits(den(1, 6), 0.0));
  EXPECT_NEAR((num(0, 6) + num(1, 6)) / (1.0 + den(0, 6)), gains[6], 1e-12);
}

TEST_F(CoefficientsFixture, MaximumPoleCountSetsTheRows) {
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  ASSERT_TRUE(calculate(1e-11, kOnes8, kOnes8, 1.0, zeros, poles, gains));
  EXPECT_EQ(c_.numerator->sizes[0], 2);
  EXPECT_EQ(c_.denominator->sizes[0], 1);
  EXPECT_EQ(c_.inputHistory->sizes[0], 2);
  EXPECT_EQ(c_.outputHistory->sizes[0], 1);
  // A NaN maximum counts as none: one numerator row, no denominator rows, all zero.
  ASSERT_TRUE(calculate(1e-11, kOnes8, kTwos8, kNaN, zeros, poles, gains));
  EXPECT_EQ(c_.numerator->sizes[0], 1);
  EXPECT_EQ(c_.denominator->sizes[0], 0);
  for (int k = 0; k < 8; ++k) EXPECT_TRUE(sameBits(num(0, k), 0.0));
}

TEST_F(CoefficientsFixture, LongIntervalGivesNaNCoefficientsAsTheyAre) {
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  ASSERT_TRUE(calculate(1e-7, kOnes8, kTwos8, 2.0, zeros, poles, gains));
  EXPECT_TRUE(ready_);
  for (int k = 0; k < 8; ++k) {
    EXPECT_TRUE(std::isnan(num(1, k))) << k;
    EXPECT_TRUE(std::isnan(num(2, k))) << k;
  }
}

TEST(CalculateCoefficients, MissingArraysFailWithoutTouchingTheFlag) {
  ctleCoefficients_Rx_T c{};
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  double t = 0.0, s = 0.0;
  boolean_T ready = false;
  EXPECT_FALSE(Rx_calculateCTLECoefficients(1e-12, kOnes8, kTwos8, 2.0, zeros, poles, gains, &c, &t,
                                            &s, &ready));
  EXPECT_FALSE(ready);
}

TEST(CoefficientRecord, InitAndFreeLeaveNoArrays) {
  ctleCoefficients_Rx_T c{};
  ASSERT_TRUE(dynInitStruct_ctleCoefficients(&c));
  EXPECT_EQ(c.numerator->dimCount, 2);
  EXPECT_EQ(c.denominator->dimCount, 2);
  EXPECT_EQ(c.inputHistory->dimCount, 1);
  EXPECT_EQ(c.poleCount->dimCount, 1);
  dynFreeStruct_ctleCoefficients(&c);
  EXPECT_EQ(c.numerator, nullptr);
  EXPECT_EQ(c.poleCount, nullptr);
  dynFreeStruct_ctleCoefficients(&c);  // twice is harmless
}

// ---- realisation choice -----------------------------------------------------------------------

struct CascadeCase {
  const char* name;
  int config;
  double pole1, pole2, poleCount;
  bool want;
};
const CascadeCase kCascade[] = {
    {"builtin", -1, 0, 0, 2, false},
    {"repeated_pole_first", 0, -3e9, -3e9, 2, true},
    {"repeated_pole_last", 7, -2e9, -2e9, 2, true},
    {"no_poles", 4, 0, 0, 0, true},
    {"nan_count_means_none", 3, -1e9, -2e9, kNaN, true},
    {"single_pole", 5, -1e9, -1e9, 1, false},  // only the first pole is considered
    {"nan_pole_is_not_a_repeat", 2, kNaN, kNaN, 2, false},
    {"infinite_poles_differ_by_nan", 6, -INFINITY, -INFINITY, 2, false},
};
class CascadeChoice : public ::testing::TestWithParam<CascadeCase> {};

TEST_P(CascadeChoice, FollowsTheRepeatedPoleRule) {
  const CascadeCase& c = GetParam();
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  double zeroCount[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  double poleCount[8] = {2, 2, 2, 2, 2, 2, 2, 2};
  if (c.config >= 0) {
    poles[c.config] = c.pole1;
    poles[c.config + 8] = c.pole2;
    poleCount[c.config] = c.poleCount;
  }
  EXPECT_EQ(Rx_CTLE_cascadeRequired(poleCount, poles, zeroCount, zeros), c.want);
}

INSTANTIATE_TEST_SUITE_P(Realisation, CascadeChoice, ::testing::ValuesIn(kCascade),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(CascadeChoice, MissingZerosNeverRequireIt) {
  double zeros[8], poles[16], gains[8];
  Rx_CTLE_designConfigurations(zeros, poles, gains);
  const double noZeros[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(Rx_CTLE_cascadeRequired(kTwos8, poles, noZeros, zeros));
}

// ---- count conversion -------------------------------------------------------------------------

struct ClampCase {
  const char* name;
  double in;
  std::int32_t want;
};
const ClampCase kClamp[] = {
    {"nan", kNaN, 0},     {"neg", -1.0, 0},     {"neg_inf", -INFINITY, 0}, {"zero", 0.0, 0},
    {"one", 1.0, 1},      {"fraction", 1.9, 1}, {"top", 2.0, 2},           {"above", 3.0, 2},
    {"inf", INFINITY, 2}, {"huge", 1e300, 2},
};
class ClampCount : public ::testing::TestWithParam<ClampCase> {};
TEST_P(ClampCount, IsAlwaysAnIndexInRange) {
  EXPECT_EQ(Rx_CTLE_clampCount(GetParam().in, 0, 2), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Counts, ClampCount, ::testing::ValuesIn(kClamp),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
