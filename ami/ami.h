// The instance object behind an IBIS-AMI memory handle.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ami_tree/text_buffer.h"

struct Model_Rx_T;

class AMI {
 public:
  AMI();
  ~AMI();
  AMI(const AMI&) = delete;
  AMI& operator=(const AMI&) = delete;

  // Appends a complete message line to `message`.
  void appendMessage(const char* text);
  // printf-style append, formatted whole in the C locale.
  void appendMessagef(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Debug trace (written only when debugging is enabled).
  void dbgInitialize(long aggressors);
  std::FILE* dbgOpenFile(const char* name, const char* suffix, const char* header);
  void dbgWriteCharAssignment(const char* format, int n, const char* text);
  void dbgWriteCurrentTime(std::FILE* file);
  void dbgWriteImpulseMatrix(std::FILE* file, const double* values, long rows, long aggressors);
  // printf-style record to the script file, in the C locale; no-op when closed.
  void dbgRecord(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Closes the script file (after its last record) and the five data files.
  void dbgClose();

  Model_Rx_T* model;
  double sampleInterval;  // [s] per sample
  double bitTime;         // [s] per symbol
  char* parametersOut;    // current output parameter string, owned
  TextBuffer message;     // accumulated messages, owned; message.text may be null
  char dllId[1024];       // DLL_ID parameter, NUL-terminated, truncated to 1023 characters
  char tracePrefix[1024];  // trace file prefix derived from dllId
  std::int32_t debugEnabled;  // 1 when AMI_Debug.Enable begins with T or t
  double startTime;           // [s] wave samples before this are not traced
  std::int32_t initCalls;
  std::int32_t getWaveCalls;
  std::int32_t closeCalls;
  std::int64_t sampleCount;      // wave samples over all AMI_GetWave calls
  std::int64_t clockTimesCount;  // clock-time entries reported, terminators included
  double sampleTime;             // [s] time of the sample in progress
  std::FILE* scriptFile;
  std::FILE* impulseInFile;
  std::FILE* impulseOutFile;
  std::FILE* waveInFile;
  std::FILE* waveOutFile;
  std::FILE* clockTimesFile;
};
