// DFE/CDR revision A: records, setup, reset, property writes and the
// per-sample step. The timeline, the taps and the property writes are shared
// with revision B (dfecdr_common.h); this file holds what is revision A's own:
// the symbol, level and threshold arrays, their tracking, the decision by
// thresholds, the edge-sample phase detector and TapScale 2.
#include "blocks/dfecdr/dfecdr_a.h"

#include <cmath>

#include "blocks/dfecdr/dfecdr_a_detail.h"
#include "blocks/dfecdr/dfecdr_common.h"
#include "numeric/scalar.h"

namespace dfecdr_a {

using detail::rowLength;

namespace {

constexpr double kTapScale = 2.0;  // an outer symbol (+-0.5) feeds back its tap weight

using dfecdr_common::differsNanAware;
using dfecdr_common::differsPlain;
using dfecdr_common::writeProperty;
using dfecdr_common::writeProperty4;

double signOf(double x) {
  if (x > 0.0) return 1.0;
  if (x < 0.0) return -1.0;
  return x == 0.0 ? 0.0 : x;  // NaN stays NaN
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
    dfecdr_common::endPhaseStep(obj);
  }
}

// What a data instant does after sampling: multi-level tracking, the
// decision with its level update, and the phase detector.
void decisionStage(blk_DFECDR_Rx_T* obj) {
  if (obj->Modulation != 2.0) trackLevels(obj);
  decide(obj);
  updatePhase(obj);
}

// Symbol table, levels (a copy of it) and the thresholds at the midpoints
// between neighbouring symbols, sized for the modulation. False when a table
// could not be sized; it is then empty.
bool resetTables(blk_DFECDR_Rx_T* obj) {
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
  return ok;
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
  obj->levelsLocked = 0.0;
  obj->trendSign = 1.0;
  obj->trendFlips = 0.0;
  dfecdr_common::constructTimeDomain(obj, detail::kTapMin, detail::kTapMax, symbolTime,
                                     sampleInterval, modulation);
}

void Rx_SystemCore_setup_i(blk_DFECDR_Rx_T* obj) { dfecdr_common::setup(obj, kTapScale); }

bool Rx_DFECDR_resetImpl(blk_DFECDR_Rx_T* obj) {
  dfecdr_common::resetTimeline(obj);
  obj->amplitudeTrend = 100.0 / obj->averagingLength / 2.0;
  const bool ok = resetTables(obj);
  dfecdr_common::resetLevelMeans(obj);
  dfecdr_common::restartTaps(obj);
  return ok;
}

// ---- property writes -------------------------------------------------------

void Rx_DFECDR_setTapMin(blk_DFECDR_Rx_T* obj, const double value[4]) {
  writeProperty4<differsPlain>(obj, obj->TapMin, value);
}
void Rx_DFECDR_setTapMax(blk_DFECDR_Rx_T* obj, const double value[4]) {
  writeProperty4<differsPlain>(obj, obj->TapMax, value);
}
void Rx_DFECDR_setAdaptGain(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->AdaptGain, value);
}
void Rx_DFECDR_setTapResolution(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->TapResolution, value);
}
void Rx_DFECDR_setCountLimit(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->CountLimit, value);
}
void Rx_DFECDR_setPhaseStep(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->PhaseStep, value);
}
void Rx_DFECDR_setSamplerHysteresis(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->SamplerHysteresis, value);
}
void Rx_DFECDR_setSymbolTime(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->SymbolTime, value);
}
void Rx_DFECDR_setSampleInterval(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->SampleInterval, value);
}
void Rx_DFECDR_setModulation(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsPlain>(obj, &obj->Modulation, value);
}
void Rx_DFECDR_setMode(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsNanAware>(obj, &obj->Mode, value);
}
void Rx_DFECDR_setTapWeights(blk_DFECDR_Rx_T* obj, const double value[4]) {
  writeProperty4<differsNanAware>(obj, obj->TapWeights, value);
}
void Rx_DFECDR_setReferenceOffset(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsNanAware>(obj, &obj->ReferenceOffset, value);
}
void Rx_DFECDR_setPhaseOffset(blk_DFECDR_Rx_T* obj, double value) {
  writeProperty<differsNanAware>(obj, &obj->PhaseOffset, value);
}

void Rx_DFECDR_writeProperties(blk_DFECDR_Rx_T* obj, const DFECDRProperties_T* p) {
  dfecdr_common::writeRefreshedProperties(obj, *p);
  Rx_DFECDR_setMode(obj, p->Mode);
  Rx_DFECDR_setTapWeights(obj, p->TapWeights);
  Rx_DFECDR_setReferenceOffset(obj, p->ReferenceOffset);
  Rx_DFECDR_setPhaseOffset(obj, p->PhaseOffset);
}

void Rx_DFECDR_processChangedProperties(blk_DFECDR_Rx_T* obj) {
  if (obj->propertiesChanged) dfecdr_common::applyChangedProperties(obj);
}

// ---- per-sample step ---------------------------------------------------------

void Rx_DFECDR_stepImpl(blk_DFECDR_Rx_T* obj, double x, double* output, double tapWeightsOut[4],
                        double* phaseOut, double* clockTimeOutArg, double* clockSignalOut,
                        cdrOptional* diagnostics) {
  Rx_DFECDR_processChangedProperties(obj);
  *output = dfecdr_common::advanceTimeline(obj, x, decisionStage);
  const double phase =
      dfecdr_common::writeClockOutputs(obj, phaseOut, clockTimeOutArg, clockSignalOut);
  const double upper = detail::reportLevels(obj, obj->levels);
  detail::writeDiagnostics(obj, phase, upper, diagnostics);
  dfecdr_common::writeTapWeights(obj, tapWeightsOut);
}

}  // namespace dfecdr_a
