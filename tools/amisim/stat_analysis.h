// Statistical view of an impulse response: its pulse response, main cursor,
// inter-symbol interference and the worst-case (peak distortion) eye.
#pragma once

#include <cstddef>
#include <vector>

namespace amisim {

struct PulseAnalysis {
  std::vector<double> pulse;        // response to one UI of unit amplitude [V/V], rows of dt
  bool valid = false;               // false when the pulse is empty, not finite or all zero
  std::size_t cursorRow = 0;        // row of the main cursor (0-based)
  double cursor = 0.0;              // pulse at cursorRow [V/V], sign kept
  std::vector<double> precursors;   // pulse one, two, ... UI before the cursor (up to 3)
  std::vector<double> postcursors;  // pulse one, two, ... UI after the cursor (up to 6)
  double isi = 0.0;                 // sum of |pulse| at every other whole UI from the cursor
  double eyeHeight = 0.0;           // worst-case inner eye height [V] for the amplitude and
                                    // alphabet; negative when ISI closes it
};

// pulse[n] = dt x sum_{s=0..sps-1} impulse[n - s], rows 0 .. size + sps - 2.
std::vector<double> pulseResponse(const std::vector<double>& impulse, double dt, int sps);

// The cursor is the row within half a UI of the pulse's largest magnitude
// whose worst-case eye is widest. Levels: 2 (NRZ) or 4 (PAM4); the
// transmitted levels are +-amplitude (and +-amplitude/3 for PAM4).
PulseAnalysis analysePulse(const std::vector<double>& impulse, double dt, int sps, int levels,
                           double amplitude);

}  // namespace amisim
