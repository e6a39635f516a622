// DFE/CDR revision A: the statistical step over an impulse response. It finds
// the cursor at which an early/late loop would lock on the pulse response,
// sets the taps from the post-cursor samples (adaptive mode), adds the
// feedback to the victim column and derives the decision thresholds. The
// cursor search, the taps and the feedback are shared with revision B
// (dfecdr_common_pulse.h); the pulse comes from the CTLE block's conversion.
#include <cmath>

#include "blocks/ctle/impulse2pulse.h"
#include "blocks/dfecdr/dfecdr_a.h"
#include "blocks/dfecdr/dfecdr_a_detail.h"
#include "blocks/dfecdr/dfecdr_common.h"
#include "blocks/dfecdr/dfecdr_common_pulse.h"
#include "model/rt_nonfinite.h"
#include "numeric/scalar.h"
#include "numeric/vector.h"

namespace dfecdr_a {

using detail::rowLength;

namespace {

constexpr double kTapScale = 2.0;  // as in the time-domain record

// The floored modulus is this revision's index fold.
constexpr dfecdr_common::ModFn kMod = &Rx_mod_p;

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

void firstUse(blk_DFECDR_Rx_m_T* obj) {
  dfecdr_common::firstUseTaps(obj, kTapScale);
  dfecdr_common::resetSamplers(obj);
  obj->averagingLength = obj->samplesPerSymbol * obj->AveragingSymbols;
  const std::int32_t n = detail::levelCount(obj->Modulation);
  if (detail::resizeRow(obj->symbols, n) && n > 0)
    detail::fillSymbolTable(obj->symbols->elements, n);
  dfecdr_common::resetLevelMeans(obj);
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

// Cursor position (1-based fractional sample index) on the pulse; NaN when
// none can be found.
double findCursor(blk_DFECDR_Rx_m_T* obj, dynArray_real_T* pulse, bool* ok) {
  const std::int32_t n = pulse->sizes[0];
  WorkArray work;
  if (!work.resize(n)) {
    *ok = false;
    return rtNaN;
  }
  dfecdr_common::selectPolarity(pulse->elements, n, work.get(), &Rx_maximum_b);
  const double sps = obj->samplesPerSymbol;
  double e = rtNaN;
  if (!dfecdr_common::findEdgeCrossing(work.get(), sps, kMod, &e)) e = rtNaN;
  return dfecdr_common::cursorFromCrossing(e, sps, obj->PhaseOffset);
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
  dfecdr_common::constructStatistical(obj, detail::kTapMin, detail::kTapMax, symbolTime,
                                      sampleInterval, modulation, mode, tapWeights, phaseOffset);
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

  if (cursorValid && obj->Mode == 2.0)
    dfecdr_common::setTapsFromPulse(obj, pulse.data(), rows, tr, kMod);
  if (cursorValid && copied && !(obj->Mode == 0.0))
    dfecdr_common::addFeedback(obj, impulseOut->elements, rows, tr, kMod);

  const double phase = cursor / obj->samplesPerSymbol;

  // The cursor read is folded like every other pulse index.
  double b = rtNaN;
  const std::int32_t at = cursorValid ? dfecdr_common::foldedOffset(tr, rows, kMod) : -1;
  if (at >= 0) b = pulse.data()[at];
  ok = setThresholds(obj, b) && ok;

  // No levels are tracked here: the symbol table stands in for them.
  const double upper = detail::reportLevels(obj, obj->symbols);
  detail::writeDiagnostics(obj, phase, upper, diagnostics);

  *phaseOut = phase;
  dfecdr_common::writeTapWeights(obj, tapWeightsOut);
  *clockTimeOutArg = obj->clockTimeOut;
  *clockSignalOut = obj->clockState;
  return ok;
}

}  // namespace dfecdr_a
