// DFE/CDR, revision B: setup, reset, property handling, per-sample step and
// statistical step. See dfecdr_b.h for the contract. The timeline, the taps
// and the cursor search are shared with revision A (dfecdr_common*.h); this
// file holds what is revision B's own: the fixed-symbol decision stage with
// its single PAM4 threshold, the edge-sign phase detector, TapScale 1, the
// inline pulse and the phase reported within one symbol.
#include "blocks/dfecdr/dfecdr_b.h"

#include <cmath>
#include <cstring>

#include "blocks/dfecdr/dfecdr_common.h"
#include "blocks/dfecdr/dfecdr_common_pulse.h"
#include "model/rt_nonfinite.h"
#include "numeric/scalar.h"
#include "numeric/vector.h"

namespace dfecdr_b {
namespace {

using dfecdr_common::foldedOffset;

constexpr double kTapScale = 1.0;  // internal taps equal the tap weights

// The three-argument modulus is this revision's index fold.
constexpr dfecdr_common::ModFn kMod = &Rx_mod;

// ---- time-domain helpers ---------------------------------------------------

// Early/late detector on the edge sign: early when the edge sample still
// carried the previous symbol (edge instant before the transition).
void phaseDetector(blk_DFECDR_Rx_T* obj) {
  const double p = obj->previousDecision * obj->edgeSign;
  const double c = obj->decision * obj->edgeSign;
  const bool early = p > 0.0 && c < 0.0;
  const bool late = p < 0.0 && c > 0.0;
  if (!early && !late) return;
  const double amount =
      (1.0 + obj->ReferenceOffset / 1e6) * obj->PhaseStep * obj->samplesPerSymbol;
  if (early) {
    obj->voteCount = obj->voteCount + 1.0;
    if (obj->CdrMode == 1.0 && obj->voteCount >= obj->voteThreshold) {
      obj->edgeCountdown = obj->edgeCountdown + amount;  // delay the next edge instant
      dfecdr_common::endPhaseStep(obj);
    }
  } else {
    obj->voteCount = obj->voteCount - 1.0;
    if (obj->CdrMode == 1.0 && obj->voteCount <= -obj->voteThreshold) {
      obj->edgeCountdown = obj->edgeCountdown - amount;  // advance it
      dfecdr_common::endPhaseStep(obj);
    }
  }
}

// What a data instant does after sampling: PAM4 level tracking, the decision
// and the phase detector.
void decisionStage(blk_DFECDR_Rx_T* obj) {
  if (obj->Modulation == 4.0) Rx_DFECDR_trackLevels(obj);
  obj->decision = Rx_DFECDR_decide(obj->dataSample, obj->pamThreshold, obj->Modulation);
  phaseDetector(obj);
}

// The frame's refresh values, in the form the shared property writer reads.
struct RefreshedProperties {
  const double* TapMin;
  const double* TapMax;
  double AdaptGain;
  double TapResolution;
  double CountLimit;
  double PhaseStep;
  double SamplerHysteresis;
  double SymbolTime;
  double SampleInterval;
  double Modulation;
};

// ---- statistical helpers ---------------------------------------------------

// One-dimensional working row, released on every way out.
struct WorkRow {
  dynArray_real_T* a = nullptr;
  WorkRow() = default;
  WorkRow(const WorkRow&) = delete;
  WorkRow& operator=(const WorkRow&) = delete;
  ~WorkRow() { Rx_dynFree_real_T(&a); }
  bool resize(std::int32_t n) {
    if (!Rx_dynInit_real_T1(&a, 1)) return false;
    a->sizes[0] = n;
    return Rx_dynEnsureCapacity_real_T1(a, 0);
  }
  double* data() { return a->elements; }
};

// pulse[j] = scale * sum_{s=1..count} column[(j - s) mod n], the terms added
// in the order s = 1, 2, ... onto +0, the scale applied to the finished sum.
// Requires 1 <= count <= n.
void computePulse(const double* column, std::int32_t n, std::int32_t count, double scale,
                  double* pulse) {
  for (std::int32_t j = 0; j < n; ++j) {
    double acc = 0.0;
    std::int32_t idx = j;
    for (std::int32_t s = 1; s <= count; ++s) {
      idx = idx == 0 ? n - 1 : idx - 1;
      acc += column[idx];
    }
    pulse[j] = acc * scale;
  }
}

// Rounded cursor (1-based sample index); NaN when the pulse offers no edge
// crossing.
double findCursor(const dynArray_real_T* q, double sps, double phaseOffset) {
  double crossing = rtNaN;
  if (!dfecdr_common::findEdgeCrossing(q, sps, kMod, &crossing)) return rtNaN;
  return rt_roundd_snf(dfecdr_common::cursorFromCrossing(crossing, sps, phaseOffset));
}

void firstUse(blk_DFECDR_Rx_n_T* obj) {
  dfecdr_common::firstUseTaps(obj, kTapScale);
  dfecdr_common::resetSamplers(obj);
  obj->phaseTime = obj->SymbolTime / 2.0;
  obj->pamThreshold = 0.333;
  dfecdr_common::resetLevelMeans(obj);
}

// out = copy of in with the same rows and columns. On failure out is empty.
bool copyMatrix(const dynArray_real_T* in, dynArray_real_T* out) {
  const std::int64_t numel = Rx_dynNumel(in->sizes, in->dimCount);
  const std::int32_t rows = in->dimCount >= 1 ? in->sizes[0] : 1;
  // The record must describe storage it really has.
  const bool valid = numel >= 0 && numel <= in->capacity && rows >= 0 &&
                     (numel == 0 || in->elements != nullptr);
  if (out->dimCount == 1) {
    out->sizes[0] = valid ? static_cast<std::int32_t>(numel) : 0;
  } else if (out->dimCount >= 2) {
    out->sizes[0] = valid ? rows : 0;
    out->sizes[1] = valid && rows > 0 ? static_cast<std::int32_t>(numel / rows) : 0;
    for (std::int32_t i = 2; i < out->dimCount; ++i) out->sizes[i] = 1;
  }
  // Nothing of the old contents is kept: everything is overwritten.
  if (!Rx_dynEnsureCapacity_real_T1(out, 0)) return false;
  const std::int64_t outNumel = Rx_dynNumel(out->sizes, out->dimCount);
  if (!valid || outNumel != numel) {
    for (std::int32_t i = 0; i < out->dimCount; ++i) out->sizes[i] = 0;
    return false;
  }
  if (numel > 0) {
    std::memcpy(out->elements, in->elements, static_cast<std::size_t>(numel) * sizeof(double));
  }
  return true;
}

}  // namespace

// ---- time-domain record ----------------------------------------------------

void Rx_DFECDR_construct(blk_DFECDR_Rx_T* obj, double symbolTime, double sampleInterval,
                         double modulation) {
  dfecdr_common::constructTimeDomain(obj, kTapMin, kTapMax, symbolTime, sampleInterval,
                                     modulation);
}

void Rx_SystemCore_setup(blk_DFECDR_Rx_T* obj) { dfecdr_common::setup(obj, kTapScale); }

void Rx_DFECDR_resetImpl(blk_DFECDR_Rx_T* obj) {
  dfecdr_common::resetTimeline(obj);
  obj->pamThreshold = 0.333;
  dfecdr_common::resetLevelMeans(obj);
  dfecdr_common::restartTaps(obj);
}

bool Rx_DFECDR_setProperty(blk_DFECDR_Rx_T* obj, double* property, double value) {
  return dfecdr_common::writeProperty<dfecdr_common::differsPlain>(obj, property, value);
}

bool Rx_DFECDR_setPropertyN(blk_DFECDR_Rx_T* obj, double* property, double value) {
  return dfecdr_common::writeProperty<dfecdr_common::differsNanAware>(obj, property, value);
}

bool Rx_DFECDR_setProperty4(blk_DFECDR_Rx_T* obj, double property[4], const double value[4]) {
  return dfecdr_common::writeProperty4<dfecdr_common::differsPlain>(obj, property, value);
}

void Rx_DFECDR_refreshProperties(blk_DFECDR_Rx_T* obj, const double tapMin[4],
                                 const double tapMax[4], double symbolTime,
                                 double sampleInterval, double modulation) {
  const RefreshedProperties p{tapMin,      tapMax,     kAdaptGain,          kTapResolution,
                              kCountLimit, kPhaseStep, kSamplerHysteresis, symbolTime,
                              sampleInterval, modulation};
  dfecdr_common::writeRefreshedProperties(obj, p);
}

void Rx_DFECDR_processChangedProperties(blk_DFECDR_Rx_T* obj) {
  dfecdr_common::applyChangedProperties(obj);
}

double Rx_DFECDR_decide(double dataSample, double pamThreshold, double modulation) {
  if (modulation == 4.0) {
    if (dataSample > 0.0) return dataSample > pamThreshold ? 0.5 : kInnerSymbol;
    return dataSample < -pamThreshold ? -0.5 : -kInnerSymbol;
  }
  return dataSample > 0.0 ? 0.5 : -0.5;
}

void Rx_DFECDR_trackLevels(blk_DFECDR_Rx_T* obj) {
  const double a = std::fabs(obj->dataSample);
  obj->amplitude = obj->amplitude + (a - obj->amplitude) / obj->averagingLength / 2.0;
  // Each level mean moves with twice the weight of the amplitude mean.
  if (a > obj->amplitude) {
    obj->outerLevel = obj->outerLevel + (a - obj->outerLevel) / obj->averagingLength;
  } else if (a < obj->amplitude) {
    obj->innerLevel = obj->innerLevel + (a - obj->innerLevel) / obj->averagingLength;
  }
  obj->pamThreshold = (obj->outerLevel + obj->innerLevel) / 2.0;
}

void Rx_SystemCore_step(blk_DFECDR_Rx_T* obj, double x, double Mode, const double TapWeights[4],
                        double ReferenceOffset, double PhaseOffset, double* output,
                        double tapWeightsOut[4], double* phaseOut, double* clockTimeOutArg,
                        double* clockSignalOut, double* thresholdOut) {
  // Element by element, unlike the frame's whole-array writes.
  Rx_DFECDR_setPropertyN(obj, &obj->Mode, Mode);
  for (int k = 0; k < 4; ++k) Rx_DFECDR_setPropertyN(obj, &obj->TapWeights[k], TapWeights[k]);
  Rx_DFECDR_setPropertyN(obj, &obj->ReferenceOffset, ReferenceOffset);
  Rx_DFECDR_setPropertyN(obj, &obj->PhaseOffset, PhaseOffset);
  if (obj->propertiesChanged) Rx_DFECDR_processChangedProperties(obj);

  *output = dfecdr_common::advanceTimeline(obj, x, decisionStage);
  dfecdr_common::writeClockOutputs(obj, phaseOut, clockTimeOutArg, clockSignalOut);
  dfecdr_common::writeTapWeights(obj, tapWeightsOut);
  *thresholdOut = obj->Modulation == 4.0 ? obj->pamThreshold : 0.0;
}

// ---- statistical record ----------------------------------------------------

void Rx_DFECDR_construct(blk_DFECDR_Rx_n_T* obj, double symbolTime, double sampleInterval,
                         double modulation, double phaseOffset, double mode,
                         const double tapWeights[4]) {
  dfecdr_common::constructStatistical(obj, kTapMin, kTapMax, symbolTime, sampleInterval,
                                      modulation, mode, tapWeights, phaseOffset);
  obj->firstTuning = true;
}

bool Rx_DFECDR_stepImpl(blk_DFECDR_Rx_n_T* obj, dynArray_real_T* impulse, double tapWeightsOut[4],
                        double* phaseOut, double* clockTimeOutArg, double* clockSignalOut,
                        cdrOptional_Rx_T* diagnostics) {
  // Rows of the victim column; none unless the storage really holds them.
  const std::int64_t numel = Rx_dynNumel(impulse->sizes, impulse->dimCount);
  const std::int32_t rows = impulse->dimCount >= 1 && impulse->sizes[0] > 0 &&
                                    impulse->elements != nullptr && numel >= impulse->sizes[0] &&
                                    numel <= impulse->capacity
                                ? impulse->sizes[0]
                                : 0;
  const double sps = obj->samplesPerSymbol;
  bool ok = true;
  double tr = rtNaN;          // rounded cursor, 1-based; NaN when there is none
  double cursorValue = rtNaN;  // pulse at the cursor
  // A symbol longer than the impulse response (or no symbol at all) gives no
  // meaningful pulse and would make the pulse cost unbounded.
  if (rows >= 1 && sps >= 1.0 && sps <= static_cast<double>(rows)) {
    WorkRow pulse;
    WorkRow q;
    if (!pulse.resize(rows) || !q.resize(rows)) {
      ok = false;
    } else {
      double* column = impulse->elements;
      computePulse(column, rows, static_cast<std::int32_t>(sps), obj->SampleInterval,
                   pulse.data());
      dfecdr_common::selectPolarity(pulse.data(), rows, q.a, &Rx_maximum);
      tr = findCursor(q.a, sps, obj->PhaseOffset);
      if (std::isfinite(tr)) {
        if (obj->Mode == 2.0) dfecdr_common::setTapsFromPulse(obj, pulse.data(), rows, tr, kMod);
        if (obj->Mode != 0.0) dfecdr_common::addFeedback(obj, column, rows, tr, kMod);
        // Folded like every other pulse read: the pulse is circular.
        const std::int32_t at = foldedOffset(tr, rows, kMod);
        cursorValue = at >= 0 ? pulse.data()[at] : rtNaN;
      } else {
        tr = rtNaN;
      }
    }
  }
  obj->pamThreshold = obj->Modulation == 4.0 ? cursorValue / 3.0 : 0.0;
  obj->phaseTime = (Rx_mod(tr - 1.0, sps) + 1.0) * obj->SampleInterval;
  const double phase = obj->phaseTime / obj->SymbolTime;

  *phaseOut = phase;
  *clockTimeOutArg = obj->clockTimeOut;
  *clockSignalOut = obj->clockState;
  dfecdr_common::writeDiagnosticHead(obj, phase, obj->Modulation == 4.0 ? obj->pamThreshold : 0.0,
                                     diagnostics);
  diagnostics->pamThreshold = obj->pamThreshold;
  dfecdr_common::writeTapWeights(obj, tapWeightsOut);
  return ok;
}

bool Rx_SystemCore_step_n(blk_DFECDR_Rx_n_T* obj, const dynArray_real_T* impulseIn,
                          dynArray_real_T* impulseOut, double tapWeightsOut[4], double* phaseOut,
                          cdrStatSignals_Rx_T* signals) {
  if (obj->isSetUp != 1) firstUse(obj);
  const bool copied = copyMatrix(impulseIn, impulseOut);
  cdrStatSignals_Rx_T local;
  cdrStatSignals_Rx_T* s = signals != nullptr ? signals : &local;
  const bool stepped = Rx_DFECDR_stepImpl(obj, impulseOut, tapWeightsOut, phaseOut, &s->clockTime,
                                          &s->clockSignal, &s->diagnostics);
  return copied && stepped;
}

}  // namespace dfecdr_b
