// DFE/CDR, revision B (models LP_rx and DDR_rx): a four-tap decision-feedback
// equaliser with an early/late clock and data recovery loop for NRZ and PAM4.
//
// Compared with revision A the decision stage keeps no arrays: one PAM4
// threshold between inner and outer symbols, fixed symbol values, internal
// taps equal to the tap weights (TapScale 1).
//
// Life of the time-domain record, as the frame drives it:
//   Rx_DFECDR_construct -> Rx_SystemCore_setup -> Rx_DFECDR_resetImpl, then per
//   sample Rx_DFECDR_refreshProperties followed by Rx_SystemCore_step (which
//   writes Mode, TapWeights and the offsets itself). Nothing to free.
// The statistical record is built fresh per initialisation
// (Rx_DFECDR_construct) and stepped once with Rx_SystemCore_step_n.
//
// Units: voltages in waveform units, times in seconds, phases in symbols (UI).
// Tap index k runs 0..3 in the arrays (taps 1 to 4).
#pragma once

#include <cstdint>

#include "blocks/dfecdr/dfecdr_constants.h"
#include "numeric/dyn_array.h"

namespace dfecdr_b {

// Construction values common to the DFE-only models.
inline constexpr double kTapMin[4] = {-0.095, -0.025, -0.02, -0.015};  // lower tap limits
inline constexpr double kTapMax[4] = {0.0, 0.025, 0.025, 0.015};       // upper tap limits
inline constexpr double kAdaptGain = dfecdr_common::kAdaptGain;
inline constexpr double kTapResolution = dfecdr_common::kTapResolution;
inline constexpr double kCountLimit = dfecdr_common::kCountLimit;
inline constexpr double kPhaseStep = dfecdr_common::kPhaseStep;  // UI per phase step
inline constexpr double kSamplerHysteresis = dfecdr_common::kSamplerHysteresis;
inline constexpr double kAveragingSymbols = dfecdr_common::kAveragingSymbols;
inline constexpr double kCdrMode = dfecdr_common::kCdrMode;
// PAM4 inner symbol value of this revision (deliberately not 1/6).
inline constexpr double kInnerSymbol = 0.167;

// Time-domain record. Fields isSetUp .. CdrMode are the block's properties;
// the rest is private state.
struct blk_DFECDR_Rx_T {
  std::int32_t isSetUp;    // 0 until setup, then 1
  bool propertiesChanged;  // a property write stored a new value while set up
  double SymbolTime;       // symbol time [s]
  double Modulation;       // number of levels M (2 NRZ, 4 PAM4)
  double SampleInterval;   // sample interval [s]
  double Mode;             // 0 no feedback, 1 fixed taps, 2 taps adapt
  double TapWeights[4];    // tap weights of taps 1..4 [V per symbol value]
  double AdaptGain;        // step size of the tap adaptation
  double TapResolution;    // quantisation step of a tap weight
  double CountLimit;       // ceiling of voteThreshold [votes]
  double PhaseStep;        // clock correction per phase step [UI]
  double TapScale;         // internal tap = TapScale * tap weight (1 here)
  double PhaseOffset;      // data instant offset from half a symbol after the edge [UI]
  double ReferenceOffset;  // sampling clock frequency offset [ppm]
  double SamplerHysteresis;  // coefficient of each sampler's previous decision
  double TapMin[4];        // lower tap-weight limits, taps 1..4
  double TapMax[4];        // upper tap-weight limits, taps 1..4
  double AveragingSymbols;   // time constant of level tracking [symbols]
  double CdrMode;          // 1: phase follows the votes; otherwise frozen

  double clockTimeOut;     // latest data instant minus SymbolTime/2, >= 0 [s]
  double phaseTime;        // latest data instant modulo SymbolTime [s]
  double samplesPerSymbol;   // SymbolTime/SampleInterval rounded half away [samples]
  double sampleIndex;      // samples processed since reset
  double edgeCountdown;    // samples to the next edge instant; fires when below 0
  double edgeSign;         // +0.5 or -0.5: sign of the latest edge sample
  double edgeSample;       // latest edge sample [V]
  double decision;         // latest decided symbol value
  double dataSample;       // latest data sample [V]
  double dataCountdown;    // samples to the next data instant; fires when below 0
  double previousOutput;   // output sample of the previous step [V]
  double voteCount;        // net early/late votes since the last phase step
  double voteThreshold;    // votes needed for the next phase step
  double previousDecision;   // the decision before `decision`
  double clockState;       // 1 after a data instant, 0 after an edge instant
  double pamThreshold;     // PAM4 threshold between inner and outer symbols [V]
  double amplitude;        // running mean of |data sample| [V]
  double innerLevel;       // running mean of the magnitudes below amplitude [V]
  double outerLevel;       // running mean of the magnitudes above amplitude [V]
  double averagingLength;  // samplesPerSymbol * AveragingSymbols [samples]
  double decisionHistory[4];  // last four decisions pushed at edge instants, newest first
  double tapAccumulators[4];  // internal taps before quantisation
  double appliedTaps[4];   // internal taps after clamp and quantisation (feedback)
  bool firstTuning;        // the next changed-property processing is the first
  double tapUpper[4];      // TapScale * TapMax
  double tapLower[4];      // TapScale * TapMin
  double tapStep[4];       // TapScale * TapResolution, same for all taps
};

// Statistical record, built fresh for every initialisation and stepped once.
struct blk_DFECDR_Rx_n_T {
  std::int32_t isSetUp;    // 0: the step initialises the record on first use
  double SymbolTime;       // [s]
  double Modulation;       // number of levels M
  double SampleInterval;   // [s]
  double Mode;             // 0, 1 or 2 as in the time-domain record
  double TapWeights[4];    // initial tap weights, taps 1..4
  double TapResolution;    // quantisation step of a tap weight
  double TapScale;         // set to 1 on first use
  double PhaseOffset;      // [UI]
  double TapMin[4];        // lower tap-weight limits
  double TapMax[4];        // upper tap-weight limits
  double AveragingSymbols;   // [symbols]
  double clockTimeOut;     // 0 [s]
  double phaseTime;        // cursor position within its symbol after the step [s]
  double samplesPerSymbol;   // [samples]
  double edgeSample;       // 0 (no edge sampled in this flow)
  double decision;         // 0
  double dataSample;       // 0
  double dataCountdown;    // samplesPerSymbol/2
  double voteCount;        // 0
  double clockState;       // 1
  double pamThreshold;     // cursor value / 3 for PAM4, else 0 [V]
  double amplitude;        // 0.333
  double innerLevel;       // 0.3
  double outerLevel;       // 0.4
  double tapAccumulators[4];  // internal taps before quantisation
  double appliedTaps[4];   // internal taps applied to the impulse response
  double tapUpper[4];      // TapScale * TapMax
  double tapLower[4];      // TapScale * TapMin
  double tapStep[4];       // TapScale * TapResolution
  bool firstTuning;        // written by the frame at construction; the step ignores it
};

// Diagnostic record of the statistical step, 11 doubles.
struct cdrOptional_Rx_T {
  double phase;           // phase output [UI]
  double symbol;          // decision
  double dataVoltage;     // dataSample
  double upperThreshold;  // pamThreshold when Modulation is 4, else 0
  double edgeVoltage;     // edgeSample
  double countdown;       // dataCountdown
  double votes;           // voteCount
  double innerLevel;      // innerLevel
  double outerLevel;      // outerLevel
  double amplitude;       // amplitude
  double pamThreshold;    // pamThreshold
};

// Side outputs of the statistical step that the frame keeps but does not use.
struct cdrStatSignals_Rx_T {
  double clockTime;    // clockTimeOut (0) [s]
  double clockSignal;  // clockState (1)
  cdrOptional_Rx_T diagnostics;
};

// ---- time-domain record ----------------------------------------------------

// Writes the frame's construction values (property writes before setup; they
// set no flag because isSetUp is 0 afterwards).
void Rx_DFECDR_construct(blk_DFECDR_Rx_T* obj, double symbolTime, double sampleInterval,
                         double modulation);
// Setup: isSetUp 1, Mode/offsets/TapWeights 0, TapScale 1, tap limits scaled.
void Rx_SystemCore_setup(blk_DFECDR_Rx_T* obj);
// Reset of the private state (timing, tracking, taps from TapWeights).
void Rx_DFECDR_resetImpl(blk_DFECDR_Rx_T* obj);

// Property writes. Each stores `value` into the property only when it differs
// and then sets propertiesChanged if the record is set up; returns whether it
// stored. `property` must point into `obj`.
// Plain comparison: a NaN differs from everything, itself included.
bool Rx_DFECDR_setProperty(blk_DFECDR_Rx_T* obj, double* property, double value);
// NaN-aware comparison: two NaNs count as equal.
bool Rx_DFECDR_setPropertyN(blk_DFECDR_Rx_T* obj, double* property, double value);
// Four-element property, written whole unless all four compare equal (plain).
bool Rx_DFECDR_setProperty4(blk_DFECDR_Rx_T* obj, double property[4], const double value[4]);
// The frame's refresh before every step: TapMin, TapMax (whole arrays), then
// AdaptGain, TapResolution, CountLimit, PhaseStep, SamplerHysteresis (the
// block constants above), SymbolTime, SampleInterval, Modulation (plain).
void Rx_DFECDR_refreshProperties(blk_DFECDR_Rx_T* obj, const double tapMin[4],
                                 const double tapMax[4], double symbolTime,
                                 double sampleInterval, double modulation);
// Clears propertiesChanged and rebuilds the taps from TapWeights (the first
// time also the limits and steps, and clears the decision history).
void Rx_DFECDR_processChangedProperties(blk_DFECDR_Rx_T* obj);

// Symbol decided for a data sample. PAM4 (modulation 4): +-0.5 outside
// +-pamThreshold, +-0.167 inside; any other modulation: +-0.5 by sign. A
// sample equal to a threshold, zero, or NaN takes the lower symbol.
double Rx_DFECDR_decide(double dataSample, double pamThreshold, double modulation);
// PAM4 level tracking on obj->dataSample: amplitude, inner/outer means and
// pamThreshold. Called only for modulation 4.
void Rx_DFECDR_trackLevels(blk_DFECDR_Rx_T* obj);

// One sample. Writes Mode, TapWeights, ReferenceOffset and PhaseOffset from the
// arguments (NaN-aware, element by element), processes changed properties,
// then samples, decides, tracks and moves the clock phase. All output pointers
// are required. Allocates nothing.
//   output         equalised sample [V]
//   tapWeightsOut  appliedTaps / TapScale
//   phaseOut       phaseTime / SymbolTime [UI]
//   clockTimeOutArg  clockTimeOut [s]
//   clockSignalOut   clockState (rises at each data instant)
//   thresholdOut   pamThreshold for PAM4, else 0
void Rx_SystemCore_step(blk_DFECDR_Rx_T* obj, double x, double Mode, const double TapWeights[4],
                        double ReferenceOffset, double PhaseOffset, double* output,
                        double tapWeightsOut[4], double* phaseOut, double* clockTimeOutArg,
                        double* clockSignalOut, double* thresholdOut);

// ---- statistical record ----------------------------------------------------

// Writes the frame's construction values: isSetUp 0, AveragingSymbols 50,
// TapResolution 1e-6, the tap limits above and the given inputs.
void Rx_DFECDR_construct(blk_DFECDR_Rx_n_T* obj, double symbolTime, double sampleInterval,
                         double modulation, double phaseOffset, double mode,
                         const double tapWeights[4]);

// Statistical step on the impulse matrix (rows x columns, column 1 the victim):
// impulseOut becomes a copy of impulseIn with the tap feedback added to column
// 1 (Mode != 0), tapWeightsOut the taps, phaseOut the cursor position within
// its symbol (0, 1] UI. When no cursor can be found (samples per symbol not a
// finite number in 1..rows, no crossing within the pulse, NaN in the victim
// column reaching the cursor) phaseOut is NaN and the impulse passes
// unchanged. Returns false when an array could not be sized: impulseOut is then
// a pass-through copy, or empty if it could not be sized itself; every output
// is still written. `signals` may be null.
bool Rx_SystemCore_step_n(blk_DFECDR_Rx_n_T* obj, const dynArray_real_T* impulseIn,
                          dynArray_real_T* impulseOut, double tapWeightsOut[4], double* phaseOut,
                          cdrStatSignals_Rx_T* signals);
// The work of Rx_SystemCore_step_n on an impulse matrix changed in place
// (the record must be initialised). Allocates its two working arrays once.
bool Rx_DFECDR_stepImpl(blk_DFECDR_Rx_n_T* obj, dynArray_real_T* impulse, double tapWeightsOut[4],
                        double* phaseOut, double* clockTimeOutArg, double* clockSignalOut,
                        cdrOptional_Rx_T* diagnostics);

}  // namespace dfecdr_b
