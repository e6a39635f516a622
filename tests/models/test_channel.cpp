// Behaviour on a realistic channel: a lossy-line impulse response and a PRBS
// waveform through it, NRZ and PAM4, at 8 to 32 samples per symbol. After
// lock the recovered clock ticks once per symbol at the bit time, its phase
// stays put, and the data sampled at the recovered instants are the data sent.
#include <algorithm>
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

using rx_test::operator<<;

struct ChannelCase {
  const char* name;
  const char* model;
  int levels;
  long sps;
  std::size_t symbols;
  long lead;  // samples of silence before the wave: moves the eye by lead/sps UI
};

// The clock starts from its reset phase; the cases with a lead make it
// travel a quarter of a symbol before it locks.
const ChannelCase kChannelCases[] = {
    {"ctle_nrz_8", "rx_hcm_ctle_high", 2, 8, 3000, 0},
    {"ctle_nrz_32", "rx_hcm_ctle_high", 2, 32, 3000, 0},
    {"ctle_nrz_16_acquire", "rx_hcm_ctle_high", 2, 16, 3000, 4},
    {"ctle_pam4_16", "rx_hcm_ctle_high", 4, 16, 3000, 0},
    {"lp_nrz_8", "LP_rx", 2, 8, 3000, 0},
    {"lp_nrz_32", "LP_rx", 2, 32, 3000, 0},
    {"lp_nrz_16_acquire", "LP_rx", 2, 16, 3000, 4},
    {"lp_pam4_16", "LP_rx", 4, 16, 3000, 0},
    {"ddr_nrz_16", "DDR_rx", 2, 16, 3000, 0},
    {"ddr_nrz_32", "DDR_rx", 2, 32, 3000, 0},
    {"ddr_nrz_32_acquire", "DDR_rx", 2, 32, 3000, 8},
    {"ddr_pam4_8", "DDR_rx", 4, 8, 3000, 0},
};

// Circular distance between two phases in UI.
double phaseDistance(double a, double b) {
  const double d = std::fabs(std::fmod(a - b, 1.0));
  return std::fmin(d, 1.0 - d);
}

// The value of a waveform at time t, interpolated linearly between samples.
double valueAt(const std::vector<double>& w, double t, double dt) {
  const double f = t / dt;
  const double base = std::floor(f);
  if (!(base >= 0.0) || base + 1.0 >= static_cast<double>(w.size())) return NAN;
  const std::size_t i = static_cast<std::size_t>(base);
  return w[i] + (w[i + 1] - w[i]) * (f - base);
}

class ChannelTest : public ::testing::TestWithParam<ChannelCase> {
 protected:
  void SetUp() override {
    const ChannelCase& c = GetParam();
    const AmiLibrary& lib = AmiLibrary::get(c.model);
    ASSERT_TRUE(lib.ok());
    s_ = channelStimulus(c.model, c.symbols, c.sps, c.levels);
    if (c.lead > 0) {
      std::vector<double> delayed(static_cast<std::size_t>(c.lead), 0.0);
      delayed.insert(delayed.end(), s_.wave.begin(), s_.wave.end() - c.lead);
      s_.wave = delayed;
    }
    const std::string params = paramsFor(c.model, c.levels == 4 ? "(Modulation PAM4)" : "");
    cycle_ = runCycle(lib, params, s_.impulse, s_.rows, 0, s_.dt, s_.bitTime, s_.wave,
                      {1024});
    ASSERT_EQ(cycle_.init.status, 1) << cycle_.init.message;
    ASSERT_TRUE(cycle_.run.allReturnedOne);
    ASSERT_TRUE(cycle_.run.terminated);
    // The second half of the run counts as locked.
    lockTime_ = static_cast<double>(c.symbols / 2) * s_.bitTime;
    for (double t : cycle_.run.clockTimes)
      if (t >= lockTime_) locked_.push_back(t);
  }
  double phaseOf(double clockTime) const {
    return std::fmod(clockTime + s_.bitTime / 2.0, s_.bitTime) / s_.bitTime;
  }

  // After lock: one clock time per symbol, the clock period equal to the bit
  // time; the phase stays put; the recovered instants sample the data sent.
  void checkClockRate();
  void checkPhase();
  void checkData();

  Stimulus s_;
  Cycle cycle_;
  double lockTime_ = 0.0;
  std::vector<double> locked_;  // clock times after lock [s]
};

void ChannelTest::checkClockRate() {
  const ChannelCase& c = GetParam();
  ASSERT_GT(locked_.size(), 2u);
  const double span = static_cast<double>(c.symbols) * s_.bitTime - lockTime_;
  const double expected = span / s_.bitTime;
  EXPECT_LE(std::fabs(static_cast<double>(locked_.size()) - expected), 2.0)
      << locked_.size() << " clock times for " << expected << " symbols";
  for (std::size_t i = 1; i < locked_.size(); ++i) {
    const double period = (locked_[i] - locked_[i - 1]) / s_.bitTime;
    ASSERT_GT(period, 0.97) << "at " << i;
    ASSERT_LT(period, 1.03) << "at " << i;
  }
  const double mean = (locked_.back() - locked_.front()) /
                      static_cast<double>(locked_.size() - 1) / s_.bitTime;
  EXPECT_LT(std::fabs(mean - 1.0), 100e-6) << "mean period " << mean << " UI";
}

void ChannelTest::checkPhase() {
  ASSERT_GT(locked_.size(), 2u);
  const double reference = phaseOf(locked_.front());
  double worst = 0.0;
  for (double t : locked_) worst = std::fmax(worst, phaseDistance(phaseOf(t), reference));
  EXPECT_LT(worst, 0.06) << "phase wanders by " << worst << " UI";

  if (std::string(GetParam().model) == "rx_hcm_ctle_high") return;  // reports no phase
  const std::regex phase(R"(\(Phase ([^)]+)\))");
  const std::size_t blocks = cycle_.run.parametersOut.size();
  for (std::size_t b = blocks / 2 + 1; b < blocks; ++b) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(cycle_.run.parametersOut[b], m, phase));
    const double reported = std::strtod(m[1].str().c_str(), nullptr);
    EXPECT_LT(phaseDistance(reported, reference), 0.06) << cycle_.run.parametersOut[b];
  }
}

// Sampled at the recovered data instants (half a symbol after each clock
// time), the equalised wave gives back the transmitted symbols, one symbol
// after another, after a fixed latency.
void ChannelTest::checkData() {
  const ChannelCase& c = GetParam();
  ASSERT_GT(locked_.size(), 100u);
  std::vector<double> sampled;
  std::vector<long> index;
  for (double t : locked_) {
    const double instant = t + s_.bitTime / 2.0;
    const double v = valueAt(cycle_.run.wave, instant, s_.dt);
    if (std::isnan(v)) continue;
    sampled.push_back(v);
    index.push_back(std::lround(std::floor(instant / s_.bitTime)));
  }
  // Thresholds for PAM4: midway between the mean inner and outer magnitudes.
  double mid = 0.0;
  if (c.levels == 4) {
    for (double v : sampled) mid += std::fabs(v);
    mid /= static_cast<double>(sampled.size());
  }
  auto decide = [&](double v) {
    if (c.levels == 2) return v > 0.0 ? 1 : -1;
    return v > 0.0 ? (v > mid ? 3 : 1) : (v < -mid ? -3 : -1);
  };
  auto sent = [&](double symbol) {
    const double a = inputAmplitude(c.model);
    if (c.levels == 2) return symbol > 0.0 ? 1 : -1;
    return symbol > 0.0 ? (symbol > a / 2.0 ? 3 : 1) : (symbol < -a / 2.0 ? -3 : -1);
  };
  std::size_t best = 0;
  long bestLatency = -1;
  for (long latency = 0; latency < 8; ++latency) {
    std::size_t matches = 0;
    for (std::size_t i = 0; i < sampled.size(); ++i) {
      const long k = index[i] - latency;
      if (k >= 0 && decide(sampled[i]) == sent(s_.symbols[static_cast<std::size_t>(k)]))
        ++matches;
    }
    if (matches > best) {
      best = matches;
      bestLatency = latency;
    }
  }
  EXPECT_EQ(best, sampled.size()) << "latency " << bestLatency << ": " << sampled.size() - best
                                  << " of " << sampled.size() << " symbols wrong";
}

// One run per case serves the three checks.
TEST_P(ChannelTest, LocksAndRecoversTheData) {
  {
    SCOPED_TRACE("clock rate");
    checkClockRate();
  }
  {
    SCOPED_TRACE("phase");
    checkPhase();
  }
  {
    SCOPED_TRACE("data");
    checkData();
  }
}

INSTANTIATE_TEST_SUITE_P(Channel, ChannelTest, ::testing::ValuesIn(kChannelCases),
                         [](const auto& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// The statistical flow of the DFE-only models on the lossy channel: the
// returned victim column carries the feedback of the four taps, one impulse of
// tap/dt each, one symbol apart, and the reported phase places the cursor
// half a symbol before the first of them.

struct FeedbackCase {
  const char* name;
  const char* model;
  const char* body;
  double taps[4];
  long sps;
};

const FeedbackCase kFeedbackCases[] = {
    {"lp_default_taps", "LP_rx", "", {-0.04, -0.02, 0.0, 0.0}, 8},
    {"lp_given_taps", "LP_rx", "(DFECDR (TapWeights (3 0.015) (4 -0.0125)))",
     {-0.04, -0.02, 0.015, -0.0125}, 16},
    {"lp_given_taps_32", "LP_rx", "(DFECDR (TapWeights (3 0.01) (4 0.02)))",
     {-0.04, -0.02, 0.01, 0.02}, 32},
    {"ddr_fixed_taps", "DDR_rx", "", {-0.095, -0.025, -0.02, -0.015}, 16},
};

class FeedbackTest : public ::testing::TestWithParam<FeedbackCase> {};

TEST_P(FeedbackTest, ReturnedImpulseCarriesTheTapFeedback) {
  const FeedbackCase& c = GetParam();
  const AmiLibrary& lib = AmiLibrary::get(c.model);
  ASSERT_TRUE(lib.ok());
  const Stimulus s = channelStimulus(c.model, 1, c.sps, 2);
  InitResult r = runInit(lib, s.impulse, s.rows, 0, s.dt, s.bitTime,
                         paramsFor(c.model, c.body).c_str());
  ASSERT_EQ(r.status, 1);
  std::vector<long> changed;
  for (long i = 0; i < s.rows; ++i)
    if (!sameBits(r.impulse[static_cast<std::size_t>(i)], s.impulse[static_cast<std::size_t>(i)]))
      changed.push_back(i);
  int nonZero = 0;
  for (double w : c.taps) nonZero += w != 0.0 ? 1 : 0;
  ASSERT_EQ(changed.size(), static_cast<std::size_t>(nonZero));
  ASSERT_FALSE(changed.empty());
  const long first = changed.front();  // row of tap 1 (0-based)
  for (int k = 0; k < 4; ++k) {
    const std::size_t row = static_cast<std::size_t>((first + k * c.sps) % s.rows);
    EXPECT_TRUE(sameBits(r.impulse[row], s.impulse[row] + c.taps[k] / s.dt)) << "tap " << k + 1;
  }
  // Tap 1 sits at (1-based) row sps + cursor - sps/2; the phase is the
  // cursor's place within its symbol.
  const long cursor = first + 1 - c.sps / 2;
  const double phase = static_cast<double>((cursor - 1) % c.sps + 1) * s.dt / s.bitTime;
  char text[64];
  std::snprintf(text, sizeof text, "(Phase %g)", phase);
  EXPECT_NE(r.parametersOut.find(text), std::string::npos) << r.parametersOut << " vs " << text;
  lib.close(r.memory);
}

INSTANTIATE_TEST_SUITE_P(Channel, FeedbackTest, ::testing::ValuesIn(kFeedbackCases),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
