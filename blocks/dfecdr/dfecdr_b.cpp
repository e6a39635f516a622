// DFE/CDR, revision B: setup, reset, property handling, per-sample step and
// statistical step. See dfecdr_b.h for the contract.
#include "blocks/dfecdr/dfecdr_b.h"

#include <cmath>
#include <cstring>

#include "model/rt_nonfinite.h"
#include "numeric/scalar.h"
#include "numeric/vector.h"

namespace dfecdr_b {
namespace {

// ---- time-domain helpers ---------------------------------------------------

// Value at fraction 1 + f of the way from the previous sample b to the current
// sample a, for a countdown f in [-1, 0). Evaluated in exactly this form.
double interpolate(double a, double b, double f) { return (1.0 + f) * a - b * f; }

void pushDecision(blk_DFECDR_Rx_T* obj) {
  double* h = obj->decisionHistory;
  h[3] = h[2];
  h[2] = h[1];
  h[1] = h[0];
  h[0] = obj->decision;
}

void edgeSampler(blk_DFECDR_Rx_T* obj, double x) {
  if (!(obj->edgeCountdown < 0.0)) {
    obj->edgeCountdown = obj->edgeCountdown - 1.0;
    return;
  }
  // The current sample enters unequalised, the previous one as it was output.
  const double e = interpolate(x, obj->previousOutput, obj->edgeCountdown) +
                   obj->SamplerHysteresis * obj->edgeSign;
  obj->edgeSample = e;
  obj->edgeSign = e > 0.0 ? 0.5 : -0.5;
  obj->previousDecision = obj->decision;
  pushDecision(obj);
  obj->edgeCountdown =
      (obj->ReferenceOffset / 1e6 + 1.0) * obj->samplesPerSymbol + obj->edgeCountdown - 1.0;
  obj->clockState = 0.0;
}

double feedback(const blk_DFECDR_Rx_T* obj, double x) {
  if (obj->Mode == 0.0) return x;
  const double* h = obj->decisionHistory;
  const double* t = obj->appliedTaps;
  return (((h[0] * t[0] + x) + h[1] * t[1]) + h[2] * t[2]) + h[3] * t[3];
}

// Sign-error law: drives the correlation of the data sample with each past
// decision toward zero. Clamp first, then quantise.
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

void phaseStepTaken(blk_DFECDR_Rx_T* obj) {
  obj->voteCount = 0.0;
  obj->voteThreshold =
      obj->voteThreshold >= obj->CountLimit ? obj->CountLimit : obj->voteThreshold + 1.0;
}

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
      phaseStepTaken(obj);
    }
  } else {
    obj->voteCount = obj->voteCount - 1.0;
    if (obj->CdrMode == 1.0 && obj->voteCount <= -obj->voteThreshold) {
      obj->edgeCountdown = obj->edgeCountdown - amount;  // advance it
      phaseStepTaken(obj);
    }
  }
}

void dataSampler(blk_DFECDR_Rx_T* obj, double output) {
  if (!(obj->dataCountdown < 0.0)) {
    obj->dataCountdown = obj->dataCountdown - 1.0;
    return;
  }
  const double g = obj->dataCountdown;
  obj->dataSample =
      interpolate(output, obj->previousOutput, g) + obj->SamplerHysteresis * obj->decision;
  const double t = obj->sampleIndex * obj->SampleInterval + g * obj->SampleInterval;
  obj->phaseTime = rt_remd_snf(t, obj->SymbolTime);
  const double clockTime = t - obj->SymbolTime / 2.0;
  obj->clockTimeOut = clockTime < 0.0 ? 0.0 : clockTime;
  if (obj->Mode == 2.0) adaptTaps(obj);
  if (obj->Modulation == 4.0) Rx_DFECDR_trackLevels(obj);
  obj->decision = Rx_DFECDR_decide(obj->dataSample, obj->pamThreshold, obj->Modulation);
  phaseDetector(obj);
  obj->dataCountdown = obj->samplesPerSymbol * obj->PhaseOffset +
                       (obj->edgeCountdown + obj->samplesPerSymbol / 2.0);
  obj->clockState = 1.0;
}

// ---- statistical helpers ---------------------------------------------------

// Zero-based offset of a 1-based position w truncated toward zero, or -1 when
// w is not a number in [1, n + 1).
std::int32_t checkedOffset(double w, std::int32_t n) {
  if (!(w >= 1.0 && w < static_cast<double>(n) + 1.0)) return -1;
  return static_cast<std::int32_t>(w) - 1;
}

// 1-based position i folded circularly into 1..n, as a zero-based offset; -1
// for a non-finite i.
std::int32_t foldedOffset(double i, std::int32_t n) {
  return checkedOffset(Rx_mod(i - 1.0, static_cast<double>(n)) + 1.0, n);
}

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

// q = pulse or -pulse, whichever makes the largest deviation from the mean of
// the two end samples a positive one. A NaN in the comparison selects -pulse.
void selectPolarity(const double* pulse, std::int32_t n, dynArray_real_T* q) {
  double* w = q->elements;
  const double beta = (pulse[0] + pulse[n - 1]) / 2.0;
  for (std::int32_t i = 0; i < n; ++i) w[i] = pulse[i] - beta;
  const double signedMax = Rx_maximum(q);
  for (std::int32_t i = 0; i < n; ++i) w[i] = std::fabs(pulse[i] - beta);
  const double absMax = Rx_maximum(q);
  const bool negate = !(signedMax == absMax);
  for (std::int32_t i = 0; i < n; ++i) w[i] = negate ? -pulse[i] : pulse[i];
}

// Rounded cursor (1-based sample index) from the crossing of the pulse with
// its one-symbol-delayed copy after the peak; NaN when the pulse offers no
// crossing before its last sample or the crossing is not a number.
double findCursor(const dynArray_real_T* q, double sps, double phaseOffset) {
  const std::int32_t n = q->sizes[0];
  const double* w = q->elements;
  double peak = 0.0;
  std::int32_t t = 1;
  Rx_maximum_bx(q, &peak, &t);
  double d = 1e6;
  while (d > 0.0) {
    if (t >= n) return rtNaN;  // still rising at the end: no crossing
    ++t;
    const std::int32_t back = foldedOffset(static_cast<double>(t) - sps, n);
    if (back < 0) return rtNaN;
    d = w[t - 1] - w[back];
  }
  const std::int32_t backPrev = foldedOffset(static_cast<double>(t - 1) - sps, n);
  if (backPrev < 0) return rtNaN;
  const double dPrev = w[t - 2] - w[backPrev];
  const double xs[2] = {dPrev, d};
  const double ys[2] = {static_cast<double>(t - 1), static_cast<double>(t)};
  const double e = Rx_interp1_j(xs, ys);
  const double cursor = (e - sps / 2.0) + sps * phaseOffset;
  return rt_roundd_snf(cursor);
}

// Mode 2: taps cancel the pulse one to four symbols after the cursor.
// Quantise first, then clamp.
void setTapsFromPulse(blk_DFECDR_Rx_n_T* obj, const double* pulse, std::int32_t n, double tr,
                      double sps) {
  for (int k = 0; k < 4; ++k) {
    const std::int32_t at = foldedOffset(tr + static_cast<double>(k + 1) * sps, n);
    if (at < 0) continue;
    const double w = -pulse[at];
    obj->tapAccumulators[k] = w;
    const double step = obj->tapStep[k];
    double applied = step != 0.0 ? rt_roundd_snf(w / step) * step : w;
    if (applied > obj->tapUpper[k]) {
      applied = obj->tapUpper[k];
      obj->tapAccumulators[k] = applied;
    } else if (applied < obj->tapLower[k]) {
      applied = obj->tapLower[k];
      obj->tapAccumulators[k] = applied;
    }
    obj->appliedTaps[k] = applied;
  }
}

// Adds each tap as an impulse whose one-symbol pulse covers the post-cursor
// sample it cancels.
void addFeedback(const blk_DFECDR_Rx_n_T* obj, double* column, std::int32_t n, double tr,
                 double sps) {
  for (int k = 0; k < 4; ++k) {
    const double position = static_cast<double>(k + 1) * sps + tr - sps / 2.0;
    const double folded = Rx_mod(position - 1.0, static_cast<double>(n)) + 1.0;
    const std::int32_t at = checkedOffset(folded, n);  // truncates the half of an odd sps
    if (at < 0) continue;
    column[at] = column[at] + obj->appliedTaps[k] / obj->SampleInterval;
  }
}

void firstUse(blk_DFECDR_Rx_n_T* obj) {
  obj->isSetUp = 1;
  obj->TapScale = 1.0;
  for (int k = 0; k < 4; ++k) {
    obj->tapAccumulators[k] = obj->TapScale * obj->TapWeights[k];
    obj->appliedTaps[k] = obj->tapAccumulators[k];
    obj->tapUpper[k] = obj->TapScale * obj->TapMax[k];
    obj->tapLower[k] = obj->TapScale * obj->TapMin[k];
    obj->tapStep[k] = obj->TapScale * obj->TapResolution;
  }
  obj->clockTimeOut = 0.0;
  obj->phaseTime = obj->SymbolTime / 2.0;
  obj->samplesPerSymbol = rt_roundd_snf(obj->SymbolTime / obj->SampleInterval);
  obj->dataCountdown = obj->samplesPerSymbol / 2.0;
  obj->decision = 0.0;
  obj->voteCount = 0.0;
  obj->dataSample = 0.0;
  obj->edgeSample = 0.0;
  obj->clockState = 1.0;
  obj->pamThreshold = 0.333;
  obj->amplitude = 0.333;
  obj->innerLevel = 0.3;
  obj->outerLevel = 0.4;
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
  obj->AveragingSymbols = kAveragingSymbols;
  obj->CdrMode = kCdrMode;
  obj->firstTuning = true;
  obj->isSetUp = 0;
  for (int k = 0; k < 4; ++k) {
    obj->TapMin[k] = kTapMin[k];
    obj->TapMax[k] = kTapMax[k];
  }
  obj->AdaptGain = kAdaptGain;
  obj->TapResolution = kTapResolution;
  obj->CountLimit = kCountLimit;
  obj->PhaseStep = kPhaseStep;
  obj->SamplerHysteresis = kSamplerHysteresis;
  obj->SymbolTime = symbolTime;
  obj->SampleInterval = sampleInterval;
  obj->Modulation = modulation;
}

void Rx_SystemCore_setup(blk_DFECDR_Rx_T* obj) {
  obj->isSetUp = 1;
  obj->Mode = 0.0;
  obj->ReferenceOffset = 0.0;
  obj->PhaseOffset = 0.0;
  obj->TapScale = 1.0;
  for (int k = 0; k < 4; ++k) {
    obj->TapWeights[k] = 0.0;
    obj->decisionHistory[k] = 0.0;
    obj->tapAccumulators[k] = 0.0 * obj->TapScale;
    obj->appliedTaps[k] = 0.0 * obj->TapScale;
    obj->tapUpper[k] = obj->TapScale * obj->TapMax[k];
    obj->tapLower[k] = obj->TapScale * obj->TapMin[k];
  }
  obj->propertiesChanged = false;
}

void Rx_DFECDR_resetImpl(blk_DFECDR_Rx_T* obj) {
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
  obj->pamThreshold = 0.333;
  obj->amplitude = 0.333;
  obj->innerLevel = 0.3;
  obj->outerLevel = 0.4;
  for (int k = 0; k < 4; ++k) {
    obj->decisionHistory[k] = 0.0;
    obj->tapAccumulators[k] = obj->TapScale * obj->TapWeights[k];
    obj->appliedTaps[k] = obj->TapScale * obj->TapWeights[k];
    obj->tapUpper[k] = obj->TapScale * obj->TapMax[k];
    obj->tapLower[k] = obj->TapScale * obj->TapMin[k];
    obj->tapStep[k] = obj->TapScale * obj->TapResolution;
  }
}

bool Rx_DFECDR_setProperty(blk_DFECDR_Rx_T* obj, double* property, double value) {
  if (*property == value) return false;
  *property = value;
  if (obj->isSetUp == 1) obj->propertiesChanged = true;
  return true;
}

bool Rx_DFECDR_setPropertyN(blk_DFECDR_Rx_T* obj, double* property, double value) {
  if (Rx_isequaln(*property, value)) return false;
  *property = value;
  if (obj->isSetUp == 1) obj->propertiesChanged = true;
  return true;
}

bool Rx_DFECDR_setProperty4(blk_DFECDR_Rx_T* obj, double property[4], const double value[4]) {
  if (Rx_isequal(property, value)) return false;
  for (int k = 0; k < 4; ++k) property[k] = value[k];
  if (obj->isSetUp == 1) obj->propertiesChanged = true;
  return true;
}

void Rx_DFECDR_refreshProperties(blk_DFECDR_Rx_T* obj, const double tapMin[4],
                                 const double tapMax[4], double symbolTime,
                                 double sampleInterval, double modulation) {
  Rx_DFECDR_setProperty4(obj, obj->TapMin, tapMin);
  Rx_DFECDR_setProperty4(obj, obj->TapMax, tapMax);
  Rx_DFECDR_setProperty(obj, &obj->AdaptGain, kAdaptGain);
  Rx_DFECDR_setProperty(obj, &obj->TapResolution, kTapResolution);
  Rx_DFECDR_setProperty(obj, &obj->CountLimit, kCountLimit);
  Rx_DFECDR_setProperty(obj, &obj->PhaseStep, kPhaseStep);
  Rx_DFECDR_setProperty(obj, &obj->SamplerHysteresis, kSamplerHysteresis);
  Rx_DFECDR_setProperty(obj, &obj->SymbolTime, symbolTime);
  Rx_DFECDR_setProperty(obj, &obj->SampleInterval, sampleInterval);
  Rx_DFECDR_setProperty(obj, &obj->Modulation, modulation);
}

void Rx_DFECDR_processChangedProperties(blk_DFECDR_Rx_T* obj) {
  obj->propertiesChanged = false;
  if (obj->firstTuning) {
    obj->firstTuning = false;
    for (int k = 0; k < 4; ++k) {
      obj->decisionHistory[k] = 0.0;
      obj->tapAccumulators[k] = obj->TapScale * obj->TapWeights[k];
      obj->appliedTaps[k] = obj->TapScale * obj->TapWeights[k];
      obj->tapUpper[k] = obj->TapScale * obj->TapMax[k];
      obj->tapLower[k] = obj->TapScale * obj->TapMin[k];
      obj->tapStep[k] = obj->TapScale * obj->TapResolution;
    }
    return;
  }
  for (int k = 0; k < 4; ++k) {
    obj->tapAccumulators[k] = obj->TapScale * obj->TapWeights[k];
    obj->appliedTaps[k] = obj->TapScale * obj->TapWeights[k];
  }
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
  Rx_DFECDR_setPropertyN(obj, &obj->Mode, Mode);
  for (int k = 0; k < 4; ++k) Rx_DFECDR_setPropertyN(obj, &obj->TapWeights[k], TapWeights[k]);
  Rx_DFECDR_setPropertyN(obj, &obj->ReferenceOffset, ReferenceOffset);
  Rx_DFECDR_setPropertyN(obj, &obj->PhaseOffset, PhaseOffset);
  if (obj->propertiesChanged) Rx_DFECDR_processChangedProperties(obj);

  edgeSampler(obj, x);
  const double out = feedback(obj, x);
  dataSampler(obj, out);
  obj->sampleIndex = obj->sampleIndex + 1.0;
  obj->previousOutput = out;

  *output = out;
  *phaseOut = obj->phaseTime / obj->SymbolTime;
  *clockTimeOutArg = obj->clockTimeOut;
  *clockSignalOut = obj->clockState;
  for (int k = 0; k < 4; ++k) tapWeightsOut[k] = obj->appliedTaps[k] / obj->TapScale;
  *thresholdOut = obj->Modulation == 4.0 ? obj->pamThreshold : 0.0;
}

// ---- statistical record ----------------------------------------------------

void Rx_DFECDR_construct(blk_DFECDR_Rx_n_T* obj, double symbolTime, double sampleInterval,
                         double modulation, double phaseOffset, double mode,
                         const double tapWeights[4]) {
  obj->AveragingSymbols = kAveragingSymbols;
  obj->firstTuning = true;
  obj->isSetUp = 0;
  obj->Modulation = modulation;
  obj->SampleInterval = sampleInterval;
  obj->SymbolTime = symbolTime;
  obj->PhaseOffset = phaseOffset;
  obj->Mode = mode;
  obj->TapResolution = kTapResolution;
  for (int k = 0; k < 4; ++k) {
    obj->TapWeights[k] = tapWeights[k];
    obj->TapMin[k] = kTapMin[k];
    obj->TapMax[k] = kTapMax[k];
  }
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
      selectPolarity(pulse.data(), rows, q.a);
      tr = findCursor(q.a, sps, obj->PhaseOffset);
      if (std::isfinite(tr)) {
        if (obj->Mode == 2.0) setTapsFromPulse(obj, pulse.data(), rows, tr, sps);
        if (obj->Mode != 0.0) addFeedback(obj, column, rows, tr, sps);
        // Folded like every other pulse read: the pulse is circular.
        const std::int32_t at = foldedOffset(tr, rows);
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
  diagnostics->phase = phase;
  diagnostics->symbol = obj->decision;
  diagnostics->dataVoltage = obj->dataSample;
  diagnostics->upperThreshold = obj->Modulation == 4.0 ? obj->pamThreshold : 0.0;
  diagnostics->edgeVoltage = obj->edgeSample;
  diagnostics->countdown = obj->dataCountdown;
  diagnostics->votes = obj->voteCount;
  diagnostics->innerLevel = obj->innerLevel;
  diagnostics->outerLevel = obj->outerLevel;
  diagnostics->amplitude = obj->amplitude;
  diagnostics->pamThreshold = obj->pamThreshold;
  for (int k = 0; k < 4; ++k) tapWeightsOut[k] = obj->appliedTaps[k] / obj->TapScale;
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
