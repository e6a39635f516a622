// Process-wide infinity and NaN constants and bit-pattern tests.
//
// The values hold their bit patterns from program start (constant
// initialisation); rt_InitInfAndNaN only confirms them, so models created on
// several threads at once never race on these globals.
#pragma once

#include <cstddef>
#include <cstdint>

extern double rtInf;       // +infinity, 0x7ff0000000000000
extern double rtMinusInf;  // -infinity, 0xfff0000000000000
extern double rtNaN;       // quiet NaN with the sign bit set, 0xfff8000000000000
extern float rtInfF;       // 0x7f800000
extern float rtMinusInfF;  // 0xff800000
extern float rtNaNF;       // 0xffc00000

double rtGetInf();
double rtGetMinusInf();
double rtGetNaN();
float rtGetInfF();
float rtGetMinusInfF();
float rtGetNaNF();

// Stores the six values above (in the order NaN, NaNF, Inf, InfF, MinusInf,
// MinusInfF). realSize is ignored; doubles are always 64-bit here.
void rt_InitInfAndNaN(std::size_t realSize);

bool rtIsInf(double value);
bool rtIsInfF(float value);
bool rtIsNaN(double value);   // exponent all ones and mantissa non-zero
bool rtIsNaNF(float value);
