// Block constants of the DFE/CDR that the frames of every model write, in
// construction and before each step. The tap limits are each model's own.
#pragma once

namespace dfecdr_common {

inline constexpr double kAdaptGain = 9.6e-5;       // step size of the tap adaptation
inline constexpr double kTapResolution = 1e-6;     // quantisation step of a tap weight
inline constexpr double kCountLimit = 16.0;        // ceiling of the votes per phase step
inline constexpr double kPhaseStep = 0.0078;       // clock correction per phase step [UI]
inline constexpr double kSamplerHysteresis = 0.0;  // weight of a sampler's previous decision
inline constexpr double kAveragingSymbols = 50.0;  // time constant of level tracking [symbols]
inline constexpr double kCdrMode = 1.0;            // 1: the phase follows the votes

}  // namespace dfecdr_common
