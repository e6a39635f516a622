// Conversions ignore the process's locale: a host running in a locale with a
// decimal comma still gets 0.5 read from "0.5" and written as "0.5".
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <locale.h>

#include "ami_tree/c_locale.h"
#include "ami_tree/parser.h"
#include "ami_tree/writer.h"
#include "tests/common/same_bits.h"

namespace {

const char* const kCommaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE"};

std::string formatHalf() {
  char text[32];
  std::snprintf(text, sizeof text, "%g", 0.5);
  return text;
}

class CommaLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kCommaLocales)
      if (std::setlocale(LC_ALL, name) != nullptr) {
        if (formatHalf() == "0,5") return;
      }
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no German locale (de_DE.UTF-8) is installed, so a decimal comma cannot "
                    "be set up; tools/install-deps.sh generates it";
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(CommaLocaleTest, ParseReadsDecimalPoint) {
  ParamNode leaf = ParamNodeDouble("v", 0.0);
  ArrayVal taps = ArrayValEmpty(ParamDoubleArray);
  ParamNode children[] = {leaf, ParamNodeArray("Taps", &taps)};
  ParamTree root{"r", 2, children};
  TextBuffer message = TextBufferEmpty();
  EXPECT_EQ(ParseTree("(r (v 0.5) (Taps 0.25 1,5))", root, &message), 3);
  EXPECT_EQ(message.text, nullptr);
  EXPECT_TRUE(sameBits(children[0].value.d, 0.5));
  ASSERT_EQ(taps.count, 2);
  EXPECT_TRUE(sameBits(static_cast<const double*>(taps.values)[0], 0.25));
  // A comma is no decimal point here: "1,5" reads as 1.
  EXPECT_TRUE(sameBits(static_cast<const double*>(taps.values)[1], 1.0));
  EXPECT_EQ(formatHalf(), "0,5");  // the host's locale is back in force
  FreeTree(root);
}

TEST_F(CommaLocaleTest, WriterWritesDecimalPoint) {
  double values[] = {0.5, -1.25};
  ArrayVal taps = ArrayValEmpty(ParamDoubleArray);
  taps.values = values;
  taps.count = 2;
  ParamNode children[] = {ParamNodeDouble("v", 0.5), ParamNodeArray("Taps", &taps)};
  char* text = GrowTree(ParamTree{"r", 2, children});
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "(r(v 0.5)(Taps 0.5 -1.25))");
  std::free(text);
  char* array = print_array("PAM_Thresholds", taps);
  ASSERT_NE(array, nullptr);
  EXPECT_STREQ(array, "(PAM_Thresholds \"0.5 -1.25\")");
  std::free(array);
  EXPECT_EQ(formatHalf(), "0,5");
}

TEST_F(CommaLocaleTest, FormattedMessagesUseDecimalPoint) {
  TextBuffer b = TextBufferEmpty();
  TextAppendf(&b, "%g %.3f", 0.5, 2.25);
  EXPECT_STREQ(b.text, "0.5 2.250");
  TextFree(&b);
}

TEST_F(CommaLocaleTest, ScopeSwitchesAndRestoresThisThread) {
  {
    const CLocaleScope outer;
    EXPECT_TRUE(outer.active());
    EXPECT_EQ(formatHalf(), "0.5");
    {
      const CLocaleScope inner;
      EXPECT_EQ(formatHalf(), "0.5");
    }
    EXPECT_EQ(formatHalf(), "0.5");  // the inner scope restored the outer one's C locale
  }
  EXPECT_EQ(formatHalf(), "0,5");
}

TEST_F(CommaLocaleTest, ThreadLocaleIsRestoredToo) {
  // A host may set a per-thread locale rather than the global one.
  std::setlocale(LC_ALL, "C");
  locale_t german = static_cast<locale_t>(0);
  for (const char* name : kCommaLocales) {
    german = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
    if (german != static_cast<locale_t>(0)) break;
  }
  ASSERT_NE(german, static_cast<locale_t>(0));
  const locale_t before = uselocale(german);
  EXPECT_EQ(formatHalf(), "0,5");
  ParamNode leaf = ParamNodeDouble("v", 0.0);
  TextBuffer message = TextBufferEmpty();
  EXPECT_EQ(ParseTree("(r (v 0.5))", ParamTree{"r", 1, &leaf}, &message), 1);
  EXPECT_TRUE(sameBits(leaf.value.d, 0.5));
  EXPECT_EQ(formatHalf(), "0,5");
  uselocale(before);
  freelocale(german);
}

TEST(CLocaleScope, WorksInTheDefaultLocale) {
  const CLocaleScope scope;
  EXPECT_TRUE(scope.active());
  EXPECT_EQ(formatHalf(), "0.5");
}

}  // namespace
