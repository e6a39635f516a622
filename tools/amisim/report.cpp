#include "tools/amisim/report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace amisim {

const char* const kAmisimVersion = "0.1.0";

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  if (n < 0) return std::string();
  if (static_cast<std::size_t>(n) < sizeof buf)
    return std::string(buf, static_cast<std::size_t>(n));
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  va_start(args, fmt);
  std::vsnprintf(&big[0], big.size(), fmt, args);
  va_end(args);
  big.resize(static_cast<std::size_t>(n));
  return big;
}

const char* modulationName(int levels) { return levels == 4 ? "PAM4" : "NRZ"; }

// Message lines without their line feeds.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string json(double v) {
  if (!std::isfinite(v)) return "null";
  return format("%.10g", v);
}

std::string jsonList(const std::vector<double>& v) {
  std::string s = "[";
  for (std::size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + json(v[i]);
  return s + "]";
}

std::string jsonParameters(const std::string& text) {
  std::string s = "{";
  bool first = true;
  for (const auto& [k, v] : flattenParameterString(text)) {
    s += (first ? "" : ", ") + std::string("\"") + jsonEscape(k) + "\": \"" + jsonEscape(v) + "\"";
    first = false;
  }
  return s + "}";
}

std::string jsonPulse(const PulseAnalysis& p) {
  if (!p.valid) return "null";
  return "{\"cursor\": " + json(p.cursor) + ", \"cursor_row\": " + std::to_string(p.cursorRow) +
         ", \"precursors\": " + jsonList(p.precursors) +
         ", \"postcursors\": " + jsonList(p.postcursors) + ", \"isi\": " + json(p.isi) +
         ", \"eye_height\": " + json(p.eyeHeight) + "}";
}

std::string displayParameters(const std::string& text, const char* indent) {
  std::string s;
  const auto leaves = flattenParameterString(text);
  for (const auto& [k, v] : leaves) s += std::string(indent) + k + " = " + v + "\n";
  if (leaves.empty() && !text.empty()) s += std::string(indent) + text + "\n";
  return s;
}

}  // namespace

std::string xmlEscape(const std::string& text) {
  std::string s;
  for (char c : text) {
    switch (c) {
      case '&':
        s += "&amp;";
        break;
      case '<':
        s += "&lt;";
        break;
      case '>':
        s += "&gt;";
        break;
      case '"':
        s += "&quot;";
        break;
      default:
        s += c;
    }
  }
  return s;
}

std::string jsonEscape(const std::string& text) {
  std::string s;
  for (unsigned char c : text) {
    if (c == '"')
      s += "\\\"";
    else if (c == '\\')
      s += "\\\\";
    else if (c == '\n')
      s += "\\n";
    else if (c == '\t')
      s += "\\t";
    else if (c < 0x20)
      s += format("\\u%04x", c);
    else
      s += static_cast<char>(c);
  }
  return s;
}

std::string textSummary(const RunSetup& s, const RunResult& r) {
  std::string t;
  t += format("amisim %s: model %s (%s)\n", kAmisimVersion, s.ami.root.c_str(),
              s.libraryPath.c_str());
  t += "channel     " + s.channel.description + "\n";
  t += format(
      "            loss at Nyquist %.2f dB (edge included), DC gain %.4f, %zu rows of %.4g ps, %zu "
      "aggressor(s)\n",
      r.channelLossAtNyquistDb, r.channelDcGain, s.channel.columns[0].size(),
      s.sampleInterval * 1e12, s.channel.columns.size() - 1);
  t += format("stimulus    %s PRBS%d, %.6g Gb/s, %d samples/UI, %lld UI, amplitude %.4g V%s\n",
              modulationName(s.levels), s.prbs, 1e-9 / s.ui, s.samplesPerUi, s.bits, s.amplitude,
              s.amplitudeFromPreset ? " (preset for the model)" : "");
  t += "parameters  " + s.parameters + "\n";
  t += format("\nAMI_Init    returned %ld\n", r.initStatus);
  for (const std::string& line : lines(r.initMessage)) t += "  message   " + line + "\n";
  t += displayParameters(r.initParametersOut, "  out       ");
  t += "\nstatistical               channel    equalised\n";
  auto row = [&](const char* name, double a, double b, double scale) {
    t += format("  %-22s %10.4f   %10.4f\n", name, a * scale, b * scale);
  };
  row("cursor [V/V]", r.channelPulse.cursor, r.equalisedPulse.cursor, 1.0);
  row("ISI sum [V/V]", r.channelPulse.isi, r.equalisedPulse.isi, 1.0);
  row("worst-case eye [mV]", r.channelPulse.eyeHeight, r.equalisedPulse.eyeHeight, 1e3);
  if (!r.getWaveRan) {
    t += "\nAMI_GetWave not run\n";
    return t;
  }
  const WaveAnalysisResult& w = r.wave;
  t += format(
      "\nAMI_GetWave %lld calls of %lld samples, %llu clock times (%llu after the first %lld UI)\n",
      r.getWaveCalls, s.blockSize, static_cast<unsigned long long>(w.clockTimes),
      static_cast<unsigned long long>(w.clocksUsed), s.skipBits);
  t += format(
      "  clock     recovered UI %.6g ps (%+.2f ppm), jitter %.3g ps rms, %.3g ps pk-pk, %llu "
      "slips\n",
      w.recoveredUi * 1e12, w.frequencyOffsetPpm, w.jitterRms * 1e12, w.jitterPeakToPeak * 1e12,
      static_cast<unsigned long long>(w.clockSlips));
  t += format("  eye       height %.4g mV, width %.3f UI at the recovered clock (%s)\n",
              w.eyeHeight * 1e3, w.eyeWidth,
              w.eyeHeight > 0.0 && w.eyeWidth > 0.0 ? "open" : "closed");
  if (s.levels == 4) {
    t += "            per eye (low to high):";
    for (std::size_t i = 0; i < w.eyeHeights.size(); ++i)
      t += format(" %.4g mV / %.3f UI", w.eyeHeights[i] * 1e3, w.eyeWidths[i]);
    t += "\n";
  }
  t += format(
      "  errors    %llu bit errors in %llu bits (BER %.3g), %llu symbol errors, delay %d UI%s\n",
      static_cast<unsigned long long>(w.bitErrors), static_cast<unsigned long long>(w.bits), w.ber,
      static_cast<unsigned long long>(w.symbolErrors), w.delayUi,
      w.aligned ? "" : " (sequence not found: the eye is closed)");
  t += displayParameters(r.getWaveParametersOut, "  out       ");
  t += format("\ntime        %.2f s\n", r.seconds);
  return t;
}

std::string jsonReport(const RunSetup& s, const RunResult& r) {
  std::string j = "{\n";
  j += "  \"version\": \"" + std::string(kAmisimVersion) + "\",\n";
  j += "  \"model\": \"" + jsonEscape(s.ami.root) + "\",\n";
  j += "  \"library\": \"" + jsonEscape(s.libraryPath) + "\",\n";
  j += "  \"ami_file\": \"" + jsonEscape(s.amiPath) + "\",\n";
  j += "  \"channel\": {\"description\": \"" + jsonEscape(s.channel.description) +
       "\", \"rows\": " + std::to_string(s.channel.columns[0].size()) +
       ", \"aggressors\": " + std::to_string(s.channel.columns.size() - 1) +
       ", \"sample_interval\": " + json(s.sampleInterval) +
       ", \"loss_at_nyquist_db\": " + json(r.channelLossAtNyquistDb) +
       ", \"dc_gain\": " + json(r.channelDcGain) + "},\n";
  j += "  \"stimulus\": {\"modulation\": \"" + std::string(modulationName(s.levels)) +
       "\", \"prbs\": " + std::to_string(s.prbs) + ", \"bit_time\": " + json(s.ui) +
       ", \"samples_per_ui\": " + std::to_string(s.samplesPerUi) +
       ", \"bits\": " + std::to_string(s.bits) + ", \"skip_bits\": " + std::to_string(s.skipBits) +
       ", \"amplitude\": " + json(s.amplitude) +
       ", \"block_size\": " + std::to_string(s.blockSize) + "},\n";
  j += "  \"parameters_in\": \"" + jsonEscape(s.parameters) + "\",\n";
  j += "  \"sent_parameters\": " + std::to_string(s.sentParameters) + ",\n";
  j += "  \"init\": {\"status\": " + std::to_string(r.initStatus) + ", \"message\": \"" +
       jsonEscape(r.initMessage) + "\", \"parameters_out\": \"" + jsonEscape(r.initParametersOut) +
       "\", \"outputs\": " + jsonParameters(r.initParametersOut) + "},\n";
  j += "  \"statistical\": {\"channel\": " + jsonPulse(r.channelPulse) +
       ", \"equalised\": " + jsonPulse(r.equalisedPulse) + "},\n";
  if (r.getWaveRan) {
    const WaveAnalysisResult& w = r.wave;
    j += "  \"getwave\": {\"calls\": " + std::to_string(r.getWaveCalls) +
         ", \"clock_times\": " + std::to_string(w.clockTimes) +
         ", \"clocks_used\": " + std::to_string(w.clocksUsed) +
         ", \"recovered_ui\": " + json(w.recoveredUi) +
         ", \"frequency_offset_ppm\": " + json(w.frequencyOffsetPpm) +
         ", \"jitter_rms\": " + json(w.jitterRms) +
         ", \"jitter_pk_pk\": " + json(w.jitterPeakToPeak) +
         ", \"clock_slips\": " + std::to_string(w.clockSlips) +
         ",\n    \"eye_height\": " + json(w.eyeHeight) + ", \"eye_width\": " + json(w.eyeWidth) +
         ", \"eye_heights\": " + jsonList(w.eyeHeights) +
         ", \"eye_widths\": " + jsonList(w.eyeWidths) +
         ", \"level_means\": " + jsonList(w.levelMeans) +
         ", \"thresholds\": " + jsonList(w.thresholds) +
         ",\n    \"aligned\": " + (w.aligned ? "true" : "false") +
         ", \"delay_ui\": " + std::to_string(w.delayUi) + ", \"bits\": " + std::to_string(w.bits) +
         ", \"bit_errors\": " + std::to_string(w.bitErrors) +
         ", \"symbols\": " + std::to_string(w.symbols) +
         ", \"symbol_errors\": " + std::to_string(w.symbolErrors) + ", \"ber\": " + json(w.ber) +
         ",\n    \"parameters_out\": \"" + jsonEscape(r.getWaveParametersOut) +
         "\", \"outputs\": " + jsonParameters(r.getWaveParametersOut) + "},\n";
  } else {
    j += "  \"getwave\": null,\n";
  }
  j += "  \"seconds\": " + json(r.seconds) + "\n}\n";
  return j;
}

namespace {

// Round tick steps (1, 2, 5 x 10^k) covering [lo, hi] with about n ticks.
std::vector<double> ticks(double lo, double hi, int n) {
  std::vector<double> t;
  if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi)) return t;
  const double raw = (hi - lo) / n;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  double step = mag;
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * mag >= raw) {
      step = m * mag;
      break;
    }
  for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step)
    t.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  return t;
}

struct Frame {
  double left = 70, top = 40, width = 560, height = 320;  // plot area [px]
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;                  // data range
  double px(double x) const { return left + (x - x0) / (x1 - x0) * width; }
  double py(double y) const { return top + height - (y - y0) / (y1 - y0) * height; }
};

std::string axes(const Frame& f, const std::string& title, const std::string& xl,
                 const std::string& yl) {
  std::string s;
  s += format(
      "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
      "stroke=\"#444\"/>\n",
      f.left, f.top, f.width, f.height);
  for (double v : ticks(f.x0, f.x1, 8)) {
    const double x = f.px(v);
    s += format(
        "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\" "
        "stroke-opacity=\"0.5\"/>",
        x, f.top, x, f.top + f.height);
    s += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%g</text>\n", x,
                f.top + f.height + 16, v);
  }
  for (double v : ticks(f.y0, f.y1, 6)) {
    const double y = f.py(v);
    s += format(
        "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\" "
        "stroke-opacity=\"0.5\"/>",
        f.left, y, f.left + f.width, y);
    s +=
        format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%g</text>\n", f.left - 6, y + 4, v);
  }
  s += format("<text x=\"%.1f\" y=\"22\" text-anchor=\"middle\" font-size=\"15\">%s</text>\n",
              f.left + f.width / 2, xmlEscape(title).c_str());
  s += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n",
              f.left + f.width / 2, f.top + f.height + 36, xmlEscape(xl).c_str());
  s += format(
      "<text transform=\"translate(16 %.1f) rotate(-90)\" text-anchor=\"middle\">%s</text>\n",
      f.top + f.height / 2, xmlEscape(yl).c_str());
  return s;
}

std::string svgOpen(double w, double h) {
  return format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
      "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"12\">\n"
      "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
      w, h, w, h);
}

// Colour of a density level in (0, 1]: dark blue through green to yellow.
std::string densityColor(double level) {
  static const double kStops[5][3] = {
      {40, 20, 90}, {40, 110, 230}, {30, 200, 140}, {220, 230, 40}, {255, 255, 220}};
  const double x = std::clamp(level, 0.0, 1.0) * 4.0;
  const int i = std::min(static_cast<int>(x), 3);
  const double f = x - i;
  int c[3];
  for (int k = 0; k < 3; ++k)
    c[k] = static_cast<int>(std::lround(kStops[i][k] + f * (kStops[i + 1][k] - kStops[i][k])));
  return format("#%02x%02x%02x", c[0], c[1], c[2]);
}

}  // namespace

std::string eyeSvg(const RunSetup& s, const RunResult& r) {
  const EyeDensity& e = r.wave.eye;
  constexpr int kShades = 24;
  Frame f;
  f.x0 = -1.0;
  f.x1 = 1.0;
  f.y0 = e.vMin;
  f.y1 = e.vMax;
  std::string svg = svgOpen(f.left + f.width + 30, f.top + f.height + 60);
  if (e.counts.empty() || e.traces == 0 || !(e.vMax > e.vMin)) {
    svg +=
        "<text x=\"320\" y=\"200\" text-anchor=\"middle\">no eye: too few clock times after the "
        "lock-in time</text>\n</svg>\n";
    return svg;
  }
  std::uint32_t peak = 1;
  for (std::uint32_t c : e.counts) peak = std::max(peak, c);
  // Shade by the square root of the count: the rare traces that shape the
  // eye's inner edge stay visible next to the dense rails.
  const double rootPeak = std::sqrt(static_cast<double>(peak));
  auto shadeOf = [&](std::uint32_t count) {
    return count == 0 ? 0
                      : 1 + static_cast<int>(std::sqrt(static_cast<double>(count)) / rootPeak *
                                             (kShades - 1));
  };
  const double cw = f.width / e.columns, rh = f.height / e.rows;
  svg += format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#0b0b1e\"/>\n",
                f.left, f.top, f.width, f.height);
  svg += "<g shape-rendering=\"crispEdges\">\n";
  for (int col = 0; col < e.columns; ++col) {
    int row = 0;
    while (row < e.rows) {
      const std::uint32_t c =
          e.counts[static_cast<std::size_t>(col) * static_cast<std::size_t>(e.rows) +
                   static_cast<std::size_t>(row)];
      const int shade = shadeOf(c);
      int end = row + 1;
      while (end < e.rows) {
        const std::uint32_t d =
            e.counts[static_cast<std::size_t>(col) * static_cast<std::size_t>(e.rows) +
                     static_cast<std::size_t>(end)];
        if (shadeOf(d) != shade) break;
        ++end;
      }
      if (shade > 0)
        svg += format("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"%s\"/>\n",
                      f.left + col * cw, f.top + f.height - end * rh, cw, (end - row) * rh,
                      densityColor(static_cast<double>(shade) / kShades).c_str());
      row = end;
    }
  }
  svg += "</g>\n";
  svg += axes(f,
              format("Eye at the recovered clock: %s, %s, %lld UI", s.ami.root.c_str(),
                     s.levels == 4 ? "PAM4" : "NRZ", s.bits),
              "time from the sampling instant [UI]", "equalised signal [V]");
  svg += format(
      "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"white\" stroke-dasharray=\"4 "
      "3\"/>\n",
      f.px(0), f.top, f.px(0), f.top + f.height);
  for (double th : r.wave.thresholds)
    if (th > f.y0 && th < f.y1)
      svg += format(
          "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"white\" "
          "stroke-dasharray=\"4 3\"/>\n",
          f.left, f.py(th), f.left + f.width, f.py(th));
  svg += format(
      "<text x=\"%.1f\" y=\"%.1f\" fill=\"white\">height %.4g mV, width %.3f UI, BER %.3g</text>\n",
      f.left + 8, f.top + 18, r.wave.eyeHeight * 1e3, r.wave.eyeWidth, r.wave.ber);
  svg += "</svg>\n";
  return svg;
}

std::string linePlotSvg(const std::string& title, const std::string& xLabel,
                        const std::string& yLabel, const std::vector<PlotSeries>& series) {
  Frame f;
  double xlo = HUGE_VAL, xhi = -HUGE_VAL, ylo = HUGE_VAL, yhi = -HUGE_VAL;
  for (const PlotSeries& p : series)
    for (std::size_t i = 0; i < p.x.size() && i < p.y.size(); ++i)
      if (std::isfinite(p.x[i]) && std::isfinite(p.y[i])) {
        xlo = std::min(xlo, p.x[i]);
        xhi = std::max(xhi, p.x[i]);
        ylo = std::min(ylo, p.y[i]);
        yhi = std::max(yhi, p.y[i]);
      }
  if (!(xhi > xlo)) xlo = 0, xhi = 1;
  if (!(yhi > ylo)) ylo = -1, yhi = 1;
  const double pad = 0.06 * (yhi - ylo);
  f.x0 = xlo;
  f.x1 = xhi;
  f.y0 = ylo - pad;
  f.y1 = yhi + pad;
  std::string svg = svgOpen(f.left + f.width + 180, f.top + f.height + 60);
  svg += axes(f, title, xLabel, yLabel);
  if (f.y0 < 0.0 && f.y1 > 0.0)
    svg += format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#999\"/>\n",
                  f.left, f.py(0), f.left + f.width, f.py(0));
  int legend = 0;
  for (const PlotSeries& p : series) {
    const std::size_t n = std::min(p.x.size(), p.y.size());
    if (p.markers) {
      for (std::size_t i = 0; i < n; ++i)
        if (std::isfinite(p.y[i]))
          svg += format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"%s\"/>", f.px(p.x[i]),
                        f.py(p.y[i]), p.color.c_str());
      svg += "\n";
    } else {
      const std::size_t stride = std::max<std::size_t>(1, n / 1500);
      std::string d;
      for (std::size_t i = 0; i < n; i += stride)
        if (std::isfinite(p.y[i]))
          d += format("%s%.1f %.1f ", d.empty() ? "M" : "L", f.px(p.x[i]), f.py(p.y[i]));
      svg +=
          "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + p.color + "\" stroke-width=\"1.5\"/>\n";
    }
    svg += format(
        "<rect x=\"%.1f\" y=\"%.1f\" width=\"14\" height=\"4\" fill=\"%s\"/><text x=\"%.1f\" "
        "y=\"%.1f\">%s</text>\n",
        f.left + f.width + 12, f.top + 10 + 18 * legend, p.color.c_str(), f.left + f.width + 30,
        f.top + 15 + 18 * legend, xmlEscape(p.name).c_str());
    ++legend;
  }
  svg += "</svg>\n";
  return svg;
}

namespace {

// Rows shown: from 4 UI before the channel's cursor to 20 UI after it.
void window(const RunSetup& s, const RunResult& r, std::size_t length, std::size_t* first,
            std::size_t* last) {
  const std::size_t sps = static_cast<std::size_t>(s.samplesPerUi);
  const std::size_t c = r.channelPulse.valid ? r.channelPulse.cursorRow : 0;
  *first = c > 4 * sps ? c - 4 * sps : 0;
  *last = std::min(length, c + 20 * sps);
}

PlotSeries curve(const std::string& name, const char* color, const std::vector<double>& v,
                 std::size_t first, std::size_t last, double dt, double scale) {
  PlotSeries p;
  p.name = name;
  p.color = color;
  for (std::size_t i = first; i < last && i < v.size(); ++i) {
    p.x.push_back(static_cast<double>(i) * dt * 1e9);
    p.y.push_back(v[i] * scale);
  }
  return p;
}

PlotSeries cursorMarks(const std::string& name, const char* color, const PulseAnalysis& a,
                       std::size_t first, std::size_t last, double dt, std::size_t sps) {
  PlotSeries p;
  p.name = name;
  p.color = color;
  p.markers = true;
  if (!a.valid) return p;
  for (std::size_t i = a.cursorRow % sps; i < a.pulse.size(); i += sps)
    if (i >= first && i < last) {
      p.x.push_back(static_cast<double>(i) * dt * 1e9);
      p.y.push_back(a.pulse[i]);
    }
  return p;
}

}  // namespace

std::string impulseSvg(const RunSetup& s, const RunResult& r) {
  std::size_t first, last;
  window(s, r, r.channelImpulse.size(), &first, &last);
  return linePlotSvg(
      "Impulse response before and after the model", "time [ns]", "[1/ns]",
      {curve("channel", "#1f77b4", r.channelImpulse, first, last, s.sampleInterval, 1e-9),
       curve("equalised", "#d62728", r.equalisedImpulse, first, last, s.sampleInterval, 1e-9)});
}

std::string pulseSvg(const RunSetup& s, const RunResult& r) {
  std::size_t first, last;
  window(s, r, r.channelPulse.pulse.size(), &first, &last);
  const std::size_t sps = static_cast<std::size_t>(s.samplesPerUi);
  return linePlotSvg(
      "Pulse response (one UI) before and after the model", "time [ns]", "[V/V]",
      {curve("channel", "#1f77b4", r.channelPulse.pulse, first, last, s.sampleInterval, 1.0),
       curve("equalised", "#d62728", r.equalisedPulse.pulse, first, last, s.sampleInterval, 1.0),
       cursorMarks("channel, UI spaced", "#1f77b4", r.channelPulse, first, last, s.sampleInterval,
                   sps),
       cursorMarks("equalised, UI spaced", "#d62728", r.equalisedPulse, first, last,
                   s.sampleInterval, sps)});
}

std::string htmlReport(const RunSetup& s, const RunResult& r) {
  std::string h;
  h += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n";
  h += "<title>amisim: " + xmlEscape(s.ami.root) + "</title>\n";
  h += "<style>body{font-family:sans-serif;max-width:980px;margin:2em auto;color:#222}"
       "pre{background:#f4f4f4;padding:1em;overflow-x:auto}figure{margin:1.5em 0}"
       "table{border-collapse:collapse}td,th{padding:2px 10px;text-align:left;border-bottom:1px "
       "solid #ddd}</style>\n";
  h += "</head><body>\n<h1>" + xmlEscape(s.ami.root) + " on " + xmlEscape(s.channel.description) +
       "</h1>\n";
  if (!s.ami.description.empty()) h += "<p>" + xmlEscape(s.ami.description) + "</p>\n";
  if (r.getWaveRan) {
    const WaveAnalysisResult& w = r.wave;
    h += "<table>\n";
    h += format("<tr><th>eye height</th><td>%.4g mV</td></tr>\n", w.eyeHeight * 1e3);
    h += format("<tr><th>eye width</th><td>%.3f UI</td></tr>\n", w.eyeWidth);
    h += format("<tr><th>bit errors</th><td>%llu in %llu bits (BER %.3g)</td></tr>\n",
                static_cast<unsigned long long>(w.bitErrors),
                static_cast<unsigned long long>(w.bits), w.ber);
    h += format("<tr><th>recovered UI</th><td>%.6g ps (%+.2f ppm)</td></tr>\n",
                w.recoveredUi * 1e12, w.frequencyOffsetPpm);
    h += format("<tr><th>clock jitter</th><td>%.3g ps rms, %.3g ps pk-pk</td></tr>\n",
                w.jitterRms * 1e12, w.jitterPeakToPeak * 1e12);
    h += "</table>\n";
    h += "<figure>" + eyeSvg(s, r) +
         "<figcaption>Density of the equalised waveform around each sampling instant "
         "(half a UI after each clock time the model returned); dashed: sampling instant and "
         "decision thresholds.</figcaption></figure>\n";
  }
  h += "<figure>" + pulseSvg(s, r) + "</figure>\n";
  h += "<figure>" + impulseSvg(s, r) + "</figure>\n";
  h += "<h2>Summary</h2>\n<pre>" + xmlEscape(textSummary(s, r)) + "</pre>\n";
  h += "</body></html>\n";
  return h;
}

}  // namespace amisim
