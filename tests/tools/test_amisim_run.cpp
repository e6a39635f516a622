// The host program run as a user runs it: on each model with the embedded
// channel and with impulse responses from CSV files, and with bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/run_program.h"
#include "tools/amisim/channel.h"

namespace {

const std::string kProgram = AMISIM_PATH;
const std::string kModels = RX_MODELS_DIR;

// Short runs: the loops lock within about 1000 UI.
const std::vector<std::string> kShort = {"--json", "--quiet", "--bits", "4000", "--skip", "1000"};

std::vector<std::string> args(const std::string& model, std::vector<std::string> extra) {
  std::vector<std::string> a = {kModels + "/" + model};
  a.insert(a.end(), kShort.begin(), kShort.end());
  a.insert(a.end(), extra.begin(), extra.end());
  return a;
}

class AmisimRunTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = makeTempDir(); }
  ProgramRun run(const std::vector<std::string>& a) { return runProgram(kProgram, a, dir_); }
  std::string dir_;
};

// A run that shows an open eye without errors on a clock at the bit rate.
void expectCleanEye(const ProgramRun& r) {
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(jsonNumber(r.out, "init", "status"), 1.0);
  EXPECT_EQ(jsonField(r.out, "getwave", "aligned"), "true");
  EXPECT_EQ(jsonNumber(r.out, "getwave", "bit_errors"), 0.0);
  EXPECT_EQ(jsonNumber(r.out, "getwave", "ber"), 0.0);
  EXPECT_GT(jsonNumber(r.out, "getwave", "bits"), 2500.0);
  EXPECT_GT(jsonNumber(r.out, "getwave", "eye_height"), 0.0);
  EXPECT_GT(jsonNumber(r.out, "getwave", "eye_width"), 0.0);
  EXPECT_LT(std::fabs(jsonNumber(r.out, "getwave", "frequency_offset_ppm")), 100.0);
  EXPECT_GT(jsonNumber(r.out, "getwave", "clocks_used"), 2500.0);
}

struct ModelCase {
  const char* name;
  const char* amplitudePam4;  // suits the model on the 5 dB line
};
const ModelCase kModelCases[] = {{"rx_hcm_ctle_high", "0.01"}, {"LP_rx", "0.4"}, {"DDR_rx", "0.4"}};

class ModelRunTest : public AmisimRunTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelRunTest, DefaultChannelGivesAnOpenEyeWithoutErrors) {
  const ProgramRun r = run(args(GetParam().name, {}));
  expectCleanEye(r);
  const std::string sent = jsonField(r.out, "", "sent_parameters");
  EXPECT_EQ(jsonField(r.out, "init", "message"), "**Info** Received " + sent + " parameters.\n");
}

// Simulators cut the waveform as they like: the result may not depend on it.
TEST_P(ModelRunTest, BlockSizeDoesNotChangeTheResult) {
  const ProgramRun a = run(args(GetParam().name, {"--block-size", "16384"}));
  const ProgramRun b = run(args(GetParam().name, {"--block-size", "777"}));
  ASSERT_EQ(a.exitCode, 0) << a.err;
  ASSERT_EQ(b.exitCode, 0) << b.err;
  for (const char* key : {"eye_height", "eye_width", "bit_errors", "recovered_ui", "jitter_rms",
                          "clock_times", "delay_ui", "parameters_out"})
    EXPECT_EQ(jsonField(a.out, "getwave", key), jsonField(b.out, "getwave", key)) << key;
}

TEST_P(ModelRunTest, Pam4OnAShorterLineGivesOpenEyes) {
  const ProgramRun r = run(args(GetParam().name, {"--modulation", "PAM4", "--loss", "5",
                                                  "--amplitude", GetParam().amplitudePam4}));
  expectCleanEye(r);
  EXPECT_EQ(jsonField(r.out, "stimulus", "modulation"), "PAM4");
  EXPECT_NE(jsonField(r.out, "", "parameters_in").find("(Modulation \"PAM4\")"), std::string::npos);
  EXPECT_EQ(jsonNumber(r.out, "getwave", "bits"), 2 * jsonNumber(r.out, "getwave", "symbols"));
}
INSTANTIATE_TEST_SUITE_P(AmisimModels, ModelRunTest, ::testing::ValuesIn(kModelCases),
                         [](const auto& i) { return std::string(i.param.name); });

void writeCsv(const std::string& path, const amisim::Channel& c, bool header) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  if (header) std::fprintf(f, "time,victim%s\n", c.columns.size() > 1 ? ",aggressor" : "");
  for (std::size_t i = 0; i < c.columns[0].size(); ++i) {
    std::fprintf(f, "%.17g", static_cast<double>(i) * c.sampleInterval);
    for (const std::vector<double>& col : c.columns) std::fprintf(f, ",%.17g", col[i]);
    std::fprintf(f, "\n");
  }
  std::fclose(f);
}

amisim::Channel defaultLine() {
  amisim::Channel c;
  std::string error;
  EXPECT_TRUE(amisim::makeLineChannel(amisim::LineParameters(), &c, &error)) << error;
  return c;
}

// The embedded line written to a CSV file and read back gives the same run.
TEST_F(AmisimRunTest, CsvOfTheEmbeddedLineGivesTheSameRun) {
  const std::string csv = dir_ + "/line.csv";
  writeCsv(csv, defaultLine(), true);
  const ProgramRun embedded = run(args("DDR_rx", {}));
  const ProgramRun fromFile = run(args("DDR_rx", {"--channel", csv}));
  expectCleanEye(fromFile);
  for (const char* key :
       {"eye_height", "eye_width", "recovered_ui", "jitter_rms", "parameters_out"})
    EXPECT_EQ(jsonField(embedded.out, "getwave", key), jsonField(fromFile.out, "getwave", key))
        << key;
  EXPECT_EQ(jsonField(embedded.out, "init", "parameters_out"),
            jsonField(fromFile.out, "init", "parameters_out"));
}

// A coarser grid is resampled to the run's; an aggressor column reaches
// AMI_Init and adds its crosstalk to the waveform.
TEST_F(AmisimRunTest, CsvWithAnAggressorOnAnotherGrid) {
  const amisim::Channel line = defaultLine();
  amisim::Channel coarse;
  coarse.sampleInterval = 2 * line.sampleInterval;
  coarse.columns.resize(2);
  for (std::size_t i = 0; i < line.columns[0].size(); i += 2) {
    coarse.columns[0].push_back(line.columns[0][i]);
    const std::size_t j = i >= 64 ? i - 64 : 0;
    coarse.columns[1].push_back(i >= 64 ? 0.03 * line.columns[0][j] : 0.0);
  }
  const std::string csv = dir_ + "/aggressor.csv";
  writeCsv(csv, coarse, false);
  const ProgramRun r = run(args("rx_hcm_ctle_high", {"--channel", csv}));
  expectCleanEye(r);
  EXPECT_EQ(jsonNumber(r.out, "channel", "aggressors"), 1.0);
  EXPECT_EQ(jsonNumber(r.out, "channel", "rows"),
            static_cast<double>(2 * coarse.columns[0].size() - 1));
}

TEST_F(AmisimRunTest, WritesTheSummaryTheReportAndTheEye) {
  const std::string report = dir_ + "/report.html";
  const std::string eye = dir_ + "/eye.svg";
  const ProgramRun r = runProgram(kProgram,
                                  {kModels + "/LP_rx/Rx.so", "--bits", "3000", "--skip", "1000",
                                   "--report", report, "--eye-svg", eye},
                                  dir_);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("AMI_Init    returned 1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(open)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("0 bit errors"), std::string::npos) << r.out;
  EXPECT_TRUE(r.err.empty()) << r.err;  // no progress bar off a terminal
  const std::string html = readWhole(report);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("Eye at the recovered clock"), std::string::npos);
  EXPECT_NE(html.find("Pulse response"), std::string::npos);
  EXPECT_NE(html.find("Impulse response"), std::string::npos);
  EXPECT_NE(html.find("</html>"), std::string::npos);
  const std::string svg = readWhole(eye);
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
}

TEST_F(AmisimRunTest, StatisticalOnlyRunSkipsGetWave) {
  const ProgramRun r = run(args("DDR_rx", {"--no-getwave"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(jsonField(r.out, "", "getwave"), "null");
  EXPECT_GT(jsonNumber(r.out, "statistical", "cursor"), 0.0);
}

TEST_F(AmisimRunTest, HelpAndVersion) {
  const ProgramRun help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: amisim", 0), 0u);
  const ProgramRun version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("amisim ", 0), 0u);
}

TEST_F(AmisimRunTest, ListsTheParametersOfTheAmiFile) {
  const ProgramRun r = run({kModels + "/rx_hcm_ctle_high", "--list-params"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("CTLE.ConfigSelect"), std::string::npos);
  EXPECT_NE(r.out.find("parameter string: (rx_hcm_ctle_high"), std::string::npos);
}

TEST_F(AmisimRunTest, OutOfRangeOverrideIsSentWithAWarning) {
  const ProgramRun r = run(args("DDR_rx", {"--set", "DFECDR.PhaseOffset=0.7", "--no-getwave"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("warning: --set DFECDR.PhaseOffset=0.7 is outside"), std::string::npos)
      << r.err;
  EXPECT_NE(jsonField(r.out, "init", "message").find("Invalid DFECDRParameter.PhaseOffset"),
            std::string::npos);
}

struct BadRunCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the models folder, "#" for the temp folder
  int exitCode;
  const char* error;
};
const BadRunCase kBadRuns[] = {
    {"no_arguments", {}, 2, "no model library given"},
    {"unknown_option", {"@/DDR_rx", "--turbo"}, 2, "unknown option --turbo"},
    {"missing_library", {"#/none.so"}, 2, "no such library or folder"},
    {"folder_without_library", {"#"}, 2, "holds 0 libraries"},
    {"not_a_library", {"@/DDR_rx/ddr_rx.ami", "--ami", "@/DDR_rx/ddr_rx.ami"}, 1, "cannot load"},
    {"missing_ami", {"@/DDR_rx/Rx.so", "--ami", "#/none.ami"}, 2, "cannot open"},
    {"broken_ami", {"@/DDR_rx/Rx.so", "--ami", "#/broken.ami"}, 2, "is not closed"},
    {"unknown_parameter", {"@/DDR_rx", "--set", "CTLE.Mode=0"}, 2, "DDR_rx has no such parameter"},
    {"output_parameter", {"@/DDR_rx", "--set", "DFECDR.Phase=0.5"}, 2, "Usage Out"},
    {"missing_csv", {"@/LP_rx", "--channel", "#/none.csv"}, 2, "cannot open"},
    {"bad_csv", {"@/LP_rx", "--channel", "#/bad.csv"}, 2, "line 3: not a row of numbers"},
    {"csv_too_long", {"@/LP_rx", "--channel", "#/long.csv"}, 2, "spans more than 8388608 rows"},
    {"bad_loss", {"@/LP_rx", "--loss", "-3"}, 2, "--loss must be"},
    {"unwritable_report",
     {"@/LP_rx", "--bits", "500", "--report", "#/no/such/dir/r.html"},
     1,
     "cannot write"},
};
class BadRunTest : public AmisimRunTest, public ::testing::WithParamInterface<BadRunCase> {};

TEST_P(BadRunTest, ClearErrorAndNonZeroExit) {
  { std::ofstream(dir_ + "/broken.ami") << "(DDR_rx (Description \"x\")\n"; }
  { std::ofstream(dir_ + "/bad.csv") << "t,v\n0,1\n1,oops\n"; }
  { std::ofstream(dir_ + "/long.csv") << "0,1\n1,0\n"; }  // one second of rows
  std::vector<std::string> a;
  for (std::string s : GetParam().args) {
    if (!s.empty() && s[0] == '@') s = kModels + s.substr(1);
    if (!s.empty() && s[0] == '#') s = dir_ + s.substr(1);
    a.push_back(s);
  }
  a.push_back("--quiet");
  const ProgramRun r = run(a);
  EXPECT_FALSE(r.signalled) << r.err;
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  EXPECT_EQ(r.err.rfind("amisim: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(GetParam().error), std::string::npos) << r.err;
}
INSTANTIATE_TEST_SUITE_P(AmisimInputs, BadRunTest, ::testing::ValuesIn(kBadRuns),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
