// The host program's main job at full size: a million bits at 32 samples per
// UI through the embedded channel and a model, AMI_Init to the last
// AMI_GetWave, analyses included. Also the channel convolution alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tools/amisim/channel.h"
#include "tools/amisim/fft.h"
#include "tools/amisim/options.h"
#include "tools/amisim/simulate.h"

namespace {

const char* const kModels[] = {"rx_hcm_ctle_high", "LP_rx", "DDR_rx"};

void BM_MillionBits(benchmark::State& state) {
  const std::string model = kModels[state.range(0)];
  amisim::Options o;
  o.library = std::string(RX_MODELS_DIR) + "/" + model;
  o.bits = 1000000;
  o.samplesPerUi = 32;
  o.quiet = true;
  std::string error;
  amisim::RunSetup setup;
  if (!amisim::resolveModelFiles(&o, &error) || !amisim::prepareRun(o, &setup, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  double ber = 0.0, eye = 0.0;
  for (auto _ : state) {
    amisim::RunResult r;
    if (!amisim::runModel(setup, &r, &error, nullptr)) {
      state.SkipWithError(error.c_str());
      return;
    }
    ber = r.wave.ber;
    eye = r.wave.eyeHeight;
  }
  state.counters["ber"] = benchmark::Counter(ber);
  state.counters["eye_mV"] = benchmark::Counter(eye * 1e3);
  state.SetLabel(model);
  state.SetItemsProcessed(state.iterations() * o.bits);  // bits per second
}
BENCHMARK(BM_MillionBits)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kSecond);

// 32 million samples through the default channel's impulse response.
void BM_ChannelConvolution(benchmark::State& state) {
  amisim::Channel c;
  std::string error;
  amisim::makeLineChannel(amisim::LineParameters(), &c, &error);
  std::vector<double> kernel = c.columns[0];
  for (double& v : kernel) v *= c.sampleInterval;
  amisim::OverlapAddConvolver conv(kernel);
  std::vector<double> in(conv.callLength()), out(conv.callLength());
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = (i / 32) % 3 == 0 ? 0.4 : -0.4;
  const std::size_t calls = 32000000 / conv.callLength() + 1;
  for (auto _ : state) {
    for (std::size_t k = 0; k < calls; ++k) conv.process(in.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(calls * conv.callLength()));
}
BENCHMARK(BM_ChannelConvolution)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
