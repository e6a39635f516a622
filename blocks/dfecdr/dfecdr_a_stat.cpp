// DFE/CDR revision A: the statistical step over an impulse response. It finds
// the cursor at which an early/late loop would lock on the pulse response,
// sets the taps from the post-cursor samples (adaptive mode), adds the
// feedback to the victim column and derives the decision thresholds.
#include <cmath>

#include "blocks/ctle/impulse2pulse.h"
#include "blocks/dfecdr/dfecdr_a.h"
#include "blocks/dfecdr/dfecdr_a_detail.h"
#include "model/rt_nonfinite.h"
#include "numeric/scalar.h"
#include "numeric/vector.h"

namespace dfecdr_a {

using detail::rowLength;

namespace {

constexpr double kTapMin[4] = {-0.2, -0.1, -0.1, -0.1};
constexpr double kTapMax[4] = {0.2, 0.1, 0.1, 0.1};

// A one-dimensional working array released on every way out.
class WorkArray {
 public:
  WorkArray() { ok_ = Rx_dynInit_real_T(&a_, 1); }
  ~WorkArray() { Rx_dynFree_real_T(&a_); }
  WorkArray(const WorkArray&) = delete;
  WorkArray& operator=(const WorkArray&) = delete;
  dynArray_real_T* get() { return ok_ ? a_ : nullptr; }
  bool resize(std::int32_t n) {
    if (!ok_) return false;
    const std::int32_t old = a_->sizes[0];
    a_->sizes[0] = n;
    return Rx_dynEnsureCapacity_real_T(a_, old);
  }
  double* data() { return a_->elements; }

 private:
  dynArray_real_T* a_ = nullptr;
  bool ok_ = false;
};

// Folds a 1-based position into 1 .. n (floored modulus) and truncates it to
// an index. False for a non-finite position, so that no NaN or infinity is
// ever converted to an integer.
bool foldIndex(double position, std::int32_t n, std::int32_t* index) {
  const double w = Rx_mod_p(position - 1.0, static_cast<double>(n)) + 1.0;
  if (!(w >= 1.0 && w < static_cast<double>(n) + 1.0)) return false;
  *index = static_cast<std::int32_t>(w);
  return true;
}

void firstUse(blk_DFECDR_Rx_m_T* obj) {
  obj->isSetUp = 1;
  obj->TapScale = 2.0;
  for (int k = 0; k < 4; ++k) obj->tapAccumulators[k] = obj->TapScale * obj->TapWeights[k];
  obj->clockTimeOut = 0.0;
  obj->samplesPerSymbol = rt_roundd_snf(obj->SymbolTime / obj->SampleInterval);
  obj->dataCountdown = obj->samplesPerSymbol / 2.0;
  obj->decision = 0.0;
  obj->voteCount = 0.0;
  obj->dataSample = 0.0;
  obj->edgeSample = 0.0;
  obj->clockState = 1.0;
  obj->averagingLength = obj->samplesPerSymbol * obj->AveragingSymbols;
  const std::int32_t n = detail::levelCount(obj->Modulation);
  if (detail::resizeRow(obj->symbols, n) && n > 0)
    detail::fillSymbolTable(obj->symbols->elements, n);
  obj->amplitude = 0.333;
  obj->innerLevel = 0.3;
  obj->outerLevel = 0.4;
  for (int k = 0; k < 4; ++k) {
    obj->appliedTaps[k] = obj->tapAccumulators[k];
    obj->tapUpper[k] = obj->TapScale * obj->TapMax[k];
    obj->tapLower[k] = obj->TapScale * obj->TapMin[k];
    obj->tapStep[k] = obj->TapScale * obj->TapResolution;
  }
}

// impulseOut = impulseIn, sized rows x columns.
bool copyMatrix(const dynArray_real_T* in, std::int32_t rows, std::int32_t cols,
                dynArray_real_T* out) {
  if (out == nullptr || out->dimCount < 2) return false;
  std::int64_t old = Rx_dynNumel(out->sizes, out->dimCount);
  if (old > out->capacity) old = out->capacity;
  if (old < 0) old = 0;
  out->sizes[0] = rows;
  out->sizes[1] = cols;
  for (std::int32_t d = 2; d < out->dimCount; ++d) out->sizes[d] = 1;
  if (!Rx_dynEnsureCapacity_real_T(out, static_cast<std::int32_t>(old))) return false;
  const std::int64_t n = static_cast<std::int64_t>(rows) * cols;
  for (std::int64_t i = 0; i < n; ++i) out->elements[i] = in->elements[i];
  return true;
}

// The 1-based crossing position of the pulse with its copy delayed by one
// symbol, searched from the peak of q toward later samples; NaN when the
// pulse holds no crossing after its peak or a position is not finite.
double findCrossing(const double* q, std::int32_t n, double sps, std::int32_t peak) {
  double d = 1e6;
  std::int32_t t = peak;
  std::int32_t back = 0;
  while (d > 0.0 && t < n) {
    ++t;
    if (!foldIndex(static_cast<double>(t) - sps, n, &back)) return rtNaN;
    d = q[t - 1] - q[back - 1];
  }
  if (d > 0.0) return rtNaN;  // still rising at the end of the pulse
  if (!foldIndex(static_cast<double>(t - 1) - sps, n, &back)) return rtNaN;
  const double dPrev = q[t - 2] - q[back - 1];
  const double x[2] = {dPrev, d};
  const double y[2] = {static_cast<double>(t - 1), static_cast<double>(t)};
  return Rx_interp1_j(x, y);
}

// Cursor position (1-based fractional sample index) on the pulse; NaN when
// none can be found.
double findCursor(blk_DFECDR_Rx_m_T* obj, dynArray_real_T* pulse, bool* ok) {
  const std::int32_t n = pulse->sizes[0];
  const double* h = pulse->elements;
  WorkArray work;
  if (!work.resize(n)) {
    *ok = false;
    return rtNaN;
  }
  double* w = work.data();
  // Polarity: a pulse whose largest excursion from its baseline is negative
  // is searched upside down.
  const double base = (h[0] + h[n - 1]) / 2.0;
  for (std::int32_t i = 0; i < n; ++i) w[i] = h[i] - base;
  const double signedMax = Rx_maximum_b(work.get());
  for (std::int32_t i = 0; i < n; ++i) w[i] = std::fabs(h[i] - base);
  const double absMax = Rx_maximum_b(work.get());
  const bool negate = !(signedMax == absMax);
  for (std::int32_t i = 0; i < n; ++i) w[i] = negate ? -h[i] : h[i];
  double peakValue = 0.0;
  std::int32_t peak = 1;
  Rx_maximum_bx(work.get(), &peakValue, &peak);
  if (peak < 1 || peak > n) return rtNaN;

  const double sps = obj->samplesPerSymbol;
  const double e = findCrossing(w, n, sps, peak);
  // The data sampler sits half a symbol before the edge crossing.
  return (e - sps / 2.0) + sps * obj->PhaseOffset;
}

// Adaptive taps: cancel the pulse one to four symbols after the cursor.
// Quantised first, then clamped.
void setTaps(blk_DFECDR_Rx_m_T* obj, const double* pulse, std::int32_t n, double tr) {
  const double sps = obj->samplesPerSymbol;
  for (int k = 0; k < 4; ++k) {
    std::int32_t ix = 0;
    if (!foldIndex(tr + static_cast<double>(k + 1) * sps, n, &ix)) continue;
    const double w = -pulse[ix - 1];
    const double step = obj->tapStep[k];
    double applied = step != 0.0 ? rt_roundd_snf(w / step) * step : w;
    double acc = w;
    if (applied > obj->tapUpper[k]) {
      applied = obj->tapUpper[k];
      acc = applied;
    } else if (applied < obj->tapLower[k]) {
      applied = obj->tapLower[k];
      acc = applied;
    }
    obj->tapAccumulators[k] = acc;
    obj->appliedTaps[k] = applied;
  }
}

// Adds each tap's feedback as an impulse one symbol window before its
// post-cursor sample.
void addFeedback(const blk_DFECDR_Rx_m_T* obj, double* victim, std::int32_t n, double tr) {
  const double sps = obj->samplesPerSymbol;
  for (int k = 0; k < 4; ++k) {
    std::int32_t p = 0;
    if (!foldIndex(static_cast<double>(k + 1) * sps + tr - sps / 2.0, n, &p)) continue;
    victim[p - 1] = victim[p - 1] + obj->appliedTaps[k] / obj->SampleInterval;
  }
}

// thresholds = b * (-(M-2)/2 .. (M-2)/2) / (M - 1); empty for unsupported M.
bool setThresholds(blk_DFECDR_Rx_m_T* obj, double b) {
  const double m = obj->Modulation;
  detail::ColonRow grid{0.0, 0.0, 1.0, 0};
  if (detail::levelCount(m) > 0) grid = detail::colonRow(-(m - 2.0) / 2.0, (m - 2.0) / 2.0, 1.0);
  if (grid.count > kMaxLevels - 1) grid.count = kMaxLevels - 1;
  if (!detail::resizeRow(obj->thresholds, grid.count)) return false;
  for (std::int32_t i = 0; i < grid.count; ++i)
    obj->thresholds->elements[i] = b * detail::colonValue(grid, i) / (m - 1.0);
  return true;
}

}  // namespace

bool Rx_dynInitStruct_blk_DFECDR1(blk_DFECDR_Rx_m_T* obj) {
  const bool a = Rx_dynInit_real_T(&obj->thresholds, 2);
  const bool b = Rx_dynInit_real_T(&obj->symbols, 2);
  return a && b;
}

void Rx_dynFreeStruct_blk_DFECDR1(blk_DFECDR_Rx_m_T* obj) {
  Rx_dynFree_real_T(&obj->symbols);
  Rx_dynFree_real_T(&obj->thresholds);
}

void Rx_DFECDR_construct_m(blk_DFECDR_Rx_m_T* obj, double symbolTime, double sampleInterval,
                           double modulation, double mode, const double tapWeights[4],
                           double phaseOffset) {
  obj->AveragingSymbols = 50.0;
  obj->isSetUp = 0;
  obj->Modulation = modulation;
  obj->SampleInterval = sampleInterval;
  obj->SymbolTime = symbolTime;
  obj->PhaseOffset = phaseOffset;
  obj->Mode = mode;
  obj->TapResolution = 1e-6;
  for (int k = 0; k < 4; ++k) {
    obj->TapWeights[k] = tapWeights[k];
    obj->TapMin[k] = kTapMin[k];
    obj->TapMax[k] = kTapMax[k];
  }
}

bool Rx_SystemCore_step_m(blk_DFECDR_Rx_m_T* obj, const dynArray_real_T* impulseIn,
                          dynArray_real_T* impulseOut, double tapWeightsOut[4], double* phaseOut,
                          double* clockTimeOutArg, double* clockSignalOut,
                          cdrOptional_Rx_T* diagnostics) {
  if (obj->isSetUp != 1) firstUse(obj);
  const std::int32_t nSym = detail::levelCount(obj->Modulation);
  bool ok = rowLength(obj->symbols) == nSym;

  std::int32_t rows = 0;
  std::int32_t cols = 0;
  if (impulseIn != nullptr && impulseIn->elements != nullptr && impulseIn->dimCount >= 1) {
    rows = impulseIn->sizes[0];
    cols = impulseIn->dimCount >= 2 ? impulseIn->sizes[1] : 1;
    for (std::int32_t d = 2; d < impulseIn->dimCount; ++d) cols *= impulseIn->sizes[d];
    if (rows <= 0 || cols <= 0) rows = cols = 0;
  }
  const bool copied = copyMatrix(impulseIn, rows, cols, impulseOut);
  ok = ok && copied;

  // Pulse of the victim column, read in place.
  std::int32_t victimRows = rows;
  dynArray_real_T victim{rows > 0 ? impulseIn->elements : nullptr, &victimRows, rows, 1, false};
  WorkArray pulse;
  bool havePulse = false;
  if (rows > 0) {
    havePulse = pulse.get() != nullptr &&
                Rx_impulse2pulse(&victim, obj->samplesPerSymbol, obj->SampleInterval, pulse.get());
    ok = ok && havePulse;
  }

  double cursor = rtNaN;
  if (havePulse) cursor = findCursor(obj, pulse.get(), &ok);
  const bool cursorValid = std::isfinite(cursor);
  const double tr = rt_roundd_snf(cursor);

  if (cursorValid && obj->Mode == 2.0) setTaps(obj, pulse.data(), rows, tr);
  if (cursorValid && copied && !(obj->Mode == 0.0))
    addFeedback(obj, impulseOut->elements, rows, tr);

  const double phase = cursor / obj->samplesPerSymbol;

  // The cursor read is folded like every other pulse index.
  double b = rtNaN;
  std::int32_t ix = 0;
  if (cursorValid && foldIndex(tr, rows, &ix)) b = pulse.data()[ix - 1];
  ok = setThresholds(obj, b) && ok;

  double upper = 0.0;
  if (obj->Modulation == 4.0 && rowLength(obj->symbols) >= 4) {
    const double* s = obj->symbols->elements;
    const std::int32_t nThr = rowLength(obj->thresholds);
    upper = nThr > 0 ? obj->thresholds->elements[nThr - 1] : 0.0;
    obj->innerLevel = (std::fabs(s[1]) + std::fabs(s[2])) / 2.0;
    obj->outerLevel = (std::fabs(s[0]) + std::fabs(s[3])) / 2.0;
  } else {
    obj->innerLevel = 0.3;
    obj->outerLevel = 0.4;
  }

  diagnostics->phase = phase;
  diagnostics->symbol = obj->decision;
  diagnostics->dataVoltage = obj->dataSample;
  diagnostics->upperThreshold = upper;
  diagnostics->edgeVoltage = obj->edgeSample;
  diagnostics->countdown = obj->dataCountdown;
  diagnostics->votes = obj->voteCount;
  diagnostics->innerLevel = obj->innerLevel;
  diagnostics->outerLevel = obj->outerLevel;
  diagnostics->amplitude = obj->amplitude;
  for (double& v : diagnostics->thresholdList) v = 0.0;
  std::int32_t nThr = rowLength(obj->thresholds);
  if (nThr > 31) nThr = 31;
  for (std::int32_t i = 0; i < nThr; ++i) diagnostics->thresholdList[i] = obj->thresholds->elements[i];

  *phaseOut = phase;
  for (int k = 0; k < 4; ++k) tapWeightsOut[k] = obj->appliedTaps[k] / obj->TapScale;
  *clockTimeOutArg = obj->clockTimeOut;
  *clockSignalOut = obj->clockState;
  return ok;
}

}  // namespace dfecdr_a
