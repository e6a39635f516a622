// Each model's package: its .ami file against its library, loaded through
// dlopen as a simulator loads it, and its .ibs file against both.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/amisim/ami_file.h"
#include "tools/amisim/ami_library.h"
#include "tools/amisim/channel.h"

namespace {

using amisim::AmiFile;
using amisim::AmiFormat;
using amisim::AmiParameter;
using amisim::AmiToken;

struct PackageCase {
  const char* name;  // model: folder and root name
  const char* stem;  // file name of its .ami and .ibs
};
const PackageCase kPackages[] = {
    {"rx_hcm_ctle_high", "rx_hcm_ctle_high"}, {"LP_rx", "lp_rx"}, {"DDR_rx", "ddr_rx"}};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PackageCase& c, std::ostream* os) { *os << c.name; }

// The message each checked parameter gives for a value outside what it
// accepts; the parameters not named here accept every value.
const std::map<std::string, std::string> kCheckMessages = {
    {"CTLE.Mode", "Invalid CTLEParameter.Mode\n"},
    {"CTLE.ConfigSelect", "Invalid CTLEParameter.ConfigSelect\n"},
    {"DFECDR.ReferenceOffset", "Invalid DFECDRParameter.ReferenceOffset\n"},
    {"DFECDR.PhaseOffset", "Invalid DFECDRParameter.PhaseOffset\n"},
    {"DFECDR.Mode", "Invalid DFECDRParameter.Mode\n"},
    {"Modulation", "**Warning** Invalid Modulation. Setting to NRZ.\n"},
};

std::string text(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

class PackageTest : public ::testing::TestWithParam<PackageCase> {
 protected:
  void SetUp() override {
    const std::string model = GetParam().name;
    std::string error;
    ASSERT_TRUE(amisim::readAmiFile(
        std::string(RX_SOURCE_MODELS_DIR) + "/" + model + "/" + GetParam().stem + ".ami", &ami_,
        &error))
        << error;
    ASSERT_TRUE(
        amisim::loadAmiLibrary(std::string(RX_MODELS_DIR) + "/" + model + "/Rx.so", &lib_, &error))
        << error;
    amisim::LineParameters line;
    line.samplesPerUi = 8;
    ASSERT_TRUE(amisim::makeLineChannel(line, &channel_, &error)) << error;
    ui_ = 1.0 / line.bitRate;
  }

  struct Init {
    long status = 0;
    std::string message, out;
    void* memory = nullptr;
  };
  // AMI_Init with this parameter string; the instance stays open.
  Init init(const std::string& parameters) {
    Init r;
    std::vector<double> m = channel_.columns[0];
    std::vector<char> p(parameters.begin(), parameters.end());
    p.push_back('\0');
    char* out = nullptr;
    char* msg = nullptr;
    r.status = lib_.init(m.data(), static_cast<long>(m.size()), 0, channel_.sampleInterval, ui_,
                         p.data(), &out, &r.memory, &msg);
    if (msg != nullptr) r.message = msg;
    if (out != nullptr) r.out = out;
    return r;
  }
  // AMI_Init with the defaults and one override; returns the message.
  std::string messageFor(const std::string& name, const std::string& value) {
    int count = 0;
    const std::string s =
        amisim::buildParameterString(ami_, {{name, AmiToken{value, false}}}, &count);
    Init r = init(s);
    EXPECT_EQ(r.status, 1);
    if (r.memory != nullptr) lib_.close(r.memory);
    return r.message;
  }
  std::string received() const {
    return "**Info** Received " + std::to_string(sentCount()) + " parameters.\n";
  }
  int sentCount() const {
    int n = 0;
    for (const AmiParameter& p : ami_.parameters) n += amisim::isSent(p) ? 1 : 0;
    return n;
  }

  AmiFile ami_;
  amisim::AmiLibrary lib_;
  amisim::Channel channel_;
  double ui_ = 0.0;
};

TEST_P(PackageTest, DefaultsAreReceivedWithoutAnyOtherMessage) {
  EXPECT_EQ(ami_.root, GetParam().name);
  int count = 0;
  const std::string s = amisim::buildParameterString(ami_, {}, &count);
  EXPECT_EQ(count, sentCount());
  Init r = init(s);
  ASSERT_EQ(r.status, 1);
  EXPECT_EQ(r.message, received()) << s;
  lib_.close(r.memory);
}

// Inside every bound nothing is said; just outside, a checked parameter is
// refused with its message, the others pass silently.
TEST_P(PackageTest, BoundsAreTheOnesTheLibraryEnforces) {
  for (const AmiParameter& p : ami_.parameters) {
    if (!amisim::isSent(p)) continue;
    const std::string name = amisim::joinPath(p.path);
    const auto check = kCheckMessages.find(name);
    const std::string refused = received() + (check != kCheckMessages.end() ? check->second : "");
    if (p.format == AmiFormat::Range) {
      EXPECT_EQ(messageFor(name, text(p.min)), received()) << name;
      EXPECT_EQ(messageFor(name, text(p.max)), received()) << name;
      EXPECT_EQ(messageFor(name, text(p.typ)), received()) << name;
      EXPECT_EQ(messageFor(name, text(std::nextafter(p.min, -HUGE_VAL))), refused) << name;
      EXPECT_EQ(messageFor(name, text(std::nextafter(p.max, HUGE_VAL))), refused) << name;
    } else if (p.format == AmiFormat::List) {
      for (const AmiToken& v : p.list) {
        // True would switch the trace files on in the working directory.
        if (name == "AMI_Debug.Enable" && v.text == "True") continue;
        EXPECT_EQ(messageFor(name, v.text), received()) << name << " " << v.text;
      }
      if (p.type == amisim::AmiType::Integer) {
        for (const char* outside : {"-1", "0.5", "2", "7"}) {
          bool listed = false;
          for (const AmiToken& v : p.list)
            listed = listed || std::stod(v.text) == std::stod(outside);
          if (!listed) {
            EXPECT_EQ(messageFor(name, outside), refused) << name << " " << outside;
          }
        }
      } else if (p.type == amisim::AmiType::String) {
        EXPECT_EQ(messageFor(name, "PAM8"), refused) << name;
      }
    }
  }
}

// The .ami file lists exactly the values the library reports, with Usage Out
// or InOut, and the reported values lie within their Range or List, after
// AMI_Init and after AMI_GetWave.
TEST_P(PackageTest, ReportedValuesAreTheOutputsOfTheAmiFile) {
  std::set<std::string> declared;
  for (const AmiParameter& p : ami_.parameters)
    if (p.usage == amisim::AmiUsage::Out || p.usage == amisim::AmiUsage::InOut)
      declared.insert(amisim::joinPath(p.path));
  Init r = init(amisim::buildParameterString(ami_, {}, nullptr));
  ASSERT_EQ(r.status, 1);
  std::vector<double> wave(20000);
  for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = ((i / 8) % 3 == 0) ? 0.01 : -0.01;
  std::vector<double> clocks(wave.size() + 1);
  char* afterWave = nullptr;
  lib_.getWave(wave.data(), static_cast<long>(wave.size()), clocks.data(), &afterWave, r.memory);
  ASSERT_NE(afterWave, nullptr);
  for (const std::string& out : {r.out, std::string(afterWave)}) {
    std::set<std::string> reported;
    for (const auto& [name, value] : amisim::flattenParameterString(out)) {
      reported.insert(name);
      const AmiParameter* p = amisim::findParameter(ami_, name);
      ASSERT_NE(p, nullptr) << name;
      EXPECT_TRUE(amisim::valueAllowed(*p, AmiToken{value, false})) << name << " = " << value;
    }
    EXPECT_EQ(reported, declared) << out;
  }
  lib_.close(r.memory);
}

// A minimal receiver .ibs whose algorithmic model names the Linux 64-bit
// library and the .ami file of the same folder.
TEST_P(PackageTest, IbsFilePointsAtTheLibraryAndTheAmiFile) {
  const std::string stem = GetParam().stem;
  const std::string dir = std::string(RX_MODELS_DIR) + "/" + GetParam().name + "/";
  std::ifstream in(dir + stem + ".ibs");
  ASSERT_TRUE(in) << "no " << stem << ".ibs beside the library";
  std::map<std::string, std::string> keyword;  // first line of each [Keyword]
  std::string line, executable, lastKeyword;
  std::vector<std::string> order;
  while (std::getline(in, line)) {
    EXPECT_LE(line.size(), 80u) << line;
    if (!line.empty() && line[0] == '[') {
      const std::size_t close = line.find(']');
      ASSERT_NE(close, std::string::npos) << line;
      lastKeyword = line.substr(1, close - 1);
      std::string rest = line.substr(close + 1);
      rest.erase(0, rest.find_first_not_of(" \t"));
      keyword.emplace(lastKeyword, rest);
      order.push_back(lastKeyword);
    } else if (line.rfind("Executable", 0) == 0) {
      executable = line;
    } else if (lastKeyword == "Model" && line.rfind("Model_type", 0) == 0) {
      EXPECT_NE(line.find("Input"), std::string::npos) << line;
    }
  }
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order.front(), "IBIS Ver");
  EXPECT_EQ(order.back(), "End");
  EXPECT_EQ(keyword["File Name"], stem + ".ibs");
  EXPECT_EQ(keyword["Component"], GetParam().name);
  EXPECT_EQ(keyword["Model"], GetParam().name);
  for (const char* k :
       {"Package", "Pin", "Algorithmic Model", "End Algorithmic Model", "Voltage Range"})
    EXPECT_EQ(keyword.count(k), 1u) << k;
  std::istringstream words(executable);
  std::string exe, platform, library, amiName;
  words >> exe >> platform >> library >> amiName;
  EXPECT_EQ(platform.rfind("Linux", 0), 0u) << executable;
  EXPECT_EQ(platform.substr(platform.size() - 3), "_64") << executable;
  EXPECT_EQ(library, "Rx.so");
  EXPECT_EQ(amiName, stem + ".ami");
  EXPECT_TRUE(std::ifstream(dir + library).good());
  AmiFile beside;
  std::string error;
  ASSERT_TRUE(amisim::readAmiFile(dir + amiName, &beside, &error)) << error;
  EXPECT_EQ(beside.root, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(ModelPackages, PackageTest, ::testing::ValuesIn(kPackages),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
