#include "model/rt_zcfcn.h"

namespace {

constexpr std::uint8_t kZero = 0, kPositive = 1, kNegative = 2;
constexpr std::uint8_t kRisingBits = 0x07, kFallingBits = 0x38;
constexpr std::uint8_t kNegToZero = 0x02, kZeroToPos = 0x04;
constexpr std::uint8_t kPosToZero = 0x10, kZeroToNeg = 0x20;

// Row: previous sign class; column: current sign class.
constexpr std::uint8_t eventMatrix[4][4] = {
    {0x00, 0x04, 0x20, 0x00},
    {0x10, 0x00, 0x08, 0x00},
    {0x02, 0x01, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00},
};

std::uint8_t signClass(double x) {
  if (x > 0.0) return kPositive;
  if (x < 0.0) return kNegative;
  return kZero;  // 0, -0 and NaN
}

std::uint8_t directionMask(std::int32_t direction) {
  switch (direction) {
    case 0: return 0x3F;
    case 1: return kRisingBits;
    case -1: return kFallingBits;
    default: return 0;
  }
}

}  // namespace

std::int32_t rt_ZCFcn(std::int32_t direction, ZCSigState* prevZc, double currValue) {
  const std::uint8_t prevClass = *prevZc & 0x03;
  const std::uint8_t prevEvent = static_cast<std::uint8_t>(*prevZc >> 2);
  const std::uint8_t currClass = signClass(currValue);
  std::uint8_t event = eventMatrix[prevClass][currClass];

  // A crossing through zero is reported once, when the signal reaches zero.
  const bool alreadyRose = (prevEvent & kNegToZero) != 0 && (event & kZeroToPos) != 0;
  const bool alreadyFell = (prevEvent & kPosToZero) != 0 && (event & kZeroToNeg) != 0;
  if ((event & directionMask(direction)) == 0 || alreadyRose || alreadyFell) event = 0;

  *prevZc = static_cast<ZCSigState>(currClass + event * 4);
  if ((event & kFallingBits) != 0) return -1;
  if ((event & kRisingBits) != 0) return 1;
  return 0;
}
