// Zero-crossing detection with a one-byte memory per watched signal.
#pragma once

#include <cstdint>

// Bits 0-1: sign class of the previous sample (0 zero, 1 positive, 2 negative,
// 3 no previous sample); bits 2-7: the event reported for that sample.
using ZCSigState = std::uint8_t;

constexpr ZCSigState kZcUninitialized = 3;

// direction: 1 rising, -1 falling, 0 either. Returns 1 for a rising crossing,
// -1 for a falling one, 0 for none. NaN and both zeros count as zero.
std::int32_t rt_ZCFcn(std::int32_t direction, ZCSigState* prevZc, double currValue);
