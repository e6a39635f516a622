// Saturating amplifier: table setup and per-sample lookup.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "blocks/ctle/amplifier.h"
#include "tests/common/same_bits.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

blk_SaturatingAmplifier_Rx_T setUpAmplifier() {
  blk_SaturatingAmplifier_Rx_T amp{};
  amp.isSetUp = 0;
  amp.Limit = 0.424;
  amp.LinearGain = 1.0;
  Rx_SystemCore_setup_ia(&amp);
  return amp;
}

// The curve the table samples: 1.5 L (u - u^3/3), u = x / (1.5 L) clipped to [-1, 1].
double curve(double x) {
  double u = x / (1.5 * 0.424 / 1.0);
  u = u > 1.0 ? 1.0 : (u < -1.0 ? -1.0 : u);
  return 1.5 * 0.424 * (u - u * u * u / 3.0);
}

TEST(AmplifierSetup, GridRunsEvenlyFromMinusToPlusTwiceTheLimit) {
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  EXPECT_EQ(amp.isSetUp, 1);
  EXPECT_TRUE(sameBits(amp.Mode, 0.0));
  EXPECT_TRUE(sameBits(amp.inputGrid[0], -0.848));
  EXPECT_TRUE(sameBits(amp.inputGrid[62], 0.848));
  EXPECT_TRUE(sameBits(amp.inputGrid[31], 0.0));
  for (int i = 1; i < 62; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(sameBits(amp.inputGrid[i], ((2.0 * i - 62.0) * (2.0 * 0.424 / 1.0)) / 62.0));
    EXPECT_LT(amp.inputGrid[i - 1], amp.inputGrid[i]);
  }
  for (int i = 0; i < 63; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(amp.inputGrid[62 - i], -amp.inputGrid[i]);  // values: the middle is +0 twice
    EXPECT_EQ(amp.outputTable[62 - i], -amp.outputTable[i]);
    EXPECT_NEAR(amp.outputTable[i], curve(amp.inputGrid[i]), 1e-16);
  }
  // The clipped points (u = 1) all hold the same limit value, 1.5 L (1 - 1/3).
  const double top = (1.5 * 0.424) * (1.0 - 1.0 / 3.0);
  for (int i = 55; i < 63; ++i) EXPECT_TRUE(sameBits(amp.outputTable[i], top)) << i;
  EXPECT_LT(amp.outputTable[54], top);
  EXPECT_NEAR(top, 0.424, 1e-16);
}

struct LookupCase {
  const char* name;
  double in;
  double want;
};
const double kTop = (1.5 * 0.424) * (1.0 - 1.0 / 3.0);
const LookupCase kExact[] = {
    {"zero", 0.0, 0.0},
    {"minus_zero", -0.0, 0.0},
    {"lower_end", -0.848, -kTop},
    {"below", -0.9, -kTop},
    {"far_below", -1e300, -kTop},
    {"minus_infinity", -kInf, -kTop},
    {"just_above_upper_end", 0.8480000000000001, kTop},
    {"above", 5.0, kTop},
    {"infinity", kInf, kTop},
};
class AmplifierExact : public ::testing::TestWithParam<LookupCase> {};
TEST_P(AmplifierExact, Lookup) {
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  EXPECT_TRUE(sameBits(Rx_SaturatingAmplifier_lookup(&amp, GetParam().in), GetParam().want));
}
INSTANTIATE_TEST_SUITE_P(Amplifier, AmplifierExact, ::testing::ValuesIn(kExact),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(AmplifierLookup, GridPointsGiveTheirTableValues) {
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  for (int i = 0; i < 63; ++i) {
    const double got = Rx_SaturatingAmplifier_lookup(&amp, amp.inputGrid[i]);
    EXPECT_NEAR(got, amp.outputTable[i], 1e-16) << i;
  }
}

TEST(AmplifierLookup, InterpolatesLinearlyBetweenGridPoints) {
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  for (int i = 0; i < 62; ++i) {
    for (double f : {0.25, 0.5, 0.9}) {
      const double xl = amp.inputGrid[i], xh = amp.inputGrid[i + 1];
      const double s = xl + f * (xh - xl);
      const double want =
          ((xh - s) * amp.outputTable[i] + amp.outputTable[i + 1] * (s - xl)) / (xh - xl);
      EXPECT_TRUE(sameBits(Rx_SaturatingAmplifier_lookup(&amp, s), want)) << i << " " << f;
    }
  }
}

TEST(AmplifierLookup, FlatTopFromTheFirstGridPointAboveTheKnee) {
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  EXPECT_NEAR(amp.inputGrid[55], 24 * 0.848 / 31, 1e-15);
  for (double s = amp.inputGrid[55]; s <= 0.848; s += 0.001) {
    EXPECT_NEAR(Rx_SaturatingAmplifier_lookup(&amp, s), kTop, 1e-16) << s;
    EXPECT_NEAR(Rx_SaturatingAmplifier_lookup(&amp, -s), -kTop, 1e-16) << s;
  }
  // Between the knee (0.636 V) and that grid point the interpolation is still below the top.
  const double atKnee = Rx_SaturatingAmplifier_lookup(&amp, 0.636);
  EXPECT_NEAR(atKnee, 0.42395, 1e-5);
  EXPECT_LT(atKnee, kTop);
}

TEST(AmplifierLookup, SmallSignalsSeeUnitGain) {
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  EXPECT_NEAR(Rx_SaturatingAmplifier_lookup(&amp, 0.01), 0.01, 1e-4);
  EXPECT_NEAR(Rx_SaturatingAmplifier_lookup(&amp, -0.01), -0.01, 1e-4);
  const double slope =
      (Rx_SaturatingAmplifier_lookup(&amp, 1e-3) - Rx_SaturatingAmplifier_lookup(&amp, -1e-3)) /
      2e-3;
  EXPECT_NEAR(slope, 1.0, 1e-3);
}

TEST(AmplifierLookup, CurveIsOddAndMonotonicToWithinRounding) {
  // On the flat top the interpolation of two equal values may round one unit either way.
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  double previous = -kInf;
  for (int k = -1000; k <= 1000; ++k) {
    const double s = k * 0.00097;
    const double y = Rx_SaturatingAmplifier_lookup(&amp, s);
    EXPECT_NEAR(Rx_SaturatingAmplifier_lookup(&amp, -s), -y, 1e-16) << s;
    EXPECT_GE(y, previous - 1e-16) << s;
    EXPECT_LE(std::fabs(y), kTop + 1e-16) << s;
    previous = y;
  }
}

TEST(AmplifierLookup, NaNGivesNaN) {
  const blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  EXPECT_TRUE(std::isnan(Rx_SaturatingAmplifier_lookup(&amp, kNaN)));
}

TEST(AmplifierOutput, ModeOneAppliesTheCurve) {
  blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  const blk_SaturatingAmplifier_Rx_T ref = setUpAmplifier();
  for (double s : {0.0, 0.1, -0.3, 0.7, 2.0, kNaN}) {
    const double got = Rx_SaturatingAmplifier_output(&amp, 1.0, s);
    EXPECT_TRUE(sameBits(got, Rx_SaturatingAmplifier_lookup(&ref, s)) || std::isnan(s)) << s;
    if (std::isnan(s)) {
      EXPECT_TRUE(std::isnan(got));
    }
  }
  EXPECT_TRUE(sameBits(amp.Mode, 1.0));
}

class AmplifierBypass : public ::testing::TestWithParam<double> {};
TEST_P(AmplifierBypass, OtherModesPassSamplesUnchanged) {
  blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  for (double s : {0.0, -0.0, 0.5, -2.0, 1e300, kNaN, -kInf}) {
    EXPECT_TRUE(sameBits(Rx_SaturatingAmplifier_output(&amp, GetParam(), s), s));
  }
}
INSTANTIATE_TEST_SUITE_P(Modes, AmplifierBypass, ::testing::Values(0.0, 2.0, -1.0, 0.999, kNaN));

TEST(AmplifierOutput, RestoresLimitAndGainWithoutRebuildingTheTable) {
  blk_SaturatingAmplifier_Rx_T amp = setUpAmplifier();
  const double before = Rx_SaturatingAmplifier_lookup(&amp, 0.3);
  amp.Limit = 1.0;
  amp.LinearGain = 3.0;
  EXPECT_TRUE(sameBits(Rx_SaturatingAmplifier_output(&amp, 1.0, 0.3), before));
  EXPECT_TRUE(sameBits(amp.Limit, 0.424));
  EXPECT_TRUE(sameBits(amp.LinearGain, 1.0));
}

TEST(AmplifierSetup, OtherLimitAndGainScaleTheCurve) {
  blk_SaturatingAmplifier_Rx_T amp{};
  amp.Limit = 1.0;
  amp.LinearGain = 2.0;
  Rx_SystemCore_setup_ia(&amp);
  EXPECT_TRUE(sameBits(amp.inputGrid[0], -1.0));
  EXPECT_TRUE(sameBits(amp.inputGrid[62], 1.0));
  EXPECT_NEAR(Rx_SaturatingAmplifier_lookup(&amp, 1e-3), 2e-3, 1e-5);
  EXPECT_NEAR(Rx_SaturatingAmplifier_lookup(&amp, 0.9), 1.0, 1e-15);
}

}  // namespace
