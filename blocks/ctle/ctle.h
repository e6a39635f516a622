// Continuous-time linear equaliser (CTLE) of the receiver, in two objects:
//
// - blk_CTLE_Rx_T, the time-domain CTLE: one fixed transfer function
//     H(s) = G (1 - s/z) / ((1 - s/p0)(1 - s/p1)),  G = 19.437929381981153 (25.773 dB),
//   discretised once at setup and stepped once per wave sample.
// - blk_CTLE_Rx_j_T, the statistical CTLE: eight configurations (DC gain 0 .. -7 dB) built
//   from a design table at its first step; it filters the impulse matrix with one of them,
//   chosen by ConfigSelect (Mode 1) or by scoring the equalised pulse response (Mode 2).
//
// Use by the frame:
//   time domain:  write isSetUp = 0, SymbolTime, SampleInterval, latchPending = true,
//                 timingCurrent = false; Rx_SystemCore_setup; zero the histories and
//                 cascadeState. Per sample: Rx_CTLE_refreshProperties, then Rx_CTLE_stepImpl.
//   statistical:  Rx_dynInitStruct_blk_CTLE; write isSetUp = 0, SampleInterval, SymbolTime,
//                 Mode, ConfigSelect, stepReady = false; Rx_SystemCore_step once;
//                 Rx_dynFreeStruct_blk_CTLE.
// Nothing here depends on a model's block-signal record: working storage is local.
#pragma once

#include <cstdint>

#include "blocks/ctle/ctle_coefficients.h"
#include "numeric/dyn_array.h"

// Time-domain CTLE. Owns no dynamic memory; the step allocates nothing.
struct blk_CTLE_Rx_T {
  std::int32_t isSetUp;          // 0 before setup, 1 after
  bool propertiesChanged;        // set by a property write after setup; cleared by the refresh
  double SymbolTime;             // symbol time [s]
  double SampleInterval;         // sample interval [s]; later changes do not recompute the filter
  double Mode;                   // 0 bypass, 2 adapt (filters as 1), any other value filters
  double ConfigSelect;           // configuration index reported by the step; selects nothing
  double numerator[3];           // b0, b1, b2
  double denominator[2];         // a1, a2 (a0 = 1 implied)
  double inputHistory[3];        // x[n], x[n-1], x[n-2], newest first [V]
  double outputHistory[2];       // y[n-1], y[n-2], newest first [V]
  double denominatorLead;        // a0, 1.0
  double order;                  // filter order, 2.0 (the step's fixed history lengths 3 and 2)
  double designSampleInterval;   // SampleInterval the coefficients were computed for [s]
  double designScale;            // 1.0
  bool filterReady;              // 1 once setup has computed the coefficients
  bool timingCurrent;            // 1 after setup; cleared by new SymbolTime/SampleInterval writes
  double latchedConfigSelect;    // ConfigSelect latched by the first Mode-2 step
  bool latchPending;             // true until the first Mode-2 step latches ConfigSelect
  double cascadeNumerator[5];    // one-section copy of b0..b2, zero-padded (not stepped)
  double cascadeDenominator[5];  // 1, a1, a2, 0, 0 (not stepped)
  double cascadeSections;        // 1.0
  double cascadeGain;            // G, 19.437929381981153
  double cascadeState[10];       // cascadeStateRows x 5, column-major; zero
  double cascadeStateRows;       // 2.0
  bool cascadeSelected;          // always 0: the step runs the direct form only
};

// Statistical CTLE. The coefficient arrays are owned through Rx_dynInitStruct_blk_CTLE /
// Rx_dynFreeStruct_blk_CTLE. The cascaded realisation is not provided (no built-in
// configuration needs it); see Rx_CTLE_stepImpl_a for what cascadeRequired = 1 does.
struct blk_CTLE_Rx_j_T {
  std::int32_t isSetUp;                // 0 before the first step, 1 after
  bool propertiesChanged;              // cleared at setup and every step
  std::int32_t inputSize[8];           // last impulse matrix size: rows, columns, then six 1s
  double SymbolTime;                   // symbol time [s]
  double SampleInterval;               // sample interval [s]
  double Mode;                         // 0 bypass, 1 fixed, 2 adapt; other values filter as 1
  double ConfigSelect;                 // requested configuration, an integer 0..7
  ctleCoefficients_Rx_T coefficients;  // discrete filters of the eight configurations
  double designSampleInterval;         // SampleInterval the coefficients were computed for [s]
  double designScale;                  // 1.0
  bool coefficientsReady;              // 1 once the coefficients are filled
  bool stepReady;                      // 1 from the start of the first step's setup
  bool cascadeRequired;                // 1 when a configuration lacks poles or repeats one
};

// --- time-domain CTLE -------------------------------------------------------------------

// Sets isSetUp = 1, Mode = ConfigSelect = 0, discretises H(s) at SampleInterval and clears
// the histories. Expects SymbolTime and SampleInterval written beforehand.
void Rx_SystemCore_setup(blk_CTLE_Rx_T* obj);

// Property refresh before each step: SymbolTime and SampleInterval compare plainly (a write
// clears timingCurrent), Mode and ConfigSelect NaN-aware. A write after setup marks
// propertiesChanged, which is cleared again before returning (no change needs handling).
// Returns true when at least one property was written.
bool Rx_CTLE_refreshProperties(blk_CTLE_Rx_T* obj, double symbolTime, double sampleInterval,
                               double mode, double configSelect);

// One wave sample [V]. Mode 0: *out = in, histories untouched; otherwise the direct-form-I
// filter. Reports ConfigSelect (Mode 2: the value latched at its first Mode-2 step).
void Rx_CTLE_stepImpl(blk_CTLE_Rx_T* obj, double in, double* out, double* configSelectOut);

// --- statistical CTLE -------------------------------------------------------------------

// Creates the coefficient arrays empty; false (all released) when memory runs out.
bool Rx_dynInitStruct_blk_CTLE(blk_CTLE_Rx_j_T* obj);
// Releases the coefficient arrays.
void Rx_dynFreeStruct_blk_CTLE(blk_CTLE_Rx_j_T* obj);

// The eight configurations from the design table: zeros (8 x 1) and poles (8 x 2, column
// after column) in Hz, DC gains 10^(-k/20) linear.
void Rx_CTLE_designConfigurations(double zeros[8], double poles[16], double dcGain[8]);

// Statistical step. impulse: rows x columns (column 0 the victim), read only; out: 2-D,
// resized to the same size. The first call runs the setup (configurations, realisation
// choice, coefficients). Writes the applied configuration to *configSelectOut before
// filtering. Returns false when an array could not be sized; out then has all sizes 0.
bool Rx_SystemCore_step(blk_CTLE_Rx_j_T* obj, const dynArray_real_T* impulse, dynArray_real_T* out,
                        double* configSelectOut);

// The step proper (after setup). Mode 0 copies; Mode 2 chooses a configuration from the
// victim column (configuration 0 when no score exists: all scores NaN, or no pulse could be
// formed); other modes use ConfigSelect. Each column is filtered periodically: the filter
// runs over [v; v] from zero state and the last rows outputs are kept.
// A ConfigSelect that is not an integer 0..7, and cascadeRequired = 1 (the cascaded
// realisation is not provided), pass the matrix through and report ConfigSelect unchanged.
bool Rx_CTLE_stepImpl_a(blk_CTLE_Rx_j_T* obj, const dynArray_real_T* impulse, dynArray_real_T* out,
                        double* configSelectOut);

// Truncated pulse of the adaptation: the samples inside the energy window (5e-5 < normalised
// cumulative energy < 0.99995) or the peak window (peak of |pulse| +- 3 samplesPerSymbol),
// in pulse order. u is 1-D and resized. Returns false when u could not be sized.
bool Rx_CTLE_truncatePulse(const dynArray_real_T* pulse, double samplesPerSymbol,
                           dynArray_real_T* u);

// Score of an equalised pulse (1-D, n samples) with samplesPerSymbol N: energy in the symbol
// window whose end values are equal, divided by the energy outside it. +Inf when nothing lies
// outside; NaN when the window cannot be placed: n = 0, no zero crossing of
// w(t) - w(t - N) after the peak before the pulse ends, or an N that is not finite.
double Rx_CTLE_PulseGoodness(const dynArray_real_T* pulse, double samplesPerSymbol);

// Index 0..7 of the highest score; ties keep the lower index, NaNs are skipped, all NaN
// gives 0.
std::int32_t Rx_CTLE_chooseConfiguration(const double scores[kCtleConfigCount]);
