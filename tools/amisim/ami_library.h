// An IBIS-AMI model library loaded through dlopen, used only through its
// three standard entry points.
#pragma once

#include <string>

namespace amisim {

using AmiInitFn = long (*)(double* impulse_matrix, long number_of_rows, long aggressors,
                           double sample_interval, double bit_time, char* AMI_parameters_in,
                           char** AMI_parameters_out, void** AMI_memory, char** msg);
using AmiGetWaveFn = long (*)(double* wave, long wave_size, double* clock_times,
                              char** AMI_parameters_out, void* AMI_memory);
using AmiCloseFn = long (*)(void* AMI_memory);

struct AmiLibrary {
  std::string path;
  void* handle = nullptr;  // from dlopen; kept open for the life of the process
  AmiInitFn init = nullptr;
  AmiGetWaveFn getWave = nullptr;  // null when the library has no AMI_GetWave
  AmiCloseFn close = nullptr;
};

// Loads the library; false with dlopen's reason, or when AMI_Init or
// AMI_Close is missing. The library is never unloaded: a model that carries
// its own C++ runtime must not be torn down under the process.
bool loadAmiLibrary(const std::string& path, AmiLibrary* out, std::string* error);

}  // namespace amisim
