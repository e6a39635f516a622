// DFE/CDR revision B: records, setup and reset, property handling, the
// per-sample step (timeline, decisions, tracking, clock loop, feedback, tap
// adaptation), the statistical step, degenerate inputs, and clock lock on a
// clean waveform.
#include "blocks/dfecdr/dfecdr_b.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "model/rt_nonfinite.h"
#include "numeric/dyn_array.h"
#include "numeric/scalar.h"
#include "tests/common/same_bits.h"

namespace {

using dfecdr_b::blk_DFECDR_Rx_n_T;
using dfecdr_b::blk_DFECDR_Rx_T;
using dfecdr_b::cdrStatSignals_Rx_T;

// A power of two, so that the sample-interval arithmetic below is exact.
constexpr double kDt = 0x1p-37;
constexpr double kSt = 8.0 * kDt;
const double kNaN = std::nan("");
const double kZeroTaps[4] = {0.0, 0.0, 0.0, 0.0};

struct StepOut {
  double output;
  double taps[4];
  double phase;
  double clockTime;
  double clockSignal;
  double threshold;
};

// Drives the time-domain record as the frame does: construction, setup and
// reset once; per sample the property refresh, then the step with the
// previous sample's tap output fed back as TapWeights.
struct Frame {
  Frame(double symbolTime, double sampleInterval, double modulation, double mode = 0.0,
        const double taps[4] = kZeroTaps)
      : st(symbolTime), si(sampleInterval), m(modulation), mode(mode) {
    for (int k = 0; k < 4; ++k) adapted[k] = taps[k];
    dfecdr_b::Rx_DFECDR_construct(&obj, st, si, m);
    dfecdr_b::Rx_SystemCore_setup(&obj);
    dfecdr_b::Rx_DFECDR_resetImpl(&obj);
  }
  StepOut step(double x) {
    dfecdr_b::Rx_DFECDR_refreshProperties(&obj, dfecdr_b::kTapMin, dfecdr_b::kTapMax, st, si, m);
    StepOut o{};
    const double taps[4] = {adapted[0], adapted[1], adapted[2], adapted[3]};
    dfecdr_b::Rx_SystemCore_step(&obj, x, mode, taps, ro, po, &o.output, o.taps, &o.phase,
                                 &o.clockTime, &o.clockSignal, &o.threshold);
    for (int k = 0; k < 4; ++k) adapted[k] = o.taps[k];
    return o;
  }
  blk_DFECDR_Rx_T obj{};
  double st, si, m, mode;
  double ro = 0.0;
  double po = 0.0;
  double adapted[4];
};

// ---- construction, setup, reset -------------------------------------------

struct ResetCase {
  const char* name;
  double symbolTime;
  double sampleInterval;
  double samplesPerSymbol;
  double dataCountdown;
  double averagingLength;
};
const ResetCase kReset[] = {
    {"eight", 8.0 * kDt, kDt, 8.0, 4.0, 400.0},
    {"seven_not_rounded", 7.0 * kDt, kDt, 7.0, 3.5, 350.0},
    {"half_rounds_away", 7.5 * kDt, kDt, 8.0, 4.0, 400.0},
    {"realistic_ten_gbps", 1e-10, 1.25e-11, 8.0, 4.0, 400.0},
};
class ResetTest : public ::testing::TestWithParam<ResetCase> {};
TEST_P(ResetTest, TimingValues) {
  const ResetCase& c = GetParam();
  Frame f(c.symbolTime, c.sampleInterval, 2.0);
  EXPECT_TRUE(sameBits(f.obj.samplesPerSymbol, c.samplesPerSymbol));
  EXPECT_TRUE(sameBits(f.obj.dataCountdown, c.dataCountdown));
  EXPECT_TRUE(sameBits(f.obj.averagingLength, c.averagingLength));
  EXPECT_TRUE(sameBits(f.obj.phaseTime, c.symbolTime / 2.0));
}
INSTANTIATE_TEST_SUITE_P(Reset, ResetTest, ::testing::ValuesIn(kReset),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Reset, StateValues) {
  Frame f(kSt, kDt, 4.0);
  const blk_DFECDR_Rx_T& o = f.obj;
  EXPECT_EQ(o.isSetUp, 1);
  EXPECT_FALSE(o.propertiesChanged);
  EXPECT_TRUE(o.firstTuning);
  EXPECT_TRUE(sameBits(o.TapScale, 1.0));
  EXPECT_TRUE(sameBits(o.clockTimeOut, 0.0));
  EXPECT_TRUE(sameBits(o.sampleIndex, 0.0));
  EXPECT_TRUE(sameBits(o.edgeCountdown, 0.0));
  EXPECT_TRUE(sameBits(o.edgeSign, 0.0));
  EXPECT_TRUE(sameBits(o.voteThreshold, 2.0));
  EXPECT_TRUE(sameBits(o.clockState, 1.0));
  EXPECT_TRUE(sameBits(o.pamThreshold, 0.333));
  EXPECT_TRUE(sameBits(o.amplitude, 0.333));
  EXPECT_TRUE(sameBits(o.innerLevel, 0.3));
  EXPECT_TRUE(sameBits(o.outerLevel, 0.4));
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(sameBits(o.tapUpper[k], dfecdr_b::kTapMax[k])) << k;
    EXPECT_TRUE(sameBits(o.tapLower[k], dfecdr_b::kTapMin[k])) << k;
    EXPECT_TRUE(sameBits(o.tapStep[k], 1e-6)) << k;
    EXPECT_TRUE(sameBits(o.decisionHistory[k], 0.0)) << k;
  }
  EXPECT_TRUE(sameBits(o.AdaptGain, 9.6e-5));
  EXPECT_TRUE(sameBits(o.CountLimit, 16.0));
  EXPECT_TRUE(sameBits(o.PhaseStep, 0.0078));
  EXPECT_TRUE(sameBits(o.AveragingSymbols, 50.0));
  EXPECT_TRUE(sameBits(o.CdrMode, 1.0));
}

TEST(Setup, ClearsModeOffsetsAndTapsWhateverConstructionLeft) {
  blk_DFECDR_Rx_T o{};
  dfecdr_b::Rx_DFECDR_construct(&o, kSt, kDt, 2.0);
  o.Mode = 1.0;
  o.PhaseOffset = 0.3;
  o.ReferenceOffset = 50.0;
  for (double& w : o.TapWeights) w = -0.01;
  dfecdr_b::Rx_SystemCore_setup(&o);
  EXPECT_TRUE(sameBits(o.Mode, 0.0));
  EXPECT_TRUE(sameBits(o.PhaseOffset, 0.0));
  EXPECT_TRUE(sameBits(o.ReferenceOffset, 0.0));
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(sameBits(o.TapWeights[k], 0.0));
    EXPECT_TRUE(sameBits(o.appliedTaps[k], 0.0));
  }
}

TEST(Reset, TapsFollowTapWeightsUnscaled) {
  blk_DFECDR_Rx_T o{};
  dfecdr_b::Rx_DFECDR_construct(&o, kSt, kDt, 2.0);
  dfecdr_b::Rx_SystemCore_setup(&o);
  const double w[4] = {-0.04, -0.02, 0.0, 0.0};
  for (int k = 0; k < 4; ++k) o.TapWeights[k] = w[k];
  dfecdr_b::Rx_DFECDR_resetImpl(&o);
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(sameBits(o.tapAccumulators[k], w[k]));
    EXPECT_TRUE(sameBits(o.appliedTaps[k], w[k]));
  }
}

// ---- property writes -------------------------------------------------------

enum class Cmp { Plain, NanAware };
struct PropCase {
  const char* name;
  Cmp cmp;
  std::int32_t isSetUp;
  double stored;
  double written;
  bool stores;
  bool flags;
};
const PropCase kProps[] = {
    {"plain_same", Cmp::Plain, 1, 0.5, 0.5, false, false},
    {"plain_differs", Cmp::Plain, 1, 0.5, 0.25, true, true},
    {"plain_nan_differs_from_itself", Cmp::Plain, 1, kNaN, kNaN, true, true},
    {"plain_signed_zeros_equal", Cmp::Plain, 1, 0.0, -0.0, false, false},
    {"plain_not_set_up_no_flag", Cmp::Plain, 0, 0.5, 0.25, true, false},
    {"nan_aware_two_nans_equal", Cmp::NanAware, 1, kNaN, kNaN, false, false},
    {"nan_aware_nan_to_number", Cmp::NanAware, 1, kNaN, 1.0, true, true},
    {"nan_aware_number_to_nan", Cmp::NanAware, 1, 1.0, kNaN, true, true},
    {"nan_aware_signed_zeros_equal", Cmp::NanAware, 1, 0.0, -0.0, false, false},
    {"nan_aware_not_set_up_no_flag", Cmp::NanAware, 0, 1.0, 2.0, true, false},
};
class PropertyTest : public ::testing::TestWithParam<PropCase> {};
TEST_P(PropertyTest, StoresAndFlags) {
  const PropCase& c = GetParam();
  blk_DFECDR_Rx_T o{};
  o.isSetUp = c.isSetUp;
  o.AdaptGain = c.stored;
  const bool stored = c.cmp == Cmp::Plain
                          ? dfecdr_b::Rx_DFECDR_setProperty(&o, &o.AdaptGain, c.written)
                          : dfecdr_b::Rx_DFECDR_setPropertyN(&o, &o.AdaptGain, c.written);
  EXPECT_EQ(stored, c.stores);
  EXPECT_EQ(o.propertiesChanged, c.flags);
  EXPECT_TRUE(sameBits(o.AdaptGain, c.stores ? c.written : c.stored));
}
INSTANTIATE_TEST_SUITE_P(Properties, PropertyTest, ::testing::ValuesIn(kProps),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Properties, ArrayWrittenWholeAtFirstDifference) {
  blk_DFECDR_Rx_T o{};
  o.isSetUp = 1;
  const double stored[4] = {1.0, -0.0, 3.0, 4.0};
  const double same[4] = {1.0, 0.0, 3.0, 4.0};
  for (int k = 0; k < 4; ++k) o.TapMin[k] = stored[k];
  EXPECT_FALSE(dfecdr_b::Rx_DFECDR_setProperty4(&o, o.TapMin, same));
  EXPECT_TRUE(sameBits(o.TapMin[1], -0.0));  // an equal array is not rewritten
  EXPECT_FALSE(o.propertiesChanged);
  const double last[4] = {1.0, 0.0, 3.0, 5.0};
  EXPECT_TRUE(dfecdr_b::Rx_DFECDR_setProperty4(&o, o.TapMin, last));
  EXPECT_TRUE(o.propertiesChanged);
  EXPECT_TRUE(sameBits(o.TapMin[1], 0.0));  // written whole
  EXPECT_TRUE(sameBits(o.TapMin[3], 5.0));
}

TEST(Properties, NanInBothArraysRewritesEveryTime) {
  blk_DFECDR_Rx_T o{};
  o.isSetUp = 1;
  const double v[4] = {kNaN, 0.0, 0.0, 0.0};
  EXPECT_TRUE(dfecdr_b::Rx_DFECDR_setProperty4(&o, o.TapMax, v));
  o.propertiesChanged = false;
  EXPECT_TRUE(dfecdr_b::Rx_DFECDR_setProperty4(&o, o.TapMax, v));
  EXPECT_TRUE(o.propertiesChanged);
}

TEST(Properties, RefreshWithFrameValuesChangesNothing) {
  Frame f(kSt, kDt, 2.0);
  dfecdr_b::Rx_DFECDR_refreshProperties(&f.obj, dfecdr_b::kTapMin, dfecdr_b::kTapMax, kSt, kDt,
                                        2.0);
  EXPECT_FALSE(f.obj.propertiesChanged);
  dfecdr_b::Rx_DFECDR_refreshProperties(&f.obj, dfecdr_b::kTapMin, dfecdr_b::kTapMax, kSt, kDt,
                                        4.0);
  EXPECT_TRUE(f.obj.propertiesChanged);
  EXPECT_TRUE(sameBits(f.obj.Modulation, 4.0));
}

TEST(Properties, FirstStepTakesOverTheTapsOnce) {
  const double taps[4] = {-0.095, -0.025, -0.02, -0.015};
  Frame f(kSt, kDt, 2.0, 1.0, taps);
  f.step(0.1);
  EXPECT_FALSE(f.obj.propertiesChanged);
  EXPECT_FALSE(f.obj.firstTuning);
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(sameBits(f.obj.appliedTaps[k], taps[k]));
    EXPECT_TRUE(sameBits(f.adapted[k], taps[k]));
  }
  // Same arguments again: no processing, so a hand-made change survives.
  f.obj.appliedTaps[2] = 0.5;
  const double same[4] = {taps[0], taps[1], taps[2], taps[3]};
  double out, tw[4], ph, ct, cs, th;
  dfecdr_b::Rx_SystemCore_step(&f.obj, 0.1, 1.0, same, 0.0, 0.0, &out, tw, &ph, &ct, &cs, &th);
  EXPECT_TRUE(sameBits(f.obj.appliedTaps[2], 0.5));
  // A changed tap weight rebuilds all four taps (later processing keeps the history).
  f.obj.decisionHistory[0] = 0.5;
  const double changed[4] = {taps[0], taps[1], taps[2], -0.01};
  dfecdr_b::Rx_SystemCore_step(&f.obj, 0.1, 1.0, changed, 0.0, 0.0, &out, tw, &ph, &ct, &cs, &th);
  EXPECT_TRUE(sameBits(f.obj.appliedTaps[2], taps[2]));
  EXPECT_TRUE(sameBits(f.obj.appliedTaps[3], -0.01));
  EXPECT_TRUE(sameBits(f.obj.decisionHistory[0], 0.5));
}

TEST(Properties, RepeatedNanModeIsNotAChange) {
  Frame f(kSt, kDt, 2.0, kNaN);
  f.step(0.1);
  f.obj.appliedTaps[0] = 0.25;
  f.step(0.1);
  EXPECT_TRUE(sameBits(f.obj.appliedTaps[0], 0.25));
}

// ---- timeline --------------------------------------------------------------

TEST(Timeline, FirstEdgeOnSecondCallFirstDataOnSixth) {
  Frame f(kSt, kDt, 2.0);
  const double x[6] = {0.11, 0.22, 0.33, 0.44, 0.55, 0.66};
  const double wantDataCountdown[6] = {3.0, 2.0, 1.0, 0.0, -1.0, 6.0};
  const double wantClock[6] = {1.0, 0.0, 0.0, 0.0, 0.0, 1.0};
  for (int i = 0; i < 6; ++i) {
    const StepOut o = f.step(x[i]);
    EXPECT_TRUE(sameBits(f.obj.dataCountdown, wantDataCountdown[i])) << "call " << i + 1;
    EXPECT_TRUE(sameBits(o.clockSignal, wantClock[i])) << "call " << i + 1;
    if (i == 1) {
      EXPECT_TRUE(sameBits(f.obj.edgeSample, 0.11));  // the first output sample
      EXPECT_TRUE(sameBits(f.obj.edgeSign, 0.5));
      EXPECT_TRUE(sameBits(f.obj.edgeCountdown, 6.0));
    }
  }
  // Interpolated fully onto the fifth sample, at time 4 dt.
  EXPECT_TRUE(sameBits(f.obj.dataSample, 0.55));
  EXPECT_TRUE(sameBits(f.obj.decision, 0.5));
  EXPECT_TRUE(sameBits(f.obj.phaseTime, 4.0 * kDt));
  EXPECT_TRUE(sameBits(f.obj.clockTimeOut, 0.0));
  EXPECT_TRUE(sameBits(f.step(0.1).phase, 0.5));
}

TEST(Timeline, FractionalCountdownsInterpolateInTheFixedForm) {
  Frame f(kSt, kDt, 2.0);
  f.step(0.0);
  f.obj.previousOutput = 0.7;
  f.obj.edgeCountdown = -0.3;
  f.obj.dataCountdown = -0.37;
  f.step(0.1);
  // (1 + f) * current - previous * f; the algebraically equal
  // current + (current - previous) * f rounds differently for these values.
  EXPECT_TRUE(sameBits(f.obj.edgeSample, 0.27999999999999997));
  EXPECT_TRUE(sameBits(f.obj.dataSample, (1.0 + -0.37) * 0.1 - 0.7 * -0.37));
  EXPECT_TRUE(sameBits(f.obj.phaseTime, 1.0 * kDt + -0.37 * kDt));
  EXPECT_TRUE(sameBits(f.obj.clockTimeOut, 0.0));  // before half a symbol: held at 0
}

TEST(Timeline, ReferenceOffsetRearmsEdgeCountdown) {
  Frame f(kSt, kDt, 2.0);
  f.ro = 100.0;
  f.step(0.1);
  f.step(0.1);  // first edge, f = -1
  EXPECT_TRUE(sameBits(f.obj.edgeCountdown, ((100.0 / 1e6 + 1.0) * 8.0 + -1.0) - 1.0));
  EXPECT_NEAR(f.obj.edgeCountdown + 2.0, 8.0008, 1e-12);
}

// Times of the edge and data instants [samples], reconstructed from the
// countdown that fires and the samples processed before the call.
struct Instants {
  std::vector<double> edge;
  std::vector<double> data;
};
Instants runInstants(Frame& f, const std::vector<double>& wave) {
  Instants r;
  for (double x : wave) {
    const double before = f.obj.sampleIndex;
    const double ec = f.obj.edgeCountdown;
    const double dc = f.obj.dataCountdown;
    f.step(x);
    if (ec < 0.0) r.edge.push_back(before + ec);
    if (dc < 0.0) r.data.push_back(before + dc);
  }
  return r;
}

// Clean NRZ or PAM4 waveform: symbol k holds levels[k] from (k + offset) UI to
// (k + 1 + offset) UI, with half-sine transitions half a symbol wide centred
// on the boundaries.
std::vector<double> makeWave(const std::vector<double>& levels, double offsetUi, int sps) {
  const double pi = 3.14159265358979323846;
  const std::int64_t n = static_cast<std::int64_t>(levels.size()) * sps;
  std::vector<double> w(static_cast<std::size_t>(n));
  auto level = [&](std::int64_t k) {
    if (k < 0) k = 0;
    if (k >= static_cast<std::int64_t>(levels.size())) k = levels.size() - 1;
    return levels[static_cast<std::size_t>(k)];
  };
  for (std::int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / sps - offsetUi;
    const std::int64_t k = static_cast<std::int64_t>(std::floor(t));
    const double u = t - static_cast<double>(k);
    // a before the nearest boundary, b after it; s runs -1 .. 1 across it.
    double a = level(k), b = level(k), s = 0.0;
    if (u < 0.25) {
      a = level(k - 1);
      s = std::sin(pi / 2.0 * u / 0.25);
    } else if (u > 0.75) {
      b = level(k + 1);
      s = std::sin(pi / 2.0 * (u - 1.0) / 0.25);
    }
    w[i] = (a + b) / 2.0 + (b - a) / 2.0 * s;
  }
  return w;
}

std::vector<double> prbsLevels(std::size_t n, int modulation) {
  std::uint32_t lfsr = 0x5bu;
  auto bit = [&]() {
    const std::uint32_t b = ((lfsr >> 6) ^ (lfsr >> 5)) & 1u;
    lfsr = ((lfsr << 1) | b) & 0x7fu;
    return b;
  };
  const double pam[4] = {-0.5, -1.0 / 6.0, 1.0 / 6.0, 0.5};
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (modulation == 4) {
      const std::uint32_t hi = bit();
      v[i] = pam[hi * 2 + bit()];
    } else {
      v[i] = bit() != 0 ? 0.5 : -0.5;
    }
  }
  return v;
}

TEST(Timeline, DataInstantsEightApartMovedOnlyAtPhaseSteps) {
  Frame f(kSt, kDt, 2.0);
  const std::vector<double> wave = makeWave(prbsLevels(600, 2), 0.3, 8);
  const double amount = (1.0 + 0.0 / 1e6) * 0.0078 * 8.0;
  int early = 0, late = 0;
  std::vector<double> data;
  for (double x : wave) {
    const double before = f.obj.sampleIndex;
    const double ec = f.obj.edgeCountdown;
    const double dc = f.obj.dataCountdown;
    f.step(x);
    if (!(dc < 0.0)) continue;
    data.push_back(before + dc);
    ASSERT_GE(ec, 0.0);  // with no phase offset the edge instant is in another call
    // The edge countdown either just counted down or moved by one phase step.
    const double now = f.obj.edgeCountdown;
    if (sameBits(now, (ec - 1.0) + amount)) {
      ++early;
    } else if (sameBits(now, (ec - 1.0) - amount)) {
      ++late;
    } else {
      EXPECT_TRUE(sameBits(now, ec - 1.0));
    }
  }
  // The edge sampler starts 0.3 UI before the transitions: the steps delay it.
  EXPECT_GT(early, 10);
  EXPECT_GT(early, late);
  ASSERT_GT(data.size(), 500u);
  int moved = 0;
  for (std::size_t i = 1; i < data.size(); ++i) {
    // Instants are reconstructed as index + countdown, which rounds a little.
    const double gap = data[i] - data[i - 1];
    if (std::fabs(gap - 8.0) < 1e-9) continue;
    ++moved;
    EXPECT_TRUE(std::fabs(gap - (8.0 + 0.0624)) < 1e-9 || std::fabs(gap - (8.0 - 0.0624)) < 1e-9)
        << "gap " << gap << " at " << i;
  }
  EXPECT_EQ(moved, early + late);
}

TEST(Timeline, PhaseOffsetQuarterPutsDataSixSamplesAfterEdge) {
  Frame f(kSt, kDt, 2.0);
  f.po = 0.25;
  const Instants r = runInstants(f, std::vector<double>(200, 0.3));
  ASSERT_GT(r.edge.size(), 10u);
  // Pair every data instant after the first with the edge instant before it.
  std::size_t e = 0;
  for (std::size_t i = 1; i < r.data.size(); ++i) {
    while (e + 1 < r.edge.size() && r.edge[e + 1] < r.data[i]) ++e;
    EXPECT_TRUE(sameBits(r.data[i] - r.edge[e], 6.0)) << i;
  }
}

TEST(Timeline, PhaseOffsetMinusHalfEndsEveryCallOnDataInstant) {
  Frame f(kSt, kDt, 2.0);
  f.po = -0.5;
  const std::vector<double> wave = makeWave(prbsLevels(50, 2), 0.3, 8);
  int both = 0;
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double ec = f.obj.edgeCountdown;
    const double dc = f.obj.dataCountdown;
    const StepOut o = f.step(wave[i]);
    if (i > 6 && ec < 0.0) {
      EXPECT_LT(dc, 0.0) << i;  // the data instant falls in the same call
      EXPECT_TRUE(sameBits(o.clockSignal, 1.0)) << i;
      ++both;
    }
  }
  EXPECT_GT(both, 40);
}

TEST(Timeline, CdrModeZeroFreezesThePhase) {
  Frame f(kSt, kDt, 2.0);
  f.obj.CdrMode = 0.0;
  const Instants r = runInstants(f, makeWave(prbsLevels(400, 2), 0.3, 8));
  for (std::size_t i = 1; i < r.data.size(); ++i)
    EXPECT_TRUE(sameBits(r.data[i] - r.data[i - 1], 8.0)) << i;
  EXPECT_GT(f.obj.voteCount, 16.0);  // never reset
  EXPECT_TRUE(sameBits(f.obj.voteThreshold, 2.0));
}

TEST(Timeline, VoteThresholdGrowsToCountLimitAndStays) {
  Frame f(kSt, kDt, 2.0);
  const std::vector<double> wave = makeWave(prbsLevels(3000, 2), 0.3, 8);
  double last = f.obj.voteThreshold;
  int stepsAtCeiling = 0;
  for (double x : wave) {
    const double votes = f.obj.voteCount;
    f.step(x);
    EXPECT_GE(f.obj.voteThreshold, last);
    EXPECT_LE(f.obj.voteThreshold, 16.0);
    // A vote that reached the threshold was reset by a phase step.
    if (last == 16.0 && std::fabs(votes) == 15.0 && f.obj.voteCount == 0.0) ++stepsAtCeiling;
    last = f.obj.voteThreshold;
  }
  EXPECT_TRUE(sameBits(f.obj.voteThreshold, 16.0));
  EXPECT_GT(stepsAtCeiling, 0);
}

// ---- decisions and tracking ------------------------------------------------

struct DecideCase {
  const char* name;
  double modulation;
  double sample;
  double threshold;
  double want;
};
const DecideCase kDecide[] = {
    {"pam4_outer_positive", 4.0, 0.4, 0.333, 0.5},
    {"pam4_inner_positive", 4.0, 0.2, 0.333, 0.167},
    {"pam4_zero_is_negative_inner", 4.0, 0.0, 0.333, -0.167},
    {"pam4_negative_zero", 4.0, -0.0, 0.333, -0.167},
    {"pam4_at_minus_threshold", 4.0, -0.333, 0.333, -0.167},
    {"pam4_outer_negative", 4.0, -0.4, 0.333, -0.5},
    {"pam4_equal_threshold", 4.0, 0.333, 0.333, 0.167},
    {"pam4_nan", 4.0, kNaN, 0.333, -0.167},
    {"nrz_zero", 2.0, 0.0, 0.0, -0.5},
    {"nrz_positive", 2.0, 1e-300, 0.0, 0.5},
    {"nrz_nan", 2.0, kNaN, 0.0, -0.5},
    {"other_modulation_binary", 3.0, 0.2, 0.333, 0.5},
};
class DecideTest : public ::testing::TestWithParam<DecideCase> {};
TEST_P(DecideTest, Symbol) {
  const DecideCase& c = GetParam();
  EXPECT_TRUE(sameBits(dfecdr_b::Rx_DFECDR_decide(c.sample, c.threshold, c.modulation), c.want));
}
INSTANTIATE_TEST_SUITE_P(Decisions, DecideTest, ::testing::ValuesIn(kDecide),
                         [](const auto& i) { return std::string(i.param.name); });

// Steps a set-up record to its first data instant (sixth call) on a constant
// input, so that the data sample equals that input exactly.
blk_DFECDR_Rx_T& toFirstDataInstant(Frame& f, double x) {
  for (int i = 0; i < 6; ++i) f.step(x);
  return f.obj;
}

TEST(Decisions, SampleEqualToTrackedThresholdTakesInnerSymbol) {
  Frame f(kSt, kDt, 4.0);
  const double inner = 0.25, outer = 0.45;
  const double x = (outer + inner) / 2.0;
  f.obj.innerLevel = inner;
  f.obj.outerLevel = outer;
  f.obj.amplitude = x;  // equal magnitude: neither level moves
  const blk_DFECDR_Rx_T& o = toFirstDataInstant(f, x);
  EXPECT_TRUE(sameBits(o.dataSample, x));
  EXPECT_TRUE(sameBits(o.pamThreshold, x));
  EXPECT_TRUE(sameBits(o.decision, 0.167));
}

TEST(Decisions, NrzZeroSampleThroughTheStep) {
  Frame f(kSt, kDt, 2.0);
  EXPECT_TRUE(sameBits(toFirstDataInstant(f, 0.0).decision, -0.5));
  Frame g(kSt, kDt, 2.0);
  EXPECT_TRUE(sameBits(toFirstDataInstant(g, kNaN).decision, -0.5));
  Frame h(kSt, kDt, 4.0);
  EXPECT_TRUE(sameBits(toFirstDataInstant(h, kNaN).decision, -0.167));
}

struct TrackCase {
  const char* name;
  double sample;
  bool outerMoves;
  bool innerMoves;
};
const TrackCase kTrack[] = {
    {"outer", 0.5, true, false},
    {"outer_negative", -0.5, true, false},
    {"inner", 0.1, false, true},
    {"equal_to_amplitude", 0.333, false, false},
};
class TrackTest : public ::testing::TestWithParam<TrackCase> {};
TEST_P(TrackTest, LevelMeansMoveWithTwiceTheAmplitudeWeight) {
  const TrackCase& c = GetParam();
  blk_DFECDR_Rx_T o{};
  o.averagingLength = 400.0;
  o.amplitude = 0.333;
  o.innerLevel = 0.3;
  o.outerLevel = 0.4;
  o.pamThreshold = 0.333;
  o.dataSample = c.sample;
  dfecdr_b::Rx_DFECDR_trackLevels(&o);
  const double a = std::fabs(c.sample);
  const double amp = 0.333 + (a - 0.333) / 400.0 / 2.0;
  const double outer = c.outerMoves ? 0.4 + (a - 0.4) / 400.0 : 0.4;
  const double inner = c.innerMoves ? 0.3 + (a - 0.3) / 400.0 : 0.3;
  EXPECT_TRUE(sameBits(o.amplitude, amp));
  EXPECT_TRUE(sameBits(o.outerLevel, outer));
  EXPECT_TRUE(sameBits(o.innerLevel, inner));
  EXPECT_TRUE(sameBits(o.pamThreshold, (outer + inner) / 2.0));
}
INSTANTIATE_TEST_SUITE_P(Tracking, TrackTest, ::testing::ValuesIn(kTrack),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Tracking, EqualMagnitudesKeepTheThreshold) {
  blk_DFECDR_Rx_T o{};
  o.averagingLength = 400.0;
  o.amplitude = 0.2;
  o.innerLevel = 0.15;
  o.outerLevel = 0.45;
  o.dataSample = 0.6;
  dfecdr_b::Rx_DFECDR_trackLevels(&o);
  const double threshold = o.pamThreshold, inner = o.innerLevel, outer = o.outerLevel;
  for (int i = 0; i < 5; ++i) {
    o.dataSample = (i % 2 == 0 ? 1.0 : -1.0) * o.amplitude;
    dfecdr_b::Rx_DFECDR_trackLevels(&o);
    EXPECT_TRUE(sameBits(o.pamThreshold, threshold));
    EXPECT_TRUE(sameBits(o.innerLevel, inner));
    EXPECT_TRUE(sameBits(o.outerLevel, outer));
  }
}

TEST(Tracking, NrzLeavesLevelsAndReportsZeroThreshold) {
  Frame f(kSt, kDt, 2.0);
  StepOut o{};
  for (double x : makeWave(prbsLevels(100, 2), 0.3, 8)) o = f.step(x);
  EXPECT_TRUE(sameBits(o.threshold, 0.0));
  EXPECT_TRUE(sameBits(f.obj.amplitude, 0.333));
  EXPECT_TRUE(sameBits(f.obj.pamThreshold, 0.333));
}

// ---- phase detector on the edge sign ---------------------------------------

TEST(PhaseDetector, ZeroEdgeSampleCountsAsNegativeAndVotes) {
  Frame f(kSt, kDt, 2.0);
  // Previous symbol +0.5, an edge sample of exactly 0, new symbol -0.5: the
  // zero counts as negative, matches the new symbol, so the vote is late.
  f.obj.decision = 0.5;
  f.obj.previousOutput = 0.0;
  f.obj.edgeCountdown = -1.0;  // fires now, sampling previousOutput
  f.obj.dataCountdown = -0.5;  // the data instant in the same call
  double out, tw[4], ph, ct, cs, th;
  dfecdr_b::Rx_SystemCore_step(&f.obj, -0.8, 0.0, kZeroTaps, 0.0, 0.0, &out, tw, &ph, &ct, &cs,
                               &th);
  EXPECT_TRUE(sameBits(f.obj.edgeSample, 0.0));
  EXPECT_TRUE(sameBits(f.obj.edgeSign, -0.5));
  EXPECT_TRUE(sameBits(f.obj.previousDecision, 0.5));
  EXPECT_TRUE(sameBits(f.obj.dataSample, -0.4));
  EXPECT_TRUE(sameBits(f.obj.decision, -0.5));
  EXPECT_TRUE(sameBits(f.obj.voteCount, -1.0));
}

TEST(PhaseDetector, EarlyVotesDelayLateVotesAdvance) {
  struct Case {
    double previous, edge, current, votes;
  };
  // previous decision, edge sample, data sample, expected vote
  const Case cases[] = {{0.5, 0.2, -0.4, 1.0},  {-0.5, -0.2, 0.4, 1.0}, {0.5, -0.2, -0.4, -1.0},
                        {-0.5, 0.2, 0.4, -1.0}, {0.5, 0.2, 0.4, 0.0},   {-0.5, -0.2, -0.4, 0.0}};
  for (const Case& c : cases) {
    Frame f(kSt, kDt, 2.0);
    f.obj.decision = c.previous;
    f.obj.previousOutput = c.edge;
    f.obj.voteThreshold = 1.0;  // a single vote makes a phase step
    f.obj.edgeCountdown = -1.0;
    f.obj.dataCountdown = -0.5;
    double out, tw[4], ph, ct, cs, th;
    // Data sample = 0.5 * x - edge * -0.5 = c.current.
    const double x = (c.current - c.edge * 0.5) / 0.5;
    dfecdr_b::Rx_SystemCore_step(&f.obj, x, 0.0, kZeroTaps, 0.0, 0.0, &out, tw, &ph, &ct, &cs,
                                 &th);
    const double rearmed = ((0.0 / 1e6 + 1.0) * 8.0 + -1.0) - 1.0;
    const double amount = (1.0 + 0.0 / 1e6) * 0.0078 * 8.0;
    const double want = c.votes > 0 ? rearmed + amount : c.votes < 0 ? rearmed - amount : rearmed;
    EXPECT_TRUE(sameBits(f.obj.edgeCountdown, want)) << c.previous << " " << c.edge;
    EXPECT_TRUE(sameBits(f.obj.voteThreshold, c.votes != 0.0 ? 2.0 : 1.0));
    EXPECT_TRUE(sameBits(f.obj.voteCount, 0.0));
    EXPECT_TRUE(sameBits(f.obj.dataCountdown, 0.0 * 0.0 + (want + 4.0)));
  }
}

// ---- feedback and tap adaptation -------------------------------------------

TEST(Feedback, ModeZeroPassesInputUnchanged) {
  const double taps[4] = {-0.04, -0.02, 0.01, 0.0};
  Frame f(kSt, kDt, 2.0, 0.0, taps);
  std::vector<double> wave = makeWave(prbsLevels(100, 2), 0.3, 8);
  wave[37] = -0.0;
  wave[90] = kNaN;
  for (double x : wave) EXPECT_TRUE(sameBits(f.step(x).output, x));
  EXPECT_NE(f.obj.decisionHistory[0], 0.0);  // the samplers still ran
}

TEST(Feedback, ModeOneAddsHistoryTimesTapsInOrder) {
  const double taps[4] = {-0.04, -0.02, 0.01, 0.0};
  Frame f(kSt, kDt, 2.0, 1.0, taps);
  int nonZero = 0;
  for (double x : makeWave(prbsLevels(200, 2), 0.3, 8)) {
    const StepOut o = f.step(x);
    const double* h = f.obj.decisionHistory;
    const double want = (((h[0] * taps[0] + x) + h[1] * taps[1]) + h[2] * taps[2]) + h[3] * taps[3];
    EXPECT_TRUE(sameBits(o.output, want));
    if (o.output != x) ++nonZero;
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(o.taps[k], taps[k]));
  }
  EXPECT_GT(nonZero, 100);
}

// Prepares a Mode 2 record whose next call is a data instant (and no edge
// instant) with data sample `sample` and the given decision history.
void armAdaptation(Frame& f, double sample, const double history[4]) {
  f.step(0.0);  // processes Mode 2 and the taps
  for (int k = 0; k < 4; ++k) f.obj.decisionHistory[k] = history[k];
  f.obj.edgeCountdown = 5.0;
  f.obj.dataCountdown = -1.0;
  f.obj.previousOutput = sample;
}

TEST(Adaptation, AccumulatorsClampAtLimitsBeforeQuantisation) {
  const double start[4] = {-0.0001, 0.0, 0.0, 0.0};
  Frame f(kSt, kDt, 2.0, 2.0, start);
  const double history[4] = {0.5, -0.5, 0.5, -0.5};
  armAdaptation(f, -1000.0, history);  // e = -0.096: every tap driven past a limit
  f.step(0.0);
  const double* up = f.obj.tapUpper;
  const double* lo = f.obj.tapLower;
  const double want[4] = {up[0], lo[1], up[2], lo[3]};
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(sameBits(f.obj.tapAccumulators[k], want[k])) << k;
    EXPECT_TRUE(sameBits(f.obj.appliedTaps[k], rt_roundd_snf(want[k] / 1e-6) * 1e-6)) << k;
    EXPECT_TRUE(sameBits(f.adapted[k], f.obj.appliedTaps[k])) << k;
  }
  EXPECT_TRUE(sameBits(f.obj.appliedTaps[0], 0.0));  // upper limit of tap 1 is 0
}

TEST(Adaptation, AppliedTapsAreQuantisedAccumulators) {
  const double start[4] = {-0.05, 0.01, -0.01, 0.005};
  Frame f(kSt, kDt, 2.0, 2.0, start);
  const std::vector<double> wave = makeWave(prbsLevels(400, 2), 0.3, 8);
  int moved = 0;
  for (std::size_t i = 0; i < wave.size(); ++i) {
    // A little post-cursor interference for the taps to work on.
    const double x = wave[i] + (i >= 8 ? 0.03 * wave[i - 8] : 0.0);
    const bool dataInstant = f.obj.dataCountdown < 0.0;
    f.step(x);
    // Between data instants the taps are whatever the fed-back weights gave.
    if (!dataInstant) continue;
    for (int k = 0; k < 4; ++k) {
      const double acc = f.obj.tapAccumulators[k];
      EXPECT_LE(acc, f.obj.tapUpper[k]);
      EXPECT_GE(acc, f.obj.tapLower[k]);
      EXPECT_TRUE(sameBits(f.obj.appliedTaps[k], rt_roundd_snf(acc / 1e-6) * 1e-6));
      EXPECT_LE(std::fabs(f.obj.appliedTaps[k] - acc), 0.5e-6 + 1e-18);
    }
    if (f.obj.appliedTaps[0] != start[0]) ++moved;
  }
  EXPECT_GT(moved, 0);
}

TEST(Adaptation, NanSampleTurnsAccumulatorsNan) {
  Frame f(kSt, kDt, 2.0, 2.0);
  const double history[4] = {0.5, 0.5, -0.5, 0.5};
  armAdaptation(f, kNaN, history);
  f.step(0.0);
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(std::isnan(f.obj.tapAccumulators[k]));
    EXPECT_TRUE(std::isnan(f.obj.appliedTaps[k]));
  }
}

// ---- degenerate timing in the time-domain step ------------------------------

struct TimingCase {
  const char* name;
  double symbolTime;
  double sampleInterval;
};
const TimingCase kBadTiming[] = {
    {"nan_symbol_time", kNaN, kDt},
    {"zero_sample_interval", kSt, 0.0},
    {"zero_symbol_time", 0.0, kDt},
    {"negative_sample_interval", kSt, -kDt},
    {"nan_sample_interval", kSt, kNaN},
    {"huge_ratio", 1e300, 1e-300},
    {"huge_finite", 1e30, 1e-12},
    {"infinite_symbol_time", HUGE_VAL, kDt},
};
class BadTimingStepTest : public ::testing::TestWithParam<TimingCase> {};
TEST_P(BadTimingStepTest, StepStaysDefined) {
  const TimingCase& c = GetParam();
  const double taps[4] = {-0.04, -0.02, 0.0, 0.0};
  Frame pass(c.symbolTime, c.sampleInterval, 4.0, 0.0, taps);
  Frame fed(c.symbolTime, c.sampleInterval, 4.0, 1.0, taps);
  for (double x : makeWave(prbsLevels(64, 2), 0.3, 8)) {
    EXPECT_TRUE(sameBits(pass.step(x).output, x));
    fed.step(x);
  }
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(fed.adapted[k], taps[k]));
}
INSTANTIATE_TEST_SUITE_P(Degenerate, BadTimingStepTest, ::testing::ValuesIn(kBadTiming),
                         [](const auto& i) { return std::string(i.param.name); });

// ---- statistical step -------------------------------------------------------

struct Matrix {
  Matrix(std::int32_t rows, std::int32_t cols) {
    Rx_dynInit_real_T(&a, 2);
    a->sizes[0] = rows;
    a->sizes[1] = cols;
    Rx_dynEnsureCapacity_real_T(a, 0);
  }
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;
  ~Matrix() { Rx_dynFree_real_T(&a); }
  double& at(std::int32_t r, std::int32_t c) { return a->elements[r + c * a->sizes[0]]; }
  std::vector<double> values() const {
    const std::int64_t n = Rx_dynNumel(a->sizes, a->dimCount);
    return std::vector<double>(a->elements, a->elements + n);
  }
  dynArray_real_T* a = nullptr;
};

struct StatRun {
  bool ok;
  double taps[4];
  double phase;
  cdrStatSignals_Rx_T signals;
  blk_DFECDR_Rx_n_T obj;
  std::vector<double> out;
};

StatRun runStat(const Matrix& in, double modulation, double mode, const double taps[4],
                double phaseOffset = 0.0, double symbolTime = kSt, double sampleInterval = kDt) {
  StatRun r{};
  dfecdr_b::Rx_DFECDR_construct(&r.obj, symbolTime, sampleInterval, modulation, phaseOffset, mode,
                                taps);
  Matrix out(0, 0);
  r.ok = dfecdr_b::Rx_SystemCore_step_n(&r.obj, in.a, out.a, r.taps, &r.phase, &r.signals);
  r.out = out.values();
  return r;
}

// 64 rows, 8 samples per symbol: 1/dt at row 10 (0-based), optionally
// 0.5/dt at row 18, all scaled by `sign`; a second column of aggressor data.
void fillExample(Matrix& m, bool second, double sign = 1.0) {
  for (std::int32_t r = 0; r < 64; ++r) {
    m.at(r, 0) = 0.0;
    if (m.a->sizes[1] > 1) m.at(r, 1) = 0.001 * r - 0.02;
  }
  m.at(10, 0) = sign * (1.0 / kDt);
  if (second) m.at(18, 0) = sign * (0.5 / kDt);
}

void expectOnlyChanged(const std::vector<double>& got, const Matrix& in,
                       const std::vector<std::pair<int, double>>& changes) {
  std::vector<double> want = in.values();
  for (const auto& c : changes) want[c.first] = c.second;
  EXPECT_TRUE(sameBits(got, want));
}

TEST(Statistical, UnitPulseCursorPhaseAndThreshold) {
  Matrix in(64, 2);
  fillExample(in, false);
  const StatRun r = runStat(in, 4.0, 0.0, kZeroTaps);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(sameBits(r.phase, 1.0));  // tr = 16: the eighth sample of its symbol
  EXPECT_TRUE(sameBits(r.obj.pamThreshold, 0.3333333333333333));
  EXPECT_TRUE(sameBits(r.signals.diagnostics.upperThreshold, 0.3333333333333333));
  EXPECT_TRUE(sameBits(r.signals.diagnostics.pamThreshold, 0.3333333333333333));
  EXPECT_TRUE(sameBits(r.signals.diagnostics.phase, 1.0));
  EXPECT_TRUE(sameBits(r.obj.phaseTime, 8.0 * kDt));
  EXPECT_TRUE(sameBits(r.out, in.values()));
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(r.taps[k], 0.0));
}

TEST(Statistical, FirstUseAndDiagnostics) {
  Matrix in(64, 1);
  fillExample(in, false);
  const StatRun r = runStat(in, 2.0, 0.0, kZeroTaps);
  EXPECT_EQ(r.obj.isSetUp, 1);
  EXPECT_TRUE(sameBits(r.obj.TapScale, 1.0));
  EXPECT_TRUE(sameBits(r.obj.samplesPerSymbol, 8.0));
  EXPECT_TRUE(sameBits(r.obj.pamThreshold, 0.0));
  const dfecdr_b::cdrOptional_Rx_T& d = r.signals.diagnostics;
  EXPECT_TRUE(sameBits(d.symbol, 0.0));
  EXPECT_TRUE(sameBits(d.dataVoltage, 0.0));
  EXPECT_TRUE(sameBits(d.upperThreshold, 0.0));
  EXPECT_TRUE(sameBits(d.edgeVoltage, 0.0));
  EXPECT_TRUE(sameBits(d.countdown, 4.0));
  EXPECT_TRUE(sameBits(d.votes, 0.0));
  EXPECT_TRUE(sameBits(d.innerLevel, 0.3));
  EXPECT_TRUE(sameBits(d.outerLevel, 0.4));
  EXPECT_TRUE(sameBits(d.amplitude, 0.333));
  EXPECT_TRUE(sameBits(d.pamThreshold, 0.0));
  EXPECT_TRUE(sameBits(r.signals.clockTime, 0.0));
  EXPECT_TRUE(sameBits(r.signals.clockSignal, 1.0));
}

TEST(Statistical, ModeTwoOnUnitPulseGivesNegativeZeroTaps) {
  Matrix in(64, 1);
  fillExample(in, false);
  const StatRun r = runStat(in, 2.0, 2.0, kZeroTaps);
  // The post-cursor samples are +0, so each tap reads -0 and stays -0.
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(r.taps[k], -0.0)) << k;
  EXPECT_TRUE(sameBits(r.out, in.values()));
}

TEST(Statistical, ModeTwoClampsFirstTapAndFeedsItBack) {
  Matrix in(64, 2);
  fillExample(in, true);
  const StatRun r = runStat(in, 4.0, 2.0, kZeroTaps);
  EXPECT_TRUE(sameBits(r.phase, 1.0));
  // Tap 1 reads -0.5, below the lower limit -0.095.
  EXPECT_TRUE(sameBits(r.taps[0], -0.095));
  EXPECT_TRUE(sameBits(r.obj.tapAccumulators[0], -0.095));
  for (int k = 1; k < 4; ++k) EXPECT_TRUE(sameBits(r.taps[k], -0.0)) << k;
  // Row 20 (1-based) gains the tap over dt; the -0 taps change nothing.
  expectOnlyChanged(r.out, in, {{19, 0.0 + (-0.095 / kDt)}});
  EXPECT_TRUE(sameBits(r.obj.pamThreshold, 0.3333333333333333));
}

TEST(Statistical, NegatedPulseReadsTapsFromPulseItself) {
  Matrix in(64, 1);
  fillExample(in, true, -1.0);
  const StatRun r = runStat(in, 4.0, 2.0, kZeroTaps);
  EXPECT_TRUE(sameBits(r.phase, 1.0));  // the search ran on -pulse
  // Tap 1 reads +0.5 and is clamped to the upper limit 0.
  EXPECT_TRUE(sameBits(r.taps[0], 0.0));
  EXPECT_TRUE(sameBits(r.obj.tapAccumulators[0], 0.0));
  // The other taps read -(+0): the zeros of the pulse are +0 whatever its sign.
  for (int k = 1; k < 4; ++k) EXPECT_TRUE(sameBits(r.taps[k], -0.0)) << k;
  EXPECT_TRUE(sameBits(r.obj.pamThreshold, -0.3333333333333333));
  EXPECT_TRUE(sameBits(r.out, in.values()));
}

TEST(Statistical, ModeOneAddsGivenTapsAtPostCursorWindows) {
  Matrix in(64, 2);
  fillExample(in, false);
  const double taps[4] = {-0.04, -0.02, 0.01, 0.0};
  const StatRun r = runStat(in, 2.0, 1.0, taps);
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(r.taps[k], taps[k]));
  // Positions 8k + 16 - 4 (1-based): rows 20, 28, 36, 44; column 2 untouched.
  expectOnlyChanged(r.out, in,
                    {{19, 0.0 + (-0.04 / kDt)}, {27, 0.0 + (-0.02 / kDt)}, {35, 0.0 + 0.01 / kDt}});
}

TEST(Statistical, ModeOneLeavesTapsOutsideTheLimitsUnclamped) {
  Matrix in(64, 1);
  fillExample(in, false);
  const double taps[4] = {-0.5, 0.3, 0.0, 0.0};
  const StatRun r = runStat(in, 2.0, 1.0, taps);
  EXPECT_TRUE(sameBits(r.taps[0], -0.5));
  EXPECT_TRUE(sameBits(r.taps[1], 0.3));
}

TEST(Statistical, OddSamplesPerSymbolTruncatesFeedbackPositions) {
  Matrix in(64, 1);
  fillExample(in, false);
  const double taps[4] = {-0.04, -0.02, 0.01, 0.005};
  const StatRun r = runStat(in, 2.0, 1.0, taps, 0.0, 7.0 * kDt);
  // Crossing at 18.5, cursor 15; positions 7k + 11.5 truncated: 18, 25, 32, 39.
  EXPECT_TRUE(sameBits(r.phase, 1.0 / 7.0));
  expectOnlyChanged(r.out, in,
                    {{17, 0.0 + (-0.04 / kDt)},
                     {24, 0.0 + (-0.02 / kDt)},
                     {31, 0.0 + 0.01 / kDt},
                     {38, 0.0 + 0.005 / kDt}});
}

struct PhaseCase {
  const char* name;
  std::int32_t impulseRow;
  double phaseOffset;
  double phase;
  double threshold;  // Modulation 4
};
const PhaseCase kPhase[] = {
    {"cursor_16", 10, 0.0, 1.0, 0.3333333333333333},
    {"cursor_17", 11, 0.0, 0.125, 0.3333333333333333},
    {"cursor_18", 12, 0.0, 0.25, 0.3333333333333333},
    {"cursor_23", 17, 0.0, 0.875, 0.3333333333333333},
    {"offset_half", 10, 0.5, 0.5, 0.0},
    // Cursors outside the pulse: the threshold read folds like every other.
    {"cursor_76_folds_to_12", 10, 7.5, 0.5, 0.3333333333333333},
    {"cursor_minus_45_folds_to_19", 10, -7.5, 0.375, 0.3333333333333333},
    {"cursor_minus_1_folds_to_63", 10, -2.0, 0.875, 0.0},
};
class StatPhaseTest : public ::testing::TestWithParam<PhaseCase> {};
TEST_P(StatPhaseTest, PhaseWithinSymbolAndThreshold) {
  const PhaseCase& c = GetParam();
  Matrix in(64, 1);
  for (std::int32_t r = 0; r < 64; ++r) in.at(r, 0) = 0.0;
  in.at(c.impulseRow, 0) = 1.0 / kDt;
  const double taps[4] = {-0.04, -0.02, 0.01, 0.005};
  const StatRun r = runStat(in, 4.0, 1.0, taps, c.phaseOffset);
  EXPECT_TRUE(sameBits(r.phase, c.phase));
  EXPECT_TRUE(sameBits(r.obj.pamThreshold, c.threshold));
  // Feedback always lands inside the column: exactly four samples change.
  int changed = 0;
  const std::vector<double> orig = in.values();
  for (std::size_t i = 0; i < orig.size(); ++i) changed += bitsOf(orig[i]) != bitsOf(r.out[i]);
  EXPECT_EQ(changed, 4);
}
INSTANTIATE_TEST_SUITE_P(Statistical, StatPhaseTest, ::testing::ValuesIn(kPhase),
                         [](const auto& i) { return std::string(i.param.name); });

// No usable cursor: phase NaN, impulse unchanged, taps as given.
void expectNoCursor(const StatRun& r, const Matrix& in, const double taps[4]) {
  EXPECT_TRUE(std::isnan(r.phase));
  EXPECT_TRUE(std::isnan(r.signals.diagnostics.phase));
  EXPECT_TRUE(sameBits(r.out, in.values()));
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(sameBits(r.taps[k], taps[k])) << k;
}

TEST(Statistical, PulseStillHighAtItsEndHasNoCrossing) {
  Matrix in(64, 1);
  for (std::int32_t r = 0; r < 64; ++r) in.at(r, 0) = 0.0;
  in.at(55, 0) = 1.0 / kDt;  // pulse 1 on rows 57..64 (1-based): the peak runs to the end
  const double taps[4] = {-0.04, -0.02, 0.01, 0.005};
  const StatRun r = runStat(in, 4.0, 2.0, taps);
  EXPECT_TRUE(r.ok);
  expectNoCursor(r, in, taps);
  EXPECT_TRUE(std::isnan(r.obj.pamThreshold));
}

struct NanCase {
  const char* name;
  std::int32_t row;
  bool phaseIsNan;
};
const NanCase kNanRows[] = {
    {"on_the_peak", 10, true},
    {"on_the_edge_search", 14, true},
    {"after_the_crossing", 40, false},
    {"last_row_poisons_polarity_and_search", 63, true},
    {"first_row_meets_the_search", 0, true},
};
class StatNanTest : public ::testing::TestWithParam<NanCase> {};
TEST_P(StatNanTest, NanNeverBecomesAnIndex) {
  const NanCase& c = GetParam();
  Matrix in(64, 1);
  fillExample(in, false);
  in.at(c.row, 0) = kNaN;
  const double taps[4] = {-0.04, -0.02, 0.01, 0.005};
  for (double mode : {1.0, 2.0}) {
    const StatRun r = runStat(in, 4.0, mode, taps);
    EXPECT_TRUE(r.ok);
    if (c.phaseIsNan) {
      expectNoCursor(r, in, taps);
    } else {
      EXPECT_TRUE(sameBits(r.phase, 1.0)) << mode;
    }
  }
}
INSTANTIATE_TEST_SUITE_P(Statistical, StatNanTest, ::testing::ValuesIn(kNanRows),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Statistical, NanPhaseOffsetGivesNanPhase) {
  Matrix in(64, 1);
  fillExample(in, false);
  const double taps[4] = {-0.04, -0.02, 0.01, 0.005};
  const StatRun r = runStat(in, 2.0, 1.0, taps, kNaN);
  expectNoCursor(r, in, taps);
}

class BadTimingStatTest : public ::testing::TestWithParam<TimingCase> {};
TEST_P(BadTimingStatTest, NoCursorImpulseUnchanged) {
  const TimingCase& c = GetParam();
  Matrix in(64, 2);
  fillExample(in, true);
  const double taps[4] = {-0.04, -0.02, 0.01, 0.005};
  for (double mode : {0.0, 1.0, 2.0}) {
    const StatRun r = runStat(in, 4.0, mode, taps, 0.0, c.symbolTime, c.sampleInterval);
    EXPECT_TRUE(r.ok);
    expectNoCursor(r, in, taps);
  }
}
const TimingCase kBadStatTiming[] = {
    {"nan_symbol_time", kNaN, kDt},
    {"zero_sample_interval", kSt, 0.0},
    {"zero_symbol_time", 0.0, kDt},
    {"negative_sample_interval", kSt, -kDt},
    {"huge_ratio", 1e300, 1e-300},
    {"huge_finite", 1e30, 1e-12},
    {"symbol_longer_than_impulse", 65.0 * kDt, kDt},
    {"below_one_sample", 0.4 * kDt, kDt},
};
INSTANTIATE_TEST_SUITE_P(Degenerate, BadTimingStatTest, ::testing::ValuesIn(kBadStatTiming),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Statistical, SymbolAsLongAsImpulseIsAccepted) {
  Matrix in(8, 1);
  for (std::int32_t r = 0; r < 8; ++r) in.at(r, 0) = 0.0;
  in.at(2, 0) = 1.0 / kDt;
  const StatRun r = runStat(in, 2.0, 1.0, kZeroTaps);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out.size(), 8u);  // whatever the cursor, nothing out of bounds
}

TEST(Statistical, EmptyAndSingleRowMatrices) {
  const double taps[4] = {-0.04, -0.02, 0.01, 0.005};
  Matrix empty(0, 1);
  StatRun r = runStat(empty, 2.0, 1.0, taps);
  EXPECT_TRUE(r.ok);
  expectNoCursor(r, empty, taps);
  Matrix one(1, 1);
  one.at(0, 0) = 1.0 / kDt;
  r = runStat(one, 2.0, 1.0, taps, 0.0, kDt, kDt);  // one sample per symbol
  EXPECT_TRUE(r.ok);
  expectNoCursor(r, one, taps);
}

TEST(Statistical, UnsizableOutputIsReportedAndLeftEmpty) {
  Matrix in(0, 0);
  in.a->sizes[0] = -5;  // an impossible shape
  in.a->sizes[1] = 1;
  blk_DFECDR_Rx_n_T obj{};
  dfecdr_b::Rx_DFECDR_construct(&obj, kSt, kDt, 4.0, 0.0, 1.0, kZeroTaps);
  Matrix out(3, 1);
  double taps[4], phase = 0.0;
  EXPECT_FALSE(dfecdr_b::Rx_SystemCore_step_n(&obj, in.a, out.a, taps, &phase, nullptr));
  EXPECT_EQ(out.a->sizes[0], 0);
  EXPECT_EQ(out.a->sizes[1], 0);
  EXPECT_TRUE(std::isnan(phase));
  for (double t : taps) EXPECT_TRUE(sameBits(t, 0.0));
}

TEST(Statistical, RecordClaimingMoreThanItsStorageIsRefused) {
  Matrix in(64, 1);
  fillExample(in, false);
  in.a->sizes[1] = 1000;  // far beyond the capacity
  blk_DFECDR_Rx_n_T obj{};
  dfecdr_b::Rx_DFECDR_construct(&obj, kSt, kDt, 2.0, 0.0, 1.0, kZeroTaps);
  Matrix out(0, 0);
  double taps[4], phase = 0.0;
  EXPECT_FALSE(dfecdr_b::Rx_SystemCore_step_n(&obj, in.a, out.a, taps, &phase, nullptr));
  EXPECT_EQ(Rx_dynNumel(out.a->sizes, out.a->dimCount), 0);
  EXPECT_TRUE(std::isnan(phase));
  // The in-place step refuses the same record without touching it.
  double ct, cs;
  dfecdr_b::cdrOptional_Rx_T diag;
  EXPECT_TRUE(dfecdr_b::Rx_DFECDR_stepImpl(&obj, in.a, taps, &phase, &ct, &cs, &diag));
  EXPECT_TRUE(std::isnan(phase));
  in.a->sizes[1] = 1;
}

TEST(Statistical, ReusedOutputArrayIsResized) {
  Matrix in(64, 1);
  fillExample(in, false);
  blk_DFECDR_Rx_n_T obj{};
  dfecdr_b::Rx_DFECDR_construct(&obj, kSt, kDt, 2.0, 0.0, 0.0, kZeroTaps);
  Matrix out(100, 3);
  double taps[4], phase = 0.0;
  EXPECT_TRUE(dfecdr_b::Rx_SystemCore_step_n(&obj, in.a, out.a, taps, &phase, nullptr));
  EXPECT_EQ(out.a->sizes[0], 64);
  EXPECT_EQ(out.a->sizes[1], 1);
  EXPECT_TRUE(sameBits(out.values(), in.values()));
}

// ---- clock recovery on a clean waveform ------------------------------------

struct LockCase {
  const char* name;
  int modulation;
  double offsetUi;  // transitions lie this far after the initial edge instants
  double mode;
};
const LockCase kLock[] = {
    {"nrz_edge_early", 2, 0.3, 0.0},
    {"nrz_edge_late", 2, 0.7, 0.0},
    {"nrz_small_offset", 2, 0.1, 0.0},
    {"nrz_with_feedback", 2, 0.3, 1.0},
    {"pam4_edge_early", 4, 0.3, 0.0},
};
class LockTest : public ::testing::TestWithParam<LockCase> {};
TEST_P(LockTest, DataInstantsSettleInTheEyeAndDecisionsMatch) {
  const LockCase& c = GetParam();
  const std::size_t symbols = 6000;
  const std::vector<double> levels = prbsLevels(symbols, c.modulation);
  const std::vector<double> wave = makeWave(levels, c.offsetUi, 8);
  const double taps[4] = {-0.04, -0.02, 0.0, 0.0};
  Frame f(kSt, kDt, static_cast<double>(c.modulation), c.mode, taps);
  double previousClock = 1.0;
  std::vector<double> instants;  // data instants after settling [UI]
  int checked = 0;
  for (double x : wave) {
    const StepOut o = f.step(x);
    const bool rise = previousClock == 0.0 && o.clockSignal == 1.0;
    previousClock = o.clockSignal;
    if (!rise) continue;
    const double t = (o.clockTime + kSt / 2.0) / kSt;  // data instant [UI]
    if (t < 3000.0) continue;
    instants.push_back(t);
    const double within = t - c.offsetUi;
    const double k = std::floor(within);
    const double u = within - k;
    EXPECT_NEAR(u, 0.5, 0.15) << "instant " << t;  // flat part of the eye: 0.25 .. 0.75
    EXPECT_NEAR(o.phase, std::fmod(t, 1.0), 1e-9);
    const double sent = levels[static_cast<std::size_t>(k)];
    const double want = c.modulation == 4 ? (std::fabs(sent) > 0.3 ? 0.5 : 0.167) *
                                                (sent > 0.0 ? 1.0 : -1.0)
                                          : sent;
    EXPECT_TRUE(sameBits(f.obj.decision, want)) << "instant " << t;
    ++checked;
  }
  EXPECT_GT(checked, 2500);
  for (std::size_t i = 1; i < instants.size(); ++i) {
    EXPECT_NEAR(instants[i] - instants[i - 1], 1.0, 0.0078 + 1e-9) << i;
  }
  if (c.modulation == 4) {
    EXPECT_NEAR(f.obj.pamThreshold, 1.0 / 3.0, 0.03);
  }
}
INSTANTIATE_TEST_SUITE_P(Lock, LockTest, ::testing::ValuesIn(kLock),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
