// Pseudo-random bit sequences and their mapping onto NRZ and PAM4 symbols.
#pragma once

#include <cstdint>
#include <vector>

namespace amisim {

// Fibonacci shift register for x^n + x^m + 1 (PRBS7: 7,6; PRBS15: 15,14;
// PRBS23: 23,18; PRBS31: 31,28). The period is 2^n - 1 bits.
struct Prbs {
  std::uint32_t order = 7;  // n: register length [bits], 7, 15, 23 or 31
  std::uint32_t tap = 6;    // m: second feedback tap [bit position, 1-based]
  std::uint32_t state = 0;  // register contents, low `order` bits, never all zero
};

// False for an order other than 7, 15, 23 or 31.
bool makePrbs(std::uint32_t order, std::uint32_t seed, Prbs* out);
// Next bit, 0 or 1.
int nextBit(Prbs& prbs);

// Symbol alphabets: NRZ has 2 levels, PAM4 4. Level index i (0 = lowest)
// stands for the amplitude (2i - (M - 1)) / (M - 1) x peak, so NRZ is +-1 and
// PAM4 is -1, -1/3, 1/3, 1.
double levelValue(int levelIndex, int levels);

// Gray mapping of two bits (first bit most significant) to a PAM4 level:
// 00 -> 0, 01 -> 1, 11 -> 2, 10 -> 3; grayBits is the inverse.
int grayLevel(int highBit, int lowBit);
void grayBits(int level, int* highBit, int* lowBit);

// count symbols of the given alphabet (2 or 4 levels) drawn from the
// sequence: NRZ takes one bit per symbol, PAM4 two.
std::vector<std::int8_t> makeSymbols(Prbs& prbs, std::size_t count, int levels);

}  // namespace amisim
