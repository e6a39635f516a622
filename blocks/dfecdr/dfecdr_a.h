// DFE/CDR, revision A: a four-tap decision-feedback equaliser with an
// early/late (bang-bang) clock and data recovery loop, for NRZ and PAM4.
//
// Two records: blk_DFECDR_Rx_T is stepped once per waveform sample;
// blk_DFECDR_Rx_m_T serves the single statistical step over an impulse
// response. Voltages are in waveform units, times in seconds, phases in
// symbols (UI). Tap arrays are indexed 0..3 for taps 1..4.
//
// Use by a frame, time-domain record:
//   blk_DFECDR_Rx_T d{};                       // all zero
//   Rx_dynInitStruct_blk_DFECDR(&d);           // arrays
//   Rx_DFECDR_construct(&d, bitTime, sampleInterval, modulation);
//   Rx_SystemCore_setup_i(&d);
//   Rx_DFECDR_resetImpl(&d);
//   per sample: Rx_DFECDR_writeProperties(&d, &props);   // or the setters
//               Rx_DFECDR_stepImpl(&d, x, &out, taps, &phase, &clkTime, &clkSig, &diag);
//   at the end: Rx_dynFreeStruct_blk_DFECDR(&d);
// Statistical record:
//   blk_DFECDR_Rx_m_T s{};
//   Rx_dynInitStruct_blk_DFECDR1(&s);
//   Rx_DFECDR_construct_m(&s, bitTime, sampleInterval, modulation, mode, taps, phaseOffset);
//   Rx_SystemCore_step_m(&s, impulseIn, impulseOut, tapsOut, &phase, &clkTime, &clkSig, &diag);
//   Rx_dynFreeStruct_blk_DFECDR1(&s);
//
// Symbol tables are built for 1 to kMaxLevels levels; other level counts
// (below 1, NaN, or above kMaxLevels) leave the tables empty, and the block
// then decides every symbol as 0 and tracks no levels.
#pragma once

#include <cstdint>

#include "numeric/dyn_array.h"

namespace dfecdr_a {

constexpr std::int32_t kMaxLevels = 32;  // 31 thresholds fit the diagnostic record

// Diagnostics of one step, 41 doubles.
struct cdrOptional {
  double phase;              // phase output of the step [UI]
  double symbol;             // latest decision [symbol value]
  double dataVoltage;        // latest data sample [V]
  double upperThreshold;     // PAM4: highest threshold; otherwise 0 [V]
  double edgeVoltage;        // latest edge sample [V]
  double countdown;          // samples until the next data instant
  double votes;              // net early/late votes since the last phase step
  double innerLevel;         // PAM4: mean magnitude of the inner levels; else 0.3 [V]
  double outerLevel;         // PAM4: mean magnitude of the outer levels; else 0.4 [V]
  double amplitude;          // running mean of the data-sample magnitude [V]
  double thresholdList[31];  // thresholds in their held order, zero-filled [V]
};

// The statistical step's diagnostics: the same layout.
struct cdrOptional_Rx_T {
  double phase;
  double symbol;
  double dataVoltage;
  double upperThreshold;
  double edgeVoltage;
  double countdown;
  double votes;
  double innerLevel;
  double outerLevel;
  double amplitude;
  double thresholdList[31];
};

// Time-domain record. Fields isSetUp .. CdrMode are the properties; the rest
// is private state.
struct blk_DFECDR_Rx_T {
  std::int32_t isSetUp;      // 0 before setup, 1 after
  bool propertiesChanged;    // a property changed while set up; handled before the next step
  double SymbolTime;         // symbol time [s]
  double Modulation;         // number of levels M (2 NRZ, 4 PAM4)
  double SampleInterval;     // sample interval [s]
  double Mode;               // 0 no feedback, 1 fixed taps, 2 adaptive taps
  double TapWeights[4];      // tap weights 1..4 [V fed back by an outer symbol]
  double AdaptGain;          // tap adaptation step size
  double TapResolution;      // quantisation step of a tap weight
  double CountLimit;         // largest vote count needed for a phase step
  double PhaseStep;          // phase correction per phase step [UI]
  double TapScale;           // internal tap = TapScale * tap weight
  double PhaseOffset;        // data instant offset from half a symbol after the edge [UI]
  double ReferenceOffset;    // sampling clock frequency offset [ppm]
  double SamplerHysteresis;  // weight of each sampler's previous decision
  double TapMin[4];          // lower tap weight limits, taps 1..4
  double TapMax[4];          // upper tap weight limits, taps 1..4
  double AveragingSymbols;   // time constant of level and threshold tracking [symbols]
  double CdrMode;            // 1: phase follows the votes; otherwise frozen

  double clockTimeOut;       // latest data instant minus half a symbol, >= 0 [s]
  double phaseTime;          // latest data instant modulo SymbolTime [s]
  double samplesPerSymbol;   // SymbolTime / SampleInterval, rounded half away from zero
  double sampleIndex;        // samples processed since reset
  double edgeCountdown;      // samples until the next edge instant; fires when below 0
  double edgeSign;           // +0.5 or -0.5: sign of the latest edge sample
  double edgeSample;         // latest edge sample [V]
  double decision;           // latest decided symbol value
  double dataSample;         // latest data sample [V]
  double dataCountdown;      // samples until the next data instant; fires when below 0
  double previousOutput;     // output sample of the previous step [V]
  double voteCount;          // net early/late votes since the last phase step
  double voteThreshold;      // votes needed for the next phase step (2 .. CountLimit)
  double previousDecision;   // the decision before `decision`
  double clockState;         // 1 after a data instant, 0 after an edge instant
  dynArray_real_T* thresholds;  // 1 x (M-1) decision thresholds [V]
  double amplitude;          // running mean of |data sample| [V]
  double innerLevel;         // PAM4: mean magnitude of the inner levels; else 0.3 [V]
  double outerLevel;         // PAM4: mean magnitude of the outer levels; else 0.4 [V]
  double averagingLength;    // samplesPerSymbol * AveragingSymbols [samples]
  double amplitudeTrend;     // smoothed per-symbol change of amplitude [V]
  double levelsLocked;       // 0: thresholds follow amplitude; 1: they follow the levels
  double trendSign;          // sign (-1, 0, 1) of amplitudeTrend at its previous update
  double trendFlips;         // number of sign changes of amplitudeTrend
  dynArray_real_T* symbols;  // 1 x M ideal symbol values, ascending
  dynArray_real_T* levels;   // 1 x M tracked level of each symbol [V]
  double decisionHistory[4];  // last four decisions pushed at edge instants, newest first
  double tapAccumulators[4];  // internal taps before quantisation
  double appliedTaps[4];      // internal taps after clamping and quantisation
  bool firstTuning;           // the next changed-property processing is the first
  double tapUpper[4];         // TapScale * TapMax
  double tapLower[4];         // TapScale * TapMin
  double tapStep[4];          // TapScale * TapResolution
};

// Statistical record.
struct blk_DFECDR_Rx_m_T {
  std::int32_t isSetUp;      // 0 until the first step initialises the record
  double SymbolTime;         // [s]
  double Modulation;         // number of levels M
  double SampleInterval;     // [s]
  double Mode;               // 0, 1 or 2 as above
  double TapWeights[4];      // initial tap weights, taps 1..4
  double TapResolution;      // quantisation step of a tap weight
  double TapScale;           // 2, set on first use
  double PhaseOffset;        // [UI]
  double TapMin[4];          // lower tap weight limits
  double TapMax[4];          // upper tap weight limits
  double AveragingSymbols;   // [symbols]
  double clockTimeOut;       // 0 [s]
  double samplesPerSymbol;   // SymbolTime / SampleInterval, rounded
  double edgeSample;         // 0 [V]
  double decision;           // 0
  double dataSample;         // 0 [V]
  double dataCountdown;      // samplesPerSymbol / 2
  double voteCount;          // 0
  double clockState;         // 1
  dynArray_real_T* thresholds;  // 1 x (M-1), filled by the step [V]
  double amplitude;          // 0.333 [V]
  double innerLevel;         // [V]
  double outerLevel;         // [V]
  double averagingLength;    // samplesPerSymbol * AveragingSymbols [samples]
  dynArray_real_T* symbols;  // 1 x M ideal symbol values
  double tapAccumulators[4];  // internal taps before quantisation
  double appliedTaps[4];      // internal taps after quantisation and clamping
  double tapUpper[4];         // TapScale * TapMax
  double tapLower[4];         // TapScale * TapMin
  double tapStep[4];          // TapScale * TapResolution
};

// Every property the frame refreshes before a step, in the order written.
struct DFECDRProperties_T {
  double TapMin[4];
  double TapMax[4];
  double AdaptGain;
  double TapResolution;
  double CountLimit;
  double PhaseStep;
  double SamplerHysteresis;
  double SymbolTime;
  double SampleInterval;
  double Modulation;
  double Mode;
  double TapWeights[4];
  double ReferenceOffset;
  double PhaseOffset;
};

// ---- time-domain record ---------------------------------------------------

// Creates thresholds, symbols and levels as empty 2-D arrays. False when
// memory ran out (the arrays that could not be made stay null; the block then
// works with empty tables).
bool Rx_dynInitStruct_blk_DFECDR(blk_DFECDR_Rx_T* obj);
// Frees the three arrays; harmless on null arrays.
void Rx_dynFreeStruct_blk_DFECDR(blk_DFECDR_Rx_T* obj);
// Construction values of model rx_hcm_ctle_high (isSetUp 0, so no flag is set).
void Rx_DFECDR_construct(blk_DFECDR_Rx_T* obj, double symbolTime, double sampleInterval,
                         double modulation);
void Rx_SystemCore_setup_i(blk_DFECDR_Rx_T* obj);
// False when a table could not be sized; it is then empty.
bool Rx_DFECDR_resetImpl(blk_DFECDR_Rx_T* obj);

// Property setters. A write stores the value only when it differs from the
// stored one and then sets propertiesChanged if the record is set up. Plain
// comparison: not equal as doubles (NaN always differs). NaN-aware: as plain,
// but two NaNs are equal. Arrays compare element by element and are written
// whole at the first difference.
void Rx_DFECDR_setTapMin(blk_DFECDR_Rx_T* obj, const double value[4]);   // plain
void Rx_DFECDR_setTapMax(blk_DFECDR_Rx_T* obj, const double value[4]);   // plain
void Rx_DFECDR_setAdaptGain(blk_DFECDR_Rx_T* obj, double value);         // plain
void Rx_DFECDR_setTapResolution(blk_DFECDR_Rx_T* obj, double value);     // plain
void Rx_DFECDR_setCountLimit(blk_DFECDR_Rx_T* obj, double value);        // plain
void Rx_DFECDR_setPhaseStep(blk_DFECDR_Rx_T* obj, double value);         // plain
void Rx_DFECDR_setSamplerHysteresis(blk_DFECDR_Rx_T* obj, double value); // plain
void Rx_DFECDR_setSymbolTime(blk_DFECDR_Rx_T* obj, double value);        // plain
void Rx_DFECDR_setSampleInterval(blk_DFECDR_Rx_T* obj, double value);    // plain
void Rx_DFECDR_setModulation(blk_DFECDR_Rx_T* obj, double value);        // plain
void Rx_DFECDR_setMode(blk_DFECDR_Rx_T* obj, double value);              // NaN-aware
void Rx_DFECDR_setTapWeights(blk_DFECDR_Rx_T* obj, const double value[4]);  // NaN-aware
void Rx_DFECDR_setReferenceOffset(blk_DFECDR_Rx_T* obj, double value);   // NaN-aware
void Rx_DFECDR_setPhaseOffset(blk_DFECDR_Rx_T* obj, double value);       // NaN-aware
// All of the above, in the order of DFECDRProperties_T.
void Rx_DFECDR_writeProperties(blk_DFECDR_Rx_T* obj, const DFECDRProperties_T* props);

// Handles a pending property change: the first one rebuilds taps, tap limits
// and steps and clears the decision history; later ones only take the taps
// over from TapWeights. Does nothing when propertiesChanged is clear.
void Rx_DFECDR_processChangedProperties(blk_DFECDR_Rx_T* obj);

// One waveform sample. Handles a pending property change first, then
// equalises x into *output, runs the samplers and the clock loop, and writes
// the tap weights (appliedTaps / TapScale), the phase (phaseTime / SymbolTime
// [UI]), the clock time [s], the clock signal (clockState) and diagnostics.
// Allocates nothing.
void Rx_DFECDR_stepImpl(blk_DFECDR_Rx_T* obj, double x, double* output, double tapWeightsOut[4],
                        double* phaseOut, double* clockTimeOutArg, double* clockSignalOut,
                        cdrOptional* diagnostics);

// ---- statistical record ---------------------------------------------------

bool Rx_dynInitStruct_blk_DFECDR1(blk_DFECDR_Rx_m_T* obj);
void Rx_dynFreeStruct_blk_DFECDR1(blk_DFECDR_Rx_m_T* obj);
// Construction values of model rx_hcm_ctle_high plus the frame's inputs.
void Rx_DFECDR_construct_m(blk_DFECDR_Rx_m_T* obj, double symbolTime, double sampleInterval,
                           double modulation, double mode, const double tapWeights[4],
                           double phaseOffset);

// Statistical step over an impulse matrix (rows x columns, column 1 the
// victim): impulseOut becomes the matrix after decision feedback, and the tap
// weights, the cursor phase [UI], the clock time (0) and clock signal (1) and
// diagnostics are written. When no cursor can be found (no crossing within
// the pulse, non-finite samples or a degenerate samples-per-symbol) the phase
// is NaN, impulseOut is a copy of impulseIn and the taps keep their initial
// values. Returns false when an array could not be sized or the pulse
// conversion refused its work (see Rx_impulse2pulse); the outputs are then
// written as for a missing cursor, and impulseOut is empty if it was
// impulseOut that could not be sized.
bool Rx_SystemCore_step_m(blk_DFECDR_Rx_m_T* obj, const dynArray_real_T* impulseIn,
                          dynArray_real_T* impulseOut, double tapWeightsOut[4], double* phaseOut,
                          double* clockTimeOutArg, double* clockSignalOut,
                          cdrOptional_Rx_T* diagnostics);

}  // namespace dfecdr_a
