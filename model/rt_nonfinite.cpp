#include "model/rt_nonfinite.h"

#include <cstring>

namespace {

constexpr std::uint64_t kInfBits = 0x7ff0000000000000ULL;
constexpr std::uint64_t kMinusInfBits = 0xfff0000000000000ULL;
constexpr std::uint64_t kNaNBits = 0xfff8000000000000ULL;
constexpr std::uint32_t kInfFBits = 0x7f800000U;
constexpr std::uint32_t kMinusInfFBits = 0xff800000U;
constexpr std::uint32_t kNaNFBits = 0xffc00000U;

// Doubles are assembled from two 32-bit halves, as the getters are specified.
constexpr double doubleFromHalves(std::uint32_t high, std::uint32_t low) {
  return __builtin_bit_cast(double, (static_cast<std::uint64_t>(high) << 32) | low);
}
constexpr float floatFromBits(std::uint32_t bits) { return __builtin_bit_cast(float, bits); }

constexpr double kInf = doubleFromHalves(kInfBits >> 32, 0U);
constexpr double kMinusInf = doubleFromHalves(kMinusInfBits >> 32, 0U);
constexpr double kNaN = doubleFromHalves(kNaNBits >> 32, 0U);

// Writes only when the bits differ, so concurrent callers only ever read.
template <typename T>
void confirm(T& target, T value) {
  if (std::memcmp(&target, &value, sizeof(T)) != 0) target = value;
}

}  // namespace

double rtInf = kInf;
double rtMinusInf = kMinusInf;
double rtNaN = kNaN;
float rtInfF = floatFromBits(kInfFBits);
float rtMinusInfF = floatFromBits(kMinusInfFBits);
float rtNaNF = floatFromBits(kNaNFBits);

double rtGetInf() { return kInf; }
double rtGetMinusInf() { return kMinusInf; }
double rtGetNaN() { return kNaN; }
float rtGetInfF() { return floatFromBits(kInfFBits); }
float rtGetMinusInfF() { return floatFromBits(kMinusInfFBits); }
float rtGetNaNF() { return floatFromBits(kNaNFBits); }

void rt_InitInfAndNaN(std::size_t realSize) {
  (void)realSize;
  confirm(rtNaN, rtGetNaN());
  confirm(rtNaNF, rtGetNaNF());
  confirm(rtInf, rtGetInf());
  confirm(rtInfF, rtGetInfF());
  confirm(rtMinusInf, rtGetMinusInf());
  confirm(rtMinusInfF, rtGetMinusInfF());
}

bool rtIsInf(double value) { return value == rtInf || value == rtMinusInf; }

bool rtIsInfF(float value) { return value == rtInfF || value == rtMinusInfF; }

bool rtIsNaN(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & kInfBits) == kInfBits && (bits & 0x000fffffffffffffULL) != 0;
}

bool rtIsNaNF(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & kInfFBits) == kInfFBits && (bits & 0x007fffffU) != 0;
}
