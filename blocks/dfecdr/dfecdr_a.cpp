// DFE/CDR revision A: records, setup, reset, property writes and the
// per-sample step.
#include "blocks/dfecdr/dfecdr_a.h"

#include <cmath>

#include "blocks/dfecdr/dfecdr_a_detail.h"
#include "numeric/scalar.h"

namespace dfecdr_a {

using detail::rowLength;

namespace {

constexpr double kTapMin[4] = {-0.2, -0.1, -0.1, -0.1};
constexpr double kTapMax[4] = {0.2, 0.1, 0.1, 0.1};

bool differsPlain(double stored, double value) { return !(stored == value); }

bool differsNanAware(double stored, double value) {
  return !(stored == value) && !(std::isnan(stored) && std::isnan(value));
}

void markChanged(blk_DFECDR_Rx_T* obj) {
  if (obj->isSetUp == 1) obj->propertiesChanged = true;
}

void writePlain(blk_DFECDR_Rx_T* obj, double* field, double value) {
  if (differsPlain(*field, value)) {
    *field = value;
    markChanged(obj);
  }
}

void writeNanAware(blk_DFECDR_Rx_T* obj, double* field, double value) {
  if (differsNanAware(*field, value)) {
    *field = value;
    markChanged(obj);
  }
}

template <bool (*Differs)(double, double)>
void writeArray(blk_DFECDR_Rx_T* obj, double field[4], const double value[4]) {
  for (int k = 0; k < 4; ++k) {
    if (Differs(field[k], value[k])) {
      for (int j = 0; j < 4; ++j) field[j] = value[j];
      markChanged(obj);
      return;
    }
  }
}

// The value at fraction 1 + f of the way from the previous sample b to the
// current sample a, for a countdown f in [-1, 0).
double interp(double a, double b, double f) { return (1.0 + f) * a - b * f; }

double signOf(double x) {
  if (x > 0.0) return 1.0;
  if (x < 0.0) return -1.0;
  return x == 0.0 ? 0.0 : x;  // NaN stays NaN
}

void takeTapsOver(blk_DFECDR_Rx_T* obj) {
  for (int k = 0; k < 4; ++k) {
    obj->tapAccumulators[k] = obj->TapScale * obj->TapWeights[k];
    obj->appliedTaps[k] = obj->tapAccumulators[k];
  }
}

void setTapLimits(blk_DFECDR_Rx_T* obj) {
  for (int k = 0; k < 4; ++k) {
    obj->tapUpper[k] = obj->TapScale * obj->TapMax[k];
    obj->tapLower[k] = obj->TapScale * obj->TapMin[k];
  }
}

// LMS on the decisions: drives the correlation of the data sample with each past
// decision toward zero. Clamped before quantisation.
void adaptTaps(blk_DFECDR_Rx_T* obj) {
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

// Thresholds midway between neighbouring tracked levels, in place.
void thresholdsFromLevels(blk_DFECDR_Rx_T* obj) {
  double* thr = obj->thresholds != nullptr ? obj->thresholds->elements : nullptr;
  const double* lv = obj->levels != nullptr ? obj->levels->elements : nullptr;
  std::int32_t n = rowLength(obj->thresholds);
  const std::int32_t gaps = rowLength(obj->levels) - 1;
  if (gaps < n) n = gaps;
  for (std::int32_t i = 0; i < n; ++i) thr[i] = (lv[i + 1] - lv[i]) / 2.0 + lv[i];
}

// Replaces the levels by the uniform grid (1 - M, 3 - M, ..., M - 1) * d / 2,
// d being the spacing of the first two thresholds (0 with fewer than two).
// Odd level counts use the same grid.
void levelsFromGrid(blk_DFECDR_Rx_T* obj) {
  const double m = obj->Modulation;
  const double* thr = obj->thresholds != nullptr ? obj->thresholds->elements : nullptr;
  const double d = rowLength(obj->thresholds) >= 2 ? thr[1] - thr[0] : 0.0;
  const detail::ColonRow grid = detail::colonRow(1.0 - m, m - 1.0, 2.0);
  std::int32_t n = rowLength(obj->levels);
  if (grid.count < n) n = grid.count;
  for (std::int32_t i = 0; i < n; ++i)
    obj->levels->elements[i] = detail::colonValue(grid, i) * d / 2.0;
}

// Multi-level tracking at a data instant: the thresholds first follow the
// mean data magnitude, and once its smoothed change has settled (more than
// 20 sign changes) they follow the tracked levels.
void trackLevels(blk_DFECDR_Rx_T* obj) {
  const double len = obj->averagingLength;
  const double a = (std::fabs(obj->dataSample) - obj->amplitude) / len / 2.0;
  obj->amplitude += a;
  if (obj->levelsLocked != 0.0) {
    thresholdsFromLevels(obj);
    return;
  }
  obj->amplitudeTrend += (a - obj->amplitudeTrend) / len / 2.0;
  const double s = signOf(obj->amplitudeTrend);
  if (!(s == obj->trendSign)) obj->trendFlips += 1.0;
  obj->trendSign = s;
  if (obj->trendFlips > 20.0) {
    obj->levelsLocked = 1.0;
    levelsFromGrid(obj);
  }
  const double m = obj->Modulation;
  const double factor = obj->amplitude * 2.0 / m * 2.0;
  const detail::ColonRow target = detail::colonRow(-(m / 2.0 - 1.0), m / 2.0 - 1.0, 1.0);
  std::int32_t n = rowLength(obj->thresholds);
  if (target.count < n) n = target.count;
  double* thr = n > 0 ? obj->thresholds->elements : nullptr;
  for (std::int32_t i = 0; i < n; ++i)
    thr[i] += (detail::colonValue(target, i) * factor - thr[i]) / len / 2.0;
}

// Decides the symbol of the data sample and moves its tracked level.
void decide(blk_DFECDR_Rx_T* obj) {
  const std::int32_t nThr = rowLength(obj->thresholds);
  std::int32_t idx = 0;
  for (std::int32_t i = 0; i < nThr; ++i)
    if (obj->dataSample > obj->thresholds->elements[i]) ++idx;
  const std::int32_t nSym = rowLength(obj->symbols);
  if (nSym == 0) {
    obj->decision = 0.0;  // no symbol table: no decision
    return;
  }
  if (idx >= nSym) idx = nSym - 1;
  obj->decision = obj->symbols->elements[idx];
  if (idx < rowLength(obj->levels)) {
    double* lv = obj->levels->elements;
    lv[idx] += (obj->dataSample - lv[idx]) / obj->averagingLength / 2.0;
  }
}

// Bang-bang phase detector and the vote-counting loop filter.
void updatePhase(blk_DFECDR_Rx_T* obj) {
  const double p = obj->previousDecision * obj->edgeSample;
  const double c = obj->decision * obj->edgeSample;
  const bool early = p > 0.0 && c < 0.0;  // the edge still carried the old symbol
  const bool late = p < 0.0 && c > 0.0;
  if (!early && !late) return;
  const double vote = static_cast<double>(early) - static_cast<double>(late);
  obj->voteCount += vote;
  if (obj->CdrMode == 1.0 && std::fabs(obj->voteCount) >= obj->voteThreshold) {
    obj->edgeCountdown = obj->edgeCountdown + vote * (1.0 + obj->ReferenceOffset / 1e6) *
                                                  obj->PhaseStep * obj->samplesPerSymbol;
    obj->voteCount = 0.0;
    obj->voteThreshold =
        obj->voteThreshold >= obj->CountLimit ? obj->CountLimit : obj->voteThreshold + 1.0;
  }
}

void edgeInstant(blk_DFECDR_Rx_T* obj, double x) {
  const double f = obj->edgeCountdown;
  const double e = interp(x, obj->previousOutput, f) + obj->SamplerHysteresis * obj->edgeSign;
  obj->edgeSample = e;
  obj->edgeSign = e > 0.0 ? 0.5 : -0.5;
  obj->previousDecision = obj->decision;
  for (int k = 3; k > 0; --k) obj->decisionHistory[k] = obj->decisionHistory[k - 1];
  obj->decisionHistory[0] = obj->decision;
  obj->edgeCountdown = (obj->ReferenceOffset / 1e6 + 1.0) * obj->samplesPerSymbol +
                       obj->edgeCountdown - 1.0;
  obj->clockState = 0.0;
}

void dataInstant(blk_DFECDR_Rx_T* obj, double out) {
  const double g = obj->dataCountdown;
  obj->dataSample = interp(out, obj->previousOutput, g) + obj->SamplerHysteresis * obj->decision;
  const double t = obj->sampleIndex * obj->SampleInterval + g * obj->SampleInterval;
  obj->phaseTime = rt_remd_snf(t, obj->SymbolTime);
  const double c = t - obj->SymbolTime / 2.0;
  obj->clockTimeOut = c < 0.0 ? 0.0 : c;
  if (obj->Mode == 2.0) adaptTaps(obj);
  if (obj->Modulation != 2.0) trackLevels(obj);
  decide(obj);
  updatePhase(obj);
  obj->dataCountdown =
      obj->samplesPerSymbol * obj->PhaseOffset + (obj->edgeCountdown + obj->samplesPerSymbol / 2.0);
  obj->clockState = 1.0;
}

template <typename Diag>
void writeDiagnostics(const blk_DFECDR_Rx_T* obj, double phase, double upper, Diag* d) {
  d->phase = phase;
  d->symbol = obj->decision;
  d->dataVoltage = obj->dataSample;
  d->upperThreshold = upper;
  d->edgeVoltage = obj->edgeSample;
  d->countdown = obj->dataCountdown;
  d->votes = obj->voteCount;
  d->innerLevel = obj->innerLevel;
  d->outerLevel = obj->outerLevel;
  d->amplitude = obj->amplitude;
  for (double& v : d->thresholdList) v = 0.0;
  std::int32_t n = rowLength(obj->thresholds);
  if (n > 31) n = 31;
  for (std::int32_t i = 0; i < n; ++i) d->thresholdList[i] = obj->thresholds->elements[i];
}

}  // namespace

// ---- records ---------------------------------------------------------------

bool Rx_dynInitStruct_blk_DFECDR(blk_DFECDR_Rx_T* obj) {
  const bool a = Rx_dynInit_real_T(&obj->thresholds, 2);
  const bool b = Rx_dynInit_real_T(&obj->symbols, 2);
  const bool c = Rx_dynInit_real_T(&obj->levels, 2);
  return a && b && c;
}

void Rx_dynFreeStruct_blk_DFECDR(blk_DFECDR_Rx_T* obj) {
  Rx_dynFree_real_T(&obj->levels);
  Rx_dynFree_real_T(&obj->symbols);
  Rx_dynFree_real_T(&obj->thresholds);
}

void Rx_DFECDR_construct(blk_DFECDR_Rx_T* obj, double symbolTime, double sampleInterval,
                         double modulation) {
  obj->AveragingSymbols = 50.0;
  obj->CdrMode = 1.0;
  obj->levelsLocked = 0.0;
  obj->trendSign = 1.0;
  obj->trendFlips = 0.0;
  obj->firstTuning = true;
  obj->isSetUp = 0;
  for (int k = 0; k < 4; ++k) {
    obj->TapMin[k] = kTapMin[k];
    obj->TapMax[k] = kTapMax[k];
  }
  obj->AdaptGain = 9.6e-5;
  obj->TapResolution = 1e-6;
  obj->CountLimit = 16.0;
  obj->PhaseStep = 0.0078;
  obj->SamplerHysteresis = 0.0;
  obj->SymbolTime = symbolTime;
  obj->SampleInterval = sampleInterval;
  obj->Modulation = modulation;
}

void Rx_SystemCore_setup_i(blk_DFECDR_Rx_T* obj) {
  obj->isSetUp = 1;
  obj->Mode = 0.0;
  obj->ReferenceOffset = 0.0;
  obj->PhaseOffset = 0.0;
  obj->TapScale = 2.0;
  for (int k = 0; k < 4; ++k) {
    obj->TapWeights[k] = 0.0;
    obj->decisionHistory[k] = 0.0;
    obj->tapAccumulators[k] = 0.0 * obj->TapScale;
    obj->appliedTaps[k] = 0.0 * obj->TapScale;
  }
  setTapLimits(obj);
  obj->propertiesChanged = false;
}

bool Rx_DFECDR_resetImpl(blk_DFECDR_Rx_T* obj) {
  obj->clockTimeOut = 0.0;
  obj->phaseTime = obj->SymbolTime / 2.0;
  obj->samplesPerSymbol = rt_roundd_snf(obj->SymbolTime / obj->SampleInterval);
  obj->sampleIndex = 0.0;
  obj->edgeCountdown = 0.0;
  obj->edgeSign = 0.0;
  obj->dataCountdown = obj->samplesPerSymbol / 2.0;
  obj->previousOutput = 0.0;
  obj->decision = 0.0;
  obj->voteCount = 0.0;
  obj->voteThreshold = 2.0;
  obj->previousDecision = 0.0;
  obj->dataSample = 0.0;
  obj->edgeSample = 0.0;
  obj->clockState = 1.0;
  obj->averagingLength = obj->samplesPerSymbol * obj->AveragingSymbols;
  obj->amplitudeTrend = 100.0 / obj->averagingLength / 2.0;

  const std::int32_t n = detail::levelCount(obj->Modulation);
  const std::int32_t nThr = n > 1 ? n - 1 : 0;
  bool ok = detail::resizeRow(obj->symbols, n);
  ok = detail::resizeRow(obj->levels, n) && ok;
  ok = detail::resizeRow(obj->thresholds, nThr) && ok;
  if (rowLength(obj->symbols) == n && n > 0) {
    double* v = obj->symbols->elements;
    detail::fillSymbolTable(v, n);
    if (rowLength(obj->levels) == n)
      for (std::int32_t i = 0; i < n; ++i) obj->levels->elements[i] = v[i];
    if (rowLength(obj->thresholds) == nThr)
      for (std::int32_t i = 0; i < nThr; ++i)
        obj->thresholds->elements[i] = (v[i + 1] - v[i]) / 2.0 + v[i];
  }

  obj->amplitude = 0.333;
  obj->innerLevel = 0.3;
  obj->outerLevel = 0.4;
  for (int k = 0; k < 4; ++k) {
    obj->decisionHistory[k] = 0.0;
    obj->tapStep[k] = obj->TapScale * obj->TapResolution;
  }
  takeTapsOver(obj);
  setTapLimits(obj);
  return ok;
}

// ---- property writes -------------------------------------------------------

void Rx_DFECDR_setTapMin(blk_DFECDR_Rx_T* obj, const double value[4]) {
  writeArray<differsPlain>(obj, obj->TapMin, value);
}
void Rx_DFECDR_setTapMax(blk_DFECDR_Rx_T* obj, const double value[4]) {
  writeArray<differsPlain>(obj, obj->TapMax, value);
}
void Rx_DFECDR_setAdaptGain(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->AdaptGain, value);
}
void Rx_DFECDR_setTapResolution(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->TapResolution, value);
}
void Rx_DFECDR_setCountLimit(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->CountLimit, value);
}
void Rx_DFECDR_setPhaseStep(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->PhaseStep, value);
}
void Rx_DFECDR_setSamplerHysteresis(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->SamplerHysteresis, value);
}
void Rx_DFECDR_setSymbolTime(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->SymbolTime, value);
}
void Rx_DFECDR_setSampleInterval(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->SampleInterval, value);
}
void Rx_DFECDR_setModulation(blk_DFECDR_Rx_T* obj, double value) {
  writePlain(obj, &obj->Modulation, value);
}
void Rx_DFECDR_setMode(blk_DFECDR_Rx_T* obj, double value) {
  writeNanAware(obj, &obj->Mode, value);
}
void Rx_DFECDR_setTapWeights(blk_DFECDR_Rx_T* obj, const double value[4]) {
  writeArray<differsNanAware>(obj, obj->TapWeights, value);
}
void Rx_DFECDR_setReferenceOffset(blk_DFECDR_Rx_T* obj, double value) {
  writeNanAware(obj, &obj->ReferenceOffset, value);
}
void Rx_DFECDR_setPhaseOffset(blk_DFECDR_Rx_T* obj, double value) {
  writeNanAware(obj, &obj->PhaseOffset, value);
}

void Rx_DFECDR_writeProperties(blk_DFECDR_Rx_T* obj, const DFECDRProperties_T* p) {
  Rx_DFECDR_setTapMin(obj, p->TapMin);
  Rx_DFECDR_setTapMax(obj, p->TapMax);
  Rx_DFECDR_setAdaptGain(obj, p->AdaptGain);
  Rx_DFECDR_setTapResolution(obj, p->TapResolution);
  Rx_DFECDR_setCountLimit(obj, p->CountLimit);
  Rx_DFECDR_setPhaseStep(obj, p->PhaseStep);
  Rx_DFECDR_setSamplerHysteresis(obj, p->SamplerHysteresis);
  Rx_DFECDR_setSymbolTime(obj, p->SymbolTime);
  Rx_DFECDR_setSampleInterval(obj, p->SampleInterval);
  Rx_DFECDR_setModulation(obj, p->Modulation);
  Rx_DFECDR_setMode(obj, p->Mode);
  Rx_DFECDR_setTapWeights(obj, p->TapWeights);
  Rx_DFECDR_setReferenceOffset(obj, p->ReferenceOffset);
  Rx_DFECDR_setPhaseOffset(obj, p->PhaseOffset);
}

void Rx_DFECDR_processChangedProperties(blk_DFECDR_Rx_T* obj) {
  if (!obj->propertiesChanged) return;
  obj->propertiesChanged = false;
  if (obj->firstTuning) {
    obj->firstTuning = false;
    for (int k = 0; k < 4; ++k) {
      obj->decisionHistory[k] = 0.0;
      obj->tapStep[k] = obj->TapScale * obj->TapResolution;
    }
    setTapLimits(obj);
  }
  takeTapsOver(obj);
}

// ---- per-sample step ---------------------------------------------------------

void Rx_DFECDR_stepImpl(blk_DFECDR_Rx_T* obj, double x, double* output, double tapWeightsOut[4],
                        double* phaseOut, double* clockTimeOutArg, double* clockSignalOut,
                        cdrOptional* diagnostics) {
  Rx_DFECDR_processChangedProperties(obj);

  // The edge sampler sees the current sample before feedback.
  if (obj->edgeCountdown < 0.0) {
    edgeInstant(obj, x);
  } else {
    obj->edgeCountdown -= 1.0;
  }

  double out = x;
  if (!(obj->Mode == 0.0)) {
    const double* h = obj->decisionHistory;
    const double* t = obj->appliedTaps;
    out = (((h[0] * t[0] + x) + h[1] * t[1]) + h[2] * t[2]) + h[3] * t[3];
  }

  if (obj->dataCountdown < 0.0) {
    dataInstant(obj, out);
  } else {
    obj->dataCountdown -= 1.0;
  }

  obj->sampleIndex += 1.0;
  obj->previousOutput = out;

  const double phase = obj->phaseTime / obj->SymbolTime;
  *output = out;
  *phaseOut = phase;
  *clockTimeOutArg = obj->clockTimeOut;
  *clockSignalOut = obj->clockState;

  double upper = 0.0;
  if (obj->Modulation == 4.0 && rowLength(obj->levels) >= 4) {
    const double* lv = obj->levels->elements;
    const std::int32_t nThr = rowLength(obj->thresholds);
    upper = nThr > 0 ? obj->thresholds->elements[nThr - 1] : 0.0;
    obj->innerLevel = (std::fabs(lv[1]) + std::fabs(lv[2])) / 2.0;
    obj->outerLevel = (std::fabs(lv[0]) + std::fabs(lv[3])) / 2.0;
  } else {
    obj->innerLevel = 0.3;
    obj->outerLevel = 0.4;
  }
  writeDiagnostics(obj, phase, upper, diagnostics);

  for (int k = 0; k < 4; ++k) tapWeightsOut[k] = obj->appliedTaps[k] / obj->TapScale;
}

}  // namespace dfecdr_a
