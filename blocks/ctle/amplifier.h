// Saturating amplifier: a memoryless, odd, soft-limiting curve with small-signal gain
// LinearGain and output limit +-Limit, evaluated by linear interpolation in a 63-point table.
// The curve is G x - G^3 x^3 / (6.75 L^2) for |x| <= 1.5 L / G and +-L beyond.
//
// Use by the frame: write isSetUp = 0, Limit = 0.424, LinearGain = 1.0; Rx_SystemCore_setup_ia.
// Per sample: sample = Rx_SaturatingAmplifier_output(obj, Amplifier_Mode input, sample).
#pragma once

#include <cstdint>

constexpr std::int32_t kAmplifierPoints = 63;  // table points
constexpr double kAmplifierLimit = 0.424;      // output limit [V]
constexpr double kAmplifierGain = 1.0;         // small-signal gain

struct blk_SaturatingAmplifier_Rx_T {
  std::int32_t isSetUp;    // 0 before setup, 1 after
  bool propertiesChanged;  // never set: property writes of the amplifier mark nothing
  double Mode;             // 1 applies the curve; any other value passes samples through
  double Limit;            // output limit [V], 0.424
  double LinearGain;       // small-signal gain, 1.0
  double inputGrid[kAmplifierPoints];    // input voltages [V], increasing, 0-based
  double outputTable[kAmplifierPoints];  // output voltage for each grid point [V]
};

// Builds the table for the current Limit and LinearGain: grid from -2L/G to +2L/G, point 31
// exactly 0; sets isSetUp = 1 and Mode = 0.
void Rx_SystemCore_setup_ia(blk_SaturatingAmplifier_Rx_T* obj);

// Table lookup of one sample [V]: table[0] at or below the grid, table[62] above it, linear
// interpolation inside (bisection over the grid). NaN gives NaN.
double Rx_SaturatingAmplifier_lookup(const blk_SaturatingAmplifier_Rx_T* obj, double sample);

// Per-sample step: restores Limit and LinearGain to their fixed values (the table is not
// rebuilt), takes amplifierMode over (NaN-aware), and applies the lookup when Mode is 1.
// Returns the amplified (or unchanged) sample. Allocates nothing.
double Rx_SaturatingAmplifier_output(blk_SaturatingAmplifier_Rx_T* obj, double amplifierMode,
                                     double sample);
