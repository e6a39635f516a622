// Debug trace of an instance: a script file that records every call and loads
// five CSV files with the impulse matrices, the waves and the clock times.
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>

#include "ami/ami.h"
#include "ami_tree/c_locale.h"
#include "model/frame.h"

namespace {

const char kPrefixAlphabet[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// The part of dllId from its last separator on ("/" first, then "\"), with
// every character outside the alphabet replaced by "_".
void buildTracePrefix(const char* dllId, char* prefix, std::size_t size) {
  const char* start = dllId;
  if (const char* slash = std::strrchr(start, '/')) start = slash;
  if (const char* backslash = std::strrchr(start, '\\')) start = backslash;
  std::size_t n = 0;
  for (; start[n] != '\0' && n + 1 < size; ++n)
    prefix[n] = std::strchr(kPrefixAlphabet, start[n]) != nullptr ? start[n] : '_';
  prefix[n] = '\0';
}

// Header of both impulse files. Columns beyond the impulse capacity can never
// be received, so they are not named (this also bounds the header's length).
std::string impulseHeader(long aggressors) {
  std::string header = "Time,impulse(primary)";
  const long named = aggressors < kImpulseCapacity ? aggressors : kImpulseCapacity;
  char column[48];
  for (long j = 0; j < named; ++j) {
    std::snprintf(column, sizeof column, ",impulse(aggressor %ld)", j);
    header += column;
  }
  header += '\n';
  return header;
}

struct DataFile {
  std::FILE* AMI::*field;
  const char* name;    // script variable of the file name
  const char* suffix;  // appended to the trace prefix
  const char* loadingLine;
};

const DataFile kDataFiles[] = {
    {&AMI::impulseInFile, "impulse_matrix_in_file", "_impulse_response_in.csv",
     "%s.impulse_matrix_in_data = readmatrix(%s.impulse_matrix_in_file,'NumHeaderLines',1);\n"},
    {&AMI::impulseOutFile, "impulse_matrix_out_file", "_impulse_response_out.csv",
     "%s.impulse_matrix_out_data = readmatrix(%s.impulse_matrix_out_file,'NumHeaderLines',1);\n"},
    {&AMI::waveInFile, "wave_in_file", "_wave_in.csv",
     "%s.wave_in_data = readmatrix(%s.wave_in_file,'NumHeaderLines',1);\n"},
    {&AMI::waveOutFile, "wave_out_file", "_wave_out.csv",
     "%s.wave_out_data = readmatrix(%s.wave_out_file,'NumHeaderLines',1);\n"},
    {&AMI::clockTimesFile, "clock_times_file", "_clock_times.csv",
     "%s.clock_times_data = readmatrix(%s.clock_times_file,'NumHeaderLines',1);\n"},
};

}  // namespace

void AMI::dbgInitialize(long aggressors) {
  const std::string header = impulseHeader(aggressors);
  buildTracePrefix(dllId, tracePrefix, sizeof tracePrefix);
  scriptFile = dbgOpenFile(nullptr, "_AMI_Debug.m", "");
  for (const DataFile& f : kDataFiles) {
    const bool isWave = f.field == &AMI::waveInFile || f.field == &AMI::waveOutFile;
    const char* fileHeader = f.field == &AMI::clockTimesFile ? "Time\n"
                             : isWave                       ? "Time,wave\n"
                                                            : header.c_str();
    this->*f.field = dbgOpenFile(f.name, f.suffix, fileHeader);
    if (scriptFile != nullptr && this->*f.field != nullptr) {
      dbgRecord(f.loadingLine, tracePrefix, tracePrefix);
      std::fflush(scriptFile);
    }
  }
}

std::FILE* AMI::dbgOpenFile(const char* name, const char* suffix, const char* header) {
  const std::string path = std::string(tracePrefix) + suffix;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    appendMessagef("File is not writable: %s\n", path.c_str());
    return nullptr;
  }
  if (header != nullptr) {
    std::fputs(header, file);
    std::fflush(file);
  }
  if (scriptFile != nullptr && name != nullptr) {
    dbgRecord("%s.%s = '%s';\n", tracePrefix, name, path.c_str());
    std::fflush(scriptFile);
  }
  return file;
}

void AMI::dbgWriteCharAssignment(const char* format, int n, const char* text) {
  if (scriptFile == nullptr) return;
  const CLocaleScope cLocale;
  std::fprintf(scriptFile, format, tracePrefix, n);
  std::fputs(" = '", scriptFile);
  for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
    if (*c == '\n')
      std::fputs("\\n", scriptFile);
    else if (*c == '\r')
      std::fputs("\\r", scriptFile);
    else
      std::fputc(*c, scriptFile);
  }
  std::fputs("';\n", scriptFile);
}

void AMI::dbgWriteCurrentTime(std::FILE* file) {
  if (file == nullptr) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[64] = "";
  if (localtime_r(&now, &local) == nullptr || asctime_r(&local, stamp) == nullptr)
    std::strcpy(stamp, "unknown\n");
  std::fprintf(file, "\n%% Times: %s", stamp);
}

void AMI::dbgWriteImpulseMatrix(std::FILE* file, const double* values, long rows,
                                long aggressors) {
  if (file == nullptr) return;
  const CLocaleScope cLocale;
  for (long i = 0; i < rows; ++i) {
    std::fprintf(file, "%.10e,%.5e", static_cast<double>(i) * sampleInterval, values[i]);
    for (long j = 1; j <= aggressors; ++j) std::fprintf(file, ",%.5e", values[i + j * rows]);
    std::fputc('\n', file);
  }
}

void AMI::dbgRecord(const char* format, ...) {
  if (scriptFile == nullptr) return;
  const CLocaleScope cLocale;
  va_list args;
  va_start(args, format);
  std::vfprintf(scriptFile, format, args);
  va_end(args);
}

void AMI::dbgClose() {
  if (scriptFile != nullptr) std::fclose(scriptFile);
  scriptFile = nullptr;
  for (const DataFile& f : kDataFiles) {
    if (this->*f.field != nullptr) std::fclose(this->*f.field);
    this->*f.field = nullptr;
  }
}
