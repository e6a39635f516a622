// Equalf, string_cat, the growable text and the node builders.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "ami_tree/param_tree.h"
#include "ami_tree/text_buffer.h"
#include "tests/common/same_bits.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct EqualfCase {
  const char* name;
  double a;
  double b;
  int want;
};

const EqualfCase kEqualf[] = {
    {"zeros", 0.0, 0.0, 1},
    {"signed_zeros", -0.0, 0.0, 1},
    {"same_infinity", kInf, kInf, 1},
    {"opposite_infinity", kInf, -kInf, 0},
    {"infinity_against_finite", kInf, 1.0, 0},
    {"one_part_in_1e10", 1.0, 1.0 + 1e-10, 1},
    {"zero_against_min_subnormal", 0.0, 4.9406564584124654e-324, 0},
    {"zero_against_one", 0.0, 1.0, 0},
    {"nan_nan", kNaN, kNaN, 0},
    {"one_nan", 1.0, kNaN, 0},
    // The last value above 1 still within the tolerance, and the first beyond it
    // (found by evaluating the ratio in double arithmetic).
    {"last_inside", 1.0, 0x1.000001ad7f2b1p+0, 1},
    {"first_outside", 1.0, 0x1.000001ad7f2b2p+0, 0},
    {"symmetric_inside", 0x1.000001ad7f2b1p+0, 1.0, 1},
    {"negatives_inside", -1.0, -1.00000005, 1},
    {"opposite_signs", 1.0, -1.0, 0},
    {"huge_inside", DBL_MAX, DBL_MAX * (1 - 1e-9), 1},
    {"huge_opposite", DBL_MAX, -DBL_MAX, 0},
    {"mode_half", 0.5, 1.0, 0},
};

class EqualfTest : public ::testing::TestWithParam<EqualfCase> {};

TEST_P(EqualfTest, Result) {
  EXPECT_EQ(Equalf(GetParam().a, GetParam().b), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Table, EqualfTest, ::testing::ValuesIn(kEqualf),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(StringCat, BothAbsentIsAbsent) { EXPECT_EQ(string_cat(nullptr, nullptr), nullptr); }

TEST(StringCat, AbsentTextGivesNewCopy) {
  const char more[] = "abc";
  char* got = string_cat(nullptr, more);
  ASSERT_NE(got, nullptr);
  EXPECT_NE(got, more);
  EXPECT_STREQ(got, "abc");
  std::free(got);
}

TEST(StringCat, AbsentMoreGivesTextItself) {
  char* text = string_cat(nullptr, "x");
  EXPECT_EQ(string_cat(text, nullptr), text);
  std::free(text);
}

TEST(StringCat, JoinsAndReleasesFirst) {
  char* text = string_cat(nullptr, "ab");
  text = string_cat(text, "");
  text = string_cat(text, "cd");
  EXPECT_STREQ(text, "abcd");
  std::free(text);  // the leak check proves the intermediate texts were released
}

TEST(TextBuffer, StartsAbsentAndGrows) {
  TextBuffer b = TextBufferEmpty();
  EXPECT_EQ(b.text, nullptr);
  EXPECT_TRUE(TextAppend(&b, nullptr));
  EXPECT_EQ(b.text, nullptr);
  EXPECT_TRUE(TextAppend(&b, "ab"));
  EXPECT_TRUE(TextAppendN(&b, "cdXYZ", 2));
  EXPECT_TRUE(TextAppendf(&b, "[%d %s %g]", -3, "s", 1e6));
  EXPECT_STREQ(b.text, "abcd[-3 s 1e+06]");
  EXPECT_EQ(b.length, std::strlen(b.text));
  TextFree(&b);
  EXPECT_EQ(b.text, nullptr);
  EXPECT_EQ(b.length, 0u);
}

TEST(TextBuffer, EmptyAppendMakesEmptyText) {
  TextBuffer b = TextBufferEmpty();
  EXPECT_TRUE(TextAppend(&b, ""));
  ASSERT_NE(b.text, nullptr);
  EXPECT_STREQ(b.text, "");
  TextFree(&b);
}

TEST(TextBuffer, LongFormattedTextIsWhole) {
  TextBuffer b = TextBufferEmpty();
  const std::string big(70000, 'q');
  EXPECT_TRUE(TextAppendf(&b, "<%s>", big.c_str()));
  EXPECT_TRUE(TextAppendf(&b, "%s", big.c_str()));
  EXPECT_EQ(std::string(b.text), "<" + big + ">" + big);
  EXPECT_GE(b.capacity, b.length + 1);
  TextFree(&b);
}

TEST(TextBuffer, ReleaseHandsOverAndEmpties) {
  TextBuffer b = TextBufferEmpty();
  TextAppend(&b, "kept");
  char* text = TextRelease(&b);
  EXPECT_EQ(b.text, nullptr);
  EXPECT_EQ(b.length, 0u);
  EXPECT_STREQ(text, "kept");
  std::free(text);
  EXPECT_EQ(TextRelease(&b), nullptr);
}

TEST(TextBuffer, NullBufferIsHarmless) {
  EXPECT_FALSE(TextAppend(nullptr, "x"));
  EXPECT_FALSE(TextAppendN(nullptr, "x", 1));
  EXPECT_FALSE(TextAppendf(nullptr, "x"));
  TextFree(nullptr);
  EXPECT_EQ(TextRelease(nullptr), nullptr);
}

TEST(ParamNodes, BuildersSetTypeAndValue) {
  const ParamNode d = ParamNodeDouble("d", -0.0);
  EXPECT_EQ(d.type, ParamDouble);
  EXPECT_TRUE(sameBits(d.value.d, -0.0));
  EXPECT_EQ(ParamNodeLong("l", -5).value.l, -5);
  EXPECT_EQ(ParamNodeShort("s", -5).type, ParamShort);
  ArrayVal shorts = ArrayValEmpty(ParamShortArray);
  EXPECT_EQ(ParamNodeArray("a", &shorts).type, ParamShortArray);
  ParamNode s = ParamNodeString("s", "NRZ");
  EXPECT_EQ(s.type, ParamString);
  EXPECT_STREQ(s.value.text, "NRZ");
  std::free(s.value.text);
  EXPECT_TRUE(IsArrayType(ParamIntArray));
  EXPECT_FALSE(IsArrayType(ParamString));
}

}  // namespace
