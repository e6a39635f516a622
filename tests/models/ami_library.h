// Loads a model library through dlopen, as a simulator does, and keeps it
// loaded until the process exits (unloading a library that carries its own
// static C++ runtime would make the leak checker report the runtime's pool).
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef RX_MODELS_DIR
#error "RX_MODELS_DIR must name the build tree's models folder"
#endif

struct AmiLibrary {
  using InitFn = long (*)(double*, long, long, double, double, char*, char**, void**, char**);
  using GetWaveFn = long (*)(double*, long, double*, char**, void*);
  using CloseFn = long (*)(void*);

  std::string path;
  void* handle = nullptr;
  InitFn init = nullptr;
  GetWaveFn getWave = nullptr;
  CloseFn close = nullptr;

  static std::string pathOf(const std::string& model) {
    return std::string(RX_MODELS_DIR) + "/" + model + "/Rx.so";
  }

  // The library of a model, loaded on first use. Not thread-safe: load the
  // libraries before starting threads.
  static const AmiLibrary& get(const std::string& model) {
    static std::map<std::string, AmiLibrary> loaded;
    auto it = loaded.find(model);
    if (it != loaded.end()) return it->second;
    AmiLibrary lib;
    lib.path = pathOf(model);
    lib.handle = dlopen(lib.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib.handle != nullptr) {
      lib.init = reinterpret_cast<InitFn>(dlsym(lib.handle, "AMI_Init"));
      lib.getWave = reinterpret_cast<GetWaveFn>(dlsym(lib.handle, "AMI_GetWave"));
      lib.close = reinterpret_cast<CloseFn>(dlsym(lib.handle, "AMI_Close"));
    } else {
      ADD_FAILURE() << "dlopen " << lib.path << ": " << dlerror();
    }
    return loaded.emplace(model, lib).first->second;
  }

  bool ok() const { return init != nullptr && getWave != nullptr && close != nullptr; }
};

// The three models; tests that run alike on each take their name from here.
inline const std::vector<std::string>& allModels() {
  static const std::vector<std::string> models = {"rx_hcm_ctle_high", "LP_rx", "DDR_rx"};
  return models;
}

// The result of one AMI_Init call with copies of its out texts.
struct InitResult {
  long status = 0;
  void* memory = nullptr;
  std::string parametersOut;
  std::string message;
  bool parametersOutSet = false;
  bool messageSet = false;
  std::vector<double> impulse;
};

inline InitResult runInit(const AmiLibrary& lib, std::vector<double> impulse, long rows,
                          long aggressors, double sampleInterval, double bitTime,
                          const char* parameters) {
  InitResult r;
  char* out = nullptr;
  char* msg = nullptr;
  std::string in = parameters != nullptr ? parameters : "";
  r.status = lib.init(impulse.data(), rows, aggressors, sampleInterval, bitTime,
                      parameters != nullptr ? &in[0] : nullptr, &out, &r.memory, &msg);
  r.parametersOutSet = out != nullptr;
  if (out != nullptr) r.parametersOut = out;
  r.messageSet = msg != nullptr;
  if (msg != nullptr) r.message = msg;
  r.impulse = std::move(impulse);
  return r;
}

// An initialised instance that is closed when it goes out of scope.
class Instance {
 public:
  Instance(const AmiLibrary& lib, std::vector<double> impulse, long rows, long aggressors,
           double sampleInterval, double bitTime, const std::string& parameters)
      : lib_(&lib),
        init_(runInit(lib, std::move(impulse), rows, aggressors, sampleInterval, bitTime,
                      parameters.c_str())) {}
  ~Instance() { close(); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  const InitResult& init() const { return init_; }
  void* memory() const { return init_.memory; }
  const AmiLibrary& lib() const { return *lib_; }
  bool ok() const { return init_.status == 1 && init_.memory != nullptr; }
  long close() {
    if (init_.memory == nullptr) return 1;
    const long r = lib_->close(init_.memory);
    init_.memory = nullptr;
    return r;
  }

 private:
  const AmiLibrary* lib_;
  InitResult init_;
};

// What a sequence of AMI_GetWave calls returned.
struct WaveRun {
  std::vector<double> wave;                      // equalised samples, all blocks
  std::vector<double> clockTimes;                // clock times of all blocks, no terminators
  std::vector<std::vector<double>> callClocks;   // clock times per call, no terminator
  std::vector<std::string> parametersOut;        // output string after each call
  bool terminated = true;   // every call ended its clock times with -1
  bool guardIntact = true;  // nothing was written past the terminator
  bool allReturnedOne = true;
};

// Marks the clock-times entries that the model must leave alone.
constexpr double kClockGuard = -12345.0;

// Feeds wave through AMI_GetWave in blocks whose sizes cycle through
// blockSizes; the clock array of each call holds blockSize + 1 entries plus
// a guard region that must stay untouched.
inline WaveRun runGetWave(const AmiLibrary& lib, void* memory, std::vector<double> wave,
                          const std::vector<long>& blockSizes) {
  WaveRun run;
  std::size_t pos = 0;
  std::size_t cycle = 0;
  while (pos < wave.size()) {
    const long want = blockSizes[cycle++ % blockSizes.size()];
    const long size = static_cast<long>(std::min<std::size_t>(static_cast<std::size_t>(want),
                                                              wave.size() - pos));
    std::vector<double> clocks(static_cast<std::size_t>(size) + 1 + 8, kClockGuard);
    char* out = nullptr;
    if (lib.getWave(wave.data() + pos, size, clocks.data(), &out, memory) != 1)
      run.allReturnedOne = false;
    run.parametersOut.push_back(out != nullptr ? out : "<null>");
    std::size_t count = 0;
    while (count < clocks.size() && clocks[count] != -1.0) ++count;
    if (count > static_cast<std::size_t>(size)) run.terminated = false;
    for (std::size_t k = count + 1; k < clocks.size(); ++k)
      if (clocks[k] != kClockGuard) run.guardIntact = false;
    const std::size_t kept = std::min(count, static_cast<std::size_t>(size));
    run.callClocks.emplace_back(clocks.begin(), clocks.begin() + static_cast<long>(kept));
    run.clockTimes.insert(run.clockTimes.end(), clocks.begin(),
                          clocks.begin() + static_cast<long>(kept));
    pos += static_cast<std::size_t>(size);
  }
  run.wave = std::move(wave);
  return run;
}

// "(<model> <body>)", the parameter string of a model.
inline std::string paramsFor(const std::string& model, const std::string& body) {
  return "(" + model + (body.empty() ? "" : " " + body) + ")";
}

// One instance's whole life: AMI_Init, AMI_GetWave over the wave in blocks,
// AMI_Close.
struct Cycle {
  InitResult init;
  WaveRun run;
  long closeResult = 0;
};

inline Cycle runCycle(const AmiLibrary& lib, const std::string& parameters,
                      std::vector<double> impulse, long rows, long aggressors,
                      double sampleInterval, double bitTime, std::vector<double> wave,
                      const std::vector<long>& blockSizes) {
  Cycle c;
  c.init = runInit(lib, std::move(impulse), rows, aggressors, sampleInterval, bitTime,
                   parameters.c_str());
  if (c.init.status != 1 || c.init.memory == nullptr) return c;
  c.run = runGetWave(lib, c.init.memory, std::move(wave), blockSizes);
  c.closeResult = lib.close(c.init.memory);
  c.init.memory = nullptr;
  return c;
}

namespace rx_test {
// Prints a named test case by its name (gtest would dump its bytes).
template <typename T>
auto operator<<(std::ostream& os, const T& c) -> decltype(os << c.name) {
  return os << c.name;
}
}  // namespace rx_test
