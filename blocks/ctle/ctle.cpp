#include "blocks/ctle/ctle.h"

#include <cmath>
#include <cstdint>

#include "blocks/ctle/impulse2pulse.h"
#include "model/rt_nonfinite.h"
#include "numeric/partial_fraction.h"
#include "numeric/scalar.h"
#include "numeric/vector.h"

namespace {

// Fixed transfer function of the time-domain CTLE (Hz).
constexpr double kTdGain = 19.437929381981153;
constexpr double kTdZero = -406790955.9967284;
constexpr double kTdPole0 = -1610588571.4285715;
constexpr double kTdPole1 = -1455724285.7142856;

// Design table of the statistical CTLE: DC gain (decreasing), zero and poles in table units,
// scaled to Hz by 2.4e9 / 1.4e10.
constexpr double kDesignGain[12] = {1.0,
                                    0.8912509381337456,
                                    0.7943282347242815,
                                    0.7079457843841379,
                                    0.6309573444801932,
                                    0.5623413251903491,
                                    0.5011872336272722,
                                    0.44668359215096315,
                                    0.3981071705534972,
                                    0.3548133892335754,
                                    0.1,
                                    0.01};
constexpr double kDesignZero[12] = {-11300000000.0, -8363000000.0, -7099000000.0, -5676000000.0,
                                    -4960100000.0,  -4358000000.0, -3844000000.0, -3399000000.0,
                                    -3012000000.0,  -2672000000.0, -740000000.0,  -80000000.0};
constexpr double kDesignPole[12] = {-25600000000.0, -18600000000.0, -18600000000.0, -15600000000.0,
                                    -15600000000.0, -15600000000.0, -15600000000.0, -15600000000.0,
                                    -15600000000.0, -15600000000.0, -15600000000.0, -15600000000.0};
constexpr double kDesignPole2[12] = {
    -14100000000.0, -14100000000.0, -14100000000.0, -14100000000.0, -14100000000.0, -14100000000.0,
    -14100000000.0, -14100000000.0, -14100000000.0, -14100000000.0, -14100000000.0, -14100000000.0};

double toHz(double tableValue) { return (tableValue * 2.4e9) / 1.4e10; }

// a != b, except that two NaNs are equal.
bool differsNaNAware(double a, double b) { return !(a == b) && !(rtIsNaN(a) && rtIsNaN(b)); }

// v[0] + v[1] + ... from the first element; 0 for none.
double sumInOrder(const double v[], std::int32_t n) {
  if (n <= 0) return 0.0;
  double s = v[0];
  for (std::int32_t i = 1; i < n; ++i) s += v[i];
  return s;
}

// Temporary dynamic array of doubles, released on every way out.
class TempArray {
 public:
  explicit TempArray(std::int32_t dims) { Rx_dynInit_real_T(&a_, dims); }
  ~TempArray() { Rx_dynFree_real_T(&a_); }
  TempArray(const TempArray&) = delete;
  TempArray& operator=(const TempArray&) = delete;

  // One-dimensional resize; false when the array is missing or could not grow.
  bool resize(std::int64_t n) {
    if (a_ == nullptr || n < 0 || n > INT32_MAX) return false;
    const std::int64_t old = Rx_dynNumel(a_->sizes, a_->dimCount);
    a_->sizes[0] = static_cast<std::int32_t>(n);
    return Rx_dynEnsureCapacity_real_T(a_, static_cast<std::int32_t>(old));
  }
  dynArray_real_T* get() { return a_; }
  double* data() { return a_->elements; }

 private:
  dynArray_real_T* a_ = nullptr;
};

// Direct-form-I filter of one configuration, zero state, input v (length len) applied twice;
// y receives the outputs of the second pass.
struct DirectForm {
  const double* b;  // np + 1 numerator coefficients
  const double* a;  // np denominator coefficients
  std::int32_t np;  // 0 .. kCtleMaxPoles
};

void filterPeriodic(const DirectForm& f, const double* v, std::int32_t len, double* y) {
  double x[kCtleMaxPoles + 1] = {};
  double yh[kCtleMaxPoles] = {};
  double bx[kCtleMaxPoles + 1];
  double ay[kCtleMaxPoles];
  for (std::int32_t pass = 0; pass < 2; ++pass) {
    for (std::int32_t i = 0; i < len; ++i) {
      for (std::int32_t m = f.np; m >= 1; --m) x[m] = x[m - 1];
      x[0] = v[i];
      for (std::int32_t m = 0; m <= f.np; ++m) bx[m] = f.b[m] * x[m];
      for (std::int32_t m = 0; m < f.np; ++m) ay[m] = f.a[m] * yh[m];
      const double out = sumInOrder(bx, f.np + 1) - sumInOrder(ay, f.np);
      for (std::int32_t m = f.np - 1; m >= 1; --m) yh[m] = yh[m - 1];
      if (f.np > 0) yh[0] = out;
      if (pass == 1) y[i] = out;
    }
  }
}

// Filter of configuration q; false when the coefficient arrays do not hold it.
bool directFormOf(const ctleCoefficients_Rx_T& c, std::int32_t q, DirectForm* f) {
  if (c.numerator == nullptr || c.denominator == nullptr || c.poleCount == nullptr) return false;
  const std::int32_t numRows = c.numerator->sizes[0];
  const std::int32_t denRows = c.denominator->sizes[0];
  if (c.numerator->sizes[1] < kCtleConfigCount || c.denominator->sizes[1] < kCtleConfigCount ||
      c.poleCount->sizes[0] < kCtleConfigCount || numRows != denRows + 1 || denRows > kCtleMaxPoles)
    return false;
  f->np = Rx_CTLE_clampCount(c.poleCount->elements[q], 0, denRows);
  f->b = c.numerator->elements + static_cast<std::int64_t>(q) * numRows;
  f->a = denRows > 0 ? c.denominator->elements + static_cast<std::int64_t>(q) * denRows : nullptr;
  return true;
}

// Resizes a two-dimensional out to rows x cols.
bool resizeMatrix(dynArray_real_T* out, std::int32_t rows, std::int32_t cols) {
  if (out == nullptr || out->dimCount != 2) return false;
  const std::int64_t old = Rx_dynNumel(out->sizes, out->dimCount);
  out->sizes[0] = rows;
  out->sizes[1] = cols;
  return Rx_dynEnsureCapacity_real_T(out, static_cast<std::int32_t>(old));
}

void copyMatrix(const dynArray_real_T* in, dynArray_real_T* out, std::int64_t numel) {
  for (std::int64_t i = 0; i < numel; ++i) out->elements[i] = in->elements[i];
}

// Rows and columns of the impulse matrix; a one-dimensional input is one column.
void matrixShape(const dynArray_real_T* impulse, std::int32_t* rows, std::int32_t* cols) {
  *rows = 0;
  *cols = 0;
  if (impulse == nullptr || impulse->dimCount < 1) return;
  *rows = impulse->sizes[0] > 0 ? impulse->sizes[0] : 0;
  if (impulse->dimCount == 1) {
    *cols = 1;
  } else {
    *cols = impulse->sizes[1] > 0 ? impulse->sizes[1] : 0;
    for (std::int32_t d = 2; d < impulse->dimCount; ++d)
      if (impulse->sizes[d] != 1) *rows = *cols = 0;  // not a matrix: treated as empty
  }
}

// Valid index 1..n held in a double.
bool isIndex(double idx, std::int32_t n) {
  return idx >= 1.0 && idx <= static_cast<double>(n) && idx == std::floor(idx);
}

// w(t) - w(mod(shifted, n) + 1) for 1-based t; false when the second index is not valid.
bool lagDifference(const double* w, std::int32_t n, std::int32_t t, double shifted, double* delta) {
  const double idx = Rx_mod_p(shifted, static_cast<double>(n)) + 1.0;
  if (!isIndex(idx, n)) return false;
  *delta = w[t - 1] - w[static_cast<std::int32_t>(idx) - 1];
  return true;
}

// Chooses the configuration from the victim column (Mode 2). When no pulse can be formed
// or scored (working storage refused, or a symbol too long for the pulse conversion) no score
// exists and configuration 0 is chosen, as for all-NaN scores.
std::int32_t adaptConfiguration(const blk_CTLE_Rx_j_T* obj, const dynArray_real_T* impulse,
                                std::int32_t rows, std::int32_t cols) {
  const double n = rt_roundd_snf(obj->SymbolTime / obj->SampleInterval);
  TempArray victim(1), pulse(1), u(1), y(1);
  if (!victim.resize(cols > 0 ? rows : 0)) return 0;
  for (std::int32_t i = 0; i < victim.get()->sizes[0]; ++i) victim.data()[i] = impulse->elements[i];
  if (pulse.get() == nullptr ||
      !Rx_impulse2pulse(victim.get(), n, obj->SampleInterval, pulse.get()))
    return 0;
  if (!Rx_CTLE_truncatePulse(pulse.get(), n, u.get())) return 0;
  const std::int32_t m = u.get()->sizes[0];
  if (!y.resize(m)) return 0;

  double scores[kCtleConfigCount];
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    DirectForm f;
    if (!directFormOf(obj->coefficients, k, &f)) return 0;
    filterPeriodic(f, u.data(), m, y.data());
    scores[k] = Rx_CTLE_PulseGoodness(y.get(), n);
  }
  return Rx_CTLE_chooseConfiguration(scores);
}

void setupStatistical(blk_CTLE_Rx_j_T* obj, std::int32_t rows, std::int32_t cols) {
  obj->isSetUp = 1;
  obj->inputSize[0] = rows;
  obj->inputSize[1] = cols;
  for (std::int32_t d = 2; d < 8; ++d) obj->inputSize[d] = 1;
  obj->cascadeRequired = false;
  obj->stepReady = true;

  double zeros[8];
  double poles[16];
  double dcGain[8];
  Rx_CTLE_designConfigurations(zeros, poles, dcGain);
  double zeroCount[kCtleConfigCount];
  double poleCount[kCtleConfigCount];
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    poleCount[k] = (poles[k] != 0.0 ? 1.0 : 0.0) + (poles[k + kCtleConfigCount] != 0.0 ? 1.0 : 0.0);
    zeroCount[k] = zeros[k] != 0.0 ? 1.0 : 0.0;
  }
  obj->cascadeRequired = Rx_CTLE_cascadeRequired(poleCount, poles, zeroCount, zeros);

  double maxPoles = poleCount[0];
  for (std::int32_t k = 1; k < kCtleConfigCount; ++k)
    if (poleCount[k] > maxPoles) maxPoles = poleCount[k];

  obj->designSampleInterval = obj->SampleInterval;
  obj->designScale = 1.0;
  obj->coefficientsReady = false;
  if (!obj->cascadeRequired) {
    Rx_calculateCTLECoefficients(obj->SampleInterval, zeroCount, poleCount, maxPoles, zeros, poles,
                                 dcGain, &obj->coefficients, &obj->designSampleInterval,
                                 &obj->designScale, &obj->coefficientsReady);
  } else {
    // Zero filters; the step passes the matrix through in this case.
    Rx_CTLE_resetCoefficients(&obj->coefficients, maxPoles, zeroCount, poleCount);
  }
  obj->propertiesChanged = false;
}

}  // namespace

// --- time-domain CTLE -------------------------------------------------------------------

void Rx_SystemCore_setup(blk_CTLE_Rx_T* obj) {
  obj->isSetUp = 1;
  obj->Mode = 0.0;
  obj->ConfigSelect = 0.0;
  obj->cascadeSelected = false;
  obj->timingCurrent = true;

  const double zeros[1] = {kTdZero};
  const double poles[2] = {kTdPole0, kTdPole1};
  const std::int32_t zerosSize[2] = {1, 1};
  const std::int32_t polesSize[2] = {1, 2};
  creal_T residues[2] = {};
  std::int32_t residueSize[2] = {1, 0};
  Rx_partialFractionExpansion(zeros, zerosSize, poles, polesSize, kTdGain, residues, residueSize);
  Rx_CTLE_discretise(residues, poles, 2, obj->SampleInterval, obj->numerator, obj->denominator);

  for (double& v : obj->inputHistory) v = 0.0;
  for (double& v : obj->outputHistory) v = 0.0;
  obj->denominatorLead = 1.0;
  obj->order = 2.0;
  obj->designSampleInterval = obj->SampleInterval;
  obj->designScale = 1.0;
  obj->filterReady = true;

  // The cascaded fields hold the same filter as one section; the step never uses them.
  for (std::int32_t i = 0; i < 5; ++i) {
    obj->cascadeNumerator[i] = i < 3 ? obj->numerator[i] : 0.0;
    obj->cascadeDenominator[i] = i == 0 ? 1.0 : (i < 3 ? obj->denominator[i - 1] : 0.0);
  }
  obj->cascadeSections = 1.0;
  obj->cascadeGain = kTdGain;
  obj->cascadeStateRows = 2.0;
  for (double& v : obj->cascadeState) v = 0.0;
  obj->propertiesChanged = false;
}

bool Rx_CTLE_refreshProperties(blk_CTLE_Rx_T* obj, double symbolTime, double sampleInterval,
                               double mode, double configSelect) {
  bool wrote = false;
  if (obj->SymbolTime != symbolTime) {
    obj->SymbolTime = symbolTime;
    obj->timingCurrent = false;
    wrote = true;
  }
  if (obj->SampleInterval != sampleInterval) {
    obj->SampleInterval = sampleInterval;
    obj->timingCurrent = false;
    wrote = true;
  }
  if (differsNaNAware(obj->Mode, mode)) {
    obj->Mode = mode;
    wrote = true;
  }
  if (differsNaNAware(obj->ConfigSelect, configSelect)) {
    obj->ConfigSelect = configSelect;
    wrote = true;
  }
  // A change would mark propertiesChanged once set up, but needs no processing (the filter
  // is fixed at setup), so the flag is left clear.
  obj->propertiesChanged = false;
  return wrote;
}

void Rx_CTLE_stepImpl(blk_CTLE_Rx_T* obj, double in, double* out, double* configSelectOut) {
  if (obj->Mode == 0.0) {
    *out = in;
    *configSelectOut = obj->ConfigSelect;
    return;
  }
  // Direct form I with the fixed order 2 (order + 1 = 3 numerator, 2 denominator terms).
  double* const x = obj->inputHistory;
  double* const yh = obj->outputHistory;
  const double* const b = obj->numerator;
  const double* const a = obj->denominator;
  x[2] = x[1];
  x[1] = x[0];
  x[0] = in;
  const double y = ((b[0] * x[0] + b[1] * x[1]) + b[2] * x[2]) - (a[0] * yh[0] + a[1] * yh[1]);
  yh[1] = yh[0];
  yh[0] = y;
  *out = y;

  if (obj->Mode == 2.0) {
    if (obj->latchPending) {
      obj->latchedConfigSelect = obj->ConfigSelect;
      obj->latchPending = false;
    }
    *configSelectOut = obj->latchedConfigSelect;
  } else {
    *configSelectOut = obj->ConfigSelect;
  }
}

// --- statistical CTLE -------------------------------------------------------------------

bool Rx_dynInitStruct_blk_CTLE(blk_CTLE_Rx_j_T* obj) {
  return dynInitStruct_ctleCoefficients(&obj->coefficients);
}

void Rx_dynFreeStruct_blk_CTLE(blk_CTLE_Rx_j_T* obj) {
  dynFreeStruct_ctleCoefficients(&obj->coefficients);
}

void Rx_CTLE_designConfigurations(double zeros[8], double poles[16], double dcGain[8]) {
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    const double dB = -static_cast<double>(k);
    const double g = Rx_rt_powd_snf(10.0, dB / 20.0);
    zeros[k] = toHz(Rx_interp1(kDesignGain, kDesignZero, g));
    poles[k] = toHz(Rx_interp1(kDesignGain, kDesignPole, g));
    poles[k + kCtleConfigCount] = toHz(Rx_interp1(kDesignGain, kDesignPole2, g));
    dcGain[k] = Rx_rt_powd_snf(10.0, dB / 20.0);
  }
}

bool Rx_SystemCore_step(blk_CTLE_Rx_j_T* obj, const dynArray_real_T* impulse, dynArray_real_T* out,
                        double* configSelectOut) {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  matrixShape(impulse, &rows, &cols);
  if (obj->isSetUp != 1) setupStatistical(obj, rows, cols);
  if (obj->inputSize[0] != rows || obj->inputSize[1] != cols) {
    obj->inputSize[0] = rows;
    obj->inputSize[1] = cols;
  }
  return Rx_CTLE_stepImpl_a(obj, impulse, out, configSelectOut);
}

bool Rx_CTLE_stepImpl_a(blk_CTLE_Rx_j_T* obj, const dynArray_real_T* impulse, dynArray_real_T* out,
                        double* configSelectOut) {
  obj->propertiesChanged = false;
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  matrixShape(impulse, &rows, &cols);
  if (!resizeMatrix(out, rows, cols)) return false;
  const std::int64_t numel = static_cast<std::int64_t>(rows) * cols;

  const double mode = obj->Mode;
  bool passThrough = mode == 0.0 || obj->cascadeRequired;
  if (!passThrough && !obj->coefficientsReady) {
    // Setup could not size the coefficients: nothing to filter with.
    *configSelectOut = obj->ConfigSelect;
    copyMatrix(impulse, out, numel);
    return false;
  }

  std::int32_t q = 0;
  if (!passThrough && mode == 2.0) {
    q = adaptConfiguration(obj, impulse, rows, cols);
  } else if (!passThrough) {
    const double sel = obj->ConfigSelect;
    passThrough = !(sel >= 0.0 && sel <= kCtleConfigCount - 1 && sel == std::floor(sel));
    if (!passThrough) q = static_cast<std::int32_t>(sel);
  }

  if (passThrough) {
    *configSelectOut = obj->ConfigSelect;
    copyMatrix(impulse, out, numel);
    return true;
  }

  *configSelectOut = static_cast<double>(q);
  DirectForm f;
  if (!directFormOf(obj->coefficients, q, &f)) {
    out->sizes[0] = out->sizes[1] = 0;
    return false;
  }
  for (std::int32_t j = 0; j < cols; ++j) {
    const std::int64_t offset = static_cast<std::int64_t>(j) * rows;
    filterPeriodic(f, impulse->elements + offset, rows, out->elements + offset);
  }
  return true;
}

bool Rx_CTLE_truncatePulse(const dynArray_real_T* pulse, double samplesPerSymbol,
                           dynArray_real_T* uArray) {
  if (uArray == nullptr || uArray->dimCount != 1) return false;
  const std::int32_t n = pulse->sizes[0];
  const double* const p = pulse->elements;
  if (n <= 0) {
    uArray->sizes[0] = 0;
    return true;
  }
  TempArray energy(1);
  if (!energy.resize(n)) return false;
  double* const cum = energy.data();
  double running = 0.0;
  for (std::int32_t i = 0; i < n; ++i) {
    running = (i == 0) ? Rx_rt_powd_snf(p[i], 2.0) : running + Rx_rt_powd_snf(p[i], 2.0);
    cum[i] = running;
  }
  const double total = cum[n - 1];

  TempArray magnitude(1);
  if (!magnitude.resize(n)) return false;
  for (std::int32_t i = 0; i < n; ++i) magnitude.data()[i] = std::fabs(p[i]);
  double peakValue = 0.0;
  std::int32_t peak = 1;
  Rx_maximum_bx(magnitude.get(), &peakValue, &peak);
  const double reach = 3.0 * samplesPerSymbol;
  const double loPair[2] = {1.0, static_cast<double>(peak) - reach};
  const double hiPair[2] = {static_cast<double>(n), static_cast<double>(peak) + reach};
  const double lo = Rx_maximum(loPair);
  const double hi = Rx_minimum(hiPair);
  // lo >= 1 and hi <= n always; only an overlapping window is turned into indices.
  std::int32_t first = 1;
  std::int32_t last = 0;
  if (lo <= hi) {
    first = static_cast<std::int32_t>(std::ceil(lo));
    last = static_cast<std::int32_t>(std::floor(hi));
  }

  const std::int64_t old = Rx_dynNumel(uArray->sizes, uArray->dimCount);
  uArray->sizes[0] = n;
  if (!Rx_dynEnsureCapacity_real_T(uArray, static_cast<std::int32_t>(old))) return false;
  std::int32_t m = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const double f = cum[i] / total;
    const bool inEnergy = 5e-5 < f && f < 0.99995;
    const bool inPeak = i + 1 >= first && i + 1 <= last;
    if (inEnergy || inPeak) uArray->elements[m++] = p[i];
  }
  uArray->sizes[0] = m;
  return true;
}

double Rx_CTLE_PulseGoodness(const dynArray_real_T* pulse, double samplesPerSymbol) {
  const std::int32_t n = pulse->sizes[0];
  if (n <= 0 || !std::isfinite(samplesPerSymbol)) return rtNaN;
  const double* const p = pulse->elements;
  const double N = samplesPerSymbol;

  TempArray dev(1), absDev(1), w(1);
  if (!dev.resize(n) || !absDev.resize(n) || !w.resize(n)) return rtNaN;
  const double base = (p[0] + p[n - 1]) / 2.0;
  for (std::int32_t i = 0; i < n; ++i) {
    dev.data()[i] = p[i] - base;
    absDev.data()[i] = std::fabs(dev.data()[i]);
  }
  // Work on the pulse flipped when its largest excursion from the baseline is negative.
  const bool flip = Rx_maximum_b(dev.get()) != Rx_maximum_b(absDev.get());
  double* const wv = w.data();
  for (std::int32_t i = 0; i < n; ++i) wv[i] = flip ? -p[i] : p[i];

  double peakValue = 0.0;
  std::int32_t t = 1;
  Rx_maximum_bx(w.get(), &peakValue, &t);

  // Walk right from the peak until w(t) - w(t - N) (circular) stops rising above 0. The
  // search ends at the last sample: no crossing there means no window.
  double delta = 1e6;
  while (delta > 0.0) {
    if (t >= n) return rtNaN;
    t = t + 1;
    if (!lagDifference(wv, n, t, (static_cast<double>(t) - N) - 1.0, &delta)) return rtNaN;
  }
  double deltaPrev = 0.0;
  if (!lagDifference(wv, n, t - 1, (static_cast<double>(t) - 2.0) - N, &deltaPrev)) return rtNaN;
  const double xs[2] = {deltaPrev, delta};
  const double ts[2] = {static_cast<double>(t - 1), static_cast<double>(t)};
  const double t0 = Rx_interp1_j(xs, ts);

  const double centre = t0 - N / 2.0;
  const double from = centre - N / 2.0;
  const double to = centre + N / 2.0;
  TempArray inside(1), outside(1);
  if (!inside.resize(n) || !outside.resize(n)) return rtNaN;
  std::int32_t nIn = 0;
  std::int32_t nOut = 0;
  for (std::int32_t i = 1; i <= n; ++i) {
    const double e = Rx_rt_powd_snf(p[i - 1], 2.0);
    const double pos = static_cast<double>(i);
    if (from < pos && pos < to) {
      inside.data()[nIn++] = e;
    } else {
      outside.data()[nOut++] = e;
    }
  }
  inside.get()->sizes[0] = nIn;
  outside.get()->sizes[0] = nOut;
  return Rx_sum_g(inside.get()) / Rx_sum_g(outside.get());
}

std::int32_t Rx_CTLE_chooseConfiguration(const double scores[kCtleConfigCount]) {
  std::int32_t best = 0;
  bool found = false;
  for (std::int32_t k = 0; k < kCtleConfigCount; ++k) {
    if (rtIsNaN(scores[k])) continue;
    if (!found || scores[k] > scores[best]) {
      best = k;
      found = true;
    }
  }
  return best;
}
