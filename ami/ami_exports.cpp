// The three IBIS-AMI entry points. Nothing escapes them: every failure is a
// message and a result, never an exception or a crash of the host.
#include <cinttypes>
#include <cmath>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "ami/ami.h"
#include "ami/common_parameters.h"
#include "ami_tree/c_locale.h"
#include "ami_tree/param_tree.h"
#include "ami_tree/parser.h"
#include "model/frame.h"
#include "model/model_tables.h"
#include "numeric/scalar.h"

#define RX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Messages of a refused AMI_Init: no instance survives to own them, so they
// stay here until the next AMI_Init on the same thread. Static TLS: a plain
// pointer needs no dynamic TLS block, which a dlopen-ed library would
// otherwise allocate lazily per thread.
__attribute__((tls_model("initial-exec"))) thread_local char* refusedMessage = nullptr;

constexpr double kMaxSymbolWork = 4294967296.0;  // rows x samples per symbol

struct InputTreeDeleter {
  void operator()(ParamTree* tree) const { Rx_freeInputTree(tree); }
};
using InputTreePtr = std::unique_ptr<ParamTree, InputTreeDeleter>;

// The argument checks that must pass before anything is read from the matrix.
bool argumentsAcceptable(AMI& ami, const double* impulse, long rows, long aggressors,
                         double sampleInterval, double bitTime, void** memory) {
  if (impulse == nullptr) {
    ami.appendMessage("**Error** impulse_matrix is null.\n");
    return false;
  }
  if (memory == nullptr) {
    ami.appendMessage("**Error** AMI_memory is null.\n");
    return false;
  }
  if (rows < 1) {
    ami.appendMessagef("**Error** number_of_rows must be positive: %ld.\n", rows);
    return false;
  }
  if (aggressors < 0) {
    ami.appendMessagef("**Error** aggressors must not be negative: %ld.\n", aggressors);
    return false;
  }
  if (!(std::isfinite(sampleInterval) && sampleInterval > 0.0)) {
    ami.appendMessagef("**Error** sample_interval must be a positive number: %g.\n",
                       sampleInterval);
    return false;
  }
  if (!(std::isfinite(bitTime) && bitTime > 0.0)) {
    ami.appendMessagef("**Error** bit_time must be a positive number: %g.\n", bitTime);
    return false;
  }
  const double samplesPerSymbol = rt_roundd_snf(bitTime / sampleInterval);
  const double rowCount = static_cast<double>(rows);
  if (!(samplesPerSymbol >= 1.0 && samplesPerSymbol <= rowCount &&
        samplesPerSymbol * rowCount <= kMaxSymbolWork)) {
    ami.appendMessagef(
        "**Error** bit_time / sample_interval gives %g samples per symbol; it must be from 1 "
        "to number_of_rows, and their product at most 4294967296.\n",
        samplesPerSymbol);
    return false;
  }
  if (ami.model == nullptr || Rx_errorStatus(ami.model) != nullptr) {
    ami.appendMessage("**Error** memory allocation error\n");
    return false;
  }
  return true;
}

// Number of impulse values, or -1 when it exceeds the model's buffers.
std::int64_t impulseCount(long rows, long aggressors) {
  if (aggressors >= kImpulseCapacity) return -1;
  const std::int64_t n = static_cast<std::int64_t>(rows) * (static_cast<std::int64_t>(aggressors) + 1);
  return n > kImpulseCapacity ? -1 : n;
}

void setUpDebugging(AMI& ami, const ParamTree& tree, const InitArguments& args, double* impulse,
                    const char* parametersIn, char** parametersOut, void** memory, char** msg) {
  const char* enable = Rx_parameterText(Rx_findParameter(tree, "AMI_Debug", "Enable"));
  ami.debugEnabled = (enable[0] == 'T' || enable[0] == 't') ? 1 : 0;
  if (ami.debugEnabled == 0) return;
  std::strncpy(ami.dllId, Rx_parameterText(Rx_findParameter(tree, "DLL_ID", nullptr)), sizeof ami.dllId - 1);
  ami.dllId[sizeof ami.dllId - 1] = '\0';
  ami.startTime = Rx_parameterDouble(Rx_findParameter(tree, "AMI_Debug", "Start_Time"), 0.0);
  ami.dbgInitialize(args.aggressors);
  if (ami.scriptFile != nullptr) {
    const int n = ami.initCalls;
    const char* p = ami.tracePrefix;
    ami.dbgWriteCurrentTime(ami.scriptFile);
    ami.dbgRecord("%s.AMI_Init(%d).impulse_matrix_ptr = '%p';\n", p, n, static_cast<void*>(impulse));
    ami.dbgRecord("%s.AMI_Init(%d).number_of_rows = %ld;\n", p, n, args.rows);
    ami.dbgRecord("%s.AMI_Init(%d).aggressors = %ld;\n", p, n, args.aggressors);
    ami.dbgRecord("%s.AMI_Init(%d).sample_interval = %g;\n", p, n, args.sampleInterval);
    ami.dbgRecord("%s.AMI_Init(%d).bit_time = %g;\n", p, n, args.bitTime);
    ami.dbgRecord("%s.AMI_Init(%d).AMI_parameters_in_ptr = '%p';\n", p, n,
                  static_cast<const void*>(parametersIn));
    ami.dbgWriteCharAssignment("%s.AMI_Init(%d).AMI_parameters_in", n, parametersIn);
    ami.dbgRecord("%s.AMI_Init(%d).AMI_parameters_out_ptr = '%p';\n", p, n,
                  static_cast<void*>(parametersOut));
    ami.dbgRecord("%s.AMI_Init(%d).msg_ptr = '%p';\n", p, n, static_cast<void*>(msg));
    ami.dbgRecord("%s.AMI_Init(%d).AMI_memory_ptr = '%p';\n", p, n, static_cast<void*>(memory));
    std::fflush(ami.scriptFile);
  }
  // A matrix beyond the buffers is refused later; its claimed size is not
  // trusted for reading either.
  if (ami.impulseInFile != nullptr && impulseCount(args.rows, args.aggressors) >= 0) {
    ami.dbgWriteImpulseMatrix(ami.impulseInFile, impulse, args.rows, args.aggressors);
    std::fflush(ami.impulseInFile);
  }
}

// Hands a refused instance's messages to the caller and releases the instance.
long refuse(std::unique_ptr<AMI> ami, void** memory, char** msg) {
  refusedMessage = TextRelease(&ami->message);
  if (memory != nullptr) *memory = nullptr;
  if (msg != nullptr) *msg = refusedMessage;
  return 0;
}

long initInstance(double* impulse, long rows, long aggressors, double sampleInterval,
                  double bitTime, const char* parametersIn, char** parametersOut, void** memory,
                  char** msg) {
  std::free(refusedMessage);
  refusedMessage = nullptr;
  if (parametersIn == nullptr) parametersIn = "";

  const InputTreePtr tree(Rx_buildInputTree());
  std::unique_ptr<AMI> ami(new (std::nothrow) AMI());
  if (tree == nullptr || ami == nullptr) {
    if (memory != nullptr) *memory = nullptr;
    if (msg != nullptr) *msg = nullptr;
    return 0;
  }
  ami->sampleInterval = sampleInterval;
  ami->bitTime = bitTime;

  const std::int32_t received = ParseTree(parametersIn, *tree, &ami->message);
  ami->appendMessagef("**Info** Received %d parameters.\n", static_cast<int>(received));
  if (!argumentsAcceptable(*ami, impulse, rows, aggressors, sampleInterval, bitTime, memory))
    return refuse(std::move(ami), memory, msg);

  ++ami->initCalls;
  const InitArguments args{rows, aggressors, sampleInterval, bitTime};
  setUpDebugging(*ami, *tree, args, impulse, parametersIn, parametersOut, memory, msg);
  Rx_bindInputs(*tree, args, ami->model, *ami);

  const std::int64_t n = impulseCount(rows, aggressors);
  if (n < 0) {
    ami->appendMessage("AMI model does not have the capacity to receive impulse_matrix of AMI_Init\n");
    ami->dbgWriteCharAssignment("%s.AMI_Init(%d).msg", ami->initCalls, ami->message.text);
    if (ami->scriptFile != nullptr) std::fflush(ami->scriptFile);
    return refuse(std::move(ami), memory, msg);
  }

  std::memcpy(Rx_impulseIn(ami->model), impulse, static_cast<std::size_t>(n) * sizeof(double));
  Rx_initialize(ami->model);
  std::memcpy(impulse, Rx_impulseOut(ami->model), static_cast<std::size_t>(n) * sizeof(double));
  if (ami->impulseOutFile != nullptr) {
    ami->dbgWriteImpulseMatrix(ami->impulseOutFile, impulse, rows, aggressors);
    std::fflush(ami->impulseOutFile);
  }
  ami->parametersOut = Rx_writeOutputParameters(ami->model);

  AMI* instance = ami.release();
  if (parametersOut != nullptr) *parametersOut = instance->parametersOut;
  *memory = instance;
  if (msg != nullptr) *msg = instance->message.text;
  if (instance->scriptFile != nullptr) {
    const int k = instance->initCalls;
    instance->dbgWriteCharAssignment("%s.AMI_Init(%d).AMI_parameters_out", k, instance->parametersOut);
    instance->dbgRecord("%s.AMI_Init(%d).AMI_memory = '%p';\n", instance->tracePrefix, k,
                        static_cast<void*>(instance));
    instance->dbgWriteCharAssignment("%s.AMI_Init(%d).msg", k, instance->message.text);
    instance->dbgRecord("%s.AMI_Init(%d).return = %d;\n", instance->tracePrefix, k, 1);
    std::fflush(instance->scriptFile);
  }
  return 1;
}

void traceWaveSample(AMI& ami, std::FILE* file, double value) {
  if (file == nullptr || ami.sampleTime < ami.startTime) return;
  std::fprintf(file, "%.10e,%.5e\n", ami.sampleTime, value);
  std::fflush(file);
}

void getWaveStart(AMI& ami, const double* wave, long size, const double* clockTimes,
                  char** parametersOut) {
  if (ami.scriptFile == nullptr) return;
  const int k = ami.getWaveCalls;
  const char* p = ami.tracePrefix;
  ami.dbgWriteCurrentTime(ami.scriptFile);
  ami.dbgRecord("%s.AMI_GetWave(%d).wave_start = %" PRId64 ";\n", p, k, ami.sampleCount + 1);
  ami.dbgRecord("%s.AMI_GetWave(%d).clock_times_start = %" PRId64 ";\n", p, k,
                ami.clockTimesCount + 1);
  ami.dbgRecord("%s.AMI_GetWave(%d).wave_ptr = '%p';\n", p, k, static_cast<const void*>(wave));
  ami.dbgRecord("%s.AMI_GetWave(%d).wave_size = %ld;\n", p, k, size);
  ami.dbgRecord("%s.AMI_GetWave(%d).clock_times_ptr = '%p';\n", p, k,
                static_cast<const void*>(clockTimes));
  ami.dbgRecord("%s.AMI_GetWave(%d).AMI_parameters_out_ptr = '%p';\n", p, k,
                static_cast<void*>(parametersOut));
  ami.dbgRecord("%s.AMI_GetWave(%d).AMI_memory = '%p';\n", p, k, static_cast<void*>(&ami));
  std::fflush(ami.scriptFile);
}

void processWave(AMI& ami, double* wave, long size) {
  for (long i = 0; i < size; ++i) {
    ++ami.sampleCount;
    ami.sampleTime = static_cast<double>(ami.sampleCount - 1) * ami.sampleInterval;
    traceWaveSample(ami, ami.waveInFile, wave[i]);
    Rx_setWaveIn(ami.model, wave[i]);
    Rx_output(ami.model);
    wave[i] = Rx_waveOut(ami.model);
    Rx_update(ami.model);
    traceWaveSample(ami, ami.waveOutFile, wave[i]);
  }
}

// Terminates the clock times with -1 and traces them; returns their count.
std::int32_t finishClockTimes(AMI& ami, double* clockTimes) {
  const std::int32_t count = Rx_clockTimesCount(ami.model);
  if (clockTimes == nullptr) return count;
  clockTimes[count] = -1.0;
  if (ami.clockTimesFile != nullptr) {
    for (std::int32_t i = 0; i <= count; ++i) {
      std::fprintf(ami.clockTimesFile, "%.10e\n", clockTimes[i]);
      std::fflush(ami.clockTimesFile);
    }
  }
  ami.clockTimesCount += count + 1;
  return count;
}

long getWave(AMI& ami, double* wave, long size, double* clockTimes, char** parametersOut) {
  Rx_setClockTimes(ami.model, clockTimes);
  ++ami.getWaveCalls;
  std::optional<CLocaleScope> cLocale;  // trace rows are written in the C locale
  if (ami.debugEnabled != 0) cLocale.emplace();
  getWaveStart(ami, wave, size, clockTimes, parametersOut);
  if (wave != nullptr) processWave(ami, wave, size);
  const std::int32_t clockCount = finishClockTimes(ami, clockTimes);

  if (char* text = Rx_writeOutputParameters(ami.model)) {
    std::free(ami.parametersOut);
    ami.parametersOut = text;
  }
  if (parametersOut != nullptr) *parametersOut = ami.parametersOut;
  if (ami.scriptFile != nullptr) {
    const int k = ami.getWaveCalls;
    ami.dbgWriteCharAssignment("%s.AMI_GetWave(%d).AMI_parameters_out", k, ami.parametersOut);
    ami.dbgRecord("%s.AMI_GetWave(%d).clock_times_count = %ld;\n", ami.tracePrefix, k,
                  static_cast<long>(clockCount));
    ami.dbgRecord("%s.AMI_GetWave(%d).return = %d;\n", ami.tracePrefix, k, 1);
    std::fflush(ami.scriptFile);
  }
  return 1;
}

void closeInstance(AMI* ami) {
  ++ami->closeCalls;
  const int k = ami->closeCalls;
  if (ami->scriptFile != nullptr) {
    ami->dbgWriteCurrentTime(ami->scriptFile);
    ami->dbgRecord("%s.AMI_Close(%d).AMI_memory = '%p';\n", ami->tracePrefix, k,
                   static_cast<void*>(ami));
    std::fflush(ami->scriptFile);
  }
  Rx_terminate(ami->model);
  ami->model = nullptr;
  if (ami->scriptFile != nullptr) {
    ami->dbgRecord("%s.AMI_Close(%d).return = %d;\n", ami->tracePrefix, k, 1);
    std::fflush(ami->scriptFile);
  }
  delete ami;  // closes the script, then the five data files, then frees the texts
}

}  // namespace

RX_EXPORT long AMI_Init(double* impulse_matrix, long number_of_rows, long aggressors,
                        double sample_interval, double bit_time, char* AMI_parameters_in,
                        char** AMI_parameters_out, void** AMI_memory, char** msg) noexcept {
  try {
    return initInstance(impulse_matrix, number_of_rows, aggressors, sample_interval, bit_time,
                        AMI_parameters_in, AMI_parameters_out, AMI_memory, msg);
  } catch (...) {
    if (AMI_memory != nullptr) *AMI_memory = nullptr;
    return 0;
  }
}

RX_EXPORT long AMI_GetWave(double* wave, long wave_size, double* clock_times,
                           char** AMI_parameters_out, void* AMI_memory) noexcept {
  if (AMI_memory == nullptr) return 0;
  try {
    return getWave(*static_cast<AMI*>(AMI_memory), wave, wave_size, clock_times,
                   AMI_parameters_out);
  } catch (...) {
    return 0;
  }
}

RX_EXPORT long AMI_Close(void* AMI_memory) noexcept {
  if (AMI_memory == nullptr) return 1;
  try {
    closeInstance(static_cast<AMI*>(AMI_memory));
  } catch (...) {
  }
  return 1;
}
