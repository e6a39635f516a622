// Binding of parameter strings to a description tree: names, depths,
// conversions by type, arrays, texts, every binding message and their order.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ami_tree/parser.h"
#include "tests/ami_tree/tree_fixture.h"
#include "tests/common/same_bits.h"

namespace {

ParseOutcome parse(const char* input, const ParamTree& root) {
  TextBuffer message = TextBufferEmpty();
  const std::int32_t count = ParseTree(input, root, &message);
  ParseOutcome out{count, message.text != nullptr ? message.text : "", message.text == nullptr};
  if (message.text != nullptr) {
    EXPECT_EQ(std::strlen(message.text), message.length);
  }
  TextFree(&message);
  return out;
}

std::string convertError(const std::string& name) {
  return "**Error** Could not convert value for " + name + ".\n";
}
std::string extraText(const std::string& name) {
  return "**Warning** Extra white space and text encountered in value for " + name + ".\n";
}
std::string openAfterLeaf(const std::string& name) {
  return "**Error** '(' encountered in parameter string when value for " + name +
         " was expected.\n";
}

TEST(ParseTree, SetsLeafInBranch) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (CTLE (Mode 2)))", t.root);
  EXPECT_TRUE(sameBits(t.mode(), 2.0));
  EXPECT_EQ(r.count, 1);
  EXPECT_TRUE(r.absent);
}

TEST(ParseTree, WrongRootNameBindsNothingSilently) {
  CtleTree t;
  const ParseOutcome r = parse("(LP_rx (CTLE (Mode 2)))", t.root);
  EXPECT_TRUE(sameBits(t.mode(), 1.0));
  EXPECT_EQ(r.count, 0);
  EXPECT_TRUE(r.absent);
}

TEST(ParseTree, RootNameIsCaseSensitiveAndExact) {
  CtleTree t;
  EXPECT_EQ(parse("(RX_HCM_CTLE_HIGH (CTLE (Mode 2)))", t.root).count, 0);
  EXPECT_EQ(parse("(rx_hcm_ctle_hig (CTLE (Mode 2)))", t.root).count, 0);
  EXPECT_EQ(parse("(rx_hcm_ctle_highX (CTLE (Mode 2)))", t.root).count, 0);
  EXPECT_TRUE(sameBits(t.mode(), 1.0));
}

TEST(ParseTree, UnknownItemWithChildrenIsSkippedSilently) {
  CtleTree t;
  const ParseOutcome r =
      parse("(rx_hcm_ctle_high (Other (Deep (Mode 7)) (Mode 8)) (CTLE (Mode 0)))", t.root);
  EXPECT_TRUE(sameBits(t.mode(), 0.0));
  EXPECT_EQ(r.count, 1);
  EXPECT_TRUE(r.absent);
}

TEST(ParseTree, NameAtWrongDepthIsSkippedSilently) {
  CtleTree t;
  // Mode belongs to CTLE, not to the root; DC_Offset belongs to the root, not to CTLE.
  const ParseOutcome r =
      parse("(rx_hcm_ctle_high (Mode 5) (CTLE (DC_Offset 3)) (rx_hcm_ctle_high 4))", t.root);
  EXPECT_TRUE(sameBits(t.mode(), 1.0));
  EXPECT_TRUE(sameBits(t.rootChildren[4].value.d, 0.0));
  EXPECT_EQ(r.count, 0);
  EXPECT_TRUE(r.absent);
}

TEST(ParseTree, RootItemAfterTheFirstBindsAgain) {
  // Level 0 keeps listing the root once its item has closed, so a second root item binds too.
  CtleTree t;
  const ParseOutcome r =
      parse("(rx_hcm_ctle_high (D 1)) (rx_hcm_ctle_high (D 2) (CTLE (Mode 3)))", t.root);
  EXPECT_TRUE(sameBits(t.rootChildren[13].value.d, 2.0));
  EXPECT_TRUE(sameBits(t.mode(), 3.0));
  EXPECT_EQ(r.count, 3);
  EXPECT_TRUE(r.absent);
}

TEST(ParseTree, UnconvertibleValueKeepsOldValue) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (CTLE (Mode x)))", t.root);
  EXPECT_TRUE(sameBits(t.mode(), 1.0));
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.message, convertError("Mode"));
}

TEST(ParseTree, SecondValueForScalarWarnsAndKeepsFirst) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (CTLE (Mode 1 2)))", t.root);
  EXPECT_TRUE(sameBits(t.mode(), 1.0));
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.message, extraText("Mode") + convertError("Mode"));
}

TEST(ParseTree, SecondValueForTextWarnsAndKeepsFirst) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (Modulation PAM4 NRZ))", t.root);
  EXPECT_STREQ(t.modulation(), "PAM4");
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.message, extraText("Modulation") + convertError("Modulation"));
}

TEST(ParseTree, BranchTakesNoValue) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (CTLE 3))", t.root);
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.message, convertError("CTLE"));
}

TEST(ParseTree, RootTakesNoValue) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high 3)", t.root);
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.message, convertError("rx_hcm_ctle_high"));
}

TEST(ParseTree, OpenAfterLeafIsReportedAndSkipped) {
  CtleTree t;
  const ParseOutcome r =
      parse("(rx_hcm_ctle_high (CTLE (Mode (X 1) (Mode 4) (ConfigSelect 6))))", t.root);
  EXPECT_TRUE(sameBits(t.mode(), 1.0));
  EXPECT_TRUE(sameBits(t.ctleChildren[1].value.d, 0.0));
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.message, openAfterLeaf("Mode"));
}

TEST(ParseTree, SiblingsAfterSkippedPartBindAgain) {
  CtleTree t;
  const ParseOutcome r = parse(
      "(rx_hcm_ctle_high (CTLE (Mode (X 1)) (ConfigSelect 2)) (DC_Offset 0.25))", t.root);
  EXPECT_TRUE(sameBits(t.ctleChildren[1].value.d, 2.0));
  EXPECT_TRUE(sameBits(t.rootChildren[4].value.d, 0.25));
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.message, openAfterLeaf("Mode"));
}

TEST(ParseTree, FullModelStringBindsEverything) {
  CtleTree t;
  const ParseOutcome r = parse(
      "(rx_hcm_ctle_high\n  (CTLE (Mode 0) (ConfigSelect 0))\n  (Modulation \"PAM4\")\n"
      "  (DLL_ID trace_a)\n  (AMI_Debug (Enable True) (Start_Time 1e-9))\n  (DC_Offset -0.01))",
      t.root);
  EXPECT_EQ(r.count, 7);
  EXPECT_TRUE(r.absent);
  EXPECT_TRUE(sameBits(t.mode(), 0.0));
  EXPECT_STREQ(t.modulation(), "PAM4");
  EXPECT_STREQ(t.rootChildren[2].value.text, "trace_a");
  EXPECT_STREQ(t.debugChildren[0].value.text, "True");
  EXPECT_TRUE(sameBits(t.debugChildren[1].value.d, 1e-9));
  EXPECT_TRUE(sameBits(t.rootChildren[4].value.d, -0.01));
}

TEST(ParseTree, FormatKeywordBeforeName) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (Format DC_Offset 0.5))", t.root);
  EXPECT_TRUE(sameBits(t.rootChildren[4].value.d, 0.5));
  EXPECT_EQ(r.count, 1);
  EXPECT_TRUE(r.absent);
}

TEST(ParseTree, QuotedTextValueKeepsSpacesAndParens) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (DLL_ID \"my (run) 1\"))", t.root);
  EXPECT_STREQ(t.rootChildren[2].value.text, "my (run) 1");
  EXPECT_EQ(r.count, 1);
}

TEST(ParseTree, EmptyQuotesBindNothing) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (Modulation \"\"))", t.root);
  EXPECT_STREQ(t.modulation(), "NRZ");
  EXPECT_EQ(r.count, 0);
  // The grammar stays after message 5, so both ")" report it.
  const std::string msg5 =
      "**Error** ')' encountered in parameter string when '(' or text was expected.\n\n";
  EXPECT_EQ(r.message, msg5 + msg5);
}

TEST(ParseTree, AbsentAndEmptyInputReadAsEmpty) {
  CtleTree t;
  const ParseOutcome none = parse(nullptr, t.root);
  EXPECT_EQ(none.count, 0);
  EXPECT_TRUE(none.absent);
  const ParseOutcome empty = parse("", t.root);
  EXPECT_EQ(empty.count, 0);
  EXPECT_TRUE(empty.absent);
  EXPECT_STREQ(t.modulation(), "NRZ");
}

TEST(ParseTree, MessageTextIsResetFirst) {
  CtleTree t;
  TextBuffer message = TextBufferEmpty();
  TextAppend(&message, "old text\n");
  ParseTree("(rx_hcm_ctle_high (D 1))", t.root, &message);
  EXPECT_EQ(message.text, nullptr);
  EXPECT_EQ(message.length, 0u);
  ParseTree(") (rx_hcm_ctle_high (D 1))", t.root, &message);
  ASSERT_NE(message.text, nullptr);
  EXPECT_STREQ(message.text, "**Error** Too many close parens in parameter string.\n\n");
  TextFree(&message);
}

TEST(ParseTree, MessagesFollowCharacterOrderWithExtraLineFeedForMachines) {
  CtleTree t;
  // quote warning (lexer), conversion error (binding), message 3 (grammar),
  // then extra-text warning and conversion error (binding), then message 7.
  const ParseOutcome r = parse(
      "(rx_hcm_ctle_high (DC_Offset\"q) (CTLE (Mode z))) w (rx_hcm_ctle_high (D 1 2)))", t.root);
  const std::string quote =
      "**Warning** Ignoring unexpected quote found at \"q) (CTLE (Mode z))) w "
      "(rx_hcm_ctle_high (D 1 2))).\n\n";
  EXPECT_EQ(r.message,
            quote + convertError("DC_Offset") + convertError("Mode") +
                "**Error** Text encountered in parameter string when '(' or ')' was expected.\n\n" +
                extraText("D") + convertError("D") +
                "**Error** Too many close parens in parameter string.\n\n");
  EXPECT_EQ(r.count, 1);  // D = 1
  EXPECT_TRUE(sameBits(t.rootChildren[13].value.d, 1.0));
}

// A chain root > b1 > ... > b<branches> > v, to probe the depth ceiling.
struct Chain {
  std::vector<ParamTree> trees;
  std::vector<ParamNode> nodes;  // nodes[k] is the only child of trees[k]
  std::vector<std::string> names;
  explicit Chain(int branches) : trees(branches + 1), nodes(branches + 1), names(branches + 1) {
    for (int k = 0; k <= branches; ++k) names[k] = "b" + std::to_string(k);
    for (int k = 0; k <= branches; ++k) {
      trees[k] = ParamTree{names[k].c_str(), 1, &nodes[k]};
      nodes[k] = k < branches ? ParamNodeSubtree(names[k + 1].c_str(), &trees[k + 1])
                              : ParamNodeDouble("v", 0.0);
    }
  }
  std::string input() const {
    std::string s;
    for (std::size_t k = 0; k < trees.size(); ++k) s += "(" + names[k] + " ";
    s += "(v 9)";
    s += std::string(trees.size(), ')');
    return s;
  }
  double v() const { return nodes.back().value.d; }
};

TEST(ParseTree, LeafAtDepthFifteenBinds) {
  Chain chain(14);  // the leaf's item sits at depth 15
  const ParseOutcome r = parse(chain.input().c_str(), chain.trees[0]);
  EXPECT_EQ(r.count, 1);
  EXPECT_TRUE(r.absent);
  EXPECT_TRUE(sameBits(chain.v(), 9.0));
}

TEST(ParseTree, NestingBeyondFifteenIsRefused) {
  Chain chain(15);
  const ParseOutcome r = parse(chain.input().c_str(), chain.trees[0]);
  EXPECT_EQ(r.count, 0);
  EXPECT_TRUE(sameBits(chain.v(), 0.0));
  EXPECT_EQ(r.message.find("**Error** Parameter string nested too deeply.\n\n"), 0u);
}

TEST(ParseTree, VeryDeepInputStaysInBounds) {
  CtleTree t;
  std::string s = "(rx_hcm_ctle_high";
  for (int k = 0; k < 5000; ++k) s += " (CTLE";
  s += std::string(5000, ')');
  const ParseOutcome r = parse(s.c_str(), t.root);
  EXPECT_EQ(r.count, 0);
  EXPECT_NE(r.message.find("nested too deeply"), std::string::npos);
}

// --- conversions by type -----------------------------------------------------

struct ConversionCase {
  const char* name;
  const char* leaf;   // leaf name in the fixture
  const char* value;  // text after the name
  std::int32_t count;
  double d;           // expected value for D
  std::int64_t integer;  // expected value for L, I, S, or the character for C
};

const ConversionCase kConversions[] = {
    {"double_plain", "D", "2", 1, 2.0, 0},
    {"double_fraction", "D", "-0.6", 1, -0.6, 0},
    {"double_exponent", "D", "1.5e-3", 1, 1.5e-3, 0},
    {"double_leading_dot", "D", ".5", 1, 0.5, 0},
    {"double_trailing_text", "D", "12abc", 1, 12.0, 0},
    {"double_hex", "D", "0x10", 1, 16.0, 0},
    {"double_comma_stops", "D", "0,5", 1, 0.0, 0},
    {"double_infinity", "D", "inf", 1, std::numeric_limits<double>::infinity(), 0},
    {"double_overflow", "D", "1e400", 1, std::numeric_limits<double>::infinity(), 0},
    {"double_quoted_leading_space", "D", "\" 3.25\"", 1, 3.25, 0},
    {"double_quoted_space_ends", "D", "\"4 5\"", 1, 4.0, 0},
    {"double_text", "D", "x", 0, 0.0, 0},
    {"double_sign_only", "D", "-", 0, 0.0, 0},
    {"double_quoted_blank", "D", "\"  \"", 0, 0.0, 0},
    {"int_decimal", "I", "42", 1, 0, 42},
    {"int_hex", "I", "0x10", 1, 0, 16},
    {"int_hex_upper", "I", "0X1F", 1, 0, 31},
    {"int_octal", "I", "010", 1, 0, 8},
    {"int_octal_stops_at_9", "I", "09", 1, 0, 0},
    {"int_negative_hex", "I", "-0x10", 1, 0, -16},
    {"int_plus", "I", "+7", 1, 0, 7},
    {"int_trailing_text", "I", "12abc", 1, 0, 12},
    {"int_fraction_stops", "I", "3.9", 1, 0, 3},
    {"int_saturates_high", "I", "99999999999", 1, 0, INT32_MAX},
    {"int_saturates_low", "I", "-99999999999", 1, 0, INT32_MIN},
    {"int_text", "I", "x", 0, 0, 0},
    {"long_hex", "L", "0x7fffffff", 1, 0, INT32_MAX},
    {"long_octal", "L", "-017", 1, 0, -15},
    {"long_text", "L", "abc", 0, 0, 0},
    {"short_negative", "S", "-1", 1, 0, -1},
    {"short_hex", "S", "0x7fff", 1, 0, 32767},
    {"short_saturates_high", "S", "40000", 1, 0, 32767},
    {"short_saturates_low", "S", "-40000", 1, 0, -32768},
    {"short_octal", "S", "0777", 1, 0, 511},
    {"short_text", "S", "q", 0, 0, 0},
    {"char_first", "C", "abc", 1, 0, 'a'},
    {"char_digit", "C", "7", 1, 0, '7'},
    {"char_quoted_space", "C", "\" x\"", 1, 0, ' '},
};

class ConversionTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionTest, ValueAndCount) {
  const ConversionCase& c = GetParam();
  CtleTree t;
  const std::string input = std::string("(rx_hcm_ctle_high (") + c.leaf + " " + c.value + "))";
  const ParseOutcome r = parse(input.c_str(), t.root);
  EXPECT_EQ(r.count, c.count);
  if (c.count == 0) {
    EXPECT_EQ(r.message, convertError(c.leaf));
  } else {
    EXPECT_TRUE(r.absent) << r.message;
  }
  const std::string leaf = c.leaf;
  if (leaf == "D") {
    EXPECT_TRUE(sameBits(t.rootChildren[13].value.d, c.d));
  }
  if (leaf == "L") {
    EXPECT_EQ(t.rootChildren[9].value.l, c.integer);
  }
  if (leaf == "I") {
    EXPECT_EQ(t.rootChildren[10].value.i, c.integer);
  }
  if (leaf == "S") {
    EXPECT_EQ(t.rootChildren[11].value.s, c.integer);
  }
  if (leaf == "C") {
    EXPECT_EQ(t.rootChildren[12].value.c, static_cast<char>(c.integer));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ConversionTest, ::testing::ValuesIn(kConversions),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(ParseTree, EmptyQuotesLeaveCharAlone) {
  CtleTree t;
  EXPECT_EQ(parse("(rx_hcm_ctle_high (C \"\" ))", t.root).count, 0);
  EXPECT_EQ(t.rootChildren[12].value.c, '-');
}

TEST(ParseTree, NanReadDoesNotReachPastToken) {
  CtleTree t;
  // "nan" ends before "("; "(123)" is not a payload of that NaN but a fault of
  // its own: "(" after a value, then a second value.
  const ParseOutcome r = parse("(rx_hcm_ctle_high (D nan(123)))", t.root);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(bitsOf(t.rootChildren[13].value.d), 0x7ff8000000000000u);
  EXPECT_EQ(r.message,
            "**Error** '(' encountered in parameter string when ')' was expected.\n\n" +
                extraText("D") + convertError("D") +
                "**Error** Too many close parens in parameter string.\n\n");
}

TEST(ParseTree, ScalarWriteKeepsRestOfSlot) {
  CtleTree t;
  std::memset(&t.rootChildren[11].value, 0x5a, sizeof(ParamValue));
  parse("(rx_hcm_ctle_high (S -2))", t.root);
  unsigned char bytes[sizeof(ParamValue)];
  std::memcpy(bytes, &t.rootChildren[11].value, sizeof bytes);
  EXPECT_EQ(t.rootChildren[11].value.s, -2);
  for (std::size_t k = sizeof(std::int16_t); k < sizeof bytes; ++k) EXPECT_EQ(bytes[k], 0x5a);
}

// --- arrays ----------------------------------------------------------------

TEST(ParseTree, FailedArrayElementStaysAsZero) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (Taps 1 2 x 4))", t.root);
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.message, convertError("Taps"));
  ASSERT_EQ(t.taps.count, 4);
  const double* v = static_cast<const double*>(t.taps.values);
  EXPECT_TRUE(sameBits(std::vector<double>(v, v + 4), std::vector<double>{1.0, 2.0, 0.0, 4.0}));
}

TEST(ParseTree, FailedFirstArrayElementStays) {
  CtleTree t;
  const ParseOutcome r = parse("(rx_hcm_ctle_high (Ints y 0x10 010))", t.root);
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.message, convertError("Ints"));
  ASSERT_EQ(t.ints.count, 3);
  const std::int32_t* v = static_cast<const std::int32_t*>(t.ints.values);
  EXPECT_EQ(std::vector<std::int32_t>(v, v + 3), (std::vector<std::int32_t>{0, 16, 8}));
}

TEST(ParseTree, ArrayItemsAppendAcrossItemsAndParses) {
  CtleTree t;
  EXPECT_EQ(parse("(rx_hcm_ctle_high (Shorts -1 2) (Shorts 40000))", t.root).count, 3);
  EXPECT_EQ(parse("(rx_hcm_ctle_high (Shorts 7))", t.root).count, 1);
  ASSERT_EQ(t.shorts.count, 4);
  const std::int16_t* v = static_cast<const std::int16_t*>(t.shorts.values);
  EXPECT_EQ(std::vector<std::int16_t>(v, v + 4), (std::vector<std::int16_t>{-1, 2, 32767, 7}));
}

TEST(ParseTree, QuotedArrayIsOneElement) {
  CtleTree t;
  // A quoted value is one token: only its first number is read.
  EXPECT_EQ(parse("(rx_hcm_ctle_high (Longs \"5 6 7\" 8))", t.root).count, 2);
  ASSERT_EQ(t.longs.count, 2);
  const std::int32_t* v = static_cast<const std::int32_t*>(t.longs.values);
  EXPECT_EQ(std::vector<std::int32_t>(v, v + 2), (std::vector<std::int32_t>{5, 8}));
}

TEST(ParseTree, ManyArrayElements) {
  CtleTree t;
  std::string s = "(rx_hcm_ctle_high (Taps";
  for (int k = 0; k < 20000; ++k) s += " " + std::to_string(k);
  s += "))";
  EXPECT_EQ(parse(s.c_str(), t.root).count, 20000);
  ASSERT_EQ(t.taps.count, 20000);
  EXPECT_GE(t.taps.capacity, t.taps.count);
  const double* v = static_cast<const double*>(t.taps.values);
  for (int k = 0; k < 20000; ++k) ASSERT_TRUE(sameBits(v[k], static_cast<double>(k))) << k;
}

TEST(AddToArray, RefusesMismatchedOrMissingArray) {
  ArrayVal shorts = ArrayValEmpty(ParamShortArray);
  const char text[] = "5";
  const InLineString token{text, 1};
  EXPECT_EQ(AddToArray(token, ParamDoubleArray, &shorts), 0);  // width would not match storage
  EXPECT_EQ(AddToArray(token, ParamDouble, &shorts), 0);
  EXPECT_EQ(AddToArray(token, ParamShortArray, nullptr), 0);
  EXPECT_EQ(shorts.count, 0);
  EXPECT_EQ(shorts.values, nullptr);
  EXPECT_EQ(AddToArray(token, ParamShortArray, &shorts), 1);
  EXPECT_EQ(shorts.count, 1);
  EXPECT_EQ(static_cast<const std::int16_t*>(shorts.values)[0], 5);
  std::free(shorts.values);
}

TEST(AddToArray, ReadsOnlyTheToken) {
  ArrayVal ints = ArrayValEmpty(ParamIntArray);
  const char text[] = "123456";
  EXPECT_EQ(AddToArray(InLineString{text, 3}, ParamIntArray, &ints), 1);
  EXPECT_EQ(static_cast<const std::int32_t*>(ints.values)[0], 123);
  std::free(ints.values);
}

// --- texts and ownership -----------------------------------------------------

TEST(ParseTree, RepeatedTextValuesReplaceWithoutLeaking) {
  CtleTree t;
  const ParseOutcome r = parse(
      "(rx_hcm_ctle_high (Modulation PAM4) (Modulation \"NRZ\") (DLL_ID a) (DLL_ID bb)"
      " (AMI_Debug (Enable True)) (AMI_Debug (Enable t)))",
      t.root);
  EXPECT_EQ(r.count, 6);
  EXPECT_STREQ(t.modulation(), "NRZ");
  EXPECT_STREQ(t.rootChildren[2].value.text, "bb");
  EXPECT_STREQ(t.debugChildren[0].value.text, "t");
  // Parsing again into the same tree replaces again; the fixture's FreeTree
  // releases the last texts, and the leak check proves nothing else is left.
  EXPECT_EQ(parse("(rx_hcm_ctle_high (Modulation PAM4))", t.root).count, 1);
  EXPECT_STREQ(t.modulation(), "PAM4");
}

TEST(ParseTree, NullTextValueIsFilled) {
  ParamNode leaf = ParamNodeString("Name", nullptr);
  ParamTree root{"r", 1, &leaf};
  EXPECT_EQ(leaf.value.text, nullptr);
  EXPECT_EQ(parse("(r (Name x))", root).count, 1);
  EXPECT_STREQ(leaf.value.text, "x");
  FreeTree(root);
  EXPECT_EQ(leaf.value.text, nullptr);
}

TEST(ParseTree, HundredKilobyteInputs) {
  CtleTree t;
  // A quote in name position before a 100 kB word: the warning would not fit
  // and is dropped whole; the word matches no name.
  const std::string quoted = "(rx_hcm_ctle_high (\"" + std::string(100 * 1024, 'x') + " 1))";
  const ParseOutcome q = parse(quoted.c_str(), t.root);
  EXPECT_EQ(q.count, 0);
  EXPECT_TRUE(q.absent);

  // A 100 kB text value is stored whole.
  const std::string longText(100 * 1024, 'z');
  const std::string valued = "(rx_hcm_ctle_high (DLL_ID " + longText + "))";
  EXPECT_EQ(parse(valued.c_str(), t.root).count, 1);
  EXPECT_EQ(std::string(t.rootChildren[2].value.text), longText);

  // 50000 stray words give 50000 messages, all kept.
  std::string words;
  for (int k = 0; k < 50000; ++k) words += "w ";
  const ParseOutcome w = parse(words.c_str(), t.root);
  const std::string msg3 =
      "**Error** Text encountered in parameter string when '(' or ')' was expected.\n\n";
  EXPECT_EQ(w.message.size(), 50000 * msg3.size());
  EXPECT_EQ(w.message.substr(0, msg3.size()), msg3);
}

TEST(ParseTree, LongNumericTokenReadWhole) {
  CtleTree t;
  const std::string digits = "0." + std::string(5000, '0') + "1e5001";
  const std::string s = "(rx_hcm_ctle_high (D " + digits + "))";
  EXPECT_EQ(parse(s.c_str(), t.root).count, 1);
  EXPECT_TRUE(sameBits(t.rootChildren[13].value.d, 1.0));
}

}  // namespace
