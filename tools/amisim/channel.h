// Channels: the embedded lossy line generated in code, and impulse responses
// read from CSV files.
#pragma once

#include <string>
#include <vector>

namespace amisim {

// Impulse responses on one time grid, as IBIS-AMI hands them to AMI_Init.
struct Channel {
  double sampleInterval = 0.0;               // [s] between rows
  std::vector<std::vector<double>> columns;  // victim first, then aggressors; each the
                                             // same number of rows, values [1/s]
  std::string description;                   // one line for the reports
};

// The embedded channel: a transmission line with skin-effect and dielectric
// loss, made minimum phase (so causal) from its loss curve, behind a
// transmitter with a raised-cosine edge, after a flight delay.
struct LineParameters {
  double bitRate = 5e9;    // [1/s], one UI = 1 / bitRate
  int samplesPerUi = 32;   // samples per UI of the grid
  double lossDb = 12.0;    // line loss at Nyquist (bitRate / 2) [dB], >= 0
  double skinShare = 0.4;  // share of lossDb from skin effect (sqrt f); rest dielectric (f)
  double edgeUi = 0.5;     // transmitter edge, 0 to 100 % [UI]
  double delay = 1e-9;     // flight time [s]
};

// Loss of the bare line (no edge, no delay) at frequency f [Hz], in dB (>= 0).
double lineLossDb(const LineParameters& line, double frequency);

// The sampled channel; false with a reason in *error for an unusable line.
bool makeLineChannel(const LineParameters& line, Channel* out, std::string* error);

// Reads "time, victim[, aggressor...]" rows: comma, semicolon, tab or space
// separated, lines starting with '#' and one leading header line skipped.
// Times must rise uniformly. false with a reason (line number included).
bool readImpulseCsv(const std::string& path, Channel* out, std::string* error);
bool parseImpulseCsv(const std::string& text, Channel* out, std::string* error);

// The same responses on a grid of newInterval, by linear interpolation (the
// values are densities per second, so the area is kept). The rows are kept
// as they are when the intervals agree to 1e-9.
Channel resampleChannel(const Channel& in, double newInterval);

// Magnitude of the victim's transfer function at frequency f [Hz], in dB.
double channelGainDb(const Channel& channel, double frequency);
// sum of the victim's values x sampleInterval: its gain at DC.
double channelDcGain(const Channel& channel);

}  // namespace amisim
