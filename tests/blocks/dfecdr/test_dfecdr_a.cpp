// DFE/CDR revision A, time-domain record: reset values, property writes, the
// sampling timeline, decisions, taps, level tracking and clock recovery.
#include "blocks/dfecdr/dfecdr_a.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/same_bits.h"

namespace {

using namespace dfecdr_a;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr double kDt = 1e-12;

std::vector<double> row(const dynArray_real_T* a) {
  const std::int32_t n = a->sizes[0] * a->sizes[1];
  return std::vector<double>(a->elements, a->elements + n);
}

std::vector<double> four(const double v[4]) { return std::vector<double>(v, v + 4); }

// The values the frame of rx_hcm_ctle_high writes before every step.
DFECDRProperties_T modelProps(double symbolTime, double sampleInterval, double modulation) {
  DFECDRProperties_T p{};
  const double tapMin[4] = {-0.2, -0.1, -0.1, -0.1};
  const double tapMax[4] = {0.2, 0.1, 0.1, 0.1};
  std::copy(tapMin, tapMin + 4, p.TapMin);
  std::copy(tapMax, tapMax + 4, p.TapMax);
  p.AdaptGain = 9.6e-5;
  p.TapResolution = 1e-6;
  p.CountLimit = 16;
  p.PhaseStep = 0.0078;
  p.SamplerHysteresis = 0;
  p.SymbolTime = symbolTime;
  p.SampleInterval = sampleInterval;
  p.Modulation = modulation;
  return p;
}

struct StepResult {
  double out;
  double taps[4];
  double phase;
  double clockTime;
  double clockSignal;
  cdrOptional diag;
  bool dataInstant;      // a data instant fell in this step
  double dataPosition;   // its position in samples (0-based sample index + fraction)
  bool edgeInstant;
  double edgePosition;
};

// A time-domain block built as the frame builds it, stepped as the frame
// steps it (property refresh with the tap weights fed back, then the step).
class Block {
 public:
  explicit Block(double modulation = 2, double symbolTime = 8 * kDt, double sampleInterval = kDt)
      : props(modelProps(symbolTime, sampleInterval, modulation)) {
    EXPECT_TRUE(Rx_dynInitStruct_blk_DFECDR(&d));
    Rx_DFECDR_construct(&d, symbolTime, sampleInterval, modulation);
    Rx_SystemCore_setup_i(&d);
    resetOk = Rx_DFECDR_resetImpl(&d);
  }
  ~Block() { Rx_dynFreeStruct_blk_DFECDR(&d); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  StepResult step(double x) {
    Rx_DFECDR_writeProperties(&d, &props);
    StepResult r{};
    r.edgeInstant = d.edgeCountdown < 0;
    r.edgePosition = d.sampleIndex + d.edgeCountdown;
    r.dataInstant = d.dataCountdown < 0;
    r.dataPosition = d.sampleIndex + d.dataCountdown;
    Rx_DFECDR_stepImpl(&d, x, &r.out, r.taps, &r.phase, &r.clockTime, &r.clockSignal, &r.diag);
    std::copy(r.taps, r.taps + 4, props.TapWeights);
    return r;
  }

  blk_DFECDR_Rx_T d{};
  DFECDRProperties_T props;
  bool resetOk = false;
};

// ---- waveforms ---------------------------------------------------------------

std::uint32_t nextRandom(std::uint32_t* s) {
  *s = *s * 1664525u + 1013904223u;
  return *s >> 8;
}

// Symbols at the centres of 8-sample symbols, straight lines in between, so
// that a transition between opposite symbols crosses zero at the boundary.
// Sample n lies at time n + offset samples; symbol k spans [8k, 8k + 8).
struct Waveform {
  std::vector<double> symbols;
  std::vector<double> samples;
  double offset;
  double symbolAt(double position) const {
    const double k = std::floor((position + offset) / 8.0);
    return k < 0 ? symbols[0] : symbols[static_cast<std::size_t>(k)];
  }
  double phaseAt(double position) const {  // UI within the symbol, 0.5 at the centre
    const double u = (position + offset) / 8.0;
    return u - std::floor(u);
  }
};

Waveform makeWaveform(std::size_t nSymbols, double offset, int levels, std::uint32_t seed) {
  Waveform w;
  w.offset = offset;
  for (std::size_t k = 0; k < nSymbols; ++k) {
    const std::uint32_t r = nextRandom(&seed) % static_cast<std::uint32_t>(levels);
    w.symbols.push_back(-0.5 + static_cast<double>(r) / (levels - 1));
  }
  const std::size_t nSamples = (nSymbols - 2) * 8;
  for (std::size_t n = 0; n < nSamples; ++n) {
    const double c = (static_cast<double>(n) + offset - 4.0) / 8.0;
    const double k0 = std::floor(c);
    const double f = c - k0;
    const std::size_t i = k0 < 0 ? 0 : static_cast<std::size_t>(k0);
    const double a = k0 < 0 ? w.symbols[0] : w.symbols[i];
    const double b = k0 < 0 ? w.symbols[0] : w.symbols[i + 1];
    w.samples.push_back(a * (1.0 - f) + b * f);
  }
  return w;
}

// ---- construction, setup, reset ------------------------------------------------

struct ResetCase {
  const char* name;
  double symbolTime;
  double sampleInterval;
  double samplesPerSymbol;
  double dataCountdown;
  double averagingLength;
  double amplitudeTrend;
};

const ResetCase kReset[] = {
    {"eight_samples", 8 * kDt, kDt, 8, 4, 400, 0.125},
    {"seven_samples_half_countdown", 7 * kDt, kDt, 7, 3.5, 350, 100.0 / 350 / 2},
    {"seven_and_a_half_rounds_up", 7.5 * kDt, kDt, 8, 4, 400, 0.125},
};

class ResetTest : public ::testing::TestWithParam<ResetCase> {};

TEST_P(ResetTest, TimingValues) {
  const ResetCase& c = GetParam();
  Block b(2, c.symbolTime, c.sampleInterval);
  EXPECT_TRUE(sameBits(b.d.samplesPerSymbol, c.samplesPerSymbol));
  EXPECT_TRUE(sameBits(b.d.dataCountdown, c.dataCountdown));
  EXPECT_TRUE(sameBits(b.d.averagingLength, c.averagingLength));
  EXPECT_TRUE(sameBits(b.d.amplitudeTrend, c.amplitudeTrend));
  EXPECT_TRUE(sameBits(b.d.phaseTime, c.symbolTime / 2));
  EXPECT_TRUE(sameBits(b.d.edgeCountdown, 0.0));
  EXPECT_TRUE(sameBits(b.d.voteThreshold, 2.0));
  EXPECT_TRUE(sameBits(b.d.clockState, 1.0));
  EXPECT_TRUE(sameBits(b.d.amplitude, 0.333));
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, ResetTest, ::testing::ValuesIn(kReset),
                         [](const auto& i) { return std::string(i.param.name); });

struct TableCase {
  const char* name;
  double modulation;
  std::vector<double> symbols;
  std::vector<double> thresholds;
};

const TableCase kTables[] = {
    {"nrz", 2, {-0.5, 0.5}, {0}},
    {"pam4",
     4,
     {-0.5, -0.16666666666666666, 0.16666666666666666, 0.5},
     {-0.3333333333333333, 0, 0.33333333333333337}},
    {"three_levels_middle_exact_zero", 3, {-0.5, 0, 0.5}, {-0.25, 0.25}},
    {"one_level", 1, {0.5}, {}},
    {"fraction_floors", 4.9, {-0.5, -0.16666666666666666, 0.16666666666666666, 0.5},
     {-0.3333333333333333, 0, 0.33333333333333337}},
    {"below_one", 0.5, {}, {}},
    {"negative", -2, {}, {}},
    {"nan", kNaN, {}, {}},
    {"too_many_levels", 1e9, {}, {}},
};

class SymbolTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(SymbolTableTest, Values) {
  const TableCase& c = GetParam();
  Block b(c.modulation);
  EXPECT_TRUE(b.resetOk);
  EXPECT_TRUE(sameBits(row(b.d.symbols), c.symbols));
  EXPECT_TRUE(sameBits(row(b.d.levels), c.symbols));
  EXPECT_TRUE(sameBits(row(b.d.thresholds), c.thresholds));
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, SymbolTableTest, ::testing::ValuesIn(kTables),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrAReset, FiveLevelsKeepTheirOddMiddleAtZero) {
  Block b(5);
  EXPECT_TRUE(sameBits(row(b.d.symbols), {-0.5, -0.25, 0.0, 0.25, 0.5}));
}

TEST(DfecdrAReset, TapsFromTapWeights) {
  Block b;
  const double w[4] = {-0.04, -0.02, 0, 0};
  std::copy(w, w + 4, b.d.TapWeights);
  ASSERT_TRUE(Rx_DFECDR_resetImpl(&b.d));
  EXPECT_TRUE(sameBits(four(b.d.tapAccumulators), {-0.08, -0.04, 0, 0}));
  EXPECT_TRUE(sameBits(four(b.d.appliedTaps), {-0.08, -0.04, 0, 0}));
  EXPECT_TRUE(sameBits(four(b.d.tapUpper), {0.4, 0.2, 0.2, 0.2}));
  EXPECT_TRUE(sameBits(four(b.d.tapLower), {-0.4, -0.2, -0.2, -0.2}));
  EXPECT_TRUE(sameBits(four(b.d.tapStep), {2e-6, 2e-6, 2e-6, 2e-6}));
}

TEST(DfecdrAReset, SetupClearsModeAndTapsWhateverWasWritten) {
  blk_DFECDR_Rx_T d{};
  ASSERT_TRUE(Rx_dynInitStruct_blk_DFECDR(&d));
  Rx_DFECDR_construct(&d, 8 * kDt, kDt, 2);
  d.Mode = 1;
  d.PhaseOffset = 0.3;
  d.ReferenceOffset = 50;
  for (double& w : d.TapWeights) w = 0.05;
  Rx_SystemCore_setup_i(&d);
  EXPECT_EQ(d.isSetUp, 1);
  EXPECT_FALSE(d.propertiesChanged);
  EXPECT_TRUE(sameBits(d.Mode, 0.0));
  EXPECT_TRUE(sameBits(d.PhaseOffset, 0.0));
  EXPECT_TRUE(sameBits(d.ReferenceOffset, 0.0));
  EXPECT_TRUE(sameBits(d.TapScale, 2.0));
  EXPECT_TRUE(sameBits(four(d.TapWeights), {0, 0, 0, 0}));
  EXPECT_TRUE(sameBits(four(d.appliedTaps), {0, 0, 0, 0}));
  EXPECT_TRUE(d.firstTuning);
  EXPECT_TRUE(sameBits(d.CdrMode, 1.0));
  EXPECT_TRUE(sameBits(d.trendSign, 1.0));
  Rx_dynFreeStruct_blk_DFECDR(&d);
}

// ---- property writes -------------------------------------------------------------

using ScalarSetter = void (*)(blk_DFECDR_Rx_T*, double);

struct WriteCase {
  const char* name;
  ScalarSetter set;
  double blk_DFECDR_Rx_T::*field;
  double stored;
  double written;
  bool changes;
};

const WriteCase kWrites[] = {
    {"plain_same", Rx_DFECDR_setSymbolTime, &blk_DFECDR_Rx_T::SymbolTime, 8e-12, 8e-12, false},
    {"plain_differs", Rx_DFECDR_setSampleInterval, &blk_DFECDR_Rx_T::SampleInterval, 1e-12, 2e-12,
     true},
    {"plain_nan_over_nan", Rx_DFECDR_setModulation, &blk_DFECDR_Rx_T::Modulation, kNaN, kNaN, true},
    {"plain_minus_zero_is_zero", Rx_DFECDR_setSamplerHysteresis,
     &blk_DFECDR_Rx_T::SamplerHysteresis, 0.0, -0.0, false},
    {"plain_adapt_gain", Rx_DFECDR_setAdaptGain, &blk_DFECDR_Rx_T::AdaptGain, 9.6e-5, 1e-4, true},
    {"plain_resolution", Rx_DFECDR_setTapResolution, &blk_DFECDR_Rx_T::TapResolution, 1e-6, 1e-6,
     false},
    {"plain_count_limit", Rx_DFECDR_setCountLimit, &blk_DFECDR_Rx_T::CountLimit, 16, kNaN, true},
    {"plain_phase_step", Rx_DFECDR_setPhaseStep, &blk_DFECDR_Rx_T::PhaseStep, 0.0078, 0.0078,
     false},
    {"aware_nan_over_nan", Rx_DFECDR_setMode, &blk_DFECDR_Rx_T::Mode, kNaN, kNaN, false},
    {"aware_nan_over_value", Rx_DFECDR_setMode, &blk_DFECDR_Rx_T::Mode, 0, kNaN, true},
    {"aware_value_over_nan", Rx_DFECDR_setReferenceOffset, &blk_DFECDR_Rx_T::ReferenceOffset,
     kNaN, 0, true},
    {"aware_same", Rx_DFECDR_setPhaseOffset, &blk_DFECDR_Rx_T::PhaseOffset, 0.25, 0.25, false},
    {"aware_differs", Rx_DFECDR_setPhaseOffset, &blk_DFECDR_Rx_T::PhaseOffset, 0, -0.5, true},
};

class PropertyWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(PropertyWriteTest, StoresAndFlagsOnlyOnChange) {
  const WriteCase& c = GetParam();
  Block b;
  b.d.*c.field = c.stored;
  b.d.propertiesChanged = false;
  c.set(&b.d, c.written);
  EXPECT_EQ(b.d.propertiesChanged, c.changes);
  EXPECT_TRUE(sameBits(b.d.*c.field, c.changes ? c.written : c.stored));
}

TEST_P(PropertyWriteTest, NoFlagBeforeSetup) {
  const WriteCase& c = GetParam();
  blk_DFECDR_Rx_T d{};
  d.*c.field = c.stored;
  c.set(&d, c.written);
  EXPECT_FALSE(d.propertiesChanged);
  EXPECT_TRUE(sameBits(d.*c.field, c.changes ? c.written : c.stored));
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, PropertyWriteTest, ::testing::ValuesIn(kWrites),
                         [](const auto& i) { return std::string(i.param.name); });

using ArraySetter = void (*)(blk_DFECDR_Rx_T*, const double*);

struct ArrayWriteCase {
  const char* name;
  ArraySetter set;
  double (blk_DFECDR_Rx_T::*field)[4];
  std::vector<double> stored;
  std::vector<double> written;
  bool changes;
};

const ArrayWriteCase kArrayWrites[] = {
    {"min_same", Rx_DFECDR_setTapMin, &blk_DFECDR_Rx_T::TapMin, {-0.2, -0.1, -0.1, -0.1},
     {-0.2, -0.1, -0.1, -0.1}, false},
    {"min_last_differs", Rx_DFECDR_setTapMin, &blk_DFECDR_Rx_T::TapMin, {-0.2, -0.1, -0.1, -0.1},
     {-0.2, -0.1, -0.1, -0.2}, true},
    {"max_nan_never_equal", Rx_DFECDR_setTapMax, &blk_DFECDR_Rx_T::TapMax, {kNaN, 0.1, 0.1, 0.1},
     {kNaN, 0.1, 0.1, 0.1}, true},
    {"weights_nan_equal", Rx_DFECDR_setTapWeights, &blk_DFECDR_Rx_T::TapWeights,
     {kNaN, 0, 0, kNaN}, {kNaN, 0, 0, kNaN}, false},
    {"weights_second_differs", Rx_DFECDR_setTapWeights, &blk_DFECDR_Rx_T::TapWeights,
     {0, 0, 0, 0}, {0, 0.01, 0, 0}, true},
    {"weights_minus_zero_equal", Rx_DFECDR_setTapWeights, &blk_DFECDR_Rx_T::TapWeights,
     {0, 0, 0, 0}, {-0.0, -0.0, -0.0, -0.0}, false},
};

class ArrayWriteTest : public ::testing::TestWithParam<ArrayWriteCase> {};

TEST_P(ArrayWriteTest, WholeArrayOnFirstDifference) {
  const ArrayWriteCase& c = GetParam();
  Block b;
  std::copy(c.stored.begin(), c.stored.end(), b.d.*c.field);
  b.d.propertiesChanged = false;
  c.set(&b.d, c.written.data());
  EXPECT_EQ(b.d.propertiesChanged, c.changes);
  EXPECT_TRUE(sameBits(four(b.d.*c.field), c.changes ? c.written : c.stored));
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, ArrayWriteTest, ::testing::ValuesIn(kArrayWrites),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrAProperties, RepeatedModelValuesLeaveTheFlagClear) {
  Block b;
  b.step(0.1);
  for (int i = 0; i < 20; ++i) {
    Rx_DFECDR_writeProperties(&b.d, &b.props);
    EXPECT_FALSE(b.d.propertiesChanged);
    b.step(0.1);
  }
}

TEST(DfecdrAProperties, FirstProcessingRebuildsLimitsLaterOnesOnlyTaps) {
  Block b;
  b.d.decisionHistory[0] = 0.5;
  const double limits[4] = {0.3, 0.3, 0.3, 0.3};
  Rx_DFECDR_setTapMax(&b.d, limits);
  Rx_DFECDR_setTapResolution(&b.d, 1e-3);
  const double w1[4] = {0.05, 0, 0, -0.01};
  Rx_DFECDR_setTapWeights(&b.d, w1);
  ASSERT_TRUE(b.d.propertiesChanged);
  Rx_DFECDR_processChangedProperties(&b.d);
  EXPECT_FALSE(b.d.propertiesChanged);
  EXPECT_FALSE(b.d.firstTuning);
  EXPECT_TRUE(sameBits(four(b.d.decisionHistory), {0, 0, 0, 0}));
  EXPECT_TRUE(sameBits(four(b.d.tapUpper), {0.6, 0.6, 0.6, 0.6}));
  EXPECT_TRUE(sameBits(four(b.d.tapStep), {2e-3, 2e-3, 2e-3, 2e-3}));
  EXPECT_TRUE(sameBits(four(b.d.appliedTaps), {0.1, 0, 0, -0.02}));

  b.d.decisionHistory[0] = 0.5;
  const double limits2[4] = {0.1, 0.1, 0.1, 0.1};
  Rx_DFECDR_setTapMax(&b.d, limits2);
  const double w2[4] = {0.02, 0, 0, 0};
  Rx_DFECDR_setTapWeights(&b.d, w2);
  Rx_DFECDR_processChangedProperties(&b.d);
  EXPECT_TRUE(sameBits(b.d.decisionHistory[0], 0.5));
  EXPECT_TRUE(sameBits(four(b.d.tapUpper), {0.6, 0.6, 0.6, 0.6}));
  EXPECT_TRUE(sameBits(four(b.d.tapAccumulators), {0.04, 0, 0, 0}));
  EXPECT_TRUE(sameBits(four(b.d.appliedTaps), {0.04, 0, 0, 0}));
}

TEST(DfecdrAProperties, StepHandlesAPendingChangeFirst) {
  Block b;
  b.props.Mode = 1;
  b.props.TapWeights[0] = 0.1;
  b.d.decisionHistory[0] = 0.5;  // cleared by the first processing
  const StepResult r = b.step(0.25);
  EXPECT_TRUE(sameBits(r.out, 0.25));
  EXPECT_TRUE(sameBits(four(b.d.appliedTaps), {0.2, 0, 0, 0}));
  EXPECT_TRUE(sameBits(r.taps[0], 0.1));
}

// ---- timeline ----------------------------------------------------------------------

TEST(DfecdrATimeline, FirstEdgeOnSecondCallFirstDataOnSixth) {
  Block b;
  const double x[7] = {0.11, -0.23, 0.37, 0.41, -0.53, 0.29, 0.31};
  std::vector<double> countdowns;
  std::vector<double> clock;
  for (int i = 0; i < 7; ++i) {
    const StepResult r = b.step(x[i]);
    countdowns.push_back(b.d.dataCountdown);
    clock.push_back(r.clockSignal);
    if (i == 0) {
      EXPECT_TRUE(sameBits(b.d.edgeSample, 0.0));
    }
    if (i == 1) {
      EXPECT_TRUE(r.edgeInstant);
      EXPECT_TRUE(sameBits(b.d.edgeSample, x[0]));  // f = -1: the first sample itself
      EXPECT_TRUE(sameBits(b.d.edgeSign, 0.5));
    }
    if (i == 5) {
      EXPECT_TRUE(r.dataInstant);
      EXPECT_TRUE(sameBits(r.dataPosition, 4.0));
      EXPECT_TRUE(sameBits(b.d.dataSample, x[4]));  // fully on the fifth sample
      EXPECT_TRUE(sameBits(b.d.decision, 0.5 * (x[4] > 0 ? 1 : -1)));
    } else {
      EXPECT_FALSE(r.dataInstant) << i;
    }
  }
  EXPECT_TRUE(sameBits(std::vector<double>(countdowns.begin(), countdowns.begin() + 5),
                       {3, 2, 1, 0, -1}));
  EXPECT_TRUE(sameBits(clock, {1, 0, 0, 0, 0, 1, 1}));
}

TEST(DfecdrATimeline, ClockOutputsAtTheFirstDataInstant) {
  Block b;
  StepResult r{};
  for (int i = 0; i < 6; ++i) r = b.step(0.2);
  // t = 5 * dt + (-1) * dt; below half a symbol, so the clock time is 0.
  const double t = 5 * kDt + -1.0 * kDt;
  EXPECT_TRUE(sameBits(b.d.phaseTime, std::fmod(t, 8 * kDt)));
  EXPECT_TRUE(sameBits(r.phase, b.d.phaseTime / (8 * kDt)));
  EXPECT_TRUE(sameBits(r.clockTime, 0.0));
  for (int i = 0; i < 8; ++i) r = b.step(0.2);
  // The next data instant: position 12, past half a symbol.
  EXPECT_TRUE(sameBits(r.clockTime, (13 * kDt + -1.0 * kDt) - 8 * kDt / 2));
}

struct SpacingCase {
  const char* name;
  double referenceOffset;
  double phaseOffset;
  double edgeSpacing;   // samples between consecutive edge instants
  double edgeToData;    // samples from an edge instant to its data instant
};

const SpacingCase kSpacing[] = {
    {"nominal", 0, 0, 8, 4},
    {"reference_offset_100ppm", 100, 0, 8.0008, 4},
    {"phase_offset_quarter", 0, 0.25, 8, 6},
    {"phase_offset_minus_half", 0, -0.5, 8, 0},
};

class SpacingTest : public ::testing::TestWithParam<SpacingCase> {};

TEST_P(SpacingTest, InstantsWithoutPhaseSteps) {
  const SpacingCase& c = GetParam();
  Block b;
  b.props.ReferenceOffset = c.referenceOffset;
  b.props.PhaseOffset = c.phaseOffset;
  b.d.CdrMode = 0;  // no phase steps
  std::vector<double> edges;
  std::vector<double> data;
  std::vector<double> clockAtEnd;
  for (int i = 0; i < 40; ++i) {
    const StepResult r = b.step(i % 16 < 8 ? 0.3 : -0.3);
    if (r.edgeInstant) edges.push_back(r.edgePosition);
    if (r.dataInstant) data.push_back(r.dataPosition);
    clockAtEnd.push_back(r.clockSignal);
  }
  ASSERT_GE(edges.size(), 4u);
  ASSERT_GE(data.size(), 3u);
  EXPECT_TRUE(sameBits(edges[0], 0.0));
  EXPECT_TRUE(sameBits(data[0], 4.0));  // from the reset countdown alone
  EXPECT_TRUE(sameBits(edges[1] - edges[0], c.edgeSpacing));
  // Later data instants follow their own edge instant.
  EXPECT_TRUE(sameBits(data[1] - edges[1], c.edgeToData));
  EXPECT_NEAR(data[2] - edges[2], c.edgeToData, 1e-12);
  EXPECT_NEAR(edges[3] - edges[2], c.edgeSpacing, 1e-12);
  if (c.referenceOffset == 0) {
    EXPECT_TRUE(sameBits(data[2] - edges[2], c.edgeToData));
    EXPECT_TRUE(sameBits(edges[3] - edges[2], 8.0));
  }
  if (c.phaseOffset == -0.5) {
    // Once the reset countdown has run out, edge and data instants share a
    // call and the clock ends every call at 1.
    for (std::size_t i = 5; i < clockAtEnd.size(); ++i) EXPECT_TRUE(sameBits(clockAtEnd[i], 1.0));
  }
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, SpacingTest, ::testing::ValuesIn(kSpacing),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrATimeline, HysteresisAddsEachSamplersOwnPreviousDecision) {
  // Constant input: every instant falls at f = -1 onto the previous sample,
  // and no transition means no vote. The edge sampler adds h times the
  // previous edge sign (not the edge sample), the data sampler h times the
  // previous decision (not the data sample). Exact in binary.
  for (const double x : {0.25, -0.25}) {
    Block b;
    const double h = 0.125;
    b.props.SamplerHysteresis = h;
    std::vector<double> edges;
    std::vector<double> data;
    for (int i = 0; i < 14; ++i) {
      const StepResult r = b.step(x);
      if (r.edgeInstant) edges.push_back(b.d.edgeSample);
      if (r.dataInstant) data.push_back(b.d.dataSample);
    }
    const double s = x > 0 ? 0.5 : -0.5;  // edge sign and decision after the first instants
    EXPECT_TRUE(sameBits(edges, {x, x + h * s})) << x;
    EXPECT_TRUE(sameBits(data, {x, x + h * s})) << x;
  }
}

TEST(DfecdrATimeline, ReferenceOffsetRearmsWith8_0008) {
  Block b;
  b.props.ReferenceOffset = 100;
  b.step(0.1);
  b.step(0.1);  // first edge instant, f = -1
  EXPECT_TRUE(sameBits(b.d.edgeCountdown + 2.0, 8.0008));
}

// ---- decisions ---------------------------------------------------------------------

struct DecisionCase {
  const char* name;
  double modulation;
  double sample;
  double want;
};

const DecisionCase kDecisions[] = {
    {"nrz_equal_threshold_low", 2, 0.0, -0.5},
    {"nrz_minus_zero_low", 2, -0.0, -0.5},
    {"nrz_just_above", 2, 1e-300, 0.5},
    {"nrz_nan_lowest", 2, kNaN, -0.5},
    {"pam4_lowest", 4, -0.4, -0.5},
    {"pam4_equal_first", 4, -0.3333333333333333, -0.5},
    {"pam4_equal_middle", 4, 0.0, -0.16666666666666666},
    {"pam4_equal_last", 4, 0.33333333333333337, 0.16666666666666666},
    {"pam4_above_last", 4, 0.3333333333333334, 0.5},
    {"pam4_nan_lowest", 4, kNaN, -0.5},
};

class DecisionTest : public ::testing::TestWithParam<DecisionCase> {};

// The data instant is placed halfway between two equal samples, so the data
// sample is exactly the chosen value. PAM4 runs with the levels locked, whose
// thresholds are the midpoints of the (untouched) levels.
TEST_P(DecisionTest, ThresholdsCountStrictly) {
  const DecisionCase& c = GetParam();
  Block b(c.modulation);
  b.d.levelsLocked = 1;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.previousOutput = c.sample;
  b.step(c.sample);
  EXPECT_TRUE(sameBits(b.d.decision, c.want));
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, DecisionTest, ::testing::ValuesIn(kDecisions),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrADecision, LevelOfTheDecidedSymbolMoves) {
  Block b(2);
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.previousOutput = 0.3;
  b.step(0.3);
  // levels[1] = 0.5 + (0.3 - 0.5) / 400 / 2
  EXPECT_TRUE(sameBits(row(b.d.levels)[1], 0.5 + (0.3 - 0.5) / 400.0 / 2.0));
  EXPECT_TRUE(sameBits(row(b.d.levels)[0], -0.5));
  EXPECT_TRUE(sameBits(b.d.amplitude, 0.333));  // NRZ tracks no amplitude
  EXPECT_TRUE(sameBits(row(b.d.thresholds)[0], 0.0));
}

TEST(DfecdrADecision, NoSymbolTableDecidesZeroAndReadsNothing) {
  for (const double m : {kNaN, -1.0, 0.0, 1e12}) {
    Block b(m);
    for (int i = 0; i < 40; ++i) b.step(i % 3 == 0 ? 0.4 : -0.4);
    EXPECT_TRUE(sameBits(b.d.decision, 0.0)) << m;
  }
}

// ---- phase detector and loop ----------------------------------------------------------

struct VoteCase {
  const char* name;
  double previousDecision;
  double edgeSample;
  double sample;        // data sample; its sign gives the decision
  double voteStart;
  double wantCountdown;  // edge countdown after the call (3 - 1 +- a phase step)
  double wantVotes;
  double wantThreshold;
};

const VoteCase kVotes[] = {
    {"early_steps_later", 0.5, 0.1, -0.3, 1, 2 + 0.0624, 0, 3},
    {"late_steps_earlier", 0.5, -0.1, -0.3, -1, 2 - 0.0624, 0, 3},
    {"early_below_threshold", -0.5, -0.1, 0.3, 0, 2, 1, 2},
    {"no_transition", 0.5, 0.1, 0.3, 1, 2, 1, 2},
    {"zero_edge_no_vote", 0.5, 0.0, -0.3, 1, 2, 1, 2},
    {"no_previous_decision", 0.0, 0.1, -0.3, 1, 2, 1, 2},
};

class VoteTest : public ::testing::TestWithParam<VoteCase> {};

TEST_P(VoteTest, EarlyDelaysLateAdvances) {
  const VoteCase& c = GetParam();
  Block b;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.decision = c.previousDecision;     // becomes previousDecision at an edge...
  b.d.previousDecision = c.previousDecision;  // ...but no edge falls in this call
  b.d.edgeSample = c.edgeSample;
  b.d.voteCount = c.voteStart;
  b.d.previousOutput = c.sample;
  b.step(c.sample);
  EXPECT_TRUE(sameBits(b.d.edgeCountdown, c.wantCountdown));
  EXPECT_TRUE(sameBits(b.d.voteCount, c.wantVotes));
  EXPECT_TRUE(sameBits(b.d.voteThreshold, c.wantThreshold));
  // The next data instant is half a symbol after the next edge instant.
  EXPECT_TRUE(sameBits(b.d.dataCountdown, 8 * 0.0 + (c.wantCountdown + 4)));
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, VoteTest, ::testing::ValuesIn(kVotes),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrALoop, VoteThresholdStopsAtCountLimit) {
  Block b;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.previousDecision = 0.5;
  b.d.edgeSample = 0.1;
  b.d.voteCount = 15;
  b.d.voteThreshold = 16;
  b.d.previousOutput = -0.3;
  b.step(-0.3);
  EXPECT_TRUE(sameBits(b.d.voteCount, 0.0));
  EXPECT_TRUE(sameBits(b.d.voteThreshold, 16.0));
  EXPECT_TRUE(sameBits(b.d.edgeCountdown, 2 + 0.0624));
}

TEST(DfecdrALoop, CdrModeZeroKeepsVotingButNeverSteps) {
  Block b;
  b.d.CdrMode = 0;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.previousDecision = 0.5;
  b.d.edgeSample = 0.1;
  b.d.voteCount = 40;
  b.d.previousOutput = -0.3;
  b.step(-0.3);
  EXPECT_TRUE(sameBits(b.d.voteCount, 41.0));
  EXPECT_TRUE(sameBits(b.d.voteThreshold, 2.0));
  EXPECT_TRUE(sameBits(b.d.edgeCountdown, 2.0));
}

// ---- feedback and taps -----------------------------------------------------------------

TEST(DfecdrAFeedback, ModeZeroPassesTheInputWhateverTheTaps) {
  Block b;
  b.props.TapWeights[0] = 0.1;
  b.props.TapWeights[1] = -0.05;
  const Waveform w = makeWaveform(200, 2.4, 2, 7u);
  for (const double x : w.samples) {
    const StepResult r = b.step(x);
    ASSERT_TRUE(sameBits(r.out, x));
  }
  EXPECT_NE(b.d.decisionHistory[0], 0.0);
}

TEST(DfecdrAFeedback, ModeOneAddsTheTapsInTheirOrder) {
  Block b;
  b.props.Mode = 1;
  const double w[4] = {0.1, 0.05, -0.05, 0.025};
  std::copy(w, w + 4, b.props.TapWeights);
  b.step(0.0);  // first processing: taps (0.2, 0.1, -0.1, 0.05), history cleared
  const double h[4] = {0.5, -0.5, 0.5, 0.5};
  std::copy(h, h + 4, b.d.decisionHistory);
  b.d.edgeCountdown = 3;
  const double x = 0.3;
  const StepResult r = b.step(x);
  EXPECT_TRUE(sameBits(r.out, (((0.5 * 0.2 + x) + -0.5 * 0.1) + 0.5 * -0.1) + 0.5 * 0.05));
}

TEST(DfecdrAFeedback, NanModeFeedsBack) {
  Block b;
  b.props.Mode = kNaN;
  b.props.TapWeights[0] = 0.1;
  b.step(0.0);
  b.d.decisionHistory[0] = 0.5;
  b.d.edgeCountdown = 3;
  const StepResult r = b.step(0.3);
  EXPECT_TRUE(sameBits(r.out, 0.5 * 0.2 + 0.3));
}

TEST(DfecdrATaps, AccumulatorClampsAtTheUpperLimitBeforeQuantising) {
  Block b;
  b.props.Mode = 2;
  b.step(0.0);  // first processing with Mode 2
  b.d.tapAccumulators[0] = 0.39999;
  b.d.decisionHistory[0] = -0.5;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.previousOutput = 1.0;
  b.step(1.0);
  EXPECT_TRUE(sameBits(b.d.tapAccumulators[0], 0.4));
  // 0.4 / 2e-6 rounds to 200000, and 200000 * 2e-6 is the double just below 0.4.
  EXPECT_TRUE(sameBits(b.d.appliedTaps[0], 0.39999999999999997));
}

TEST(DfecdrATaps, AccumulatorClampsAtTheLowerLimit) {
  Block b;
  b.props.Mode = 2;
  b.step(0.0);
  b.d.tapAccumulators[2] = -0.19999;
  b.d.decisionHistory[2] = 0.5;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.previousOutput = 1.0;
  b.step(1.0);
  EXPECT_TRUE(sameBits(b.d.tapAccumulators[2], -0.2));
}

bool isMultipleOf(double v, double step) {
  const double m = std::round(v / step);
  return m * step == v;
}

TEST(DfecdrATaps, AdaptiveTapsAreWholeMultiplesOfTheStep) {
  Block b;
  b.props.Mode = 2;
  // A first post-cursor of 0.15 times the previous symbol for tap 1 to cancel.
  const Waveform w = makeWaveform(3000, 3.0, 2, 99u);
  bool moved = false;
  for (std::size_t n = 0; n < w.samples.size(); ++n) {
    const double isi = w.samples[n] + (n >= 8 ? 0.15 * w.samples[n - 8] : 0.0);
    const StepResult r = b.step(isi);
    for (int k = 0; k < 4; ++k) {
      ASSERT_TRUE(isMultipleOf(b.d.appliedTaps[k], 2e-6)) << b.d.appliedTaps[k];
      ASSERT_LE(b.d.appliedTaps[k], b.d.tapUpper[k]);
      ASSERT_GE(b.d.appliedTaps[k], b.d.tapLower[k]);
      ASSERT_TRUE(sameBits(r.taps[k], b.d.appliedTaps[k] / 2));
    }
    moved = moved || b.d.appliedTaps[0] != 0.0;
  }
  EXPECT_TRUE(moved);
  EXPECT_LT(b.d.appliedTaps[0], -0.005);  // the feedback opposes the interference
}

TEST(DfecdrATaps, NanSampleTurnsAdaptiveTapsNan) {
  Block b;
  b.props.Mode = 2;
  b.step(0.0);
  b.d.decisionHistory[0] = 0.5;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.step(kNaN);
  EXPECT_TRUE(std::isnan(b.d.tapAccumulators[0]));
  EXPECT_TRUE(std::isnan(b.d.appliedTaps[0]));
  EXPECT_TRUE(sameBits(b.d.decision, -0.5));
}

// ---- multi-level tracking --------------------------------------------------------------

struct LockCase {
  const char* name;
  double flipsBefore;
  double trendSign;   // stored sign; the trend stays positive in the step
  double wantFlips;
  double wantLocked;
};

const LockCase kLock[] = {
    {"twentieth_flip_stays_unlocked", 19, -1, 20, 0},
    {"twenty_first_flip_locks", 20, -1, 21, 1},
    {"no_flip_no_lock", 20, 1, 20, 0},
    {"nan_sign_counts_as_flip", 20, kNaN, 21, 1},
};

class LockTest : public ::testing::TestWithParam<LockCase> {};

TEST_P(LockTest, LocksOnTheTwentyFirstSignChange) {
  const LockCase& c = GetParam();
  Block b(4);
  b.d.trendFlips = c.flipsBefore;
  b.d.trendSign = c.trendSign;
  b.d.amplitudeTrend = 0.01;
  double* thr = b.d.thresholds->elements;
  thr[0] = -0.3;
  thr[1] = 0.02;
  thr[2] = 0.31;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  const double s = 0.45;
  b.d.previousOutput = s;
  b.step(s);
  EXPECT_TRUE(sameBits(b.d.trendFlips, c.wantFlips));
  EXPECT_TRUE(sameBits(b.d.levelsLocked, c.wantLocked));
  EXPECT_TRUE(sameBits(b.d.trendSign, 1.0));

  // The amplitude follows |s|; the thresholds move toward (-a, 0, a).
  const double a = (s - 0.333) / 400.0 / 2.0;
  const double amp = 0.333 + a;
  EXPECT_TRUE(sameBits(b.d.amplitude, amp));
  const double factor = amp * 2.0 / 4.0 * 2.0;
  const std::vector<double> thrNow = row(b.d.thresholds);
  EXPECT_TRUE(sameBits(thrNow[0], -0.3 + (-1.0 * factor - -0.3) / 400.0 / 2.0));
  EXPECT_TRUE(sameBits(thrNow[1], 0.02 + (0.0 * factor - 0.02) / 400.0 / 2.0));
  EXPECT_TRUE(sameBits(thrNow[2], 0.31 + (1.0 * factor - 0.31) / 400.0 / 2.0));

  // Decision 0.5 (above 0.31); its level moved from its start value.
  const std::vector<double> lv = row(b.d.levels);
  if (c.wantLocked == 1) {
    // Uniform grid from the thresholds before the update: d = 0.32.
    const double d = 0.02 - -0.3;
    EXPECT_TRUE(sameBits(lv[0], -3.0 * d / 2.0));
    EXPECT_TRUE(sameBits(lv[1], -1.0 * d / 2.0));
    EXPECT_TRUE(sameBits(lv[2], 1.0 * d / 2.0));
    const double g3 = 3.0 * d / 2.0;
    EXPECT_TRUE(sameBits(lv[3], g3 + (s - g3) / 400.0 / 2.0));
  } else {
    EXPECT_TRUE(sameBits(lv[0], -0.5));
    EXPECT_TRUE(sameBits(lv[3], 0.5 + (s - 0.5) / 400.0 / 2.0));
  }
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, LockTest, ::testing::ValuesIn(kLock),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrATracking, LockedThresholdsSitBetweenTheLevels) {
  Block b(4);
  b.d.levelsLocked = 1;
  double* lv = b.d.levels->elements;
  lv[0] = -0.6;
  lv[1] = -0.1;
  lv[2] = 0.2;
  lv[3] = 0.7;
  b.d.edgeCountdown = 3;
  b.d.dataCountdown = -0.5;
  b.d.previousOutput = 0.0;
  b.step(0.0);
  EXPECT_TRUE(sameBits(row(b.d.thresholds), {(-0.1 - -0.6) / 2 + -0.6, (0.2 - -0.1) / 2 + -0.1,
                                             (0.7 - 0.2) / 2 + 0.2}));
  EXPECT_TRUE(sameBits(b.d.decision, -0.16666666666666666));  // 0 lies between -0.35 and 0.05
}

TEST(DfecdrATracking, Pam4WaveformLocksAndPlacesThresholdsBetweenLevels) {
  Block b(4);
  const Waveform w = makeWaveform(40000, 0.5, 4, 2024u);
  double flips = 0;
  bool locked = false;
  for (const double x : w.samples) {
    const double lockedBefore = b.d.levelsLocked;
    const double flipsBefore = b.d.trendFlips;
    b.step(x);
    if (lockedBefore == 0 && b.d.levelsLocked == 1) {
      EXPECT_TRUE(sameBits(flipsBefore, 20.0));
      EXPECT_TRUE(sameBits(b.d.trendFlips, 21.0));
      locked = true;
    }
    if (lockedBefore == 0) flips = b.d.trendFlips;
  }
  ASSERT_TRUE(locked) << "flips reached " << flips;
  const std::vector<double> thr = row(b.d.thresholds);
  // Sampling jitter pulls the outer levels in a little.
  EXPECT_NEAR(thr[0], -1.0 / 3, 0.04);
  EXPECT_NEAR(thr[1], 0.0, 0.01);
  EXPECT_NEAR(thr[2], 1.0 / 3, 0.04);
}

TEST(DfecdrADiagnostics, Pam4RecordHoldsLevelsAndThresholds) {
  Block b(4);
  const StepResult r = b.step(0.1);
  EXPECT_TRUE(sameBits(r.diag.upperThreshold, 0.33333333333333337));
  EXPECT_TRUE(sameBits(r.diag.innerLevel, 0.16666666666666666));
  EXPECT_TRUE(sameBits(r.diag.outerLevel, 0.5));
  EXPECT_TRUE(sameBits(r.diag.amplitude, 0.333));
  EXPECT_TRUE(sameBits(r.diag.countdown, 3.0));
  EXPECT_TRUE(sameBits(r.diag.thresholdList[0], -0.3333333333333333));
  EXPECT_TRUE(sameBits(r.diag.thresholdList[2], 0.33333333333333337));
  for (int i = 3; i < 31; ++i) EXPECT_TRUE(sameBits(r.diag.thresholdList[i], 0.0));
  EXPECT_TRUE(sameBits(r.diag.phase, r.phase));
}

TEST(DfecdrADiagnostics, NrzRecordUsesTheFixedLevels) {
  Block b(2);
  cdrOptional diag;
  std::fill(reinterpret_cast<double*>(&diag), reinterpret_cast<double*>(&diag) + 41, 7.0);
  double out, taps[4], phase, ct, cs;
  Rx_DFECDR_stepImpl(&b.d, 0.1, &out, taps, &phase, &ct, &cs, &diag);
  EXPECT_TRUE(sameBits(diag.upperThreshold, 0.0));
  EXPECT_TRUE(sameBits(diag.innerLevel, 0.3));
  EXPECT_TRUE(sameBits(diag.outerLevel, 0.4));
  for (int i = 0; i < 31; ++i) EXPECT_TRUE(sameBits(diag.thresholdList[i], 0.0));
}

// ---- clock recovery on a clean waveform -------------------------------------------------

struct CdrCase {
  const char* name;
  double offset;  // samples between the waveform's symbol grid and the sample grid
};

const CdrCase kCdr[] = {
    {"edge_late_by_0_3_ui", 2.4},
    {"edge_early_by_0_3_ui", 5.6},
    {"edge_late_by_0_125_ui", 1.0},
};

class CdrLockTest : public ::testing::TestWithParam<CdrCase> {};

TEST_P(CdrLockTest, LocksInTheOpenEyeAndDecidesTheBits) {
  const CdrCase& c = GetParam();
  Block b(2);
  const Waveform w = makeWaveform(5000, c.offset, 2, 4242u);
  struct Instant {
    double position;
    double decision;
  };
  std::vector<Instant> instants;
  std::vector<double> thresholdsSeen;
  for (const double x : w.samples) {
    const StepResult r = b.step(x);
    if (r.dataInstant) instants.push_back({r.dataPosition, b.d.decision});
    if (thresholdsSeen.empty() || thresholdsSeen.back() != b.d.voteThreshold)
      thresholdsSeen.push_back(b.d.voteThreshold);
  }
  ASSERT_GT(instants.size(), 4000u);
  // The loop speeds down from 2 to 16 votes a step, one vote at a time.
  ASSERT_EQ(thresholdsSeen.size(), 15u);
  for (std::size_t i = 0; i < thresholdsSeen.size(); ++i)
    EXPECT_TRUE(sameBits(thresholdsSeen[i], 2.0 + static_cast<double>(i)));

  const std::size_t from = instants.size() - 1000;
  for (std::size_t i = from; i < instants.size(); ++i) {
    const double pos = instants[i].position;
    EXPECT_NEAR(w.phaseAt(pos), 0.5, 0.1) << i;
    EXPECT_TRUE(sameBits(instants[i].decision, w.symbolAt(pos))) << i;
    // Positions far from the origin carry rounding of their own.
    const double spacing = pos - instants[i - 1].position;
    const bool nominal = std::fabs(spacing - 8.0) < 1e-9;
    const bool stepped = std::fabs(std::fabs(spacing - 8.0) - 0.0624) < 1e-9;
    EXPECT_TRUE(nominal || stepped) << spacing;
  }
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, CdrLockTest, ::testing::ValuesIn(kCdr),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrALoop, CdrModeZeroKeepsNominalSpacing) {
  Block b(2);
  b.d.CdrMode = 0;
  const Waveform w = makeWaveform(1000, 2.4, 2, 5u);
  std::vector<double> positions;
  for (const double x : w.samples) {
    const StepResult r = b.step(x);
    if (r.dataInstant) positions.push_back(r.dataPosition);
  }
  for (std::size_t i = 1; i < positions.size(); ++i)
    ASSERT_TRUE(sameBits(positions[i] - positions[i - 1], 8.0)) << i;
  EXPECT_GT(std::fabs(b.d.voteCount), 16.0);
}

// ---- degenerate timing ---------------------------------------------------------------------

struct DegenerateCase {
  const char* name;
  double symbolTime;
  double sampleInterval;
};

const DegenerateCase kDegenerate[] = {
    {"zero_interval", 8e-12, 0.0},
    {"nan_interval", 8e-12, kNaN},
    {"infinite_symbol", kInf, 1e-12},
    {"zero_symbol", 0.0, 1e-12},
    {"huge_ratio", 1e300, 1e-300},
    {"negative_interval", 8e-12, -1e-12},
};

class DegenerateTest : public ::testing::TestWithParam<DegenerateCase> {};

TEST_P(DegenerateTest, StepsStayDefined) {
  const DegenerateCase& c = GetParam();
  for (const double m : {2.0, 4.0}) {
    Block b(m, c.symbolTime, c.sampleInterval);
    b.props.Mode = 1;
    b.props.TapWeights[0] = 0.05;
    for (int i = 0; i < 300; ++i) {
      const double x = (i / 5) % 2 ? 0.3 : -0.3;
      const StepResult r = b.step(x);
      ASSERT_TRUE(std::isfinite(r.out)) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(DfecdrA, DegenerateTest, ::testing::ValuesIn(kDegenerate),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DfecdrADegenerate, MissingArraysLeaveTheStepDefined) {
  blk_DFECDR_Rx_T d{};  // no arrays created
  Rx_DFECDR_construct(&d, 8 * kDt, kDt, 4);
  Rx_SystemCore_setup_i(&d);
  EXPECT_FALSE(Rx_DFECDR_resetImpl(&d));
  double out, taps[4], phase, ct, cs;
  cdrOptional diag;
  for (int i = 0; i < 50; ++i) Rx_DFECDR_stepImpl(&d, 0.2, &out, taps, &phase, &ct, &cs, &diag);
  EXPECT_TRUE(sameBits(out, 0.2));
  EXPECT_TRUE(sameBits(d.decision, 0.0));
  Rx_dynFreeStruct_blk_DFECDR(&d);
}

}  // namespace
