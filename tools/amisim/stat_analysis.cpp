#include "tools/amisim/stat_analysis.h"

#include <algorithm>
#include <cmath>

namespace amisim {

std::vector<double> pulseResponse(const std::vector<double>& impulse, double dt, int sps) {
  if (impulse.empty() || sps < 1) return {};
  const std::size_t s = static_cast<std::size_t>(sps);
  std::vector<double> pulse(impulse.size() + s - 1, 0.0);
  double running = 0.0;  // sum of the last sps impulse values
  for (std::size_t n = 0; n < pulse.size(); ++n) {
    if (n < impulse.size()) running += impulse[n];
    if (n >= s) running -= impulse[n - s];
    pulse[n] = dt * running;
  }
  return pulse;
}

namespace {

// sum of |pulse| at row +- k UI, k >= 1.
double isiAt(const std::vector<double>& pulse, std::size_t row, std::size_t sps) {
  double sum = 0.0;
  for (std::size_t r = row % sps; r < pulse.size(); r += sps)
    if (r != row) sum += std::fabs(pulse[r]);
  return sum;
}

}  // namespace

PulseAnalysis analysePulse(const std::vector<double>& impulse, double dt, int sps, int levels,
                           double amplitude) {
  PulseAnalysis a;
  a.pulse = pulseResponse(impulse, dt, sps);
  if (a.pulse.empty()) return a;
  std::size_t peakRow = 0;
  double peak = 0.0;
  for (std::size_t i = 0; i < a.pulse.size(); ++i) {
    if (!std::isfinite(a.pulse[i])) return a;
    if (std::fabs(a.pulse[i]) > peak) {
      peak = std::fabs(a.pulse[i]);
      peakRow = i;
    }
  }
  if (peak == 0.0) return a;
  const std::size_t s = static_cast<std::size_t>(sps);
  const double spacing = 2.0 * amplitude / static_cast<double>(levels - 1);
  double bestEye = -HUGE_VAL;
  const std::size_t first = peakRow >= s / 2 ? peakRow - s / 2 : 0;
  const std::size_t last = std::min(peakRow + s / 2, a.pulse.size() - 1);
  for (std::size_t row = first; row <= last; ++row) {
    const double isi = isiAt(a.pulse, row, s);
    const double eye = spacing * std::fabs(a.pulse[row]) - 2.0 * amplitude * isi;
    if (eye > bestEye) {
      bestEye = eye;
      a.cursorRow = row;
      a.isi = isi;
    }
  }
  a.cursor = a.pulse[a.cursorRow];
  a.eyeHeight = bestEye;
  for (std::size_t k = 1; k <= 3 && k * s <= a.cursorRow; ++k)
    a.precursors.push_back(a.pulse[a.cursorRow - k * s]);
  for (std::size_t k = 1; k <= 6 && a.cursorRow + k * s < a.pulse.size(); ++k)
    a.postcursors.push_back(a.pulse[a.cursorRow + k * s]);
  a.valid = true;
  return a;
}

}  // namespace amisim
