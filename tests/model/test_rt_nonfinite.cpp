#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "model/rt_nonfinite.h"
#include "tests/common/same_bits.h"

namespace {

std::uint32_t floatBits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// Read before anything calls rt_InitInfAndNaN: the bits are there from start.
TEST(NonFinite, PatternsHoldFromProgramStart) {
  EXPECT_EQ(bitsOf(rtInf), 0x7ff0000000000000ULL);
  EXPECT_EQ(bitsOf(rtMinusInf), 0xfff0000000000000ULL);
  EXPECT_EQ(bitsOf(rtNaN), 0xfff8000000000000ULL);
  EXPECT_EQ(floatBits(rtInfF), 0x7f800000U);
  EXPECT_EQ(floatBits(rtMinusInfF), 0xff800000U);
  EXPECT_EQ(floatBits(rtNaNF), 0xffc00000U);
}

TEST(NonFinite, InitAndGettersGiveTheSameBits) {
  rt_InitInfAndNaN(sizeof(double));
  EXPECT_TRUE(sameBits(rtGetInf(), rtInf));
  EXPECT_TRUE(sameBits(rtGetMinusInf(), rtMinusInf));
  EXPECT_TRUE(sameBits(rtGetNaN(), rtNaN));
  EXPECT_EQ(bitsOf(rtNaN), 0xfff8000000000000ULL);
  EXPECT_EQ(floatBits(rtGetNaNF()), 0xffc00000U);
  EXPECT_EQ(floatBits(rtGetInfF()), 0x7f800000U);
  EXPECT_EQ(floatBits(rtGetMinusInfF()), 0xff800000U);
}

TEST(NonFinite, Classification) {
  double positiveNaN;
  const std::uint64_t payload = 0x7ff0000000000001ULL;  // signalling-pattern NaN
  std::memcpy(&positiveNaN, &payload, sizeof positiveNaN);
  EXPECT_TRUE(rtIsNaN(rtNaN));
  EXPECT_TRUE(rtIsNaN(positiveNaN));
  EXPECT_TRUE(rtIsNaN(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(rtIsNaN(rtInf));
  EXPECT_FALSE(rtIsNaN(rtMinusInf));
  EXPECT_FALSE(rtIsNaN(0.0));
  EXPECT_TRUE(rtIsInf(rtInf));
  EXPECT_TRUE(rtIsInf(rtMinusInf));
  EXPECT_FALSE(rtIsInf(rtNaN));
  EXPECT_FALSE(rtIsInf(std::numeric_limits<double>::max()));
  EXPECT_TRUE(rtIsNaNF(rtNaNF));
  EXPECT_FALSE(rtIsNaNF(rtInfF));
  EXPECT_TRUE(rtIsInfF(rtMinusInfF));
  EXPECT_FALSE(rtIsInfF(rtNaNF));
}

}  // namespace
