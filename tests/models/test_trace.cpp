// The debug trace: six files in the working directory, their names, headers,
// script records and data rows, the prefix rules, the Start_Time filter, file
// names that cannot be created, and the C locale of every number written.
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/same_bits.h"
#include "tests/models/ami_library.h"
#include "tests/models/signals.h"

namespace {

using rx_test::operator<<;

const char* const kSuffixes[6] = {"_AMI_Debug.m",        "_impulse_response_in.csv",
                                  "_impulse_response_out.csv", "_wave_in.csv",
                                  "_wave_out.csv",       "_clock_times.csv"};

std::set<std::string> traceFiles(const std::string& prefix) {
  std::set<std::string> names;
  for (const char* suffix : kSuffixes) names.insert(prefix + suffix);
  return names;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(&s[0], s.size(), fmt, again);
  va_end(again);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Replaces each time stamp line, after checking its 24-character form.
std::string maskTimeStamps(const std::string& script, int* count) {
  static const std::regex stamp(
      "\n% Times: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
      "[0-9]{4}\n");
  *count = static_cast<int>(std::distance(
      std::sregex_iterator(script.begin(), script.end(), stamp), std::sregex_iterator()));
  return std::regex_replace(script, stamp, "\n% Times: STAMP\n");
}

// Runs each test in a fresh temporary working directory.
class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    home_ = here;
    char dir[] = "/tmp/rx_trace_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    if (!home_.empty()) {
      EXPECT_EQ(chdir(home_.c_str()), 0);
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::set<std::string> files() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
      names.insert(e.path().filename().string());
    return names;
  }

 private:
  std::string home_;
  std::string dir_;
};

// The escaped form of a text in a script record.
std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string waveRows(const std::vector<double>& values, std::size_t first, double dt,
                     double startTime) {
  std::string rows;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double t = static_cast<double>(first + i) * dt;
    if (t >= startTime) rows += format("%.10e,%.5e\n", t, values[i]);
  }
  return rows;
}

std::string impulseRows(const std::vector<double>& m, long rows, long aggressors, double dt) {
  std::string out;
  for (long i = 0; i < rows; ++i) {
    out += format("%.10e,%.5e", static_cast<double>(i) * dt, m[static_cast<std::size_t>(i)]);
    for (long j = 1; j <= aggressors; ++j)
      out += format(",%.5e", m[static_cast<std::size_t>(i + j * rows)]);
    out += "\n";
  }
  return out;
}

// One full cycle of LP_rx with the trace on: the script and the five data
// files, record for record and row for row.
TEST_F(TraceTest, AllSixFilesWordForWord) {
  const AmiLibrary& lib = AmiLibrary::get("LP_rx");
  ASSERT_TRUE(lib.ok());
  const double dt = 0.5;
  const double bit = 4.0;  // 8 samples per symbol
  const long rows = 16;
  const long aggressors = 2;
  std::vector<double> matrix = deltaImpulse(rows, 2, dt);
  for (long i = 0; i < 2 * rows; ++i) matrix.push_back(0.01 * static_cast<double>(i % 5));
  const std::vector<double> matrixIn = matrix;
  std::string params =
      "(LP_rx\n (DLL_ID dir/my-model)\r\n (AMI_Debug (Enable True) (Start_Time 1.0)))";
  char* out = nullptr;
  char* msg = nullptr;
  void* memory = nullptr;
  ASSERT_EQ(lib.init(matrix.data(), rows, aggressors, dt, bit, &params[0], &out, &memory, &msg), 1);
  ASSERT_NE(memory, nullptr);
  const std::string initOut = out;
  const std::string initMsg = msg;
  EXPECT_EQ(initMsg, "**Info** Received 3 parameters.\n");

  // Two blocks of 4 samples, one without clock times, then 8 more.
  const std::vector<double> waveIn = testWave(20, 0.4, 11.0);
  std::vector<double> wave = waveIn;
  const long sizes[4] = {4, 4, 4, 8};
  const bool withClocks[4] = {true, true, false, true};
  std::vector<std::vector<double>> clocks;
  std::vector<std::string> outs;
  char* waveOut[4] = {};
  long offset = 0;
  for (int call = 0; call < 4; ++call) {
    clocks.emplace_back(static_cast<std::size_t>(sizes[call]) + 1, kClockGuard);
    ASSERT_EQ(lib.getWave(wave.data() + offset, sizes[call],
                          withClocks[call] ? clocks.back().data() : nullptr, &waveOut[call],
                          memory),
              1);
    outs.emplace_back(waveOut[call]);
    offset += sizes[call];
  }
  ASSERT_EQ(lib.close(memory), 1);

  EXPECT_EQ(files(), traceFiles("_my_model"));
  const std::string p = "_my_model";

  // The clock times each call reported, terminator included.
  std::vector<std::vector<double>> reported(4);
  for (int call = 0; call < 4; ++call) {
    if (!withClocks[call]) continue;
    for (double c : clocks[call]) {
      reported[call].push_back(c);
      if (c == -1.0) break;
    }
  }
  ASSERT_EQ(reported[0].size(), 1u);  // no clock rise in the first four samples
  ASSERT_EQ(reported[1].size(), 2u);  // the first, at the sixth sample
  EXPECT_EQ(reported[1][0], 0.0);

  std::string want;
  const char* names[5] = {"impulse_matrix_in", "impulse_matrix_out", "wave_in", "wave_out",
                          "clock_times"};
  for (int f = 0; f < 5; ++f) {
    want += format("%s.%s_file = '%s%s';\n", p.c_str(), names[f], p.c_str(), kSuffixes[f + 1]);
    want += format("%s.%s_data = readmatrix(%s.%s_file,'NumHeaderLines',1);\n", p.c_str(),
                   names[f], p.c_str(), names[f]);
  }
  const char* q = p.c_str();
  want += "\n% Times: STAMP\n";
  want += format("%s.AMI_Init(1).impulse_matrix_ptr = '%p';\n", q, static_cast<void*>(matrix.data()));
  want += format("%s.AMI_Init(1).number_of_rows = 16;\n", q);
  want += format("%s.AMI_Init(1).aggressors = 2;\n", q);
  want += format("%s.AMI_Init(1).sample_interval = 0.5;\n", q);
  want += format("%s.AMI_Init(1).bit_time = 4;\n", q);
  want += format("%s.AMI_Init(1).AMI_parameters_in_ptr = '%p';\n", q, static_cast<void*>(&params[0]));
  want += format("%s.AMI_Init(1).AMI_parameters_in = '%s';\n", q, escaped(params).c_str());
  want += format("%s.AMI_Init(1).AMI_parameters_out_ptr = '%p';\n", q, static_cast<void*>(&out));
  want += format("%s.AMI_Init(1).msg_ptr = '%p';\n", q, static_cast<void*>(&msg));
  want += format("%s.AMI_Init(1).AMI_memory_ptr = '%p';\n", q, static_cast<void*>(&memory));
  want += format("%s.AMI_Init(1).AMI_parameters_out = '%s';\n", q, initOut.c_str());
  want += format("%s.AMI_Init(1).AMI_memory = '%p';\n", q, memory);
  want += format("%s.AMI_Init(1).msg = '%s';\n", q, escaped(initMsg).c_str());
  want += format("%s.AMI_Init(1).return = 1;\n", q);
  long waveStart = 1;
  long clockStart = 1;
  offset = 0;
  for (int call = 0; call < 4; ++call) {
    const int k = call + 1;
    want += "\n% Times: STAMP\n";
    want += format("%s.AMI_GetWave(%d).wave_start = %ld;\n", q, k, waveStart);
    want += format("%s.AMI_GetWave(%d).clock_times_start = %ld;\n", q, k, clockStart);
    want += format("%s.AMI_GetWave(%d).wave_ptr = '%p';\n", q, k,
                   static_cast<void*>(wave.data() + offset));
    want += format("%s.AMI_GetWave(%d).wave_size = %ld;\n", q, k, sizes[call]);
    want += format("%s.AMI_GetWave(%d).clock_times_ptr = '%p';\n", q, k,
                   withClocks[call] ? static_cast<void*>(clocks[call].data()) : nullptr);
    want += format("%s.AMI_GetWave(%d).AMI_parameters_out_ptr = '%p';\n", q, k,
                   static_cast<void*>(&waveOut[call]));
    want += format("%s.AMI_GetWave(%d).AMI_memory = '%p';\n", q, k, memory);
    want += format("%s.AMI_GetWave(%d).AMI_parameters_out = '%s';\n", q, k, outs[call].c_str());
    const long count = withClocks[call] ? static_cast<long>(reported[call].size()) - 1 : 0;
    want += format("%s.AMI_GetWave(%d).clock_times_count = %ld;\n", q, k, count);
    want += format("%s.AMI_GetWave(%d).return = 1;\n", q, k);
    waveStart += sizes[call];
    clockStart += static_cast<long>(reported[call].size());
    offset += sizes[call];
  }
  want += "\n% Times: STAMP\n";
  want += format("%s.AMI_Close(1).AMI_memory = '%p';\n", q, memory);
  want += format("%s.AMI_Close(1).return = 1;\n", q);

  int stamps = 0;
  EXPECT_EQ(maskTimeStamps(readFile(p + "_AMI_Debug.m"), &stamps), want);
  EXPECT_EQ(stamps, 6);

  const std::string header =
      "Time,impulse(primary),impulse(aggressor 0),impulse(aggressor 1)\n";
  EXPECT_EQ(readFile(p + "_impulse_response_in.csv"),
            header + impulseRows(matrixIn, rows, aggressors, dt));
  EXPECT_EQ(readFile(p + "_impulse_response_out.csv"),
            header + impulseRows(matrix, rows, aggressors, dt));
  // Sample times run on across the blocks: 0, 0.5, ..., 9.5; those before
  // Start_Time (1.0) are not traced.
  EXPECT_EQ(readFile(p + "_wave_in.csv"), "Time,wave\n" + waveRows(waveIn, 0, dt, 1.0));
  EXPECT_EQ(readFile(p + "_wave_out.csv"), "Time,wave\n" + waveRows(wave, 0, dt, 1.0));
  std::string clockRows = "Time\n";
  for (const auto& call : reported)
    for (double c : call) clockRows += format("%.10e\n", c);
  EXPECT_EQ(readFile(p + "_clock_times.csv"), clockRows);
}

// ---------------------------------------------------------------------------

struct PrefixCase {
  const char* name;
  const char* dllId;  // as written in the parameter string; null: the default
  const char* prefix;
};

const PrefixCase kPrefixCases[] = {
    {"default", nullptr, "Rx_debug"},
    {"directory_and_dash", "dir/my-model", "_my_model"},
    {"backslash_before_slash", "x\\y/z", "_z"},
    {"backslash_after_slash", "a/b\\c", "_c"},
    {"both_twice", "a\\b/c\\d", "_d"},
    {"quoted_with_space_and_dot", "\"my model.v2\"", "my_model_v2"},
    {"ends_with_separator", "x/y\\", "_"},
    {"only_a_slash", "/", "_"},
    {"plain", "plain", "plain"},
};

class PrefixTest : public TraceTest, public ::testing::WithParamInterface<PrefixCase> {};

TEST_P(PrefixTest, FileNamesFollowThePrefixRules) {
  const PrefixCase& c = GetParam();
  const AmiLibrary& lib = AmiLibrary::get("DDR_rx");
  ASSERT_TRUE(lib.ok());
  std::string body = "(AMI_Debug (Enable True))";
  if (c.dllId != nullptr) body += std::string(" (DLL_ID ") + c.dllId + ")";
  const Stimulus s = channelStimulus("DDR_rx", 20, 8, 2);
  const Cycle cycle = runCycle(lib, paramsFor("DDR_rx", body), s.impulse, s.rows, 0, s.dt,
                               s.bitTime, s.wave, {50});
  ASSERT_EQ(cycle.init.status, 1);
  EXPECT_EQ(files(), traceFiles(c.prefix));
  const std::string script = readFile(std::string(c.prefix) + "_AMI_Debug.m");
  EXPECT_EQ(script.rfind(std::string(c.prefix) + ".impulse_matrix_in_file = '", 0), 0u) << script;
}

INSTANTIATE_TEST_SUITE_P(Trace, PrefixTest, ::testing::ValuesIn(kPrefixCases),
                         [](const auto& i) { return std::string(i.param.name); });

struct EnableCase {
  const char* name;
  const char* text;
  bool enabled;
};

const EnableCase kEnableCases[] = {
    {"True", "True", true},       {"lower_t", "t", true},     {"TRUE", "TRUE", true},
    {"tomato", "tomato", true},   {"False", "False", false},  {"F", "F", false},
    {"y", "y", false},            {"yes", "yes", false},      {"one", "1", false},
    {"leading_space", "\" True\"", false},
};

class EnableTest : public TraceTest, public ::testing::WithParamInterface<EnableCase> {};

TEST_P(EnableTest, OnlyATextBeginningWithTEnablesTheTrace) {
  const AmiLibrary& lib = AmiLibrary::get("LP_rx");
  ASSERT_TRUE(lib.ok());
  const Stimulus s = channelStimulus("LP_rx", 20, 8, 2);
  const std::string body = std::string("(AMI_Debug (Enable ") + GetParam().text + "))";
  const Cycle cycle = runCycle(lib, paramsFor("LP_rx", body), s.impulse, s.rows, 0, s.dt,
                               s.bitTime, s.wave, {50});
  ASSERT_EQ(cycle.init.status, 1);
  EXPECT_EQ(cycle.init.message, "**Info** Received 1 parameters.\n");
  EXPECT_EQ(files(), GetParam().enabled ? traceFiles("Rx_debug") : std::set<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Trace, EnableTest, ::testing::ValuesIn(kEnableCases),
                         [](const auto& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------

struct StartTimeCase {
  const char* name;
  const char* startTime;
  std::size_t firstTraced;  // index of the first traced sample
};

const StartTimeCase kStartTimeCases[] = {
    {"zero", "0", 0},        {"one", "1.0", 2},         {"between_samples", "0.75", 2},
    {"negative", "-3", 0},   {"after_the_last", "100", 16},
};

class StartTimeTest : public TraceTest, public ::testing::WithParamInterface<StartTimeCase> {};

TEST_P(StartTimeTest, EarlierSamplesAreNotTracedButAllAreProcessed) {
  const AmiLibrary& lib = AmiLibrary::get("DDR_rx");
  ASSERT_TRUE(lib.ok());
  const double dt = 0.5;
  const std::string body =
      std::string("(AMI_Debug (Enable True) (Start_Time ") + GetParam().startTime + "))";
  const std::vector<double> in = testWave(16, 0.4, 7.0);
  const Cycle traced = runCycle(lib, paramsFor("DDR_rx", body), deltaImpulse(16, 2, dt), 16, 0,
                                dt, 4.0, in, {4});
  const Cycle plain = runCycle(lib, "", deltaImpulse(16, 2, dt), 16, 0, dt, 4.0, in, {4});
  ASSERT_EQ(traced.init.status, 1);
  EXPECT_TRUE(sameBits(traced.run.wave, plain.run.wave));
  const std::size_t k = GetParam().firstTraced;
  const std::vector<double> inTail(in.begin() + static_cast<long>(k), in.end());
  const std::vector<double> outTail(traced.run.wave.begin() + static_cast<long>(k),
                                    traced.run.wave.end());
  EXPECT_EQ(readFile("Rx_debug_wave_in.csv"), "Time,wave\n" + waveRows(inTail, k, dt, -1e300));
  EXPECT_EQ(readFile("Rx_debug_wave_out.csv"), "Time,wave\n" + waveRows(outTail, k, dt, -1e300));
  // The clock-times file is written in full: every call's entries and its
  // terminator.
  std::string clockRows = "Time\n";
  for (const auto& call : traced.run.callClocks) {
    for (double c : call) clockRows += format("%.10e\n", c);
    clockRows += "-1.0000000000e+00\n";
  }
  EXPECT_EQ(readFile("Rx_debug_clock_times.csv"), clockRows);
}

INSTANTIATE_TEST_SUITE_P(Trace, StartTimeTest, ::testing::ValuesIn(kStartTimeCases),
                         [](const auto& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------

class TraceModelTest : public TraceTest, public ::testing::WithParamInterface<std::string> {};

// A DLL_ID of 2000 characters is cut to 1023; no file name that long can be
// created, so each of the six files reports itself and the instance runs on
// without a trace. The messages come in their documented order.
TEST_P(TraceModelTest, UnwritableFilesAreReportedInOrder) {
  const std::string& model = GetParam();
  const AmiLibrary& lib = AmiLibrary::get(model);
  ASSERT_TRUE(lib.ok());
  const std::string check = model == "rx_hcm_ctle_high" ? "(CTLE (Mode 0.5))"
                                                        : "(DFECDR (ReferenceOffset 400))";
  const std::string checkMessage = model == "rx_hcm_ctle_high"
                                       ? "Invalid CTLEParameter.Mode\n"
                                       : "Invalid DFECDRParameter.ReferenceOffset\n";
  const std::string id(2000, 'a');
  const std::string body = "(Modulation pam4) (DLL_ID " + id + ") " + check +
                           " (AMI_Debug (Enable True))";
  const Stimulus s = channelStimulus(model, 50, 8, 2);
  const Cycle cycle = runCycle(lib, paramsFor(model, body), s.impulse, s.rows, 0, s.dt,
                               s.bitTime, s.wave, {100});
  ASSERT_EQ(cycle.init.status, 1);
  std::string want = "**Info** Received 4 parameters.\n";
  for (const char* suffix : kSuffixes)
    want += "File is not writable: " + std::string(1023, 'a') + suffix + "\n";
  want += checkMessage + "**Warning** Invalid Modulation. Setting to NRZ.\n";
  EXPECT_EQ(cycle.init.message, want);
  EXPECT_TRUE(files().empty());
  EXPECT_GT(cycle.run.clockTimes.size(), 30u);
}

// Refused arguments are checked before the trace is set up: no files.
TEST_P(TraceModelTest, RefusedArgumentsOpenNoTrace) {
  const AmiLibrary& lib = AmiLibrary::get(GetParam());
  ASSERT_TRUE(lib.ok());
  InitResult r = runInit(lib, deltaImpulse(64, 10, kTestDt), 0, 0, kTestDt, 8 * kTestDt,
                         paramsFor(GetParam(), "(AMI_Debug (Enable True))").c_str());
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(files().empty());
}

// The capacity refusal comes after the trace set-up: the script records the
// call and its message. The matrix claims a column count that no buffer can
// hold, so the trace must not read it as a matrix.
TEST_P(TraceModelTest, CapacityRefusalIsTraced) {
  const AmiLibrary& lib = AmiLibrary::get(GetParam());
  ASSERT_TRUE(lib.ok());
  std::vector<double> buffer(64, 0.0);
  std::string params = paramsFor(GetParam(), "(AMI_Debug (Enable True))");
  char* out = nullptr;
  char* msg = nullptr;
  void* memory = nullptr;
  EXPECT_EQ(lib.init(buffer.data(), 8, LONG_MAX / 2, kTestDt, 8 * kTestDt, &params[0], &out,
                     &memory, &msg),
            0);
  EXPECT_EQ(memory, nullptr);
  ASSERT_NE(msg, nullptr);
  const std::string want =
      "**Info** Received 1 parameters.\n"
      "AMI model does not have the capacity to receive impulse_matrix of AMI_Init\n";
  EXPECT_EQ(std::string(msg), want);
  EXPECT_EQ(files(), traceFiles("Rx_debug"));
  const std::string script = readFile("Rx_debug_AMI_Debug.m");
  const std::string record = "Rx_debug.AMI_Init(1).msg = '" + escaped(want) + "';\n";
  ASSERT_GE(script.size(), record.size());
  EXPECT_EQ(script.substr(script.size() - record.size()), record);
}

INSTANTIATE_TEST_SUITE_P(Trace, TraceModelTest, ::testing::ValuesIn(allModels()),
                         [](const auto& i) { return i.param; });

// ---------------------------------------------------------------------------

// A simulator may run with a locale whose decimal separator is a comma; the
// parameters are still read, and the trace and the output string still
// written, with a point.
TEST_F(TraceTest, NumbersAreReadAndWrittenInTheCLocale) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "de_DE.utf8") == nullptr)
    GTEST_SKIP() << "no German locale installed";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", 0.5);
  ASSERT_STREQ(buffer, "0,5") << "the locale does not use a decimal comma";
  const AmiLibrary& lib = AmiLibrary::get("LP_rx");
  ASSERT_TRUE(lib.ok());
  const Cycle cycle =
      runCycle(lib, "(LP_rx (DFECDR (PhaseOffset 0.25)) (AMI_Debug (Enable True) (Start_Time 0.5)))",
               deltaImpulse(64, 10, 0.25), 64, 0, 0.25, 2.0, testWave(40, 0.4, 9.0), {40});
  std::setlocale(LC_ALL, "C");
  ASSERT_EQ(cycle.init.status, 1);
  EXPECT_EQ(cycle.init.parametersOut, "(LP_rx(DFECDR(Phase 0.25)(TapWeights(3 0)(4 0))))");
  const std::string script = readFile("Rx_debug_AMI_Debug.m");
  EXPECT_NE(script.find("Rx_debug.AMI_Init(1).sample_interval = 0.25;\n"), std::string::npos);
  EXPECT_NE(script.find("Rx_debug.AMI_Init(1).bit_time = 2;\n"), std::string::npos);
  const std::regex row(R"(-?[0-9]\.[0-9]{10}e[-+][0-9]{2},-?[0-9]\.[0-9]{5}e[-+][0-9]{2})");
  for (const char* file : {"Rx_debug_wave_in.csv", "Rx_debug_wave_out.csv",
                           "Rx_debug_impulse_response_in.csv", "Rx_debug_impulse_response_out.csv"}) {
    std::istringstream in(readFile(file));
    std::string line;
    std::getline(in, line);  // header
    int count = 0;
    for (; std::getline(in, line); ++count) EXPECT_TRUE(std::regex_match(line, row)) << file << ": " << line;
    EXPECT_GT(count, 30) << file;
  }
  // Start_Time 0.5 was read as a half: the first traced sample is the third.
  std::istringstream waveIn(readFile("Rx_debug_wave_in.csv"));
  std::string line;
  std::getline(waveIn, line);
  std::getline(waveIn, line);
  EXPECT_EQ(line.substr(0, 17), "5.0000000000e-01,");
}

}  // namespace
