// What a run shows: the text summary, JSON, SVG pictures and the HTML report.
#pragma once

#include <string>
#include <vector>

#include "tools/amisim/simulate.h"

namespace amisim {

extern const char* const kAmisimVersion;

std::string textSummary(const RunSetup& setup, const RunResult& result);
std::string jsonReport(const RunSetup& setup, const RunResult& result);

// Eye density at the recovered clock, with the thresholds and the measured
// height and width; a note in place of the picture when there is no eye.
std::string eyeSvg(const RunSetup& setup, const RunResult& result);

// One curve of a line plot.
struct PlotSeries {
  std::string name;
  std::string color;      // CSS colour
  std::vector<double> x;  // same length as y
  std::vector<double> y;
  bool markers = false;  // dots in place of a line
};
std::string linePlotSvg(const std::string& title, const std::string& xLabel,
                        const std::string& yLabel, const std::vector<PlotSeries>& series);

// The responses before and after the model: impulse and pulse.
std::string impulseSvg(const RunSetup& setup, const RunResult& result);
std::string pulseSvg(const RunSetup& setup, const RunResult& result);

std::string htmlReport(const RunSetup& setup, const RunResult& result);

// Text made safe for XML and HTML, and for a JSON string.
std::string xmlEscape(const std::string& text);
std::string jsonEscape(const std::string& text);

}  // namespace amisim
