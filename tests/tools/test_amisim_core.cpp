// The host program's building blocks: transforms, sequences, file readers,
// the embedded channel and the two analyses.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/amisim/ami_file.h"
#include "tools/amisim/channel.h"
#include "tools/amisim/fft.h"
#include "tools/amisim/options.h"
#include "tools/amisim/prbs.h"
#include "tools/amisim/stat_analysis.h"
#include "tools/amisim/wave_analysis.h"

namespace amisim {
namespace {

template <typename T>
std::string caseName(const ::testing::TestParamInfo<T>& info) {
  return info.param.name;
}

// ---- FFT and convolution -------------------------------------------------

TEST(AmisimFft, MatchesTheDefiningSum) {
  const std::size_t n = 16;
  std::vector<std::complex<double>> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = {std::sin(0.7 * i) + 0.1 * i, std::cos(1.3 * i)};
  std::vector<std::complex<double>> want(n);
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < n; ++i)
      want[k] += x[i] * std::polar(1.0, -2.0 * M_PI * static_cast<double>(k * i) / n);
  const FftPlan plan = makeFftPlan(n);
  std::vector<std::complex<double>> got = x;
  fftForward(plan, got.data());
  for (std::size_t k = 0; k < n; ++k) EXPECT_LT(std::abs(got[k] - want[k]), 1e-12) << k;
  fftInverse(plan, got.data());
  for (std::size_t i = 0; i < n; ++i) EXPECT_LT(std::abs(got[i] - x[i]), 1e-14) << i;
}

struct ConvolveCase {
  const char* name;
  std::size_t kernel;  // kernel length
  std::size_t calls;   // process() calls streamed
};
const ConvolveCase kConvolve[] = {
    {"single_tap", 1, 2},
    {"short", 3, 3},
    {"odd_long", 257, 2},
    {"long", 1000, 3},
};
class ConvolveTest : public ::testing::TestWithParam<ConvolveCase> {};

// Streaming overlap-add equals the direct sum, across the two halves of a
// call and across calls.
TEST_P(ConvolveTest, StreamEqualsDirectSum) {
  const ConvolveCase& c = GetParam();
  std::vector<double> kernel(c.kernel);
  for (std::size_t i = 0; i < c.kernel; ++i) kernel[i] = std::exp(-0.01 * i) * std::cos(0.3 * i);
  OverlapAddConvolver conv(kernel);
  const std::size_t n = conv.callLength() * c.calls;
  std::vector<double> in(n);
  for (std::size_t i = 0; i < n; ++i) in[i] = ((i * 7919) % 13) / 6.0 - 1.0;
  std::vector<double> out(n);
  for (std::size_t k = 0; k < c.calls; ++k)
    conv.process(in.data() + k * conv.callLength(), out.data() + k * conv.callLength());
  const std::vector<double> want = convolveDirect(in, kernel);
  double worst = 0.0;
  for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, std::fabs(out[i] - want[i]));
  EXPECT_LT(worst, 1e-11);
}
INSTANTIATE_TEST_SUITE_P(AmisimLengths, ConvolveTest, ::testing::ValuesIn(kConvolve),
                         caseName<ConvolveCase>);

TEST(AmisimFft, PowerOfTwoHelpers) {
  EXPECT_TRUE(isPowerOfTwo(1));
  EXPECT_TRUE(isPowerOfTwo(4096));
  EXPECT_FALSE(isPowerOfTwo(0));
  EXPECT_FALSE(isPowerOfTwo(96));
  EXPECT_EQ(nextPowerOfTwo(0), 1u);
  EXPECT_EQ(nextPowerOfTwo(1025), 2048u);
  EXPECT_EQ(nextPowerOfTwo(~std::size_t{0}), 0u);
}

// ---- Sequences and symbols ------------------------------------------------

struct PrbsCase {
  const char* name;
  std::uint32_t order, tap;
};
const PrbsCase kPrbs[] = {
    {"prbs7", 7, 6}, {"prbs15", 15, 14}, {"prbs23", 23, 18}, {"prbs31", 31, 28}};
// PRBS31's period of 2^31 - 1 bits is too long to walk in a test.
const PrbsCase kPrbsPeriod[] = {{"prbs7", 7, 6}, {"prbs15", 15, 14}, {"prbs23", 23, 18}};

class PrbsTest : public ::testing::TestWithParam<PrbsCase> {};
TEST_P(PrbsTest, FollowsItsPolynomial) {
  const PrbsCase& c = GetParam();
  Prbs p;
  ASSERT_TRUE(makePrbs(c.order, 0x1234567u, &p));
  std::vector<int> bits(5000);
  for (int& b : bits) b = nextBit(p);
  for (std::size_t n = c.order; n < bits.size(); ++n)
    ASSERT_EQ(bits[n], bits[n - c.order] ^ bits[n - c.tap]) << n;
}
INSTANTIATE_TEST_SUITE_P(AmisimOrders, PrbsTest, ::testing::ValuesIn(kPrbs), caseName<PrbsCase>);

class PrbsPeriodTest : public ::testing::TestWithParam<PrbsCase> {};
TEST_P(PrbsPeriodTest, IsMaximal) {
  const PrbsCase& c = GetParam();
  Prbs p;
  ASSERT_TRUE(makePrbs(c.order, 1, &p));
  const std::uint32_t start = p.state;
  const std::uint64_t period = (std::uint64_t{1} << c.order) - 1;
  std::uint64_t ones = 0;
  for (std::uint64_t i = 1; i <= period; ++i) {
    ones += static_cast<std::uint64_t>(nextBit(p));
    if (i < period) {
      ASSERT_NE(p.state, start) << "repeats after " << i;
    }
  }
  EXPECT_EQ(p.state, start);
  EXPECT_EQ(ones, (period + 1) / 2);  // a maximal sequence has one more 1 than 0s
}
INSTANTIATE_TEST_SUITE_P(AmisimOrders, PrbsPeriodTest, ::testing::ValuesIn(kPrbsPeriod),
                         caseName<PrbsCase>);

TEST(AmisimPrbs, RejectsOtherOrdersAndTheZeroSeed) {
  Prbs p;
  EXPECT_FALSE(makePrbs(9, 1, &p));
  EXPECT_FALSE(makePrbs(0, 1, &p));
  ASSERT_TRUE(makePrbs(7, 0x80u, &p));  // only zeros in the register's bits
  EXPECT_NE(p.state, 0u);
}

TEST(AmisimSymbols, GrayCodeAndLevels) {
  for (int level = 0; level < 4; ++level) {
    int h, l;
    grayBits(level, &h, &l);
    EXPECT_EQ(grayLevel(h, l), level);
    if (level > 0) {
      int h0, l0;
      grayBits(level - 1, &h0, &l0);
      EXPECT_EQ((h != h0) + (l != l0), 1) << "neighbours differ in one bit";
    }
  }
  EXPECT_EQ(levelValue(0, 2), -1.0);
  EXPECT_EQ(levelValue(1, 2), 1.0);
  EXPECT_EQ(levelValue(1, 4), -1.0 / 3.0);
  EXPECT_EQ(levelValue(3, 4), 1.0);
}

// ---- .ami files and parameter strings ------------------------------------

const char* const kAmi = R"((toy
  (Description "A toy model (with parentheses in quotes).")
  (Reserved_Parameters
    (AMI_Version (Usage Info) (Type String) (Value "7.1"))
    (Modulation (Usage In) (Type String) (List "NRZ" "PAM4") (Default "NRZ")))
  (Model_Specific
    (EQ
      (Description "branch")
      (Mode (Usage In) (Type Integer) (List 0 1) (Default 1))
      (Gain (Usage InOut) (Type Float) (Range 0.5 -1 2))
      (Old (Usage In) (Type Float) (Format Range 3 0 10))
      (Seen (Usage Out) (Type Float) (Range 0 0 1)))
    (Silent (Info (Usage Info) (Type Integer) (Value 4)))
    (Flag (Usage In) (Type Boolean) (List True False) (Default False))
    (Name (Usage In) (Type String) (Default "x y"))))
)";

TEST(AmisimAmiFile, ReadsParametersWithPathsUsageAndDefaults) {
  AmiFile f;
  std::string error;
  ASSERT_TRUE(parseAmiText(kAmi, &f, &error)) << error;
  EXPECT_EQ(f.root, "toy");
  EXPECT_EQ(f.description, "A toy model (with parentheses in quotes).");
  ASSERT_EQ(f.parameters.size(), 9u);
  const AmiParameter* mode = findParameter(f, "EQ.Mode");
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(mode->usage, AmiUsage::In);
  EXPECT_EQ(mode->format, AmiFormat::List);
  EXPECT_EQ(mode->defaultValue.text, "1");
  const AmiParameter* gain = findParameter(f, "EQ.Gain");
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->format, AmiFormat::Range);
  EXPECT_EQ(gain->min, -1.0);
  EXPECT_EQ(gain->max, 2.0);
  EXPECT_EQ(gain->defaultValue.text, "0.5");
  const AmiParameter* old = findParameter(f, "EQ.Old");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->format, AmiFormat::Range);
  EXPECT_EQ(old->defaultValue.text, "3");
  const AmiParameter* modulation = findParameter(f, "Modulation");
  ASSERT_NE(modulation, nullptr);
  EXPECT_TRUE(modulation->reserved);
  EXPECT_EQ(findParameter(f, "Reserved_Parameters.Modulation"), nullptr);
}

TEST(AmisimAmiFile, BuildsTheStringASimulatorSends) {
  AmiFile f;
  std::string error;
  ASSERT_TRUE(parseAmiText(kAmi, &f, &error)) << error;
  int count = 0;
  EXPECT_EQ(
      buildParameterString(f, {}, &count),
      "(toy (Modulation \"NRZ\") (EQ (Mode 1) (Gain 0.5) (Old 3)) (Flag False) (Name \"x y\"))");
  EXPECT_EQ(count, 6);
  AmiToken pam4{"PAM4", false}, zero{"0", false};
  EXPECT_EQ(
      buildParameterString(f, {{"Modulation", pam4}, {"EQ.Mode", zero}}, &count),
      "(toy (Modulation \"PAM4\") (EQ (Mode 0) (Gain 0.5) (Old 3)) (Flag False) (Name \"x y\"))");
}

struct BadAmiCase {
  const char* name;
  const char* text;
  const char* error;  // expected part of the reason
};
const BadAmiCase kBadAmi[] = {
    {"empty", "", "must start with '('"},
    {"unclosed_item", "(m\n (A (Usage In) (Type Float) (Range 0 0 1))\n",
     "line 1: item m is not closed"},
    {"unclosed_quote", "(m (Description \"open\n))", "line 1: quoted text is not closed"},
    {"text_after_root", "(m) x", "text after the root item"},
    {"no_usage", "(m (A (Type Float) (Range 0 0 1)))", "A: needs (Usage"},
    {"bad_usage", "(m (A (Usage Sometimes) (Type Float) (Range 0 0 1)))",
     "unknown Usage Sometimes"},
    {"bad_type", "(m (A (Usage In) (Type Complex) (Range 0 0 1)))", "unknown Type Complex"},
    {"no_format", "(m (A (Usage In) (Type Float)))", "needs (Value ...)"},
    {"range_reversed", "(m (A (Usage In) (Type Float) (Range 0 1 -1)))",
     "three numbers, min <= max"},
    {"range_text", "(m (A (Usage In) (Type Float) (Range 0 low 1)))", "three numbers"},
    {"default_outside_list", "(m (A (Usage In) (Type Integer) (List 0 1) (Default 2)))",
     "default 2 is not allowed"},
    {"default_outside_range", "(m (B (A (Usage In) (Type Float) (Range 5 0 1))))",
     "B.A: default 5"},
    {"quoted_name", "(\"m\")", "must start with a name"},
    {"deep", "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((",
     "must start with a name"},
};
class BadAmiTest : public ::testing::TestWithParam<BadAmiCase> {};
TEST_P(BadAmiTest, RefusedWithAReason) {
  AmiFile f;
  std::string error;
  EXPECT_FALSE(parseAmiText(GetParam().text, &f, &error));
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}
INSTANTIATE_TEST_SUITE_P(AmisimFiles, BadAmiTest, ::testing::ValuesIn(kBadAmi),
                         caseName<BadAmiCase>);

TEST(AmisimAmiFile, DeepNestingIsRefusedNotOverflowed) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "(a ";
  AmiFile f;
  std::string error;
  EXPECT_FALSE(parseAmiText(text, &f, &error));
  EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
}

struct AllowedCase {
  const char* name;
  const char* parameter;
  const char* value;
  bool allowed;
};
const AllowedCase kAllowed[] = {
    {"list_member", "EQ.Mode", "0", true},       {"list_other", "EQ.Mode", "2", false},
    {"list_as_float", "EQ.Mode", "1.0", true},   {"range_low", "EQ.Gain", "-1", true},
    {"range_high", "EQ.Gain", "2", true},        {"range_above", "EQ.Gain", "2.0000001", false},
    {"range_text", "EQ.Gain", "big", false},     {"range_nan", "EQ.Gain", "nan", false},
    {"bool_true", "Flag", "True", true},         {"bool_lower", "Flag", "true", false},
    {"string_any", "Name", "anything", true},    {"string_quote", "Name", "a\"b", false},
    {"string_list", "Modulation", "PAM4", true}, {"string_not_listed", "Modulation", "PAM8", false},
};
class AllowedTest : public ::testing::TestWithParam<AllowedCase> {};
TEST_P(AllowedTest, ByFormat) {
  AmiFile f;
  std::string error;
  ASSERT_TRUE(parseAmiText(kAmi, &f, &error)) << error;
  const AmiParameter* p = findParameter(f, GetParam().parameter);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(valueAllowed(*p, AmiToken{GetParam().value, false}), GetParam().allowed);
}
INSTANTIATE_TEST_SUITE_P(AmisimValues, AllowedTest, ::testing::ValuesIn(kAllowed),
                         caseName<AllowedCase>);

struct FlattenCase {
  const char* name;
  const char* text;
  std::vector<std::pair<std::string, std::string>> want;
};
const FlattenCase kFlatten[] = {
    {"output_tree",
     "(LP_rx(DFECDR(Phase 0.5)(TapWeights(3 0.01)(4 -0.02))))",
     {{"DFECDR.Phase", "0.5"}, {"DFECDR.TapWeights.3", "0.01"}, {"DFECDR.TapWeights.4", "-0.02"}}},
    {"quoted_and_several", "(m (A \"x y\") (B 1 2 3))", {{"A", "x y"}, {"B", "1 2 3"}}},
    {"unbalanced", "(m (A 1) (B 2", {{"A", "1"}}},
    {"too_many_closes", "(m (A 1))))) (B 2)", {{"A", "1"}}},
    {"empty", "", {}},
    {"no_parentheses", "just words", {}},
    {"open_quote", "(m (A \"never closed", {}},
};
class FlattenTest : public ::testing::TestWithParam<FlattenCase> {};
TEST_P(FlattenTest, Leniently) {
  EXPECT_EQ(flattenParameterString(GetParam().text), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(AmisimStrings, FlattenTest, ::testing::ValuesIn(kFlatten),
                         caseName<FlattenCase>);

// ---- Impulse CSV -----------------------------------------------------------

TEST(AmisimImpulseCsv, ReadsHeaderCommentsAndAggressors) {
  Channel c;
  std::string error;
  ASSERT_TRUE(
      parseImpulseCsv("# made by hand\ntime,victim,aggr\n0,1,0.5\n1e-12;2;0.25\n"
                      "2e-12\t3\t0\n\n",
                      &c, &error))
      << error;
  EXPECT_DOUBLE_EQ(c.sampleInterval, 1e-12);
  ASSERT_EQ(c.columns.size(), 2u);
  EXPECT_EQ(c.columns[0], (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(c.columns[1], (std::vector<double>{0.5, 0.25, 0}));
}

struct BadCsvCase {
  const char* name;
  const char* text;
  const char* error;
};
const BadCsvCase kBadCsv[] = {
    {"empty", "", "at least two rows"},
    {"one_row", "0,1\n", "at least two rows"},
    {"second_header", "t,v\n0,1\nx,y\n", "line 3: not a row of numbers"},
    {"time_only", "0\n1\n", "line 1: needs a time and a victim value"},
    {"ragged", "0,1,2\n1,1\n", "line 2: 2 fields where the first row has 3"},
    {"not_finite", "0,1\n1,nan\n", "line 2: value is not finite"},
    {"falling_time", "1,1\n0,1\n", "times must rise"},
    {"uneven_time", "0,1\n1,1\n3,1\n4,1\n", "evenly spaced"},
    {"trailing_text", "0,1\n1,2x\n", "line 2: not a row of numbers"},
};
class BadCsvTest : public ::testing::TestWithParam<BadCsvCase> {};
TEST_P(BadCsvTest, RefusedWithTheLine) {
  Channel c;
  std::string error;
  EXPECT_FALSE(parseImpulseCsv(GetParam().text, &c, &error));
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}
INSTANTIATE_TEST_SUITE_P(AmisimFiles, BadCsvTest, ::testing::ValuesIn(kBadCsv),
                         caseName<BadCsvCase>);

TEST(AmisimImpulseCsv, ResamplingKeepsAStraightLineStraight) {
  Channel c;
  c.sampleInterval = 2.0;
  c.columns = {{0, 2, 4, 6, 8}};
  const Channel r = resampleChannel(c, 0.5);
  ASSERT_EQ(r.columns[0].size(), 17u);
  for (std::size_t i = 0; i < 17; ++i) EXPECT_DOUBLE_EQ(r.columns[0][i], 0.5 * i);
  EXPECT_EQ(resampleChannel(c, 2.0).columns[0], c.columns[0]);
}

// ---- Embedded channel --------------------------------------------------------

struct LineCase {
  const char* name;
  double lossDb, bitRate;
};
const LineCase kLines[] = {
    {"default", 12, 5e9}, {"low_loss_fast", 3, 16e9}, {"lossy_slow", 25, 2e9}};
class LineTest : public ::testing::TestWithParam<LineCase> {};

// Causal (silent before the flight delay), passive (DC gain at most 1), the
// stated loss at Nyquist, and loss that rises with frequency.
TEST_P(LineTest, IsCausalPassiveAndHasItsLoss) {
  LineParameters line;
  line.lossDb = GetParam().lossDb;
  line.bitRate = GetParam().bitRate;
  line.edgeUi = 0.0;  // the bare line, so that its loss can be compared
  Channel c;
  std::string error;
  ASSERT_TRUE(makeLineChannel(line, &c, &error)) << error;
  ASSERT_EQ(c.columns.size(), 1u);
  const std::size_t delayRows =
      static_cast<std::size_t>(std::lround(line.delay / c.sampleInterval));
  for (std::size_t i = 0; i < delayRows; ++i) ASSERT_EQ(c.columns[0][i], 0.0) << i;
  const double dc = channelDcGain(c);
  EXPECT_LE(dc, 1.0);
  EXPECT_GT(dc, 0.95);
  EXPECT_NEAR(-channelGainDb(c, line.bitRate / 2.0), line.lossDb, 0.2 + 0.02 * line.lossDb);
  double previous = channelGainDb(c, 0.0);
  for (double f = line.bitRate / 16; f <= line.bitRate; f += line.bitRate / 16) {
    const double g = channelGainDb(c, f);
    EXPECT_LT(g, previous) << f;
    previous = g;
  }
}
INSTANTIATE_TEST_SUITE_P(AmisimLines, LineTest, ::testing::ValuesIn(kLines), caseName<LineCase>);

TEST(AmisimLine, TheEdgeAddsLossAndTheLossFollowsSkinAndDielectricShares) {
  LineParameters line;
  EXPECT_DOUBLE_EQ(lineLossDb(line, line.bitRate / 2), line.lossDb);
  EXPECT_DOUBLE_EQ(lineLossDb(line, line.bitRate / 8),
                   line.lossDb * (line.skinShare * 0.5 + (1 - line.skinShare) * 0.25));
  EXPECT_DOUBLE_EQ(lineLossDb(line, 1e15), 300.0);
  Channel bare, edged;
  std::string error;
  LineParameters withoutEdge = line;
  withoutEdge.edgeUi = 0.0;
  ASSERT_TRUE(makeLineChannel(withoutEdge, &bare, &error));
  ASSERT_TRUE(makeLineChannel(line, &edged, &error));
  EXPECT_GT(-channelGainDb(edged, line.bitRate / 2), -channelGainDb(bare, line.bitRate / 2));
}

TEST(AmisimLine, RefusesUnusableParameters) {
  Channel c;
  std::string error;
  LineParameters s;
  s.lossDb = -1;
  EXPECT_FALSE(makeLineChannel(s, &c, &error));
  s = LineParameters();
  s.bitRate = NAN;
  EXPECT_FALSE(makeLineChannel(s, &c, &error));
  s = LineParameters();
  s.samplesPerUi = 1;
  EXPECT_FALSE(makeLineChannel(s, &c, &error));
}

// ---- Pulse response ----------------------------------------------------------

TEST(AmisimPulse, SumsOneUiOfTheImpulse) {
  const std::vector<double> p = pulseResponse({4, 0, 0, 0, 0, 8}, 0.25, 2);
  EXPECT_EQ(p, (std::vector<double>{1, 1, 0, 0, 0, 2, 2}));
}

TEST(AmisimPulse, CursorIsiAndWorstCaseEye) {
  const double dt = 0.5;
  // One sample per UI: the pulse is the impulse times dt.
  const std::vector<double> impulse = {0.02 / dt, 0.1 / dt, 1.0 / dt, 0.25 / dt, -0.05 / dt};
  const PulseAnalysis nrz = analysePulse(impulse, dt, 1, 2, 0.5);
  ASSERT_TRUE(nrz.valid);
  EXPECT_EQ(nrz.cursorRow, 2u);
  EXPECT_EQ(nrz.cursor, 1.0);
  ASSERT_EQ(nrz.precursors.size(), 2u);
  EXPECT_NEAR(nrz.precursors[0], 0.1, 1e-15);
  EXPECT_NEAR(nrz.precursors[1], 0.02, 1e-15);
  ASSERT_EQ(nrz.postcursors.size(), 2u);
  EXPECT_NEAR(nrz.postcursors[0], 0.25, 1e-15);
  EXPECT_NEAR(nrz.postcursors[1], -0.05, 1e-15);
  EXPECT_NEAR(nrz.isi, 0.42, 1e-15);
  EXPECT_NEAR(nrz.eyeHeight, 2 * 0.5 * 1.0 - 2 * 0.5 * 0.42, 1e-15);
  const PulseAnalysis pam4 = analysePulse(impulse, dt, 1, 4, 0.5);
  EXPECT_NEAR(pam4.eyeHeight, (2 * 0.5 / 3) * 1.0 - 2 * 0.5 * 0.42, 1e-15);
  EXPECT_LT(pam4.eyeHeight, 0.0);
}

TEST(AmisimPulse, UnusableImpulsesAreNotAnalysed) {
  EXPECT_FALSE(analysePulse({}, 1.0, 4, 2, 1.0).valid);
  EXPECT_FALSE(analysePulse({0, 0, 0}, 1.0, 2, 2, 1.0).valid);
  EXPECT_FALSE(analysePulse({1, NAN, 0}, 1.0, 2, 2, 1.0).valid);
}

// ---- Time-domain analysis ----------------------------------------------------

// An ideal equalised waveform: each symbol's level held for a UI, `delay`
// UI after its transmission, with clock times half a UI before the centres.
struct Ideal {
  std::vector<std::int8_t> symbols;
  std::vector<double> wave;
  std::vector<double> clocks;
};

Ideal idealRun(int levels, int sps, double ui, std::size_t count, int delay, double amplitude) {
  Ideal r;
  Prbs p;
  makePrbs(15, 7, &p);
  r.symbols = makeSymbols(p, count, levels);
  const std::size_t n = (count + static_cast<std::size_t>(delay)) * static_cast<std::size_t>(sps);
  r.wave.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    const long long m = static_cast<long long>(i / static_cast<std::size_t>(sps)) - delay;
    if (m >= 0) r.wave[i] = amplitude * levelValue(r.symbols[static_cast<std::size_t>(m)], levels);
  }
  for (std::size_t k = 0; k + 1 < count + static_cast<std::size_t>(delay); ++k)
    r.clocks.push_back(static_cast<double>(k) * ui);  // data sampled at (k + 1/2) UI
  return r;
}

WaveAnalysisResult analyse(const Ideal& run, const WaveAnalysisConfig& cfg, std::size_t block) {
  WaveAnalyser a(cfg, run.symbols);
  const double dt = cfg.sampleInterval;
  std::size_t clock = 0;
  for (std::size_t start = 0; start < run.wave.size(); start += block) {
    const std::size_t n = std::min(block, run.wave.size() - start);
    // The clock times of a block: those whose data instant lies in it.
    const std::size_t first = clock;
    while (clock < run.clocks.size() &&
           run.clocks[clock] + cfg.ui / 2 < static_cast<double>(start + n) * dt)
      ++clock;
    a.addBlock(run.wave.data() + start, n, run.clocks.data() + first, clock - first);
  }
  return a.finish();
}

WaveAnalysisConfig config(int levels) {
  WaveAnalysisConfig cfg;
  cfg.ui = 1e-10;
  cfg.sampleInterval = cfg.ui / 16;
  cfg.levels = levels;
  cfg.skipTime = 100 * cfg.ui;
  cfg.maxDelayUi = 64;
  return cfg;
}

struct BlockCase {
  const char* name;
  std::size_t block;
};
const BlockCase kBlocks[] = {{"one_sample", 1}, {"odd", 37}, {"mid", 1000}, {"whole", 1 << 20}};
class IdealEyeTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(IdealEyeTest, NrzIsWideOpenWithoutErrors) {
  const WaveAnalysisConfig cfg = config(2);
  const Ideal run = idealRun(2, 16, cfg.ui, 3000, 9, 0.4);
  const WaveAnalysisResult r = analyse(run, cfg, GetParam().block);
  EXPECT_TRUE(r.aligned);
  EXPECT_EQ(r.delayUi, 9);
  EXPECT_EQ(r.bitErrors, 0u);
  EXPECT_GT(r.bits, 2800u);
  EXPECT_EQ(r.eyeHeight, 0.8);
  EXPECT_GT(r.eyeWidth, 0.9);
  EXPECT_NEAR(r.recoveredUi, cfg.ui, 1e-22);
  EXPECT_LT(r.jitterRms, 1e-20);
  EXPECT_EQ(r.clockSlips, 0u);
  ASSERT_EQ(r.thresholds.size(), 1u);
  EXPECT_NEAR(r.thresholds[0], 0.0, 0.05);
  EXPECT_GT(r.eye.traces, 0u);
}
INSTANTIATE_TEST_SUITE_P(AmisimBlocks, IdealEyeTest, ::testing::ValuesIn(kBlocks),
                         caseName<BlockCase>);

TEST(AmisimWaveAnalysis, Pam4HasThreeEqualEyes) {
  const WaveAnalysisConfig cfg = config(4);
  const Ideal run = idealRun(4, 16, cfg.ui, 4000, 3, 0.3);
  const WaveAnalysisResult r = analyse(run, cfg, 4096);
  EXPECT_EQ(r.delayUi, 3);
  EXPECT_EQ(r.bitErrors, 0u);
  EXPECT_EQ(r.bits, 2 * r.symbols);
  ASSERT_EQ(r.eyeHeights.size(), 3u);
  for (double h : r.eyeHeights) EXPECT_NEAR(h, 0.2, 1e-12);
  ASSERT_EQ(r.thresholds.size(), 3u);
  EXPECT_NEAR(r.thresholds[0], -0.2, 0.02);
  EXPECT_NEAR(r.thresholds[1], 0.0, 0.02);
  EXPECT_NEAR(r.thresholds[2], 0.2, 0.02);
}

TEST(AmisimWaveAnalysis, CountsEveryCorruptedSymbol) {
  const WaveAnalysisConfig cfg = config(4);
  Ideal run = idealRun(4, 16, cfg.ui, 4000, 3, 0.3);
  // Three symbols after the lock-in time moved to another level: one by one
  // level (one bit in Gray code), one by two levels, one by three.
  const std::size_t targets[3] = {1500, 2500, 3500};
  const double shift[3] = {0.2, 0.4, 0.6};
  std::uint64_t wantBits = 0;
  for (int k = 0; k < 3; ++k) {
    const std::size_t m = targets[k];
    const int level = run.symbols[m];
    const double sign = level >= 2 ? -1.0 : 1.0;
    const int moved = level + static_cast<int>(sign) * (k + 1);
    if (moved < 0 || moved > 3) continue;
    int h0, l0, h1, l1;
    grayBits(level, &h0, &l0);
    grayBits(moved, &h1, &l1);
    wantBits += static_cast<std::uint64_t>((h0 != h1) + (l0 != l1));
    for (std::size_t i = (m + 3) * 16; i < (m + 4) * 16; ++i) run.wave[i] += sign * shift[k];
  }
  ASSERT_GT(wantBits, 0u);
  const WaveAnalysisResult r = analyse(run, cfg, 1000);
  EXPECT_EQ(r.bitErrors, wantBits);
  EXPECT_LE(r.symbolErrors, 3u);
  EXPECT_GT(r.symbolErrors, 0u);
}

TEST(AmisimWaveAnalysis, MeasuresFrequencyOffsetAndJitter) {
  const WaveAnalysisConfig cfg = config(2);
  Ideal run = idealRun(2, 16, cfg.ui, 3000, 2, 0.4);
  // Clock times run 50 ppm slow and alternate by +-1 ps around that line.
  for (std::size_t k = 0; k < run.clocks.size(); ++k)
    run.clocks[k] = static_cast<double>(k) * cfg.ui * (1 + 50e-6) + (k % 2 ? 1e-12 : -1e-12);
  const WaveAnalysisResult r = analyse(run, cfg, 2048);
  EXPECT_NEAR(r.frequencyOffsetPpm, 50.0, 0.5);
  EXPECT_NEAR(r.jitterRms, 1e-12, 1e-14);
  EXPECT_NEAR(r.jitterPeakToPeak, 2e-12, 2e-14);
}

TEST(AmisimWaveAnalysis, NoiseAndNanNeitherCrashNorPassForAnEye) {
  const WaveAnalysisConfig cfg = config(2);
  Ideal run = idealRun(2, 16, cfg.ui, 2000, 2, 0.4);
  std::uint32_t x = 1;
  for (double& v : run.wave) {
    x = x * 1664525u + 1013904223u;
    v = (x >> 8) / 16777216.0 - 0.5;
  }
  for (std::size_t i = 20000; i < 20100; ++i) run.wave[i] = NAN;
  const WaveAnalysisResult r = analyse(run, cfg, 333);
  EXPECT_GT(r.bitErrors, r.bits / 10);
  EXPECT_FALSE(r.eyeHeight > 0.0 && r.eyeWidth > 0.0);
}

TEST(AmisimWaveAnalysis, NoClockTimesGiveEmptyResults) {
  const WaveAnalysisConfig cfg = config(2);
  Ideal run = idealRun(2, 16, cfg.ui, 500, 2, 0.4);
  run.clocks.clear();
  const WaveAnalysisResult r = analyse(run, cfg, 256);
  EXPECT_EQ(r.clockTimes, 0u);
  EXPECT_EQ(r.bits, 0u);
  EXPECT_EQ(r.ber, 0.0);
  EXPECT_EQ(r.eye.traces, 0u);
}

// ---- Command line ------------------------------------------------------------

struct OptionCase {
  const char* name;
  std::vector<const char*> args;
  const char* error;  // null: accepted
};
const OptionCase kOptions[] = {
    {"minimal", {"m.so"}, nullptr},
    {"everything",
     {"m.so",      "--set",       "CTLE.Mode=0", "--loss",
      "6",         "--bit-rate",  "10",          "--samples-per-ui",
      "16",        "--bits",      "5000",        "--skip",
      "100",       "--prbs",      "31",          "--modulation",
      "PAM4",      "--amplitude", "0.3",         "--block-size",
      "100",       "--json",      "--report",    "r.html",
      "--eye-svg", "e.svg",       "--quiet"},
     nullptr},
    {"help_alone", {"--help"}, nullptr},
    {"no_library", {}, "no model library given"},
    {"two_libraries", {"a.so", "b.so"}, "more than one library"},
    {"unknown_option", {"m.so", "--fast"}, "unknown option --fast"},
    {"missing_value", {"m.so", "--loss"}, "--loss needs a value"},
    {"loss_text", {"m.so", "--loss", "high"}, "--loss must be"},
    {"loss_negative", {"m.so", "--loss", "-1"}, "--loss must be"},
    {"rate_zero", {"m.so", "--bit-rate", "0"}, "--bit-rate must be"},
    {"rate_inf", {"m.so", "--bit-rate", "inf"}, "--bit-rate must be"},
    {"sps_small", {"m.so", "--samples-per-ui", "2"}, "--samples-per-ui must be"},
    {"bits_few", {"m.so", "--bits", "10"}, "--bits must be"},
    {"bits_overflow", {"m.so", "--bits", "99999999999999999999"}, "--bits must be"},
    {"bits_fraction", {"m.so", "--bits", "1e5"}, "--bits must be"},
    {"skip_too_long", {"m.so", "--bits", "1000", "--skip", "1000"}, "--skip must be smaller"},
    {"prbs_other", {"m.so", "--prbs", "9"}, "--prbs must be"},
    {"modulation_other", {"m.so", "--modulation", "PAM8"}, "--modulation must be"},
    {"amplitude_zero", {"m.so", "--amplitude", "0"}, "--amplitude must be"},
    {"amplitude_nan", {"m.so", "--amplitude", "nan"}, "--amplitude must be"},
    {"block_zero", {"m.so", "--block-size", "0"}, "--block-size must be"},
    {"set_no_equals", {"m.so", "--set", "CTLE.Mode"}, "--set needs NAME=VALUE"},
    {"set_no_name", {"m.so", "--set", "=1"}, "--set needs NAME=VALUE"},
};
class OptionTest : public ::testing::TestWithParam<OptionCase> {};
TEST_P(OptionTest, AcceptedOrRefused) {
  std::vector<const char*> argv = {"amisim"};
  argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
  Options o;
  std::string error;
  const bool ok = parseOptions(static_cast<int>(argv.size()), argv.data(), &o, &error);
  if (GetParam().error == nullptr) {
    EXPECT_TRUE(ok) << error;
  } else {
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  }
}
INSTANTIATE_TEST_SUITE_P(AmisimArguments, OptionTest, ::testing::ValuesIn(kOptions),
                         caseName<OptionCase>);

TEST(AmisimOptions, ValuesLandInTheirFields) {
  const char* argv[] = {"amisim",       "m.so", "--set",  "A.B=\"x\"", "--bit-rate", "2.5",
                        "--modulation", "PAM4", "--bits", "4000",      "--prbs",     "23"};
  Options o;
  std::string error;
  ASSERT_TRUE(parseOptions(12, argv, &o, &error)) << error;
  EXPECT_EQ(o.library, "m.so");
  ASSERT_EQ(o.sets.size(), 1u);
  EXPECT_EQ(o.sets[0].first, "A.B");
  EXPECT_EQ(o.sets[0].second, "\"x\"");
  EXPECT_DOUBLE_EQ(o.bitRate, 2.5e9);
  EXPECT_EQ(o.levels, 4);
  EXPECT_EQ(o.bits, 4000);
  EXPECT_EQ(o.prbs, 23);
  EXPECT_EQ(o.skipBits, -1);
}

}  // namespace
}  // namespace amisim
