// Instances of one library never influence each other: run at once on two
// threads, interleaved on one, or initialised on one thread and driven on
// another, each gives the bits it gives alone.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/same_bits.h"
#include "tests/models/ami_library.h"
#include "tests/models/signals.h"

namespace {

// One instance's configuration and input.
struct Job {
  std::string parameters;
  Stimulus stimulus;
};

// Two different jobs for a model: other parameters, other data, another rate.
std::vector<Job> jobsFor(const std::string& model) {
  std::string other;
  if (model == "rx_hcm_ctle_high") other = "(DC_Offset 0.004) (Modulation PAM4)";
  if (model == "LP_rx") other = "(DFECDR (TapWeights (3 0.01) (4 -0.005)) (PhaseOffset 0.125))";
  if (model == "DDR_rx") other = "(DFECDR (ReferenceOffset 120)) (Modulation PAM4)";
  return {Job{"", channelStimulus(model, 700, 8, 2, 0x1234u)},
          Job{paramsFor(model, other), channelStimulus(model, 350, 16, 4, 0x0F0Fu)}};
}

const std::vector<long> kBlocks = {61, 3, 200};

Cycle runJob(const AmiLibrary& lib, const Job& job) {
  const Stimulus& s = job.stimulus;
  return runCycle(lib, job.parameters, s.impulse, s.rows, 0, s.dt, s.bitTime, s.wave, kBlocks);
}

::testing::AssertionResult sameCycle(const Cycle& got, const Cycle& want) {
  if (got.init.status != 1 || want.init.status != 1)
    return ::testing::AssertionFailure() << "AMI_Init failed";
  if (got.init.message != want.init.message)
    return ::testing::AssertionFailure() << "message " << got.init.message;
  if (got.init.parametersOut != want.init.parametersOut)
    return ::testing::AssertionFailure() << "init string " << got.init.parametersOut;
  if (auto r = sameBits(got.init.impulse, want.init.impulse); !r) return r << " (impulse)";
  if (auto r = sameBits(got.run.wave, want.run.wave); !r) return r << " (wave)";
  if (auto r = sameBits(got.run.clockTimes, want.run.clockTimes); !r) return r << " (clocks)";
  if (got.run.callClocks.size() != want.run.callClocks.size())
    return ::testing::AssertionFailure() << "call count";
  for (std::size_t i = 0; i < got.run.callClocks.size(); ++i)
    if (got.run.callClocks[i].size() != want.run.callClocks[i].size())
      return ::testing::AssertionFailure() << "clock count of call " << i;
  if (got.run.parametersOut != want.run.parametersOut)
    return ::testing::AssertionFailure() << "output strings differ";
  return ::testing::AssertionSuccess();
}

class ThreadsTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib().ok());
    jobs_ = jobsFor(GetParam());
    for (const Job& job : jobs_) alone_.push_back(runJob(lib(), job));
    ASSERT_FALSE(sameBits(alone_[0].run.wave, alone_[1].run.wave));
  }
  const AmiLibrary& lib() const { return AmiLibrary::get(GetParam()); }

  std::vector<Job> jobs_;
  std::vector<Cycle> alone_;  // each job run by itself, one after the other
};

TEST_P(ThreadsTest, TwoInstancesAtOnceOnTwoThreads) {
  for (int round = 0; round < 3; ++round) {
    std::vector<Cycle> got(2);
    std::atomic<int> ready{0};
    auto work = [&](int j) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();  // start together
      got[static_cast<std::size_t>(j)] = runJob(lib(), jobs_[static_cast<std::size_t>(j)]);
    };
    std::thread a(work, 0);
    std::thread b(work, 1);
    a.join();
    b.join();
    EXPECT_TRUE(sameCycle(got[0], alone_[0])) << "round " << round;
    EXPECT_TRUE(sameCycle(got[1], alone_[1])) << "round " << round;
  }
}

TEST_P(ThreadsTest, InitOnOneThreadGetWaveOnAnother) {
  const Stimulus& s = jobs_[1].stimulus;
  Cycle got;
  std::thread initThread([&] {
    got.init = runInit(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, jobs_[1].parameters.c_str());
  });
  initThread.join();
  ASSERT_EQ(got.init.status, 1);
  // The first half on one thread, the rest on another.
  const std::size_t half = s.wave.size() / 2;
  WaveRun first;
  std::thread waveThread([&] {
    first = runGetWave(lib(), got.init.memory,
                       std::vector<double>(s.wave.begin(), s.wave.begin() + static_cast<long>(half)),
                       kBlocks);
  });
  waveThread.join();
  WaveRun second;
  std::thread otherThread([&] {
    second = runGetWave(lib(), got.init.memory,
                        std::vector<double>(s.wave.begin() + static_cast<long>(half), s.wave.end()),
                        kBlocks);
  });
  otherThread.join();
  EXPECT_EQ(lib().close(got.init.memory), 1);
  got.init.memory = nullptr;

  Cycle want;
  want.init = runInit(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, jobs_[1].parameters.c_str());
  ASSERT_EQ(want.init.status, 1);
  const WaveRun wantFirst = runGetWave(
      lib(), want.init.memory,
      std::vector<double>(s.wave.begin(), s.wave.begin() + static_cast<long>(half)), kBlocks);
  const WaveRun wantSecond = runGetWave(
      lib(), want.init.memory,
      std::vector<double>(s.wave.begin() + static_cast<long>(half), s.wave.end()), kBlocks);
  lib().close(want.init.memory);
  EXPECT_EQ(got.init.parametersOut, want.init.parametersOut);
  EXPECT_TRUE(sameBits(got.init.impulse, want.init.impulse));
  EXPECT_TRUE(sameBits(first.wave, wantFirst.wave));
  EXPECT_TRUE(sameBits(second.wave, wantSecond.wave));
  EXPECT_TRUE(sameBits(first.clockTimes, wantFirst.clockTimes));
  EXPECT_TRUE(sameBits(second.clockTimes, wantSecond.clockTimes));
  EXPECT_EQ(second.parametersOut, wantSecond.parametersOut);
}

// Block by block, alternating between the two instances on one thread.
TEST_P(ThreadsTest, InterleavedInstancesOnOneThread) {
  std::vector<Cycle> got(2);
  for (int j = 0; j < 2; ++j) {
    const Stimulus& s = jobs_[static_cast<std::size_t>(j)].stimulus;
    got[static_cast<std::size_t>(j)].init =
        runInit(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime,
                jobs_[static_cast<std::size_t>(j)].parameters.c_str());
    ASSERT_EQ(got[static_cast<std::size_t>(j)].init.status, 1);
  }
  std::size_t pos[2] = {0, 0};
  std::size_t call = 0;
  while (pos[0] < jobs_[0].stimulus.wave.size() || pos[1] < jobs_[1].stimulus.wave.size()) {
    const long size = kBlocks[call % kBlocks.size()];
    for (int j = 0; j < 2; ++j) {
      const std::vector<double>& wave = jobs_[static_cast<std::size_t>(j)].stimulus.wave;
      if (pos[j] >= wave.size()) continue;
      const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), wave.size() - pos[j]);
      const WaveRun part = runGetWave(
          lib(), got[static_cast<std::size_t>(j)].init.memory,
          std::vector<double>(wave.begin() + static_cast<long>(pos[j]),
                              wave.begin() + static_cast<long>(pos[j] + n)),
          {size});
      WaveRun& run = got[static_cast<std::size_t>(j)].run;
      run.wave.insert(run.wave.end(), part.wave.begin(), part.wave.end());
      run.clockTimes.insert(run.clockTimes.end(), part.clockTimes.begin(), part.clockTimes.end());
      run.callClocks.insert(run.callClocks.end(), part.callClocks.begin(), part.callClocks.end());
      run.parametersOut.insert(run.parametersOut.end(), part.parametersOut.begin(),
                               part.parametersOut.end());
      pos[j] += n;
    }
    ++call;
  }
  for (int j = 0; j < 2; ++j) {
    lib().close(got[static_cast<std::size_t>(j)].init.memory);
    got[static_cast<std::size_t>(j)].init.memory = nullptr;
    EXPECT_TRUE(sameCycle(got[static_cast<std::size_t>(j)], alone_[static_cast<std::size_t>(j)]))
        << "instance " << j;
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, ThreadsTest, ::testing::ValuesIn(allModels()),
                         [](const auto& i) { return i.param; });

}  // namespace
