// AMI_GetWave of the three libraries: block-size invariance, the clock-times
// array and its terminator, null and empty blocks, the first clock time, and
// the output string after each block.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/same_bits.h"
#include "tests/models/ami_library.h"
#include "tests/models/signals.h"

namespace {

class GetWaveTest : public ::testing::TestWithParam<std::string> {
 protected:
  const AmiLibrary& lib() const { return AmiLibrary::get(GetParam()); }
  Stimulus stimulus(std::size_t symbols = 400) const {
    return channelStimulus(GetParam(), symbols, 8, 2);
  }
};

TEST_P(GetWaveTest, BlockSizesDoNotChangeTheResult) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = stimulus();
  Instance one(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  Instance many(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  ASSERT_TRUE(one.ok());
  ASSERT_TRUE(many.ok());
  const WaveRun a = runGetWave(lib(), one.memory(), s.wave, {static_cast<long>(s.wave.size())});
  const WaveRun b = runGetWave(lib(), many.memory(), s.wave, {1, 7, 64, 1000, 3});
  EXPECT_TRUE(sameBits(a.wave, b.wave));
  EXPECT_TRUE(sameBits(a.clockTimes, b.clockTimes));
  EXPECT_EQ(a.parametersOut.back(), b.parametersOut.back());
  EXPECT_GT(a.clockTimes.size(), 300u);
}

TEST_P(GetWaveTest, ClockTimesAreTerminatedAndLieInTheirBlock) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = stimulus();
  Instance inst(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  ASSERT_TRUE(inst.ok());
  const std::vector<long> sizes = {5, 13, 200, 1, 77};
  const WaveRun r = runGetWave(lib(), inst.memory(), s.wave, sizes);
  EXPECT_TRUE(r.allReturnedOne);
  EXPECT_TRUE(r.terminated);
  EXPECT_TRUE(r.guardIntact);
  // Each clock time is a data instant minus half a symbol; the instant lies
  // between the previous and the current sample of its own block.
  long first = 0;
  double previous = -1.0;
  for (std::size_t call = 0; call < r.callClocks.size(); ++call) {
    const long size = sizes[call % sizes.size()];
    for (double c : r.callClocks[call]) {
      EXPECT_GE(c, 0.0);
      EXPECT_GT(c, previous);
      previous = c;
      if (c > 0.0) {
        const double instant = c + s.bitTime / 2.0;
        EXPECT_GE(instant, static_cast<double>(first - 1) * s.dt * (1.0 - 1e-12)) << call;
        EXPECT_LE(instant, static_cast<double>(first + size - 1) * s.dt * (1.0 + 1e-12)) << call;
      }
    }
    first += size;
  }
}

// The time-domain clock starts at reset on every model: with 8 samples per
// symbol the edge sampler first fires on the second sample and the data
// sampler on the sixth, which is then the first clock rise. Its time, the
// data instant minus half a symbol, is exactly 0.
TEST_P(GetWaveTest, FirstClockRiseIsOnTheSixthSample) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = channelStimulus(GetParam(), 1, 8, 2);
  for (double value : {0.0, 0.3, -0.3, 5.0}) {  // every sample of the wave
    SCOPED_TRACE(value);
    Instance inst(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
    ASSERT_TRUE(inst.ok());
    const WaveRun r = runGetWave(lib(), inst.memory(), std::vector<double>(8, value), {1});
    ASSERT_EQ(r.callClocks.size(), 8u);
    for (std::size_t call = 0; call < 8; ++call)
      EXPECT_EQ(r.callClocks[call].size(), call == 5 ? 1u : 0u) << "call " << call + 1;
    ASSERT_EQ(r.callClocks[5].size(), 1u);
    EXPECT_TRUE(sameBits(r.callClocks[5][0], 0.0));
    EXPECT_TRUE(r.terminated);
    EXPECT_TRUE(r.guardIntact);
  }
}

TEST_P(GetWaveTest, NullClockTimesProcessTheBlockNormally) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = stimulus(300);
  Instance a(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  Instance b(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(b.ok());
  const long third = static_cast<long>(s.wave.size() / 3);
  const WaveRun withClocks = runGetWave(lib(), a.memory(), s.wave, {third});
  ASSERT_EQ(withClocks.callClocks.size(), 3u);

  std::vector<double> wave = s.wave;
  std::vector<double> clocks(static_cast<std::size_t>(third) + 1, kClockGuard);
  char* out = nullptr;
  ASSERT_EQ(lib().getWave(wave.data(), third, clocks.data(), &out, b.memory()), 1);
  ASSERT_EQ(lib().getWave(wave.data() + third, third, nullptr, &out, b.memory()), 1);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::string(out), withClocks.parametersOut[1]);
  std::vector<double> last(static_cast<std::size_t>(third) + 1, kClockGuard);
  ASSERT_EQ(lib().getWave(wave.data() + 2 * third, third, last.data(), &out, b.memory()), 1);
  EXPECT_TRUE(sameBits(wave, withClocks.wave));
  const std::vector<double>& want = withClocks.callClocks[2];
  ASSERT_LT(want.size(), last.size());
  EXPECT_TRUE(sameBits(std::vector<double>(last.begin(), last.begin() + static_cast<long>(want.size())), want));
  EXPECT_TRUE(sameBits(last[want.size()], -1.0));
}

TEST_P(GetWaveTest, EmptyBlocksOnlyTerminateAndRewriteTheString) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = stimulus(200);
  Instance a(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  Instance b(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(b.ok());
  const long half = static_cast<long>(s.wave.size() / 2);
  const WaveRun reference = runGetWave(lib(), a.memory(), s.wave, {half});

  std::vector<double> wave = s.wave;
  std::vector<double> clocks(static_cast<std::size_t>(half) + 1, kClockGuard);
  char* out = nullptr;
  ASSERT_EQ(lib().getWave(wave.data(), half, clocks.data(), &out, b.memory()), 1);
  const struct {
    double* wave;
    long size;
  } empties[] = {{wave.data() + half, 0}, {wave.data() + half, -5}, {nullptr, 0}, {nullptr, 16}};
  for (const auto& e : empties) {
    double few[3] = {kClockGuard, kClockGuard, kClockGuard};
    char* emptyOut = nullptr;
    EXPECT_EQ(lib().getWave(e.wave, e.size, few, &emptyOut, b.memory()), 1);
    EXPECT_TRUE(sameBits(few[0], -1.0));
    EXPECT_TRUE(sameBits(few[1], kClockGuard));
    ASSERT_NE(emptyOut, nullptr);
    EXPECT_EQ(std::string(emptyOut), reference.parametersOut[0]);
  }
  ASSERT_EQ(lib().getWave(wave.data() + half, half, clocks.data(), &out, b.memory()), 1);
  EXPECT_TRUE(sameBits(wave, reference.wave));
  EXPECT_EQ(std::string(out), reference.parametersOut[1]);
}

// The output string has the form of AMI_Init's and reports the state after
// the block: the phase of the latest data instant, whose clock time is the
// last one reported.
TEST_P(GetWaveTest, OutputStringReflectsTheStateAfterTheBlock) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = stimulus(400);
  const std::string params =
      GetParam() == "LP_rx" ? "(LP_rx (DFECDR (TapWeights (3 0.05) (4 -0.01))))" : "";
  Instance inst(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, params);
  ASSERT_TRUE(inst.ok());
  const WaveRun r = runGetWave(lib(), inst.memory(), s.wave, {997});
  ASSERT_GT(r.parametersOut.size(), 2u);
  if (GetParam() == "rx_hcm_ctle_high") {
    for (const std::string& out : r.parametersOut)
      EXPECT_EQ(out, "(rx_hcm_ctle_high(CTLE(ConfigSelect 0)))");
    return;
  }
  const std::regex form(GetParam() == "LP_rx"
                            ? R"(^\(LP_rx\(DFECDR\(Phase ([^)]+)\)\(TapWeights\(3 0\.05\)\(4 -0\.01\)\)\)\)$)"
                            : R"(^\(DDR_rx\(DFECDR\(Phase ([^)]+)\)\)\)$)");
  for (std::size_t call = 0; call < r.parametersOut.size(); ++call) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.parametersOut[call], m, form)) << r.parametersOut[call];
    if (r.callClocks[call].empty()) continue;
    const double phase = std::strtod(m[1].str().c_str(), nullptr);
    const double instant = r.callClocks[call].back() + s.bitTime / 2.0;
    const double want = std::fmod(instant, s.bitTime) / s.bitTime;
    double diff = std::fabs(phase - want);
    diff = std::fmin(diff, 1.0 - diff);  // the phase wraps at one symbol
    EXPECT_LT(diff, 1e-5) << r.parametersOut[call] << " vs " << want;
  }
}

TEST(GetWaveMode, DfeOnlyModelsPassTheWaveUnchangedInMode0) {
  for (const char* model : {"LP_rx", "DDR_rx"}) {
    const AmiLibrary& lib = AmiLibrary::get(model);
    ASSERT_TRUE(lib.ok());
    const Stimulus s = channelStimulus(model, 300, 8, 2);
    const Cycle off = runCycle(lib, paramsFor(model, "(DFECDR (Mode 0))"), s.impulse, s.rows, 0,
                               s.dt, s.bitTime, s.wave, {333});
    const Cycle on = runCycle(lib, "", s.impulse, s.rows, 0, s.dt, s.bitTime, s.wave, {333});
    EXPECT_TRUE(sameBits(off.run.wave, s.wave)) << model;
    EXPECT_FALSE(sameBits(on.run.wave, s.wave)) << model;
    EXPECT_GT(off.run.clockTimes.size(), 250u) << model;  // the clock still runs
  }
}

INSTANTIATE_TEST_SUITE_P(GetWave, GetWaveTest, ::testing::ValuesIn(allModels()),
                         [](const auto& i) { return i.param; });

}  // namespace
