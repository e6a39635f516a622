// Record logic that both DFE/CDR revisions share: construction, setup, the
// reset of the timing state and the taps, property writes, the sampling
// timeline (edge and data instants, feedback, tap adaptation) and the outputs
// of a step.
//
// The revisions' records are different types with the same field names for
// everything used here, so these are templates over the record type; the
// statistical records qualify for the pieces whose fields they carry. What
// the revisions compute differently stays with them and comes in as an
// argument: the tap scale, and the decision stage run at each data instant
// (level tracking, the decision and the phase detector).
//
// Each template keeps the operations, and their order, of both revisions'
// original code, so results are bit for bit those of either revision.
#pragma once

#include "blocks/dfecdr/dfecdr_constants.h"
#include "numeric/scalar.h"

namespace dfecdr_common {

// ---- construction ----------------------------------------------------------

// Construction values that both kinds of record carry. isSetUp 0 makes
// these writes construction rather than property changes.
template <class Rec>
void constructShared(Rec* obj, const double tapMin[4], const double tapMax[4], double symbolTime,
                     double sampleInterval, double modulation) {
  obj->AveragingSymbols = kAveragingSymbols;
  obj->isSetUp = 0;
  for (int k = 0; k < 4; ++k) {
    obj->TapMin[k] = tapMin[k];
    obj->TapMax[k] = tapMax[k];
  }
  obj->TapResolution = kTapResolution;
  obj->SymbolTime = symbolTime;
  obj->SampleInterval = sampleInterval;
  obj->Modulation = modulation;
}

// The frames' construction values of a time-domain record.
template <class Rec>
void constructTimeDomain(Rec* obj, const double tapMin[4], const double tapMax[4],
                         double symbolTime, double sampleInterval, double modulation) {
  constructShared(obj, tapMin, tapMax, symbolTime, sampleInterval, modulation);
  obj->CdrMode = kCdrMode;
  obj->firstTuning = true;
  obj->AdaptGain = kAdaptGain;
  obj->CountLimit = kCountLimit;
  obj->PhaseStep = kPhaseStep;
  obj->SamplerHysteresis = kSamplerHysteresis;
}

// The frames' construction values of a statistical record plus their inputs;
// the first step initialises the rest.
template <class Rec>
void constructStatistical(Rec* obj, const double tapMin[4], const double tapMax[4],
                          double symbolTime, double sampleInterval, double modulation,
                          double mode, const double tapWeights[4], double phaseOffset) {
  constructShared(obj, tapMin, tapMax, symbolTime, sampleInterval, modulation);
  obj->PhaseOffset = phaseOffset;
  obj->Mode = mode;
  for (int k = 0; k < 4; ++k) obj->TapWeights[k] = tapWeights[k];
}

// ---- taps --------------------------------------------------------------------

template <class Rec>
void scaleTapLimits(Rec* obj) {
  for (int k = 0; k < 4; ++k) {
    obj->tapUpper[k] = obj->TapScale * obj->TapMax[k];
    obj->tapLower[k] = obj->TapScale * obj->TapMin[k];
  }
}

template <class Rec>
void scaleTapSteps(Rec* obj) {
  for (int k = 0; k < 4; ++k) obj->tapStep[k] = obj->TapScale * obj->TapResolution;
}

// Internal taps restart from the tap weights, unquantised.
template <class Rec>
void takeTapsOver(Rec* obj) {
  for (int k = 0; k < 4; ++k) {
    obj->tapAccumulators[k] = obj->TapScale * obj->TapWeights[k];
    obj->appliedTaps[k] = obj->tapAccumulators[k];
  }
}

// Taps, limits and steps all from the current properties.
template <class Rec>
void rebuildTaps(Rec* obj) {
  takeTapsOver(obj);
  scaleTapLimits(obj);
  scaleTapSteps(obj);
}

// As rebuildTaps, forgetting the decisions the feedback would apply.
template <class Rec>
void restartTaps(Rec* obj) {
  for (int k = 0; k < 4; ++k) obj->decisionHistory[k] = 0.0;
  rebuildTaps(obj);
}

// ---- setup and reset -----------------------------------------------------------

// Setup leaves Mode, the offsets and the tap weights at 0; the frame writes
// the real values before the first step, and that step rebuilds the taps.
template <class Rec>
void setup(Rec* obj, double tapScale) {
  obj->isSetUp = 1;
  obj->Mode = 0.0;
  obj->ReferenceOffset = 0.0;
  obj->PhaseOffset = 0.0;
  obj->TapScale = tapScale;
  for (int k = 0; k < 4; ++k) {
    obj->TapWeights[k] = 0.0;
    obj->decisionHistory[k] = 0.0;
    obj->tapAccumulators[k] = 0.0 * obj->TapScale;
    obj->appliedTaps[k] = 0.0 * obj->TapScale;
  }
  scaleTapLimits(obj);
  obj->propertiesChanged = false;
}

// The sampler state that the statistical records carry too: no sample taken,
// the first data instant half a symbol ahead.
template <class Rec>
void resetSamplers(Rec* obj) {
  obj->clockTimeOut = 0.0;
  obj->samplesPerSymbol = rt_roundd_snf(obj->SymbolTime / obj->SampleInterval);
  obj->dataCountdown = obj->samplesPerSymbol / 2.0;
  obj->decision = 0.0;
  obj->voteCount = 0.0;
  obj->dataSample = 0.0;
  obj->edgeSample = 0.0;
  obj->clockState = 1.0;
}

// Reset of a time-domain record's timeline: the samplers, the edge clock, the
// vote loop and the averaging length of the level tracking.
template <class Rec>
void resetTimeline(Rec* obj) {
  resetSamplers(obj);
  obj->phaseTime = obj->SymbolTime / 2.0;
  obj->sampleIndex = 0.0;
  obj->edgeCountdown = 0.0;
  obj->edgeSign = 0.0;
  obj->previousOutput = 0.0;
  obj->voteThreshold = 2.0;
  obj->previousDecision = 0.0;
  obj->averagingLength = obj->samplesPerSymbol * obj->AveragingSymbols;
}

// Starting values of the level means.
template <class Rec>
void resetLevelMeans(Rec* obj) {
  obj->amplitude = 0.333;
  obj->innerLevel = 0.3;
  obj->outerLevel = 0.4;
}

// First use of a statistical record: set up with the revision's tap scale and
// taps taken from the initial weights.
template <class Rec>
void firstUseTaps(Rec* obj, double tapScale) {
  obj->isSetUp = 1;
  obj->TapScale = tapScale;
  rebuildTaps(obj);
}

// ---- property writes -------------------------------------------------------------

// A write before setup is construction, not a change.
template <class Rec>
void markChanged(Rec* obj) {
  if (obj->isSetUp == 1) obj->propertiesChanged = true;
}

// Plain comparison: unequal as doubles, so a NaN differs even from itself.
inline bool differsPlain(double stored, double value) { return !(stored == value); }
// NaN-aware comparison: as plain, but two NaNs are equal.
inline bool differsNanAware(double stored, double value) { return !Rx_isequaln(stored, value); }

// Stores value into field (which lies in obj) only when it differs; returns
// whether it stored.
template <bool (*Differs)(double, double), class Rec>
bool writeProperty(Rec* obj, double* field, double value) {
  if (!Differs(*field, value)) return false;
  *field = value;
  markChanged(obj);
  return true;
}

// Four-element property: written whole at the first element that differs.
template <bool (*Differs)(double, double), class Rec>
bool writeProperty4(Rec* obj, double field[4], const double value[4]) {
  for (int k = 0; k < 4; ++k) {
    if (Differs(field[k], value[k])) {
      for (int j = 0; j < 4; ++j) field[j] = value[j];
      markChanged(obj);
      return true;
    }
  }
  return false;
}

// The properties the frames refresh before every step, in their order, all
// compared plainly. Props supplies fields TapMin, TapMax (four elements),
// AdaptGain, TapResolution, CountLimit, PhaseStep, SamplerHysteresis,
// SymbolTime, SampleInterval and Modulation.
template <class Rec, class Props>
void writeRefreshedProperties(Rec* obj, const Props& p) {
  writeProperty4<differsPlain>(obj, obj->TapMin, p.TapMin);
  writeProperty4<differsPlain>(obj, obj->TapMax, p.TapMax);
  writeProperty<differsPlain>(obj, &obj->AdaptGain, p.AdaptGain);
  writeProperty<differsPlain>(obj, &obj->TapResolution, p.TapResolution);
  writeProperty<differsPlain>(obj, &obj->CountLimit, p.CountLimit);
  writeProperty<differsPlain>(obj, &obj->PhaseStep, p.PhaseStep);
  writeProperty<differsPlain>(obj, &obj->SamplerHysteresis, p.SamplerHysteresis);
  writeProperty<differsPlain>(obj, &obj->SymbolTime, p.SymbolTime);
  writeProperty<differsPlain>(obj, &obj->SampleInterval, p.SampleInterval);
  writeProperty<differsPlain>(obj, &obj->Modulation, p.Modulation);
}

// Handles a pending change (the caller checks propertiesChanged): the first
// one restarts taps, limits, steps and the decision history, later ones only
// take the taps over from TapWeights.
template <class Rec>
void applyChangedProperties(Rec* obj) {
  obj->propertiesChanged = false;
  if (obj->firstTuning) {
    obj->firstTuning = false;
    restartTaps(obj);
    return;
  }
  takeTapsOver(obj);
}

// ---- sampling timeline ---------------------------------------------------------------

// The value at fraction 1 + f of the way from the previous sample b to the
// current sample a, for a countdown f in [-1, 0). Evaluated in this form.
inline double interpolate(double a, double b, double f) { return (1.0 + f) * a - b * f; }

// The equalised sample: x plus each past decision times its applied tap.
template <class Rec>
double applyFeedback(const Rec* obj, double x) {
  if (obj->Mode == 0.0) return x;
  const double* h = obj->decisionHistory;
  const double* t = obj->appliedTaps;
  return (((h[0] * t[0] + x) + h[1] * t[1]) + h[2] * t[2]) + h[3] * t[3];
}

// Mode 2: moves each tap against the correlation of the data sample with its
// past decision. The accumulator is clamped, then quantised.
template <class Rec>
void adaptTaps(Rec* obj) {
  const double e = obj->dataSample * obj->AdaptGain;
  for (int k = 0; k < 4; ++k) {
    double acc = obj->tapAccumulators[k] - obj->decisionHistory[k] * e;
    if (acc > obj->tapUpper[k]) {
      acc = obj->tapUpper[k];
    } else if (acc < obj->tapLower[k]) {
      acc = obj->tapLower[k];
    }
    obj->tapAccumulators[k] = acc;
    const double step = obj->tapStep[k];
    obj->appliedTaps[k] = step != 0.0 ? rt_roundd_snf(acc / step) * step : acc;
  }
}

// After a phase step the votes start again, and the next step needs one
// vote more, up to CountLimit.
template <class Rec>
void endPhaseStep(Rec* obj) {
  obj->voteCount = 0.0;
  obj->voteThreshold =
      obj->voteThreshold >= obj->CountLimit ? obj->CountLimit : obj->voteThreshold + 1.0;
}

// Edge instant: samples the edge between the previous output and the current
// input (the current sample enters before feedback), pushes the decision
// into the history and arms the next edge one symbol later.
template <class Rec>
void edgeInstant(Rec* obj, double x) {
  const double e = interpolate(x, obj->previousOutput, obj->edgeCountdown) +
                   obj->SamplerHysteresis * obj->edgeSign;
  obj->edgeSample = e;
  obj->edgeSign = e > 0.0 ? 0.5 : -0.5;
  obj->previousDecision = obj->decision;
  double* h = obj->decisionHistory;
  h[3] = h[2];
  h[2] = h[1];
  h[1] = h[0];
  h[0] = obj->decision;
  obj->edgeCountdown =
      (obj->ReferenceOffset / 1e6 + 1.0) * obj->samplesPerSymbol + obj->edgeCountdown - 1.0;
  obj->clockState = 0.0;
}

// Data instant: samples the equalised output, records the sampling time,
// adapts the taps (Mode 2), runs the revision's decision stage and arms the
// next data instant half a symbol plus PhaseOffset after the next edge.
template <class Rec, class DecisionStage>
void dataInstant(Rec* obj, double out, DecisionStage decisionStage) {
  const double g = obj->dataCountdown;
  obj->dataSample =
      interpolate(out, obj->previousOutput, g) + obj->SamplerHysteresis * obj->decision;
  const double t = obj->sampleIndex * obj->SampleInterval + g * obj->SampleInterval;
  obj->phaseTime = rt_remd_snf(t, obj->SymbolTime);
  const double clockTime = t - obj->SymbolTime / 2.0;
  obj->clockTimeOut = clockTime < 0.0 ? 0.0 : clockTime;
  if (obj->Mode == 2.0) adaptTaps(obj);
  decisionStage(obj);
  obj->dataCountdown = obj->samplesPerSymbol * obj->PhaseOffset +
                       (obj->edgeCountdown + obj->samplesPerSymbol / 2.0);
  obj->clockState = 1.0;
}

// One sample through the timeline: the edge sampler, the feedback, the data
// sampler. A countdown fires once it has gone below 0. Returns the equalised
// sample.
template <class Rec, class DecisionStage>
double advanceTimeline(Rec* obj, double x, DecisionStage decisionStage) {
  if (obj->edgeCountdown < 0.0) {
    edgeInstant(obj, x);
  } else {
    obj->edgeCountdown = obj->edgeCountdown - 1.0;
  }
  const double out = applyFeedback(obj, x);
  if (obj->dataCountdown < 0.0) {
    dataInstant(obj, out, decisionStage);
  } else {
    obj->dataCountdown = obj->dataCountdown - 1.0;
  }
  obj->sampleIndex = obj->sampleIndex + 1.0;
  obj->previousOutput = out;
  return out;
}

// ---- outputs ---------------------------------------------------------------------------

// Phase [UI], clock time [s] and clock signal of a time-domain step; returns
// the phase.
template <class Rec>
double writeClockOutputs(const Rec* obj, double* phaseOut, double* clockTimeOutArg,
                         double* clockSignalOut) {
  const double phase = obj->phaseTime / obj->SymbolTime;
  *phaseOut = phase;
  *clockTimeOutArg = obj->clockTimeOut;
  *clockSignalOut = obj->clockState;
  return phase;
}

// Tap weights as the frame sees them: internal taps over TapScale.
template <class Rec>
void writeTapWeights(const Rec* obj, double tapWeightsOut[4]) {
  for (int k = 0; k < 4; ++k) tapWeightsOut[k] = obj->appliedTaps[k] / obj->TapScale;
}

// The first ten places of a diagnostic record, alike in every layout.
template <class Rec, class Diag>
void writeDiagnosticHead(const Rec* obj, double phase, double upperThreshold, Diag* d) {
  d->phase = phase;
  d->symbol = obj->decision;
  d->dataVoltage = obj->dataSample;
  d->upperThreshold = upperThreshold;
  d->edgeVoltage = obj->edgeSample;
  d->countdown = obj->dataCountdown;
  d->votes = obj->voteCount;
  d->innerLevel = obj->innerLevel;
  d->outerLevel = obj->outerLevel;
  d->amplitude = obj->amplitude;
}

}  // namespace dfecdr_common
