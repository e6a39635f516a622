// DFE/CDR revision A, statistical step: cursor, taps, feedback into the
// impulse response, thresholds, and the guarded searches.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "blocks/dfecdr/dfecdr_a.h"
#include "tests/common/same_bits.h"

namespace {

using namespace dfecdr_a;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr double kDt = 1e-12;

struct StatConfig {
  double modulation = 4;
  double mode = 0;
  std::vector<double> taps{0, 0, 0, 0};
  double phaseOffset = 0;
  double symbolTime = 8 * kDt;
  double sampleInterval = kDt;
};

// A statistical record built as the frame builds it, with its impulse
// matrices, run once.
class Stat {
 public:
  explicit Stat(const StatConfig& c) {
    EXPECT_TRUE(Rx_dynInitStruct_blk_DFECDR1(&s));
    Rx_DFECDR_construct_m(&s, c.symbolTime, c.sampleInterval, c.modulation, c.mode, c.taps.data(),
                          c.phaseOffset);
    EXPECT_TRUE(Rx_dynInit_real_T(&in, 2));
    EXPECT_TRUE(Rx_dynInit_real_T(&out, 2));
  }
  ~Stat() {
    Rx_dynFreeStruct_blk_DFECDR1(&s);
    Rx_dynFree_real_T(&in);
    Rx_dynFree_real_T(&out);
  }
  Stat(const Stat&) = delete;
  Stat& operator=(const Stat&) = delete;

  // Column-major rows x cols.
  void setImpulse(std::int32_t rows, std::int32_t cols, const std::vector<double>& v) {
    const std::int32_t old = in->sizes[0] * in->sizes[1];
    in->sizes[0] = rows;
    in->sizes[1] = cols;
    ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(in, old));
    for (std::size_t i = 0; i < v.size(); ++i) in->elements[i] = v[i];
  }
  bool run() {
    ok = Rx_SystemCore_step_m(&s, in, out, taps, &phase, &clockTime, &clockSignal, &diag);
    return ok;
  }
  std::vector<double> inValues() const { return values(in); }
  std::vector<double> outValues() const { return values(out); }
  std::vector<double> thresholds() const { return values(s.thresholds); }

  blk_DFECDR_Rx_m_T s{};
  dynArray_real_T* in = nullptr;
  dynArray_real_T* out = nullptr;
  double taps[4] = {9, 9, 9, 9};
  double phase = 9;
  double clockTime = 9;
  double clockSignal = 9;
  cdrOptional_Rx_T diag{};
  bool ok = false;

 private:
  static std::vector<double> values(const dynArray_real_T* a) {
    const std::int32_t n = a->sizes[0] * a->sizes[1];
    return std::vector<double>(a->elements, a->elements + n);
  }
};

// 64 rows, zero except the given (0-based row, value) pairs.
std::vector<double> impulse64(const std::vector<std::pair<int, double>>& spikes) {
  std::vector<double> h(64, 0.0);
  for (const auto& s : spikes) h[static_cast<std::size_t>(s.first)] = s.second;
  return h;
}

std::vector<double> four(const double v[4]) { return std::vector<double>(v, v + 4); }

// Crossing of the second example: Rx_interp1_j through (-0.5, 20) and (1, 19).
double secondExampleCrossing() {
  const double r = (0 - -0.5) / (1 - -0.5);
  return 19.0 * r + 20.0 * (1 - r);
}

// ---- worked examples -------------------------------------------------------------------

TEST(DfecdrAStat, SingleImpulseGivesPhase1_9375) {
  StatConfig c;
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1 / kDt}}));
  ASSERT_TRUE(st.run());
  EXPECT_TRUE(sameBits(st.phase, 1.9375));
  EXPECT_TRUE(sameBits(st.thresholds(), {-0.3333333333333333, 0, 0.3333333333333333}));
  EXPECT_TRUE(sameBits(st.outValues(), st.inValues()));
  EXPECT_TRUE(sameBits(four(st.taps), {0, 0, 0, 0}));
  EXPECT_TRUE(sameBits(st.clockTime, 0.0));
  EXPECT_TRUE(sameBits(st.clockSignal, 1.0));
  EXPECT_TRUE(sameBits(st.diag.phase, 1.9375));
  EXPECT_TRUE(sameBits(st.diag.countdown, 4.0));
  EXPECT_TRUE(sameBits(st.diag.amplitude, 0.333));
  EXPECT_TRUE(sameBits(st.diag.upperThreshold, 0.3333333333333333));
  EXPECT_TRUE(sameBits(st.diag.innerLevel, 0.16666666666666666));
  EXPECT_TRUE(sameBits(st.diag.outerLevel, 0.5));
  EXPECT_TRUE(sameBits(st.diag.symbol, 0.0));
  EXPECT_TRUE(sameBits(st.diag.votes, 0.0));
  EXPECT_TRUE(sameBits(st.diag.thresholdList[2], 0.3333333333333333));
  for (int i = 3; i < 31; ++i) EXPECT_TRUE(sameBits(st.diag.thresholdList[i], 0.0));
}

TEST(DfecdrAStat, FirstUseValues) {
  StatConfig c;
  c.taps = {-0.04, -0.02, 0, 0};
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1 / kDt}}));
  ASSERT_TRUE(st.run());
  EXPECT_EQ(st.s.isSetUp, 1);
  EXPECT_TRUE(sameBits(st.s.TapScale, 2.0));
  EXPECT_TRUE(sameBits(st.s.samplesPerSymbol, 8.0));
  EXPECT_TRUE(sameBits(st.s.averagingLength, 400.0));
  EXPECT_TRUE(sameBits(four(st.s.appliedTaps), {-0.08, -0.04, 0, 0}));
  EXPECT_TRUE(sameBits(four(st.s.tapUpper), {0.4, 0.2, 0.2, 0.2}));
  EXPECT_TRUE(sameBits(four(st.s.tapLower), {-0.4, -0.2, -0.2, -0.2}));
  EXPECT_TRUE(sameBits(four(st.s.tapStep), {2e-6, 2e-6, 2e-6, 2e-6}));
  const std::int32_t n = st.s.symbols->sizes[1];
  EXPECT_TRUE(sameBits(std::vector<double>(st.s.symbols->elements, st.s.symbols->elements + n),
                       {-0.5, -0.16666666666666666, 0.16666666666666666, 0.5}));
}

TEST(DfecdrAStat, AdaptiveTapsOfTheSingleImpulseAreZero) {
  StatConfig c;
  c.mode = 2;
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1 / kDt}}));
  ASSERT_TRUE(st.run());
  // Each tap reads -0 after the pulse; quantising keeps the sign.
  EXPECT_TRUE(sameBits(four(st.taps), {-0.0, -0.0, -0.0, -0.0}));
  EXPECT_TRUE(sameBits(st.outValues(), st.inValues()));
}

struct ClampCase {
  const char* name;
  double sign;  // of the whole impulse
  double tap;   // tapWeightsOut[0]
  std::vector<double> thresholds;
};

const ClampCase kClamp[] = {
    {"positive", 1, -0.2, {-0.3333333333333333, 0, 0.3333333333333333}},
    {"negated", -1, 0.2, {0.3333333333333333, -0.0, -0.3333333333333333}},
};

class ClampTest : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ClampTest, FirstTapClampsAndFeedsBack) {
  const ClampCase& k = GetParam();
  StatConfig c;
  c.mode = 2;
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, k.sign * 1 / kDt}, {18, k.sign * 0.5 / kDt}}));
  ASSERT_TRUE(st.run());
  EXPECT_TRUE(sameBits(st.phase, ((secondExampleCrossing() - 8.0 / 2) + 8.0 * 0) / 8.0));
  EXPECT_TRUE(sameBits(st.taps[0], k.tap));
  EXPECT_TRUE(sameBits(st.s.appliedTaps[0], 2 * k.tap));
  EXPECT_TRUE(sameBits(st.s.tapAccumulators[0], 2 * k.tap));
  EXPECT_TRUE(sameBits(std::vector<double>(st.taps + 1, st.taps + 4), {-0.0, -0.0, -0.0}));
  EXPECT_TRUE(sameBits(st.thresholds(), k.thresholds));
  // Only 1-based row 20 changes, by the clamped internal tap over dt.
  std::vector<double> want = st.inValues();
  want[19] = want[19] + (2 * k.tap) / kDt;
  EXPECT_TRUE(sameBits(st.outValues(), want));
  EXPECT_TRUE(sameBits(st.outValues()[19], k.sign * -0.4 / kDt));
}

INSTANTIATE_TEST_SUITE_P(DfecdrAStat, ClampTest, ::testing::ValuesIn(kClamp),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrAStat, ModeZeroLeavesImpulseAndTaps) {
  StatConfig c;
  c.taps = {-0.05, 0.01, 0, 0.3};
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1 / kDt}, {18, 0.5 / kDt}}));
  ASSERT_TRUE(st.run());
  EXPECT_TRUE(sameBits(st.outValues(), st.inValues()));
  EXPECT_TRUE(sameBits(four(st.taps), {-0.05, 0.01, 0, 0.3}));  // neither clamped nor quantised
}

TEST(DfecdrAStat, ModeOneAddsOneTapToOneSampleAndPassesAggressors) {
  StatConfig c;
  c.mode = 1;
  c.taps = {-0.05, 0, 0, 0};
  Stat st(c);
  std::vector<double> h = impulse64({{10, 1 / kDt}});
  for (int i = 0; i < 64; ++i) h.push_back(0.001 * i - 0.01);  // aggressor column
  st.setImpulse(64, 2, h);
  ASSERT_TRUE(st.run());
  std::vector<double> want = st.inValues();
  want[19] = want[19] + -0.1 / kDt;  // wrap(8 + 16 - 4) = 20, 1-based
  EXPECT_TRUE(sameBits(st.outValues(), want));
  EXPECT_EQ(st.out->sizes[0], 64);
  EXPECT_EQ(st.out->sizes[1], 2);
  EXPECT_TRUE(sameBits(four(st.taps), {-0.05, 0, 0, 0}));
}

TEST(DfecdrAStat, OddSymbolLengthTruncatesTheFeedbackPosition) {
  StatConfig c;
  c.mode = 1;
  c.taps = {-0.05, 0, 0, 0};
  c.symbolTime = 7 * kDt;
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1 / kDt}}));
  ASSERT_TRUE(st.run());
  // Pulse 1 at rows 12 .. 18, crossing 18.5, cursor 18.5 - 3.5 = 15.
  EXPECT_TRUE(sameBits(st.phase, 15.0 / 7.0));
  // wrap(7 + 15 - 3.5) = 18.5, truncated to row 18.
  std::vector<double> want = st.inValues();
  want[17] = want[17] + -0.1 / kDt;
  EXPECT_TRUE(sameBits(st.outValues(), want));
  EXPECT_TRUE(sameBits(st.diag.countdown, 3.5));
}

TEST(DfecdrAStat, NrzThresholdAndFixedLevels) {
  StatConfig c;
  c.modulation = 2;
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1 / kDt}}));
  ASSERT_TRUE(st.run());
  // The grid -(M - 2)/2 .. (M - 2)/2 starts at -0, so b * -0 / 1 is -0.
  EXPECT_TRUE(sameBits(st.thresholds(), {-0.0}));
  EXPECT_TRUE(sameBits(st.diag.upperThreshold, 0.0));
  EXPECT_TRUE(sameBits(st.diag.innerLevel, 0.3));
  EXPECT_TRUE(sameBits(st.diag.outerLevel, 0.4));
  EXPECT_TRUE(sameBits(st.diag.thresholdList[0], -0.0));
  EXPECT_TRUE(sameBits(st.diag.thresholdList[1], 0.0));
}

// ---- guarded reads ----------------------------------------------------------------------

// A cursor that falls outside the pulse is folded back into it, like every
// other pulse index.
struct FoldCase {
  const char* name;
  int row;
  double phaseOffset;
  double phase;
};

const FoldCase kFold[] = {
    {"before_the_start", 63, -1, -0.4375},  // crossing 8.5, cursor -3.5 -> -4 -> 60
    {"past_the_end", 40, 3, 8.6875},        // crossing 49.5, cursor 69.5 -> 70 -> 6
};

class FoldTest : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldTest, ThresholdsReadTheFoldedCursor) {
  const FoldCase& k = GetParam();
  StatConfig c;
  c.phaseOffset = k.phaseOffset;
  c.mode = 1;
  c.taps = {0.05, 0, 0, 0};
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{k.row, 1 / kDt}}));
  ASSERT_TRUE(st.run());
  EXPECT_TRUE(sameBits(st.phase, k.phase));
  // The folded cursor lands where the pulse is 0.
  EXPECT_TRUE(sameBits(st.thresholds(), {-0.0, 0, 0}));
  std::int32_t changed = 0;
  const std::vector<double> in = st.inValues();
  const std::vector<double> out = st.outValues();
  for (std::size_t i = 0; i < in.size(); ++i) changed += !sameBits(in[i], out[i]);
  EXPECT_EQ(changed, 1);
}

INSTANTIATE_TEST_SUITE_P(DfecdrAStat, FoldTest, ::testing::ValuesIn(kFold),
                         [](const auto& i) { return std::string(i.param.name); });

// No usable cursor: the phase is NaN, the impulse response passes unchanged
// and the taps keep their initial values.
struct NoCursorCase {
  const char* name;
  std::vector<double> impulse;
  double samplesPerSymbol;
};

const NoCursorCase kNoCursor[] = {
    // Two samples a symbol: pulse 1 at 1-based row 63, 0.75 at 64 (still above
    // its delayed copy there), -0.25 at 1; the search reaches the last row.
    {"still_rising_at_the_end", impulse64({{61, 1 / kDt}, {62, -0.25 / kDt}}), 2},
    {"nan_met_by_the_search", impulse64({{10, 1 / kDt}, {12, kNaN}}), 8},
    {"nan_in_the_baseline", impulse64({{10, 1 / kDt}, {63, kNaN}}), 8},
    {"infinite_sample", impulse64({{10, kInf}}), 8},
    {"all_zero", impulse64({}), 8},
};

class NoCursorTest : public ::testing::TestWithParam<NoCursorCase> {};

TEST_P(NoCursorTest, PhaseNanImpulseUnchanged) {
  for (const double mode : {1.0, 2.0}) {
    StatConfig c;
    c.mode = mode;
    c.taps = {-0.05, 0.02, 0, 0};
    c.symbolTime = GetParam().samplesPerSymbol * kDt;
    Stat st(c);
    st.setImpulse(64, 1, GetParam().impulse);
    EXPECT_TRUE(st.run());
    EXPECT_TRUE(std::isnan(st.phase));
    EXPECT_TRUE(std::isnan(st.diag.phase));
    EXPECT_TRUE(sameBits(st.outValues(), st.inValues()));
    EXPECT_TRUE(sameBits(four(st.taps), {-0.05, 0.02, 0, 0}));
  }
}

INSTANTIATE_TEST_SUITE_P(DfecdrAStat, NoCursorTest, ::testing::ValuesIn(kNoCursor),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrAStat, PeakAtTheLastSampleHasNoCrossing) {
  // One sample a symbol: the pulse is the impulse one row later, a ramp from
  // -0.25 at row 1 up to its largest value at the last row, so nothing
  // follows the peak. Exact in quarters, so the polarity test keeps it upright.
  StatConfig c;
  c.mode = 1;
  c.taps = {-0.05, 0, 0, 0};
  c.symbolTime = 0.25;
  c.sampleInterval = 0.25;
  Stat st(c);
  std::vector<double> h(64, 0.0);
  for (int i = 0; i < 63; ++i) h[static_cast<std::size_t>(i)] = i;
  h[63] = -1;
  st.setImpulse(64, 1, h);
  ASSERT_TRUE(st.run());
  EXPECT_TRUE(std::isnan(st.phase));
  EXPECT_TRUE(sameBits(st.outValues(), st.inValues()));
}

struct TimingCase {
  const char* name;
  double symbolTime;
  double sampleInterval;
};

const TimingCase kTiming[] = {
    {"nan_interval", 8e-12, kNaN},
    {"zero_interval", 8e-12, 0.0},
    {"zero_symbol", 0.0, 1e-12},
    {"negative_symbol", -8e-12, 1e-12},
    {"huge_ratio", 1e300, 1e-300},
    {"infinite_symbol", kInf, 1e-12},
};

class StatTimingTest : public ::testing::TestWithParam<TimingCase> {};

TEST_P(StatTimingTest, DegenerateSymbolLengthGivesNoCursor) {
  const TimingCase& k = GetParam();
  StatConfig c;
  c.mode = 1;
  c.taps = {-0.05, 0, 0, 0};
  c.symbolTime = k.symbolTime;
  c.sampleInterval = k.sampleInterval;
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1.0}, {11, 0.5}}));
  st.run();
  EXPECT_TRUE(std::isnan(st.phase));
  EXPECT_TRUE(sameBits(st.outValues(), st.inValues()));
}

INSTANTIATE_TEST_SUITE_P(DfecdrAStat, StatTimingTest, ::testing::ValuesIn(kTiming),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrAStat, SymbolLongerThanTheResponseStaysInBounds) {
  StatConfig c;
  c.mode = 2;
  c.symbolTime = 100 * kDt;
  Stat st(c);
  st.setImpulse(64, 1, impulse64({{10, 1 / kDt}, {30, -0.3 / kDt}}));
  ASSERT_TRUE(st.run());
  EXPECT_EQ(st.out->sizes[0], 64);
  for (const double t : st.taps) EXPECT_TRUE(std::isfinite(t));
}

TEST(DfecdrAStat, EmptyImpulse) {
  StatConfig c;
  c.mode = 1;
  Stat st(c);
  st.setImpulse(0, 1, {});
  EXPECT_TRUE(st.run());
  EXPECT_TRUE(std::isnan(st.phase));
  EXPECT_EQ(st.out->sizes[0] * st.out->sizes[1], 0);
  EXPECT_EQ(st.thresholds().size(), 3u);
}

TEST(DfecdrAStat, UnsupportedLevelCountsGiveNoThresholds) {
  for (const double m : {kNaN, 0.0, -4.0, 1e9}) {
    StatConfig c;
    c.modulation = m;
    Stat st(c);
    st.setImpulse(64, 1, impulse64({{10, 1 / kDt}}));
    EXPECT_TRUE(st.run());
    EXPECT_TRUE(st.thresholds().empty()) << m;
    EXPECT_TRUE(sameBits(st.phase, 1.9375));
  }
}

TEST(DfecdrAStat, MissingArraysReportFailureAndStayDefined) {
  blk_DFECDR_Rx_m_T s{};  // no arrays created
  const double taps[4] = {-0.05, 0, 0, 0};
  Rx_DFECDR_construct_m(&s, 8 * kDt, kDt, 4, 1, taps, 0);
  dynArray_real_T* in = nullptr;
  dynArray_real_T* out = nullptr;
  ASSERT_TRUE(Rx_dynInit_real_T(&in, 2));
  ASSERT_TRUE(Rx_dynInit_real_T(&out, 2));
  in->sizes[0] = 64;
  in->sizes[1] = 1;
  ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(in, 0));
  in->elements[10] = 1 / kDt;
  double tapsOut[4], phase, ct, cs;
  cdrOptional_Rx_T diag;
  EXPECT_FALSE(Rx_SystemCore_step_m(&s, in, out, tapsOut, &phase, &ct, &cs, &diag));
  EXPECT_TRUE(sameBits(phase, 1.9375));
  EXPECT_TRUE(sameBits(diag.upperThreshold, 0.0));
  Rx_dynFreeStruct_blk_DFECDR1(&s);
  Rx_dynFree_real_T(&in);
  Rx_dynFree_real_T(&out);
}

}  // namespace
