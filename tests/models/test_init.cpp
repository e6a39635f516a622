// AMI_Init of the three libraries: parameter binding and its messages, the
// output strings, the returned impulse matrix, the capacity limit, and the
// refusal of unusable arguments.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/same_bits.h"
#include "tests/models/ami_library.h"
#include "tests/models/signals.h"

namespace {

using rx_test::operator<<;

constexpr double kDt = kTestDt;
constexpr double kBit = 8.0 * kDt;  // 8 samples per symbol
constexpr long kRows = 64;
constexpr long kDeltaRow = 10;  // a one-sample channel; the cursor lands on row 16 (1-based)

const char kInfo0[] = "**Info** Received 0 parameters.\n";
const char kCtleOut[] = "(rx_hcm_ctle_high(CTLE(ConfigSelect 0)))";
const char kLpOut[] = "(LP_rx(DFECDR(Phase 1)(TapWeights(3 0)(4 0))))";
const char kDdrOut[] = "(DDR_rx(DFECDR(Phase 1)))";

// ---------------------------------------------------------------------------
// Messages and output strings, word for word.

struct MessageCase {
  const char* name;
  const char* model;
  const char* parameters;
  const char* message;
  const char* parametersOut;
};

const MessageCase kMessageCases[] = {
    {"ctle_empty", "rx_hcm_ctle_high", "", kInfo0, kCtleOut},
    {"lp_empty", "LP_rx", "", kInfo0, kLpOut},
    {"ddr_empty", "DDR_rx", "", kInfo0, kDdrOut},
    {"ctle_pam4_quoted", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (Modulation \"PAM4\"))",
     "**Info** Received 1 parameters.\n", kCtleOut},
    {"ctle_pam4_lower_case", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (Modulation pam4))",
     "**Info** Received 1 parameters.\n**Warning** Invalid Modulation. Setting to NRZ.\n",
     kCtleOut},
    {"ctle_nrz_single_quotes", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (Modulation 'NRZ'))",
     "**Info** Received 1 parameters.\n", kCtleOut},
    {"ctle_mismatched_quotes", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (Modulation 'PAM4))",
     "**Info** Received 1 parameters.\n**Warning** Invalid Modulation. Setting to NRZ.\n",
     kCtleOut},
    {"ctle_mode_half", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (Mode 0.5)))",
     "**Info** Received 1 parameters.\nInvalid CTLEParameter.Mode\n", kCtleOut},
    {"ctle_mode_two", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (Mode 2)))",
     "**Info** Received 1 parameters.\nInvalid CTLEParameter.Mode\n", kCtleOut},
    {"ctle_mode_zero", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (Mode 0)))",
     "**Info** Received 1 parameters.\n", kCtleOut},
    {"ctle_mode_within_tolerance", "rx_hcm_ctle_high",
     "(rx_hcm_ctle_high (CTLE (Mode 1.00000001)))", "**Info** Received 1 parameters.\n",
     kCtleOut},
    {"ctle_mode_nan", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (Mode nan)))",
     "**Info** Received 1 parameters.\nInvalid CTLEParameter.Mode\n", kCtleOut},
    {"ctle_config_select_3", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (ConfigSelect 3)))",
     "**Info** Received 1 parameters.\nInvalid CTLEParameter.ConfigSelect\n", kCtleOut},
    {"ctle_all_checks_in_binding_order", "rx_hcm_ctle_high",
     "(rx_hcm_ctle_high (Modulation PAM) (CTLE (ConfigSelect 1) (Mode 7)) (DC_Offset 0.01))",
     "**Info** Received 4 parameters.\nInvalid CTLEParameter.Mode\n"
     "Invalid CTLEParameter.ConfigSelect\n**Warning** Invalid Modulation. Setting to NRZ.\n",
     kCtleOut},
    {"lp_reference_offset_300", "LP_rx", "(LP_rx (DFECDR (ReferenceOffset 300)))",
     "**Info** Received 1 parameters.\n", kLpOut},
    {"lp_reference_offset_300_5", "LP_rx", "(LP_rx (DFECDR (ReferenceOffset 300.5)))",
     "**Info** Received 1 parameters.\nInvalid DFECDRParameter.ReferenceOffset\n", kLpOut},
    {"lp_reference_offset_minus_300", "LP_rx", "(LP_rx (DFECDR (ReferenceOffset -300)))",
     "**Info** Received 1 parameters.\n", kLpOut},
    {"lp_reference_offset_minus_300_5", "LP_rx", "(LP_rx (DFECDR (ReferenceOffset -300.5)))",
     "**Info** Received 1 parameters.\nInvalid DFECDRParameter.ReferenceOffset\n", kLpOut},
    {"lp_reference_offset_nan_passes", "LP_rx", "(LP_rx (DFECDR (ReferenceOffset nan)))",
     "**Info** Received 1 parameters.\n", kLpOut},
    {"lp_taps_3_and_4", "LP_rx", "(LP_rx (DFECDR (TapWeights (3 0.05) (4 -0.01))))",
     "**Info** Received 2 parameters.\n",
     "(LP_rx(DFECDR(Phase 1)(TapWeights(3 0.05)(4 -0.01))))"},
    {"lp_other_tap_entries_bind_nothing", "LP_rx",
     "(LP_rx (DFECDR (TapWeights (1 0.5) (2 0.5) (3 0.01))))",
     "**Info** Received 1 parameters.\n", "(LP_rx(DFECDR(Phase 1)(TapWeights(3 0.01)(4 0))))"},
    {"lp_mode_half", "LP_rx", "(LP_rx (DFECDR (Mode 0.5)))",
     "**Info** Received 1 parameters.\nInvalid DFECDRParameter.Mode\n", kLpOut},
    {"lp_phase_offset_quarter", "LP_rx", "(LP_rx (DFECDR (PhaseOffset 0.25)))",
     "**Info** Received 1 parameters.\n", "(LP_rx(DFECDR(Phase 0.25)(TapWeights(3 0)(4 0))))"},
    {"lp_all_checks_in_binding_order", "LP_rx",
     "(LP_rx (Modulation PAM-4) (DFECDR (Mode 3) (PhaseOffset 0.6) (ReferenceOffset 301)))",
     "**Info** Received 4 parameters.\nInvalid DFECDRParameter.ReferenceOffset\n"
     "Invalid DFECDRParameter.PhaseOffset\nInvalid DFECDRParameter.Mode\n"
     "**Warning** Invalid Modulation. Setting to NRZ.\n",
     kLpOut},
    {"ddr_phase_offset_minus_0_5", "DDR_rx", "(DDR_rx (DFECDR (PhaseOffset -0.5)))",
     "**Info** Received 1 parameters.\n", "(DDR_rx(DFECDR(Phase 0.5)))"},
    {"ddr_phase_offset_minus_0_6", "DDR_rx", "(DDR_rx (DFECDR (PhaseOffset -0.6)))",
     "**Info** Received 1 parameters.\nInvalid DFECDRParameter.PhaseOffset\n", kDdrOut},
    {"ddr_phase_offset_0_5", "DDR_rx", "(DDR_rx (DFECDR (PhaseOffset 0.5)))",
     "**Info** Received 1 parameters.\n", "(DDR_rx(DFECDR(Phase 0.5)))"},
    {"ddr_mode_two", "DDR_rx", "(DDR_rx (DFECDR (Mode 2)))",
     "**Info** Received 1 parameters.\nInvalid DFECDRParameter.Mode\n", kDdrOut},
    {"ddr_has_no_tap_parameters", "DDR_rx", "(DDR_rx (DFECDR (TapWeights (3 0.05))))", kInfo0,
     kDdrOut},
    {"ddr_reference_offset_300_5", "DDR_rx", "(DDR_rx (DFECDR (ReferenceOffset 300.5)))",
     "**Info** Received 1 parameters.\nInvalid DFECDRParameter.ReferenceOffset\n", kDdrOut},
    {"other_root_binds_nothing", "LP_rx", "(DDR_rx (DFECDR (Mode 5)))", kInfo0, kLpOut},
    {"parser_messages_come_first", "LP_rx", "junk (LP_rx (DFECDR (Mode 1 2)))",
     "**Error** Text encountered in parameter string when '(' or ')' was expected.\n\n"
     "**Warning** Extra white space and text encountered in value for Mode.\n"
     "**Error** Could not convert value for Mode.\n**Info** Received 1 parameters.\n",
     kLpOut},
    {"ctle_reports_only_config_select", "rx_hcm_ctle_high",
     "(rx_hcm_ctle_high (DC_Offset -0.003) (AMI_Debug (Enable False)))",
     "**Info** Received 2 parameters.\n", kCtleOut},
};

class MessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(MessageTest, MessagesAndOutputStringWordForWord) {
  const MessageCase& c = GetParam();
  const AmiLibrary& lib = AmiLibrary::get(c.model);
  ASSERT_TRUE(lib.ok());
  InitResult r = runInit(lib, deltaImpulse(kRows, kDeltaRow, kDt), kRows, 0, kDt, kBit,
                         c.parameters);
  EXPECT_EQ(r.status, 1);
  ASSERT_NE(r.memory, nullptr);
  EXPECT_EQ(r.message, c.message);
  EXPECT_EQ(r.parametersOut, c.parametersOut);
  EXPECT_EQ(lib.close(r.memory), 1);
}

INSTANTIATE_TEST_SUITE_P(Init, MessageTest, ::testing::ValuesIn(kMessageCases),
                         [](const auto& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// A replaced or alternative spelling binds exactly what its canonical form
// binds: the whole Init/GetWave cycle gives the same bits. A differing pair
// shows that the parameter reaches the model at all.

struct BindingCase {
  const char* name;
  const char* model;
  const char* parameters;
  const char* reference;
  bool same;
};

const BindingCase kBindingCases[] = {
    {"ctle_mode_half_is_mode_1", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (Mode 0.5)))",
     "(rx_hcm_ctle_high (CTLE (Mode 1)))", true},
    {"ctle_mode_default_is_1", "rx_hcm_ctle_high", "", "(rx_hcm_ctle_high (CTLE (Mode 1)))",
     true},
    {"ctle_mode_0_differs", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (Mode 0)))",
     "(rx_hcm_ctle_high (CTLE (Mode 1)))", false},
    {"ctle_config_select_3_is_0", "rx_hcm_ctle_high",
     "(rx_hcm_ctle_high (CTLE (ConfigSelect 3)))", "(rx_hcm_ctle_high (CTLE (ConfigSelect 0)))",
     true},
    {"ctle_dc_offset_differs", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (DC_Offset 0.1))", "",
     false},
    {"ctle_pam4_lower_case_is_nrz", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (Modulation pam4))",
     "(rx_hcm_ctle_high (Modulation NRZ))", true},
    {"lp_pam4_quoted_is_pam4", "LP_rx", "(LP_rx (Modulation \"PAM4\"))",
     "(LP_rx (Modulation PAM4))", true},
    {"lp_pam4_single_quoted_is_pam4", "LP_rx", "(LP_rx (Modulation 'PAM4'))",
     "(LP_rx (Modulation PAM4))", true},
    {"lp_pam4_differs_from_nrz", "LP_rx", "(LP_rx (Modulation PAM4))",
     "(LP_rx (Modulation NRZ))", false},
    {"lp_pam4_lower_case_is_nrz", "LP_rx", "(LP_rx (Modulation pam4))",
     "(LP_rx (Modulation NRZ))", true},
    {"lp_nrz_is_the_default", "LP_rx", "", "(LP_rx (Modulation \"NRZ\"))", true},
    {"lp_reference_offset_300_5_is_0", "LP_rx", "(LP_rx (DFECDR (ReferenceOffset 300.5)))",
     "(LP_rx (DFECDR (ReferenceOffset 0)))", true},
    {"lp_reference_offset_300_differs", "LP_rx", "(LP_rx (DFECDR (ReferenceOffset 300)))",
     "(LP_rx (DFECDR (ReferenceOffset 0)))", false},
    {"lp_mode_half_is_mode_1", "LP_rx", "(LP_rx (DFECDR (Mode 0.5)))",
     "(LP_rx (DFECDR (Mode 1)))", true},
    {"lp_mode_0_differs", "LP_rx", "(LP_rx (DFECDR (Mode 0)))", "(LP_rx (DFECDR (Mode 1)))",
     false},
    {"lp_taps_differ", "LP_rx", "(LP_rx (DFECDR (TapWeights (3 0.05) (4 -0.01))))", "", false},
    {"ddr_phase_offset_minus_0_6_is_0", "DDR_rx", "(DDR_rx (DFECDR (PhaseOffset -0.6)))",
     "(DDR_rx (DFECDR (PhaseOffset 0)))", true},
    {"ddr_phase_offset_minus_0_5_differs", "DDR_rx", "(DDR_rx (DFECDR (PhaseOffset -0.5)))",
     "(DDR_rx (DFECDR (PhaseOffset 0)))", false},
    {"ddr_pam4_differs_from_nrz", "DDR_rx", "(DDR_rx (Modulation PAM4))",
     "(DDR_rx (Modulation NRZ))", false},
};

class BindingTest : public ::testing::TestWithParam<BindingCase> {};

bool sameCycle(const Cycle& a, const Cycle& b) {
  return sameBits(a.init.impulse, b.init.impulse) && sameBits(a.run.wave, b.run.wave) &&
         sameBits(a.run.clockTimes, b.run.clockTimes) && a.run.callClocks == b.run.callClocks &&
         a.init.parametersOut == b.init.parametersOut &&
         a.run.parametersOut == b.run.parametersOut;
}

TEST_P(BindingTest, SameBitsAsTheReference) {
  const BindingCase& c = GetParam();
  const AmiLibrary& lib = AmiLibrary::get(c.model);
  ASSERT_TRUE(lib.ok());
  const Stimulus s = channelStimulus(c.model, 600, 8, 4);
  const Cycle a = runCycle(lib, c.parameters, s.impulse, s.rows, 0, s.dt, s.bitTime, s.wave,
                           {1000});
  const Cycle b = runCycle(lib, c.reference, s.impulse, s.rows, 0, s.dt, s.bitTime, s.wave,
                           {1000});
  ASSERT_EQ(a.init.status, 1);
  ASSERT_EQ(b.init.status, 1);
  EXPECT_EQ(sameCycle(a, b), c.same);
}

INSTANTIATE_TEST_SUITE_P(Init, BindingTest, ::testing::ValuesIn(kBindingCases),
                         [](const auto& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// The returned impulse matrix.

// Expected LP_rx / DDR_rx result for the one-sample channel: the tap feedback
// lands one, two, three and four symbols after the cursor (row 16, 1-based),
// half a symbol early: rows 20, 28, 36 and 44 (1-based).
std::vector<double> withFeedback(std::vector<double> impulse, const double taps[4]) {
  for (int k = 0; k < 4; ++k) {
    const std::size_t row = static_cast<std::size_t>(19 + 8 * k);
    impulse[row] = impulse[row] + taps[k] / kDt;
  }
  return impulse;
}

TEST(InitImpulse, LpRxFeedsItsFourTapsBackIntoTheVictim) {
  const AmiLibrary& lib = AmiLibrary::get("LP_rx");
  ASSERT_TRUE(lib.ok());
  const std::vector<double> in = deltaImpulse(kRows, kDeltaRow, kDt);
  InitResult r = runInit(lib, in, kRows, 0, kDt, kBit,
                         "(LP_rx (DFECDR (TapWeights (3 0.05) (4 -0.01))))");
  ASSERT_EQ(r.status, 1);
  const double taps[4] = {-0.04, -0.02, 0.05, -0.01};
  EXPECT_TRUE(sameBits(r.impulse, withFeedback(in, taps)));
  lib.close(r.memory);
}

TEST(InitImpulse, DdrRxFeedsItsFixedTapsBack) {
  const AmiLibrary& lib = AmiLibrary::get("DDR_rx");
  ASSERT_TRUE(lib.ok());
  const std::vector<double> in = deltaImpulse(kRows, kDeltaRow, kDt);
  InitResult r = runInit(lib, in, kRows, 0, kDt, kBit, "");
  ASSERT_EQ(r.status, 1);
  const double taps[4] = {-0.095, -0.025, -0.02, -0.015};
  EXPECT_TRUE(sameBits(r.impulse, withFeedback(in, taps)));
  lib.close(r.memory);
}

struct UnchangedCase {
  const char* name;
  const char* model;
  const char* parameters;
};

const UnchangedCase kUnchangedCases[] = {
    {"lp_mode_0", "LP_rx", "(LP_rx (DFECDR (Mode 0)))"},
    {"ddr_mode_0", "DDR_rx", "(DDR_rx (DFECDR (Mode 0)))"},
    {"ctle_mode_0", "rx_hcm_ctle_high", "(rx_hcm_ctle_high (CTLE (Mode 0)))"},
};

class UnchangedImpulseTest : public ::testing::TestWithParam<UnchangedCase> {};

TEST_P(UnchangedImpulseTest, NoEqualiserLeavesTheImpulseAsItWas) {
  const AmiLibrary& lib = AmiLibrary::get(GetParam().model);
  ASSERT_TRUE(lib.ok());
  const Stimulus s = channelStimulus(GetParam().model, 1, 8, 2);
  InitResult r = runInit(lib, s.impulse, s.rows, 0, s.dt, s.bitTime, GetParam().parameters);
  ASSERT_EQ(r.status, 1);
  EXPECT_TRUE(sameBits(r.impulse, s.impulse));
  lib.close(r.memory);
}

INSTANTIATE_TEST_SUITE_P(Init, UnchangedImpulseTest, ::testing::ValuesIn(kUnchangedCases),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(InitImpulse, CtleMode1EqualisesTheImpulse) {
  const AmiLibrary& lib = AmiLibrary::get("rx_hcm_ctle_high");
  ASSERT_TRUE(lib.ok());
  const Stimulus s = channelStimulus("rx_hcm_ctle_high", 1, 8, 2);
  InitResult r = runInit(lib, s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  ASSERT_EQ(r.status, 1);
  EXPECT_FALSE(sameBits(r.impulse, s.impulse));
  for (double v : r.impulse) EXPECT_TRUE(std::isfinite(v));
  lib.close(r.memory);
}

class ModelTest : public ::testing::TestWithParam<std::string> {
 protected:
  const AmiLibrary& lib() const { return AmiLibrary::get(GetParam()); }
};

// Values past the N = rows x (aggressors + 1) of the call are never touched.
TEST_P(ModelTest, OnlyTheVictimColumnIsCopiedWithoutAggressors) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = channelStimulus(GetParam(), 1, 8, 2);
  std::vector<double> buffer = s.impulse;
  for (long i = 0; i < s.rows; ++i) buffer.push_back(1e6 + static_cast<double>(i));
  const std::vector<double> tail(buffer.begin() + s.rows, buffer.end());
  InitResult r = runInit(lib(), buffer, s.rows, 0, s.dt, s.bitTime, "");
  ASSERT_EQ(r.status, 1);
  EXPECT_TRUE(sameBits(std::vector<double>(r.impulse.begin() + s.rows, r.impulse.end()), tail));
  lib().close(r.memory);
}

// The victim column is equalised alone; aggressor columns come back as given.
TEST_P(ModelTest, AggressorColumnsPassThrough) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = channelStimulus(GetParam(), 1, 8, 2);
  std::vector<double> matrix = s.impulse;
  for (int column = 1; column <= 2; ++column)
    for (long i = 0; i < s.rows; ++i)
      matrix.push_back(s.impulse[static_cast<std::size_t>(i)] * 0.1 * column);
  InitResult alone = runInit(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  InitResult r = runInit(lib(), matrix, s.rows, 2, s.dt, s.bitTime, "");
  ASSERT_EQ(alone.status, 1);
  ASSERT_EQ(r.status, 1);
  const std::vector<double> victim(r.impulse.begin(), r.impulse.begin() + s.rows);
  EXPECT_TRUE(sameBits(victim, alone.impulse));
  if (GetParam() != "rx_hcm_ctle_high") {  // the CTLE filters every column
    EXPECT_TRUE(sameBits(std::vector<double>(r.impulse.begin() + s.rows, r.impulse.end()),
                         std::vector<double>(matrix.begin() + s.rows, matrix.end())));
  }
  EXPECT_EQ(r.parametersOut, alone.parametersOut);
  lib().close(alone.memory);
  lib().close(r.memory);
}

// ---------------------------------------------------------------------------
// Capacity: the impulse buffers hold 8388608 values.

constexpr long kCapacity = 8388608;
const char kCapacityMessage[] =
    "**Info** Received 0 parameters.\n"
    "AMI model does not have the capacity to receive impulse_matrix of AMI_Init\n";

TEST(InitCapacity, ExactlyTheCapacityIsAccepted) {
  const AmiLibrary& lib = AmiLibrary::get("LP_rx");
  ASSERT_TRUE(lib.ok());
  const long rows = 4096;
  const long aggressors = kCapacity / rows - 1;
  std::vector<double> matrix(static_cast<std::size_t>(kCapacity) + 1, 0.0);
  matrix[kDeltaRow] = 1.0 / kDt;
  matrix[static_cast<std::size_t>(kCapacity) - 1] = 42.0;  // last value of the last column
  matrix[static_cast<std::size_t>(kCapacity)] = -7.0;      // beyond the matrix
  char* out = nullptr;
  char* msg = nullptr;
  void* memory = nullptr;
  char params[] = "";
  ASSERT_EQ(lib.init(matrix.data(), rows, aggressors, kDt, kBit, params, &out, &memory, &msg), 1);
  ASSERT_NE(memory, nullptr);
  EXPECT_STREQ(msg, kInfo0);
  EXPECT_STREQ(out, kLpOut);
  EXPECT_TRUE(sameBits(matrix[19], -0.04 / kDt));  // tap 1 feedback in the victim
  EXPECT_TRUE(sameBits(matrix[static_cast<std::size_t>(kCapacity) - 1], 42.0));
  EXPECT_TRUE(sameBits(matrix[static_cast<std::size_t>(kCapacity)], -7.0));
  lib.close(memory);
}

struct CapacityCase {
  const char* name;
  long rows;
  long aggressors;
  double bitTime;
};

const CapacityCase kCapacityCases[] = {
    {"one_value_more", kCapacity + 1, 0, kBit},
    {"one_column_more", 4096, kCapacity / 4096, kBit},
    {"aggressor_count_overflows", 8, LONG_MAX, kBit},
    {"largest_accepted_symbol_work", 1L << 20, 8, 4096.0 * kDt},  // rows x sps = 2^32
};

// One library per test process: the cases run in turn on each model.
class CapacityTest : public ::testing::TestWithParam<std::string> {};

// The refusal reads nothing of the matrix: a one-value buffer must do.
TEST_P(CapacityTest, RefusedWithTheCapacityMessage) {
  const AmiLibrary& lib = AmiLibrary::get(GetParam());
  ASSERT_TRUE(lib.ok());
  for (const CapacityCase& c : kCapacityCases) {
    SCOPED_TRACE(c.name);
    double one = 5.0;
    char* out = nullptr;
    char* msg = nullptr;
    void* memory = &one;
    char params[] = "";
    EXPECT_EQ(lib.init(&one, c.rows, c.aggressors, kDt, c.bitTime, params, &out, &memory, &msg),
              0);
    EXPECT_EQ(memory, nullptr);
    ASSERT_NE(msg, nullptr);
    EXPECT_STREQ(msg, kCapacityMessage);
    EXPECT_TRUE(sameBits(one, 5.0));
  }
}

INSTANTIATE_TEST_SUITE_P(Init, CapacityTest, ::testing::ValuesIn(allModels()),
                         [](const auto& i) { return i.param; });

// ---------------------------------------------------------------------------
// Arguments that cannot be used are refused before anything is read.

struct RefusalCase {
  const char* name;
  bool nullImpulse;
  bool nullMemory;
  long rows;
  long aggressors;
  double sampleInterval;
  double bitTime;
  const char* error;  // follows the received-count line
};

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

const RefusalCase kRefusalCases[] = {
    {"null_impulse", true, false, kRows, 0, kDt, kBit, "**Error** impulse_matrix is null.\n"},
    {"null_impulse_reported_before_rows", true, false, 0, -1, kDt, kBit,
     "**Error** impulse_matrix is null.\n"},
    {"rows_zero", false, false, 0, 0, kDt, kBit,
     "**Error** number_of_rows must be positive: 0.\n"},
    {"rows_negative", false, false, -5, 0, kDt, kBit,
     "**Error** number_of_rows must be positive: -5.\n"},
    {"rows_most_negative", false, false, LONG_MIN, 0, kDt, kBit,
     "**Error** number_of_rows must be positive: -9223372036854775808.\n"},
    {"rows_reported_before_aggressors", false, false, 0, -1, kDt, kBit,
     "**Error** number_of_rows must be positive: 0.\n"},
    {"aggressors_negative", false, false, kRows, -1, kDt, kBit,
     "**Error** aggressors must not be negative: -1.\n"},
    {"sample_interval_zero", false, false, kRows, 0, 0.0, kBit,
     "**Error** sample_interval must be a positive number: 0.\n"},
    {"sample_interval_negative", false, false, kRows, 0, -0.5, kBit,
     "**Error** sample_interval must be a positive number: -0.5.\n"},
    {"sample_interval_nan", false, false, kRows, 0, kNaN, kBit,
     "**Error** sample_interval must be a positive number: nan.\n"},
    {"sample_interval_infinite", false, false, kRows, 0, kInf, kBit,
     "**Error** sample_interval must be a positive number: inf.\n"},
    {"bit_time_zero", false, false, kRows, 0, kDt, 0.0,
     "**Error** bit_time must be a positive number: 0.\n"},
    {"bit_time_negative_infinite", false, false, kRows, 0, kDt, -kInf,
     "**Error** bit_time must be a positive number: -inf.\n"},
    {"bit_time_nan", false, false, kRows, 0, kDt, kNaN,
     "**Error** bit_time must be a positive number: nan.\n"},
    {"sample_interval_reported_before_bit_time", false, false, kRows, 0, kNaN, kNaN,
     "**Error** sample_interval must be a positive number: nan.\n"},
    {"samples_per_symbol_rounds_to_0", false, false, kRows, 0, 1.0, 0.49,
     "**Error** bit_time / sample_interval gives 0 samples per symbol; it must be from 1 to "
     "number_of_rows, and their product at most 4294967296.\n"},
    {"samples_per_symbol_above_rows", false, false, 2, 0, 1.0, 2.5,
     "**Error** bit_time / sample_interval gives 3 samples per symbol; it must be from 1 to "
     "number_of_rows, and their product at most 4294967296.\n"},
    {"samples_per_symbol_infinite", false, false, kRows, 0, 1e-300, 1e300,
     "**Error** bit_time / sample_interval gives inf samples per symbol; it must be from 1 to "
     "number_of_rows, and their product at most 4294967296.\n"},
    {"symbol_work_above_2_pow_32", false, false, 1L << 20, 0, 1.0, 4097.0,
     "**Error** bit_time / sample_interval gives 4097 samples per symbol; it must be from 1 to "
     "number_of_rows, and their product at most 4294967296.\n"},
    {"rows_huge", false, false, LONG_MAX, 0, 1.0, 1.0,
     "**Error** bit_time / sample_interval gives 1 samples per symbol; it must be from 1 to "
     "number_of_rows, and their product at most 4294967296.\n"},
};

class RefusalTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RefusalTest, EachCaseIsRefusedWithItsMessage) {
  const AmiLibrary& lib = AmiLibrary::get(GetParam());
  ASSERT_TRUE(lib.ok());
  for (const RefusalCase& c : kRefusalCases) {
    SCOPED_TRACE(c.name);
    double one = 5.0;  // the checks come before anything is read from the matrix
    char* out = nullptr;
    char* msg = nullptr;
    void* memory = &one;
    char params[] = "";
    const long status = lib.init(c.nullImpulse ? nullptr : &one, c.rows, c.aggressors,
                                 c.sampleInterval, c.bitTime, params, &out,
                                 c.nullMemory ? nullptr : &memory, &msg);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(memory, nullptr);
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(std::string(msg), std::string(kInfo0) + c.error);
    EXPECT_TRUE(sameBits(one, 5.0));
  }
}

INSTANTIATE_TEST_SUITE_P(Init, RefusalTest, ::testing::ValuesIn(allModels()),
                         [](const auto& i) { return i.param; });

TEST_P(ModelTest, NullMemoryPointerIsRefused) {
  ASSERT_TRUE(lib().ok());
  std::vector<double> impulse = deltaImpulse(kRows, kDeltaRow, kDt);
  char* msg = nullptr;
  char* out = nullptr;
  char params[] = "";
  EXPECT_EQ(lib().init(impulse.data(), kRows, 0, kDt, kBit, params, &out, nullptr, &msg), 0);
  ASSERT_NE(msg, nullptr);
  const std::string m = msg;
  EXPECT_EQ(m.rfind(std::string(kInfo0) + "**Error** ", 0), 0u) << m;
  EXPECT_EQ(m.back(), '\n');
  EXPECT_EQ(m.find('\n'), std::strlen(kInfo0) - 1);  // one error line after the count
  EXPECT_EQ(m.find('\n', std::strlen(kInfo0)), m.size() - 1);
}

// The parse and its messages come before the argument checks.
TEST_P(ModelTest, RefusalKeepsTheParserMessagesAndTheCount) {
  ASSERT_TRUE(lib().ok());
  const std::string params = "x (" + GetParam() + " (Modulation PAM4))";
  InitResult r = runInit(lib(), deltaImpulse(kRows, kDeltaRow, kDt), 0, 0, kDt, kBit,
                         params.c_str());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.memory, nullptr);
  EXPECT_EQ(r.message,
            "**Error** Text encountered in parameter string when '(' or ')' was expected.\n\n"
            "**Info** Received 1 parameters.\n"
            "**Error** number_of_rows must be positive: 0.\n");
}

// A refused call's message belongs to the calling thread until its next
// AMI_Init; calls on other threads leave it alone.
TEST_P(ModelTest, RefusalMessageStaysValidUntilTheNextInitOnThatThread) {
  ASSERT_TRUE(lib().ok());
  double one = 0.0;
  char* msg = nullptr;
  char* out = nullptr;
  void* memory = nullptr;
  char params[] = "";
  ASSERT_EQ(lib().init(&one, -1, 0, kDt, kBit, params, &out, &memory, &msg), 0);
  ASSERT_NE(msg, nullptr);
  const std::string want = std::string(kInfo0) + "**Error** number_of_rows must be positive: -1.\n";
  std::thread other([this] {
    double two = 0.0;
    char* otherMsg = nullptr;
    char* otherOut = nullptr;
    void* otherMemory = nullptr;
    char p[] = "";
    lib().init(&two, 0, 0, kDt, kBit, p, &otherOut, &otherMemory, &otherMsg);
    InitResult ok = runInit(lib(), deltaImpulse(kRows, kDeltaRow, kDt), kRows, 0, kDt, kBit, "");
    lib().close(ok.memory);
  });
  other.join();
  EXPECT_EQ(std::string(msg), want);
  // The next call on this thread replaces it.
  char* next = nullptr;
  ASSERT_EQ(lib().init(&one, kRows, -3, kDt, kBit, params, &out, &memory, &next), 0);
  EXPECT_EQ(std::string(next),
            std::string(kInfo0) + "**Error** aggressors must not be negative: -3.\n");
}

// A null parameter string reads as an empty one; null text outputs are skipped.
TEST_P(ModelTest, NullTextPointersAreHandled) {
  ASSERT_TRUE(lib().ok());
  const Stimulus s = channelStimulus(GetParam(), 100, 8, 2);
  InitResult empty = runInit(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, "");
  InitResult absent = runInit(lib(), s.impulse, s.rows, 0, s.dt, s.bitTime, nullptr);
  ASSERT_EQ(absent.status, 1);
  EXPECT_EQ(absent.message, kInfo0);
  EXPECT_EQ(absent.parametersOut, empty.parametersOut);
  EXPECT_TRUE(sameBits(absent.impulse, empty.impulse));

  std::vector<double> impulse = s.impulse;
  void* memory = nullptr;
  char params[] = "";
  ASSERT_EQ(lib().init(impulse.data(), s.rows, 0, s.dt, s.bitTime, params, nullptr, &memory,
                       nullptr),
            1);
  ASSERT_NE(memory, nullptr);
  EXPECT_TRUE(sameBits(impulse, empty.impulse));
  std::vector<double> wave = s.wave;
  std::vector<double> clocks(wave.size() + 1);
  EXPECT_EQ(lib().getWave(wave.data(), static_cast<long>(wave.size()), clocks.data(), nullptr,
                          memory),
            1);
  const WaveRun reference = runGetWave(lib(), empty.memory, s.wave, {static_cast<long>(s.wave.size())});
  EXPECT_TRUE(sameBits(wave, reference.wave));
  EXPECT_EQ(lib().close(memory), 1);
  lib().close(empty.memory);
  lib().close(absent.memory);
}

TEST_P(ModelTest, NullHandlesAreHarmless) {
  ASSERT_TRUE(lib().ok());
  double wave[4] = {0.1, 0.2, 0.3, 0.4};
  double clocks[5] = {7, 7, 7, 7, 7};
  char* out = nullptr;
  EXPECT_EQ(lib().getWave(wave, 4, clocks, &out, nullptr), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(sameBits(wave[0], 0.1));
  EXPECT_TRUE(sameBits(clocks[0], 7.0));
  EXPECT_EQ(lib().close(nullptr), 1);
}

INSTANTIATE_TEST_SUITE_P(Init, ModelTest, ::testing::ValuesIn(allModels()),
                         [](const auto& i) { return i.param; });

// ---------------------------------------------------------------------------
// A failed allocation of the model's groups is refused. The address space is
// limited in a child process, so that the 64 MiB impulse buffers cannot both
// be had there.

#ifndef RX_SANITIZE
long virtualMemoryBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7)) * 1024;
  return -1;
}

TEST_P(ModelTest, FailedAllocationIsRefused) {
  ASSERT_TRUE(lib().ok());
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    std::vector<double> impulse = deltaImpulse(kRows, kDeltaRow, kDt);
    std::string text(4096, '\0');  // room for the message, reserved before the limit
    const rlim_t limit = static_cast<rlim_t>(virtualMemoryBytes()) + (96u << 20);
    const struct rlimit lim = {limit, limit};
    setrlimit(RLIMIT_AS, &lim);
    char* msg = nullptr;
    char* out = nullptr;
    void* memory = &text;
    char params[] = "";
    const long status = lib().init(impulse.data(), kRows, 0, kDt, kBit, params, &out, &memory, &msg);
    const int n = std::snprintf(&text[0], text.size(), "%ld|%d|%s", status, memory == nullptr ? 1 : 0,
                                msg != nullptr ? msg : "<null>");
    if (write(fds[1], text.data(), static_cast<std::size_t>(n)) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  std::string got;
  char buffer[512];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    got.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(got, std::string("0|1|") + kInfo0 + "**Error** memory allocation error\n");
}
#endif

}  // namespace
