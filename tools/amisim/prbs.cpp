#include "tools/amisim/prbs.h"

namespace amisim {

bool makePrbs(std::uint32_t order, std::uint32_t seed, Prbs* out) {
  std::uint32_t tap = 0;
  switch (order) {
    case 7:
      tap = 6;
      break;
    case 15:
      tap = 14;
      break;
    case 23:
      tap = 18;
      break;
    case 31:
      tap = 28;
      break;
    default:
      return false;
  }
  const std::uint32_t mask = (1u << order) - 1u;
  std::uint32_t state = seed & mask;
  if (state == 0) state = mask;  // the all-zero state would lock the register
  *out = Prbs{order, tap, state};
  return true;
}

int nextBit(Prbs& p) {
  const std::uint32_t bit = ((p.state >> (p.order - 1)) ^ (p.state >> (p.tap - 1))) & 1u;
  const std::uint32_t mask = (1u << p.order) - 1u;
  p.state = ((p.state << 1) | bit) & mask;
  return static_cast<int>(bit);
}

double levelValue(int levelIndex, int levels) {
  if (levels < 2) return 0.0;
  return static_cast<double>(2 * levelIndex - (levels - 1)) / static_cast<double>(levels - 1);
}

int grayLevel(int highBit, int lowBit) {
  static const int kLevel[4] = {0, 1, 3, 2};  // indexed by 2 x high + low
  return kLevel[((highBit & 1) << 1) | (lowBit & 1)];
}

void grayBits(int level, int* highBit, int* lowBit) {
  static const int kCode[4] = {0, 1, 3, 2};  // level -> 2 x high + low
  const int code = kCode[level & 3];
  *highBit = code >> 1;
  *lowBit = code & 1;
}

std::vector<std::int8_t> makeSymbols(Prbs& prbs, std::size_t count, int levels) {
  std::vector<std::int8_t> symbols(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (levels == 4) {
      const int high = nextBit(prbs);
      const int low = nextBit(prbs);
      symbols[i] = static_cast<std::int8_t>(grayLevel(high, low));
    } else {
      symbols[i] = static_cast<std::int8_t>(nextBit(prbs));
    }
  }
  return symbols;
}

}  // namespace amisim
