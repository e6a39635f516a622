#include "tools/amisim/channel.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tools/amisim/fft.h"

namespace amisim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxLossDb = 300.0;    // floor of the loss curve: keeps log|H| finite
constexpr double kTailFraction = 1e-4;  // rows after the last value above this x peak are cut

// Minimum-phase impulse (DC gain |H(0)|) of a loss curve sampled at the size
// points of a transform, by folding its real cepstrum onto positive times.
std::vector<double> minimumPhaseImpulse(const std::vector<double>& lossDb) {
  const std::size_t n = lossDb.size();
  const FftPlan plan = makeFftPlan(n);
  std::vector<std::complex<double>> c(n);
  const double toNeper = std::log(10.0) / 20.0;
  for (std::size_t k = 0; k < n; ++k) c[k] = {-lossDb[k] * toNeper, 0.0};
  fftInverse(plan, c.data());
  for (std::size_t i = 1; i < n / 2; ++i) c[i] = {2.0 * c[i].real(), 0.0};
  c[0] = {c[0].real(), 0.0};
  c[n / 2] = {c[n / 2].real(), 0.0};
  for (std::size_t i = n / 2 + 1; i < n; ++i) c[i] = {0.0, 0.0};
  fftForward(plan, c.data());
  for (std::size_t k = 0; k < n; ++k) c[k] = std::exp(c[k]);
  fftInverse(plan, c.data());
  std::vector<double> h(n);
  for (std::size_t i = 0; i < n; ++i) h[i] = c[i].real();
  return h;
}

// Raised-cosine kernel of `width` samples with unit sum (a unit step through
// it rises over `width` samples); one sample of 1 for width < 2.
std::vector<double> edgeKernel(int width) {
  if (width < 2) return {1.0};
  std::vector<double> k(static_cast<std::size_t>(width));
  double sum = 0.0;
  for (int i = 0; i < width; ++i) {
    k[static_cast<std::size_t>(i)] = 1.0 - std::cos(2.0 * kPi * (i + 0.5) / width);
    sum += k[static_cast<std::size_t>(i)];
  }
  for (double& v : k) v /= sum;
  return k;
}

bool isSeparator(char c) { return c == ',' || c == ';' || c == '\t' || c == ' ' || c == '\r'; }

// Splits a line into numbers; false when a field is not a complete number.
bool parseNumbers(const std::string& line, std::vector<double>* values) {
  values->clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isSeparator(line[i])) ++i;
    if (i >= line.size()) break;
    std::size_t j = i;
    while (j < line.size() && !isSeparator(line[j])) ++j;
    const std::string field = line.substr(i, j - i);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(field.c_str(), &end);
    if (end == field.c_str() || *end != '\0') return false;
    values->push_back(v);
    i = j;
  }
  return true;
}

}  // namespace

double lineLossDb(const LineParameters& line, double frequency) {
  const double nyquist = line.bitRate / 2.0;
  const double x = std::fabs(frequency) / nyquist;
  const double loss = line.lossDb * (line.skinShare * std::sqrt(x) + (1.0 - line.skinShare) * x);
  return std::min(loss, kMaxLossDb);
}

bool makeLineChannel(const LineParameters& line, Channel* out, std::string* error) {
  if (!(std::isfinite(line.bitRate) && line.bitRate >= 1e6 && line.bitRate <= 1e12)) {
    *error = "bit rate must lie between 1e6 and 1e12 bit/s";
    return false;
  }
  if (line.samplesPerUi < 2 || line.samplesPerUi > 1024) {
    *error = "samples per UI must lie between 2 and 1024";
    return false;
  }
  if (!(std::isfinite(line.lossDb) && line.lossDb >= 0.0 && line.lossDb <= 60.0)) {
    *error = "channel loss must lie between 0 and 60 dB";
    return false;
  }
  const double ui = 1.0 / line.bitRate;
  const double dt = ui / line.samplesPerUi;
  // 1024 UI of grid keep the cepstral aliasing of the skin-effect tail negligible.
  const std::size_t n = nextPowerOfTwo(static_cast<std::size_t>(line.samplesPerUi) * 1024);
  std::vector<double> lossDb(n);
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t bin = k <= n / 2 ? k : n - k;
    lossDb[k] = lineLossDb(line, static_cast<double>(bin) / (static_cast<double>(n) * dt));
  }
  const std::vector<double> bareLine = minimumPhaseImpulse(lossDb);
  const int edgeSamples = static_cast<int>(std::lround(line.edgeUi * line.samplesPerUi));
  std::vector<double> h = convolveDirect(bareLine, edgeKernel(edgeSamples));
  h.resize(n);  // beyond n lies only the wrapped remainder of the cepstral method

  double peak = 0.0;
  for (double v : h) peak = std::max(peak, std::fabs(v));
  std::size_t last = 0;
  for (std::size_t i = 0; i < h.size(); ++i)
    if (std::fabs(h[i]) > kTailFraction * peak) last = i;
  // Cut at the last significant row, but keep whole UIs, and at least 8.
  std::size_t keep = last + 1;
  const std::size_t sps = static_cast<std::size_t>(line.samplesPerUi);
  keep = std::max<std::size_t>((keep + sps - 1) / sps * sps, 8 * sps);
  keep = std::min(keep, h.size());
  const std::size_t delayRows =
      static_cast<std::size_t>(std::lround(std::max(0.0, line.delay) / dt));

  Channel c;
  c.sampleInterval = dt;
  std::vector<double> column(delayRows + keep, 0.0);
  for (std::size_t i = 0; i < keep; ++i) column[delayRows + i] = h[i] / dt;
  c.columns.push_back(std::move(column));
  char text[256];
  std::snprintf(text, sizeof text,
                "embedded line: %.4g dB at Nyquist (%.4g GHz), %.0f%% skin / %.0f%% dielectric, "
                "%.3g UI edge, %.4g ns delay",
                line.lossDb, line.bitRate / 2e9, 100.0 * line.skinShare,
                100.0 * (1.0 - line.skinShare), line.edgeUi, delayRows * dt * 1e9);
  c.description = text;
  *out = std::move(c);
  return true;
}

bool parseImpulseCsv(const std::string& text, Channel* out, std::string* error) {
  std::istringstream in(text);
  std::string line;
  std::vector<double> times;
  std::vector<std::vector<double>> columns;
  std::vector<double> values;
  int lineNumber = 0;
  bool headerAllowed = true;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    if (!parseNumbers(line, &values)) {
      if (headerAllowed) {
        headerAllowed = false;
        continue;
      }
      *error = "line " + std::to_string(lineNumber) + ": not a row of numbers";
      return false;
    }
    headerAllowed = false;
    if (values.size() < 2) {
      *error = "line " + std::to_string(lineNumber) + ": needs a time and a victim value";
      return false;
    }
    if (columns.empty()) columns.resize(values.size() - 1);
    if (values.size() - 1 != columns.size()) {
      *error = "line " + std::to_string(lineNumber) + ": " + std::to_string(values.size()) +
               " fields where the first row has " + std::to_string(columns.size() + 1);
      return false;
    }
    for (double v : values)
      if (!std::isfinite(v)) {
        *error = "line " + std::to_string(lineNumber) + ": value is not finite";
        return false;
      }
    times.push_back(values[0]);
    for (std::size_t c = 0; c < columns.size(); ++c) columns[c].push_back(values[c + 1]);
  }
  if (times.size() < 2) {
    *error = "needs at least two rows of numbers";
    return false;
  }
  const double dt = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
  if (!(dt > 0.0)) {
    *error = "times must rise";
    return false;
  }
  for (std::size_t i = 1; i < times.size(); ++i) {
    const double step = times[i] - times[i - 1];
    if (!(std::fabs(step - dt) <= 1e-3 * dt)) {
      *error = "times must be evenly spaced (row " + std::to_string(i + 1) + " of the data)";
      return false;
    }
  }
  Channel c;
  c.sampleInterval = dt;
  c.columns = std::move(columns);
  *out = std::move(c);
  return true;
}

bool readImpulseCsv(const std::string& path, Channel* out, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (!parseImpulseCsv(text.str(), out, error)) {
    *error = path + ": " + *error;
    return false;
  }
  out->description = "impulse response from " + path;
  return true;
}

Channel resampleChannel(const Channel& in, double newInterval) {
  if (in.columns.empty() || !(newInterval > 0.0)) return in;
  if (std::fabs(in.sampleInterval - newInterval) <= 1e-9 * newInterval) {
    Channel same = in;  // the rows stand; only the rounding of the interval goes
    same.sampleInterval = newInterval;
    return same;
  }
  Channel outChannel;
  outChannel.sampleInterval = newInterval;
  outChannel.description = in.description;
  const std::size_t rows = in.columns[0].size();
  const double span = in.sampleInterval * static_cast<double>(rows - 1);
  const double count = std::floor(span / newInterval) + 1.0;
  const std::size_t newRows = count >= 1.0 && count < 1e8 ? static_cast<std::size_t>(count) : 1;
  for (const std::vector<double>& col : in.columns) {
    std::vector<double> r(newRows);
    for (std::size_t i = 0; i < newRows; ++i) {
      const double pos = static_cast<double>(i) * newInterval / in.sampleInterval;
      const std::size_t j = std::min(static_cast<std::size_t>(pos), rows - 1);
      const double f = pos - static_cast<double>(j);
      r[i] = j + 1 < rows ? (1.0 - f) * col[j] + f * col[j + 1] : col[j];
    }
    outChannel.columns.push_back(std::move(r));
  }
  return outChannel;
}

double channelGainDb(const Channel& channel, double frequency) {
  if (channel.columns.empty()) return 0.0;
  std::complex<double> sum(0.0, 0.0);
  const std::vector<double>& h = channel.columns[0];
  for (std::size_t i = 0; i < h.size(); ++i) {
    const double angle = -2.0 * kPi * frequency * channel.sampleInterval * static_cast<double>(i);
    sum += h[i] * std::complex<double>(std::cos(angle), std::sin(angle));
  }
  return 20.0 * std::log10(std::abs(sum) * channel.sampleInterval);
}

double channelDcGain(const Channel& channel) {
  if (channel.columns.empty()) return 0.0;
  double sum = 0.0;
  for (double v : channel.columns[0]) sum += v;
  return sum * channel.sampleInterval;
}

}  // namespace amisim
