// Output parameter strings: number formats, texts, arrays, nesting, and the
// release of what the parser allocated.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "ami_tree/parser.h"
#include "ami_tree/writer.h"
#include "tests/ami_tree/tree_fixture.h"

namespace {

std::string grow(const ParamTree& tree) {
  char* text = GrowTree(tree);
  EXPECT_NE(text, nullptr);
  std::string out = text != nullptr ? text : "";
  std::free(text);
  return out;
}

std::string oneLeaf(const ParamNode& node) {
  ParamNode copy = node;
  return grow(ParamTree{"r", 1, &copy});
}

TEST(GrowTree, NamedExampleWithBranch) {
  ParamNode ctleChildren[] = {ParamNodeInt("ConfigSelect", 3)};
  ParamTree ctle{"CTLE", 1, ctleChildren};
  ParamNode children[] = {ParamNodeDouble("Gain", 2.5), ParamNodeSubtree("CTLE", &ctle)};
  EXPECT_EQ(grow(ParamTree{"rx_hcm_ctle_high", 2, children}),
            "(rx_hcm_ctle_high(Gain 2.5)(CTLE(ConfigSelect 3)))");
}

TEST(GrowTree, TreeWithoutChildren) {
  EXPECT_EQ(grow(ParamTree{"LP_rx", 0, nullptr}), "(LP_rx)");
}

TEST(GrowTree, BranchWithoutChildren) {
  ParamTree empty{"CTLE", 0, nullptr};
  ParamNode children[] = {ParamNodeSubtree("CTLE", &empty), ParamNodeDouble("x", 1)};
  EXPECT_EQ(grow(ParamTree{"r", 2, children}), "(r(CTLE)(x 1))");
}

TEST(GrowTree, ModelOutputTrees) {
  ParamNode taps[] = {ParamNodeDouble("3", 0.05), ParamNodeDouble("4", -0.01)};
  ParamTree tapTree{"TapWeights", 2, taps};
  ParamNode dfe[] = {ParamNodeDouble("Phase", 0.25), ParamNodeSubtree("TapWeights", &tapTree)};
  ParamTree dfeTree{"DFECDR", 2, dfe};
  ParamNode lpOut = ParamNodeSubtree("DFECDR", &dfeTree);
  EXPECT_EQ(grow(ParamTree{"LP_rx", 1, &lpOut}),
            "(LP_rx(DFECDR(Phase 0.25)(TapWeights(3 0.05)(4 -0.01))))");

  ParamNode ddr[] = {ParamNodeDouble("Phase", -0.125)};
  ParamTree ddrTree{"DFECDR", 1, ddr};
  ParamNode ddrOut = ParamNodeSubtree("DFECDR", &ddrTree);
  EXPECT_EQ(grow(ParamTree{"DDR_rx", 1, &ddrOut}), "(DDR_rx(DFECDR(Phase -0.125)))");

  ParamNode cfg[] = {ParamNodeDouble("ConfigSelect", 0.0)};
  ParamTree ctle{"CTLE", 1, cfg};
  ParamNode ctleOut = ParamNodeSubtree("CTLE", &ctle);
  EXPECT_EQ(grow(ParamTree{"rx_hcm_ctle_high", 1, &ctleOut}),
            "(rx_hcm_ctle_high(CTLE(ConfigSelect 0)))");
}

struct LeafCase {
  const char* name;
  ParamNode node;
  const char* want;
};

const double kInf = std::numeric_limits<double>::infinity();

const LeafCase kLeaves[] = {
    {"double_million", ParamNodeDouble("v", 1000000.0), "(r(v 1e+06))"},
    {"double_half", ParamNodeDouble("v", 0.5), "(r(v 0.5))"},
    {"double_minus_one", ParamNodeDouble("v", -1.0), "(r(v -1))"},
    {"double_zero", ParamNodeDouble("v", 0.0), "(r(v 0))"},
    {"double_negative_zero", ParamNodeDouble("v", -0.0), "(r(v -0))"},
    {"double_six_digits", ParamNodeDouble("v", 123456.0), "(r(v 123456))"},
    {"double_seven_digits", ParamNodeDouble("v", 1234567.0), "(r(v 1.23457e+06))"},
    {"double_small_plain", ParamNodeDouble("v", 0.0001), "(r(v 0.0001))"},
    {"double_small_exponent", ParamNodeDouble("v", 0.00001), "(r(v 1e-05))"},
    {"double_rounded", ParamNodeDouble("v", -0.6000000000000001), "(r(v -0.6))"},
    {"double_tiny", ParamNodeDouble("v", 1e-300), "(r(v 1e-300))"},
    {"double_infinity", ParamNodeDouble("v", kInf), "(r(v inf))"},
    {"double_minus_infinity", ParamNodeDouble("v", -kInf), "(r(v -inf))"},
    {"long_max", ParamNodeLong("v", 2147483647), "(r(v 2147483647))"},
    {"long_min", ParamNodeLong("v", -2147483647 - 1), "(r(v -2147483648))"},
    {"int_negative", ParamNodeInt("v", -42), "(r(v -42))"},
    {"short_minus_one", ParamNodeShort("v", -1), "(r(v -1))"},
    {"short_min", ParamNodeShort("v", -32768), "(r(v -32768))"},
    {"char_letter", ParamNodeChar("v", 'x'), "(r(v x))"},
    {"char_nul_left_out", ParamNodeChar("v", '\0'), "(r(v ))"},
};

class LeafFormatTest : public ::testing::TestWithParam<LeafCase> {};

TEST_P(LeafFormatTest, Exact) { EXPECT_EQ(oneLeaf(GetParam().node), GetParam().want); }

INSTANTIATE_TEST_SUITE_P(Table, LeafFormatTest, ::testing::ValuesIn(kLeaves),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(GrowTree, UnknownTypeWritesNothing) {
  ParamNode odd = ParamNodeDouble("v", 1.0);
  odd.type = static_cast<ParamType>(42);
  ParamNode children[] = {odd, ParamNodeDouble("w", 2.0)};
  EXPECT_EQ(grow(ParamTree{"r", 2, children}), "(r(w 2))");
}

struct TextCase {
  const char* name;
  const char* text;
  const char* want;
};

const TextCase kTexts[] = {
    {"plain", "NRZ", "(r(Modulation \"NRZ\"))"},
    {"with_space", "PAM 4", "(r(Modulation \"PAM 4\"))"},
    {"with_quote", "a\"b", "(r(Modulation \"a\"b\"))"},
    {"empty", "", "(r(Modulation \"\"))"},
    {"absent", nullptr, "(r(Modulation \"\"))"},
};

class TextFormatTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextFormatTest, Exact) {
  ParamNode node = ParamNodeString("Modulation", GetParam().text);
  EXPECT_EQ(grow(ParamTree{"r", 1, &node}), GetParam().want);
  std::free(node.value.text);
}

INSTANTIATE_TEST_SUITE_P(Table, TextFormatTest, ::testing::ValuesIn(kTexts),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(GrowTree, LongNamesAndTextsAreNeverTruncated) {
  const std::string longName(100000, 'n');
  const std::string longText(200000, 't');
  ParamNode leaf = ParamNodeString(longName.c_str(), longText.c_str());
  ParamTree root{longName.c_str(), 1, &leaf};
  EXPECT_EQ(grow(root), "(" + longName + "(" + longName + " \"" + longText + "\"))");
  FreeTree(root);
}

TEST(GrowTree, DeepNesting) {
  const int levels = 40;
  std::vector<ParamTree> trees(levels);
  std::vector<ParamNode> nodes(levels);
  for (int k = 0; k < levels; ++k) {
    trees[k] = ParamTree{"b", 1, &nodes[k]};
    nodes[k] = k + 1 < levels ? ParamNodeSubtree("b", &trees[k + 1]) : ParamNodeShort("v", -7);
  }
  std::string want;
  for (int k = 0; k < levels; ++k) want += "(b";
  want += "(v -7)" + std::string(levels, ')');
  EXPECT_EQ(grow(trees[0]), want);
}

// --- arrays ----------------------------------------------------------------

struct ArrayHolder {
  double doubles[3] = {0.1, 0.2, 0.3};
  std::int32_t ints[3] = {-1, 0, 2147483647};
  std::int16_t shorts[2] = {-32768, -1};
  ArrayVal make(ParamType type, void* values, std::int32_t count) {
    ArrayVal a = ArrayValEmpty(type);
    a.values = values;
    a.count = count;
    a.capacity = count;
    return a;
  }
};

std::string printed(const char* name, const ArrayVal& array) {
  char* text = print_array(name, array);
  std::string out = text != nullptr ? text : "<absent>";
  std::free(text);
  return out;
}

TEST(PrintArray, FormatsByArrayType) {
  ArrayHolder h;
  EXPECT_EQ(printed("Taps", h.make(ParamDoubleArray, h.doubles, 3)), "(Taps 0.1 0.2 0.3)");
  EXPECT_EQ(printed("I", h.make(ParamIntArray, h.ints, 3)), "(I -1 0 2147483647)");
  EXPECT_EQ(printed("L", h.make(ParamLongArray, h.ints, 3)), "(L -1 0 2147483647)");
  EXPECT_EQ(printed("S", h.make(ParamShortArray, h.shorts, 2)), "(S -32768 -1)");
  EXPECT_EQ(printed("One", h.make(ParamDoubleArray, h.doubles, 1)), "(One 0.1)");
}

TEST(PrintArray, PamThresholdsQuotedAsOneValue) {
  ArrayHolder h;
  EXPECT_EQ(printed("PAM_Thresholds", h.make(ParamDoubleArray, h.doubles, 3)),
            "(PAM_Thresholds \"0.1 0.2 0.3\")");
  EXPECT_EQ(printed("PAM_thresholds", h.make(ParamDoubleArray, h.doubles, 3)),
            "(PAM_thresholds 0.1 0.2 0.3)");
}

TEST(PrintArray, EmptyOrMalformedArrayIsAbsent) {
  ArrayHolder h;
  EXPECT_EQ(printed("Taps", ArrayValEmpty(ParamDoubleArray)), "<absent>");
  EXPECT_EQ(printed("Taps", h.make(ParamDoubleArray, nullptr, 3)), "<absent>");
  EXPECT_EQ(printed("Taps", h.make(ParamDouble, h.doubles, 3)), "<absent>");
}

TEST(GrowTree, EmptyArrayLeftOutWithItsName) {
  ArrayHolder h;
  ArrayVal empty = ArrayValEmpty(ParamIntArray);
  ArrayVal full = h.make(ParamDoubleArray, h.doubles, 2);
  ParamNode children[] = {ParamNodeArray("Empty", &empty), ParamNodeArray("Taps", &full),
                          ParamNodeArray("Missing", nullptr)};
  children[2].type = ParamShortArray;
  EXPECT_EQ(grow(ParamTree{"r", 3, children}), "(r(Taps 0.1 0.2))");
}

TEST(GrowTree, LongArrayIsWrittenWhole) {
  ArrayVal taps = ArrayValEmpty(ParamDoubleArray);
  ParamNode node = ParamNodeArray("Taps", &taps);
  ParamTree root{"r", 1, &node};
  std::string input = "(r (Taps";
  std::string want = "(r(Taps";
  for (int k = 0; k < 30000; ++k) {
    input += " " + std::to_string(k % 7) + ".5";
    want += " " + std::to_string(k % 7) + ".5";
  }
  input += "))";
  want += "))";
  TextBuffer message = TextBufferEmpty();
  EXPECT_EQ(ParseTree(input.c_str(), root, &message), 30000);
  EXPECT_EQ(grow(root), want);
  FreeTree(root);
  TextFree(&message);
}

// --- parse then write ---------------------------------------------------------

TEST(GrowTree, WritesWhatWasParsed) {
  CtleTree t;
  TextBuffer message = TextBufferEmpty();
  ParseTree("(rx_hcm_ctle_high (CTLE (Mode 0) (ConfigSelect 1e6)) (Modulation \"PAM 4\")"
            " (Taps 0.5 -2) (S 0x7fff) (C q))",
            t.root, &message);
  TextFree(&message);
  EXPECT_EQ(grow(t.root),
            "(rx_hcm_ctle_high(CTLE(Mode 0)(ConfigSelect 1e+06))(Modulation \"PAM 4\")"
            "(DLL_ID \"Rx_debug\")(AMI_Debug(Enable \"False\")(Start_Time 0))(DC_Offset 0)"
            "(Taps 0.5 -2)(L 0)(I 0)(S 32767)(C q)(D 0))");
}

// --- FreeTree ---------------------------------------------------------------

TEST(FreeTree, ReleasesTextsAndArraysThroughBranches) {
  CtleTree t;
  TextBuffer message = TextBufferEmpty();
  ParseTree("(rx_hcm_ctle_high (AMI_Debug (Enable yes)) (Taps 1 2) (Ints 3) (Shorts 4)"
            " (Longs 5) (Modulation PAM4))",
            t.root, &message);
  TextFree(&message);
  FreeTree(t.root);
  EXPECT_EQ(t.debugChildren[0].value.text, nullptr);
  EXPECT_EQ(t.rootChildren[1].value.text, nullptr);
  EXPECT_EQ(t.rootChildren[2].value.text, nullptr);
  EXPECT_EQ(t.taps.values, nullptr);
  EXPECT_EQ(t.taps.count, 0);
  EXPECT_EQ(t.taps.capacity, 0);
  EXPECT_EQ(t.ints.values, nullptr);
  // Records and names stay; the tree can be written (texts now absent).
  EXPECT_EQ(t.taps.type, ParamDoubleArray);
  EXPECT_STREQ(t.rootChildren[5].name, "Taps");
  FreeTree(t.root);  // harmless a second time; the fixture frees once more
}

TEST(FreeTree, ToleratesNullPointers) {
  ParamNode children[] = {ParamNodeSubtree("b", nullptr), ParamNodeArray("a", nullptr),
                          ParamNodeString("s", nullptr)};
  FreeTree(ParamTree{"r", 3, children});
  FreeTree(ParamTree{"r", 5, nullptr});
}

// --- EchoTree ---------------------------------------------------------------

class EchoTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/echo_tree_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    old_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    std::remove((dir_ + "/tarvo_echo_param.txt").c_str());
    EXPECT_EQ(chdir(old_.c_str()), 0);
    rmdir(dir_.c_str());
  }
  static std::string readEcho() {
    std::ifstream in("tarvo_echo_param.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_;
  std::string old_;
};

TEST_F(EchoTreeTest, WritesTextExactlyAndReplaces) {
  EchoTree("(r(a 1))\nsecond line");
  EXPECT_EQ(readEcho(), "(r(a 1))\nsecond line");
  EchoTree("short");
  EXPECT_EQ(readEcho(), "short");
  EchoTree(nullptr);
  EXPECT_EQ(readEcho(), "");
}

}  // namespace
