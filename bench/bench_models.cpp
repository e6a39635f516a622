// Speed and memory of the three model libraries through their exported
// entry points: AMI_GetWave per sample, AMI_Init per matrix size, and the
// resident memory that one live instance adds to the process.
#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#ifndef RX_MODELS_DIR
#error "RX_MODELS_DIR must name the build tree's models folder"
#endif

namespace {

using InitFn = long (*)(double*, long, long, double, double, char*, char**, void**, char**);
using GetWaveFn = long (*)(double*, long, double*, char**, void*);
using CloseFn = long (*)(void*);

struct Library {
  InitFn init = nullptr;
  GetWaveFn getWave = nullptr;
  CloseFn close = nullptr;
  bool ok() const { return init != nullptr && getWave != nullptr && close != nullptr; }
};

// Loads a model library once and keeps it loaded.
const Library& library(const std::string& model) {
  static std::vector<std::pair<std::string, Library>> loaded;
  for (const auto& entry : loaded)
    if (entry.first == model) return entry.second;
  Library lib;
  const std::string path = std::string(RX_MODELS_DIR) + "/" + model + "/Rx.so";
  if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    lib.init = reinterpret_cast<InitFn>(dlsym(handle, "AMI_Init"));
    lib.getWave = reinterpret_cast<GetWaveFn>(dlsym(handle, "AMI_GetWave"));
    lib.close = reinterpret_cast<CloseFn>(dlsym(handle, "AMI_Close"));
  }
  loaded.emplace_back(model, lib);
  return loaded.back().second;
}

const char* const kModels[] = {"rx_hcm_ctle_high", "LP_rx", "DDR_rx"};

constexpr double kDt = 0x1p-40;  // [s]
constexpr long kSps = 16;
constexpr double kBitTime = kSps * kDt;

double amplitude(const std::string& model) { return model == "rx_hcm_ctle_high" ? 0.02 : 0.5; }

// A lossy channel (critically damped second-order low-pass, unit DC gain)
// in V/s; columns after the first are weaker copies.
std::vector<double> channel(long rows, long columns) {
  const double tau = 0.3 * kBitTime;
  std::vector<double> h(static_cast<std::size_t>(rows * columns), 0.0);
  for (long c = 0; c < columns; ++c)
    for (long i = 0; i < rows; ++i) {
      const double t = static_cast<double>(i) * kDt - 1.5 * kBitTime;
      if (t > 0.0)
        h[static_cast<std::size_t>(c * rows + i)] =
            (c == 0 ? 1.0 : 0.1) * t / (tau * tau) * std::exp(-t / tau);
    }
  return h;
}

// A PRBS waveform through that channel.
std::vector<double> wave(const std::string& model, std::size_t symbols) {
  const std::vector<double> h = channel(8 * kSps, 1);
  std::uint32_t state = 0x5A5Au;
  std::vector<double> tx(symbols * kSps);
  for (std::size_t k = 0; k < symbols; ++k) {
    const std::uint32_t bit = ((state >> 14) ^ (state >> 13)) & 1u;
    state = ((state << 1) | bit) & 0x7FFFu;
    for (long i = 0; i < kSps; ++i) tx[k * kSps + static_cast<std::size_t>(i)] = bit ? 1.0 : -1.0;
  }
  std::vector<double> rx(tx.size(), 0.0);
  for (std::size_t n = 0; n < rx.size(); ++n) {
    double acc = 0.0;
    for (std::size_t m = 0; m < h.size() && m <= n; ++m) acc += h[m] * tx[n - m];
    rx[n] = acc * kDt * amplitude(model);
  }
  return rx;
}

void* initInstance(const Library& lib, std::vector<double>& impulse, long rows, long aggressors) {
  char params[] = "";
  char* out = nullptr;
  char* msg = nullptr;
  void* memory = nullptr;
  if (lib.init(impulse.data(), rows, aggressors, kDt, kBitTime, params, &out, &memory, &msg) != 1)
    return nullptr;
  return memory;
}

// Resident set size of the process [bytes].
double residentBytes() {
  long pages = 0;
  long resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

void BM_GetWave(benchmark::State& state, const char* model) {
  const Library& lib = library(model);
  if (!lib.ok()) {
    state.SkipWithError("library not loaded");
    return;
  }
  std::vector<double> impulse = channel(16 * kSps, 1);
  void* memory = initInstance(lib, impulse, 16 * kSps, 0);
  if (memory == nullptr) {
    state.SkipWithError("AMI_Init failed");
    return;
  }
  const std::vector<double> input = wave(model, 4096);
  const long block = 4096;
  std::vector<double> buffer(static_cast<std::size_t>(block));
  std::vector<double> clocks(static_cast<std::size_t>(block) + 1);
  std::size_t pos = 0;
  for (auto _ : state) {
    if (pos + static_cast<std::size_t>(block) > input.size()) pos = 0;
    std::memcpy(buffer.data(), input.data() + pos, sizeof(double) * static_cast<std::size_t>(block));
    char* out = nullptr;
    lib.getWave(buffer.data(), block, clocks.data(), &out, memory);
    benchmark::DoNotOptimize(buffer.data());
    pos += static_cast<std::size_t>(block);
  }
  state.SetItemsProcessed(state.iterations() * block);
  lib.close(memory);
}

void BM_Init(benchmark::State& state, const char* model) {
  const Library& lib = library(model);
  if (!lib.ok()) {
    state.SkipWithError("library not loaded");
    return;
  }
  const long rows = state.range(0);
  const long columns = state.range(1);
  const std::vector<double> matrix = channel(rows, columns);
  std::vector<double> impulse;
  for (auto _ : state) {
    state.PauseTiming();
    impulse = matrix;
    state.ResumeTiming();
    void* memory = initInstance(lib, impulse, rows, columns - 1);
    state.PauseTiming();
    if (memory == nullptr) {
      state.SkipWithError("AMI_Init failed");
      break;
    }
    lib.close(memory);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * rows * columns);
}

// Resident memory that one live instance adds, after AMI_Init and a first
// block of AMI_GetWave.
void BM_InstanceMemory(benchmark::State& state, const char* model) {
  const Library& lib = library(model);
  if (!lib.ok()) {
    state.SkipWithError("library not loaded");
    return;
  }
  const long rows = state.range(0);
  const long columns = state.range(1);
  const std::vector<double> matrix = channel(rows, columns);
  std::vector<double> block = wave(model, 64);
  std::vector<double> clocks(block.size() + 1);
  double growth = 0.0;
  for (auto _ : state) {
    std::vector<double> impulse = matrix;
    const double before = residentBytes();
    void* memory = initInstance(lib, impulse, rows, columns - 1);
    if (memory == nullptr) {
      state.SkipWithError("AMI_Init failed");
      break;
    }
    char* out = nullptr;
    lib.getWave(block.data(), static_cast<long>(block.size()), clocks.data(), &out, memory);
    growth = residentBytes() - before;
    lib.close(memory);
  }
  state.counters["rss_growth_MiB"] = growth / 1048576.0;
}

void registerAll() {
  for (const char* model : kModels) {
    benchmark::RegisterBenchmark((std::string("BM_GetWave/") + model).c_str(), BM_GetWave, model)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("BM_Init/") + model).c_str(), BM_Init, model)
        ->Args({4096, 1})
        ->Args({8192, 5})
        ->Args({65536, 1})
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("BM_InstanceMemory/") + model).c_str(),
                                 BM_InstanceMemory, model)
        ->Args({4096, 1})
        ->Args({8192, 5})
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
