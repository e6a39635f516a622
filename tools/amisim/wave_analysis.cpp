#include "tools/amisim/wave_analysis.h"

#include <algorithm>
#include <cmath>

#include "tools/amisim/prbs.h"

namespace amisim {

namespace {

constexpr std::size_t kAlignInstants = 512;  // sampling instants used to find the delay
constexpr int kCenterPhase = 32;             // index of phase 0 among the 65
constexpr int kSubsteps = 4;                 // line pieces per sample step in the density

// Rounds a double that may be anything to a 64-bit integer; false when it is
// not finite or too large to stand for a symbol index.
bool toIndex(double x, long long* out) {
  if (!(std::fabs(x) < 9e15)) return false;
  *out = std::llround(x);
  return true;
}

}  // namespace

WaveAnalyser::WaveAnalyser(const WaveAnalysisConfig& config,
                           const std::vector<std::int8_t>& symbols)
    : cfg_(config), symbols_(symbols) {
  const std::size_t levels = static_cast<std::size_t>(cfg_.levels);
  levelMin_.assign(levels * kPhases, HUGE_VAL);
  levelMax_.assign(levels * kPhases, -HUGE_VAL);
  levelSum_.assign(levels, 0.0);
  levelCount_.assign(levels, 0);
  pending_.reserve(kAlignInstants);
}

// The waveform at the kPhases phases -0.5 .. 0.5 UI around time; NaN where
// the history does not reach.
void WaveAnalyser::valuesAround(double time, double* values) const {
  const double step = cfg_.ui / 64.0 / cfg_.sampleInterval;  // samples per phase step
  const double first = static_cast<double>(historyStart_);
  const double last = static_cast<double>(historyStart_ + history_.size()) - 1.0;
  double pos = (time - cfg_.ui / 2.0) / cfg_.sampleInterval;
  for (int j = 0; j < kPhases; ++j, pos += step) {
    if (!(pos >= first && pos <= last)) {
      values[j] = NAN;
      continue;
    }
    const double base = std::floor(pos);
    const std::size_t i = static_cast<std::size_t>(base - first);
    const double f = pos - base;
    values[j] =
        i + 1 < history_.size() ? (1.0 - f) * history_[i] + f * history_[i + 1] : history_[i];
  }
}

void WaveAnalyser::addBlock(const double* wave, std::size_t n, const double* clockTimes,
                            std::size_t m) {
  history_.insert(history_.end(), wave, wave + n);
  sampleCount_ += n;
  r_.clockTimes += m;
  for (std::size_t i = 0; i < m; ++i) queue_.push_back(clockTimes[i] + cfg_.ui / 2.0);
  processReady(false);
}

void WaveAnalyser::processReady(bool final) {
  const double available = static_cast<double>(sampleCount_) * cfg_.sampleInterval;
  while (queueHead_ < queue_.size()) {
    const double t = queue_[queueHead_];
    const bool complete = t + cfg_.ui + 2.0 * cfg_.sampleInterval < available;
    if (!complete && !final) break;
    if (complete && std::isfinite(t)) processInstant(t);
    ++queueHead_;
  }
  if (queueHead_ == queue_.size()) {
    queue_.clear();
    queueHead_ = 0;
  }
  trimHistory();
}

void WaveAnalyser::trimHistory() {
  // Keep what the next instant's window can reach: it samples no earlier than
  // one UI and a little before the last sample (or the oldest queued instant).
  double keepTime = static_cast<double>(sampleCount_) * cfg_.sampleInterval - 2.0 * cfg_.ui;
  if (queueHead_ < queue_.size()) keepTime = std::min(keepTime, queue_[queueHead_] - 2.0 * cfg_.ui);
  const double keepIndex = std::floor(keepTime / cfg_.sampleInterval) - 4.0;
  if (!(keepIndex > static_cast<double>(historyStart_))) return;
  const std::size_t drop = std::min(
      static_cast<std::size_t>(keepIndex - static_cast<double>(historyStart_)), history_.size());
  if (drop < 8192 || drop < history_.size() / 2) return;  // erase rarely: amortised
  history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(drop));
  historyStart_ += drop;
}

int WaveAnalyser::slice(double v) const {
  int level = 0;
  for (double t : thresholds_)
    if (v > t) ++level;
  return level;
}

void WaveAnalyser::processInstant(double time) {
  if (time < cfg_.skipTime) return;
  ++r_.clocksUsed;
  usedClocks_.push_back(time - cfg_.ui / 2.0);
  Pending p;
  p.time = time;
  valuesAround(time, p.values);
  if (!aligned_) {
    pending_.push_back(p);
    if (pending_.size() >= kAlignInstants) align();
    return;
  }
  score(p);
  if (r_.clocksUsed % static_cast<std::uint64_t>(std::max(1, cfg_.eyeTraceStride)) == 0)
    drawTrace(time);
}

void WaveAnalyser::align() {
  aligned_ = true;
  const std::size_t n = pending_.size();
  if (n == 0) return;
  const double twoPi = 6.283185307179586;
  double s = 0.0, c = 0.0;
  for (const Pending& p : pending_) {
    const double phase = p.time / cfg_.ui - 0.5;
    s += std::sin(twoPi * phase);
    c += std::cos(twoPi * phase);
  }
  phaseOffset_ = std::atan2(s, c) / twoPi;

  // Blind slicer for the search: mean, and the mean distance from it.
  double mean = 0.0;
  for (const Pending& p : pending_) mean += p.values[kCenterPhase];
  mean /= static_cast<double>(n);
  double spread = 0.0;
  for (const Pending& p : pending_) spread += std::fabs(p.values[kCenterPhase] - mean);
  spread /= static_cast<double>(n);
  thresholds_ = cfg_.levels == 4 ? std::vector<double>{mean - spread, mean, mean + spread}
                                 : std::vector<double>{mean};
  std::vector<int> decided(n);
  std::vector<long long> nominal(n);
  for (std::size_t k = 0; k < n; ++k) {
    decided[k] = slice(pending_[k].values[kCenterPhase]);
    if (!toIndex(pending_[k].time / cfg_.ui - 0.5 - phaseOffset_, &nominal[k])) nominal[k] = -1;
  }
  const long long count = static_cast<long long>(symbols_.size());
  std::size_t bestMatches = 0;
  for (int d = 0; d <= cfg_.maxDelayUi; ++d) {
    std::size_t matches = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const long long m = nominal[k] - d;
      if (m >= 0 && m < count && symbols_[static_cast<std::size_t>(m)] == decided[k]) ++matches;
    }
    if (matches > bestMatches) {
      bestMatches = matches;
      delay_ = d;
    }
  }
  r_.aligned = bestMatches * 4 >= n * 3;
  r_.delayUi = delay_;

  // Density range: the spread of the first instants with a margin.
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (const Pending& p : pending_)
    for (double v : p.values)
      if (std::isfinite(v)) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
  if (!(lo < hi)) {
    lo = -1.0;
    hi = 1.0;
  }
  const double margin = 0.2 * (hi - lo);
  r_.eye.columns = cfg_.eyeColumns;
  r_.eye.rows = cfg_.eyeRows;
  r_.eye.vMin = lo - margin;
  r_.eye.vMax = hi + margin;
  r_.eye.counts.assign(
      static_cast<std::size_t>(cfg_.eyeColumns) * static_cast<std::size_t>(cfg_.eyeRows), 0);
  histogram_.assign(static_cast<std::size_t>(cfg_.levels) * (kBins + 2), 0);
  for (const Pending& p : pending_) score(p);
  pending_.clear();
}

void WaveAnalyser::score(const Pending& p) {
  long long m = 0;
  if (!toIndex(p.time / cfg_.ui - 0.5 - phaseOffset_, &m)) return;
  m -= delay_;
  if (m < 0 || m >= static_cast<long long>(symbols_.size())) return;
  const int level = symbols_[static_cast<std::size_t>(m)];
  const double v = p.values[kCenterPhase];
  ++r_.symbols;
  ++histogram_[static_cast<std::size_t>(level) * (kBins + 2) + binOf(v)];
  const std::size_t base = static_cast<std::size_t>(level) * kPhases;
  for (int j = 0; j < kPhases; ++j) {
    const double x = p.values[j];
    if (!std::isfinite(x)) continue;
    levelMin_[base + static_cast<std::size_t>(j)] =
        std::min(levelMin_[base + static_cast<std::size_t>(j)], x);
    levelMax_[base + static_cast<std::size_t>(j)] =
        std::max(levelMax_[base + static_cast<std::size_t>(j)], x);
  }
  if (std::isfinite(v)) {
    levelSum_[static_cast<std::size_t>(level)] += v;
    ++levelCount_[static_cast<std::size_t>(level)];
  }
}

std::size_t WaveAnalyser::binOf(double v) const {
  const double x = (v - r_.eye.vMin) / (r_.eye.vMax - r_.eye.vMin) * kBins;
  if (!(x >= 0.0)) return 0;  // below the range, or NaN
  if (x >= kBins) return kBins + 1;
  return static_cast<std::size_t>(x) + 1;
}

// Picks, for each pair of adjacent levels, the bin edge between their means
// with the fewest samples on the wrong side (the middle of the run of best
// edges), then counts symbol and bit errors for those thresholds, exactly:
// every sample of a bin lies on the same side of every edge.
void WaveAnalyser::countErrors(WaveAnalysisResult* r) const {
  const int levels = cfg_.levels;
  const std::size_t stride = kBins + 2;
  std::vector<std::size_t> edge(static_cast<std::size_t>(levels - 1), kBins / 2 + 1);
  for (int e = 0; e + 1 < levels; ++e) {
    const std::uint64_t* lo = &histogram_[static_cast<std::size_t>(e) * stride];
    const std::uint64_t* hi = &histogram_[static_cast<std::size_t>(e + 1) * stride];
    // Edge k lies between bin k - 1 and bin k: wrong(k) = lo at or above k + hi below k.
    std::uint64_t loAbove = 0;
    for (std::size_t b = 0; b < stride; ++b) loAbove += lo[b];
    std::uint64_t hiBelow = 0, best = ~std::uint64_t{0};
    std::size_t bestFirst = 1, bestLast = 1;
    for (std::size_t k = 1; k < stride; ++k) {
      loAbove -= lo[k - 1];
      hiBelow += hi[k - 1];
      const std::uint64_t wrong = loAbove + hiBelow;
      if (wrong < best) {
        best = wrong;
        bestFirst = bestLast = k;
      } else if (wrong == best && bestLast == k - 1) {
        bestLast = k;
      }
    }
    edge[static_cast<std::size_t>(e)] = (bestFirst + bestLast) / 2;
  }
  for (std::size_t e = 1; e < edge.size(); ++e) edge[e] = std::max(edge[e], edge[e - 1]);
  r->thresholds.clear();
  for (std::size_t k : edge)
    r->thresholds.push_back(r_.eye.vMin +
                            (static_cast<double>(k) - 1.0) / kBins * (r_.eye.vMax - r_.eye.vMin));
  r->symbolErrors = r->bitErrors = r->bits = 0;
  for (int level = 0; level < levels; ++level)
    for (std::size_t b = 0; b < stride; ++b) {
      const std::uint64_t n = histogram_[static_cast<std::size_t>(level) * stride + b];
      if (n == 0) continue;
      int decided = 0;
      for (std::size_t k : edge)
        if (b >= k) ++decided;
      if (levels == 4) {
        int h0, l0, h1, l1;
        grayBits(level, &h0, &l0);
        grayBits(decided, &h1, &l1);
        r->bits += 2 * n;
        r->bitErrors += n * static_cast<std::uint64_t>((h0 != h1) + (l0 != l1));
      } else {
        r->bits += n;
        if (decided != level) r->bitErrors += n;
      }
      if (decided != level) r->symbolErrors += n;
    }
}

void WaveAnalyser::drawTrace(double time) {
  EyeDensity& e = r_.eye;
  if (e.counts.empty()) return;
  const double dt = cfg_.sampleInterval;
  const double firstPos = std::ceil((time - cfg_.ui) / dt);
  const double lastPos = std::floor((time + cfg_.ui) / dt);
  if (!(firstPos >= static_cast<double>(historyStart_) && lastPos >= firstPos)) return;
  const double end = static_cast<double>(historyStart_ + history_.size());
  if (!(lastPos + 1.0 < end)) return;
  ++e.traces;
  const double colScale = e.columns / 2.0;
  const double rowScale = e.rows / (e.vMax - e.vMin);
  const std::size_t i0 = static_cast<std::size_t>(firstPos) - historyStart_;
  const std::size_t i1 = static_cast<std::size_t>(lastPos) - historyStart_;
  for (std::size_t i = i0; i < i1; ++i) {
    const double x0 = ((static_cast<double>(historyStart_ + i) * dt - time) / cfg_.ui);
    const double x1 = x0 + dt / cfg_.ui;
    const double y0 = history_[i];
    const double y1 = history_[i + 1];
    for (int k = 0; k < kSubsteps; ++k) {
      const double f = (k + 0.5) / kSubsteps;
      const double col = std::floor(((1.0 - f) * x0 + f * x1 + 1.0) * colScale);
      const double row = std::floor(((1.0 - f) * y0 + f * y1 - e.vMin) * rowScale);
      if (!(col >= 0.0 && col < e.columns && row >= 0.0 && row < e.rows)) continue;
      ++e.counts[static_cast<std::size_t>(col) * static_cast<std::size_t>(e.rows) +
                 static_cast<std::size_t>(row)];
    }
  }
}

namespace {

// Width of the positive span of opening[] around the centre, in phase steps,
// with the zero crossings interpolated; 0 when the centre is closed.
double openSpan(const std::vector<double>& opening, int center) {
  if (!(opening[static_cast<std::size_t>(center)] > 0.0)) return 0.0;
  const int n = static_cast<int>(opening.size());
  double left = 0.0, right = static_cast<double>(n - 1);
  for (int j = center; j > 0; --j) {
    const double a = opening[static_cast<std::size_t>(j)],
                 b = opening[static_cast<std::size_t>(j - 1)];
    if (!(b > 0.0)) {
      left = j - (std::isfinite(b) ? a / (a - b) : 0.0);
      break;
    }
  }
  for (int j = center; j + 1 < n; ++j) {
    const double a = opening[static_cast<std::size_t>(j)],
                 b = opening[static_cast<std::size_t>(j + 1)];
    if (!(b > 0.0)) {
      right = j + (std::isfinite(b) ? a / (a - b) : 0.0);
      break;
    }
  }
  return right - left;
}

}  // namespace

WaveAnalysisResult WaveAnalyser::finish() {
  processReady(true);
  if (!aligned_ && pending_.size() >= 16) align();
  WaveAnalysisResult r = r_;
  if (!histogram_.empty()) countErrors(&r);
  r.ber = r.bits > 0 ? static_cast<double>(r.bitErrors) / static_cast<double>(r.bits) : 0.0;
  const std::size_t levels = static_cast<std::size_t>(cfg_.levels);
  r.levelMeans.assign(levels, NAN);
  for (std::size_t i = 0; i < levels; ++i)
    if (levelCount_[i] > 0) r.levelMeans[i] = levelSum_[i] / static_cast<double>(levelCount_[i]);
  r.eyeHeight = HUGE_VAL;
  r.eyeWidth = HUGE_VAL;
  for (std::size_t e = 0; e + 1 < levels; ++e) {
    std::vector<double> opening(kPhases, NAN);
    for (int j = 0; j < kPhases; ++j)
      opening[static_cast<std::size_t>(j)] =
          levelMin_[(e + 1) * kPhases + static_cast<std::size_t>(j)] -
          levelMax_[e * kPhases + static_cast<std::size_t>(j)];
    double height = opening[kCenterPhase];
    if (!std::isfinite(height)) height = 0.0;  // a level never seen: no eye to measure
    const double width = openSpan(opening, kCenterPhase) / 64.0;
    r.eyeHeights.push_back(height);
    r.eyeWidths.push_back(width);
    r.eyeHeight = std::min(r.eyeHeight, height);
    r.eyeWidth = std::min(r.eyeWidth, width);
  }
  if (r.eyeHeights.empty()) r.eyeHeight = r.eyeWidth = 0.0;

  // Recovered UI: least-squares line through the clock times over their
  // symbol index; jitter: the clock times around that line.
  const std::size_t n = usedClocks_.size();
  if (n >= 2) {
    std::vector<double> index(n);
    const double t0 = usedClocks_[0];
    for (std::size_t k = 0; k < n; ++k) {
      long long m = 0;
      index[k] = toIndex((usedClocks_[k] - t0) / cfg_.ui, &m) ? static_cast<double>(m) : 0.0;
      if (k > 0 && index[k] - index[k - 1] != 1.0) ++r.clockSlips;
    }
    double mx = 0.0, my = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
      mx += index[k];
      my += usedClocks_[k] - t0;
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxx = 0.0, sxy = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
      sxx += (index[k] - mx) * (index[k] - mx);
      sxy += (index[k] - mx) * (usedClocks_[k] - t0 - my);
    }
    if (sxx > 0.0) {
      const double slope = sxy / sxx;
      r.recoveredUi = slope;
      r.frequencyOffsetPpm = (slope / cfg_.ui - 1.0) * 1e6;
      double ss = 0.0, lo = HUGE_VAL, hi = -HUGE_VAL;
      for (std::size_t k = 0; k < n; ++k) {
        const double e = usedClocks_[k] - t0 - (my + slope * (index[k] - mx));
        ss += e * e;
        lo = std::min(lo, e);
        hi = std::max(hi, e);
      }
      r.jitterRms = std::sqrt(ss / static_cast<double>(n));
      r.jitterPeakToPeak = hi - lo;
    }
  }
  return r;
}

}  // namespace amisim
