// Bit-for-bit comparison of doubles: -0.0 differs from 0.0, NaNs compare by
// their patterns.
#pragma once

#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

inline std::uint64_t bitsOf(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

inline std::string describe(double x) {
  std::ostringstream s;
  s << std::setprecision(17) << x << " (0x" << std::hex << bitsOf(x) << ")";
  return s.str();
}

inline ::testing::AssertionResult sameBits(double got, double want) {
  if (bitsOf(got) == bitsOf(want)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << describe(got) << ", want " << describe(want);
}

inline ::testing::AssertionResult sameBits(const std::vector<double>& got,
                                           const std::vector<double>& want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << "size " << got.size() << ", want " << want.size();
  for (std::size_t i = 0; i < got.size(); ++i)
    if (bitsOf(got[i]) != bitsOf(want[i]))
      return ::testing::AssertionFailure()
             << "element " << i << ": got " << describe(got[i]) << ", want " << describe(want[i]);
  return ::testing::AssertionSuccess();
}
