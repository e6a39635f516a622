// One run of a model: AMI_Init on the channel's impulse response, then
// AMI_GetWave on the channel's response to a PRBS, block by block.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/amisim/ami_file.h"
#include "tools/amisim/channel.h"
#include "tools/amisim/options.h"
#include "tools/amisim/stat_analysis.h"
#include "tools/amisim/wave_analysis.h"

namespace amisim {

// Everything a run needs, resolved from the options and the files.
struct RunSetup {
  std::string libraryPath;
  std::string amiPath;
  AmiFile ami;
  std::string parameters;             // the parameter string sent to AMI_Init
  int sentParameters = -1;            // leaves it carries; -1 for a raw --params string
  std::vector<std::string> warnings;  // overrides outside the .ami's allowed values
  Channel channel;                    // on the run's grid
  double ui = 0.0;                    // [s]
  double sampleInterval = 0.0;        // [s]
  int samplesPerUi = 32;
  int levels = 2;
  double amplitude = 0.0;  // [V] peak transmitter level
  bool amplitudeFromPreset = false;
  long long bits = 0;      // UIs simulated
  long long skipBits = 0;  // UIs left out of the time-domain results
  int prbs = 7;
  long long blockSize = 0;  // samples per AMI_GetWave call
  bool runGetWave = true;
};

// Reads the .ami file and the channel and builds the parameter string.
bool prepareRun(const Options& options, RunSetup* setup, std::string* error);

// Peak transmitter level that suits a model of this root name: about 20 mV
// in front of a model with a high-gain linear equaliser and limiter, 0.4 V
// for the others.
double presetAmplitude(const std::string& modelRoot, int levels);

struct RunResult {
  long initStatus = 0;
  std::string initMessage;
  std::string initParametersOut;
  std::vector<double> channelImpulse;    // victim [1/s]
  std::vector<double> equalisedImpulse;  // victim after AMI_Init [1/s]
  PulseAnalysis channelPulse;            // for the run's amplitude and alphabet
  PulseAnalysis equalisedPulse;
  double channelLossAtNyquistDb = 0.0;  // of the victim impulse, edge included
  double channelDcGain = 0.0;
  bool getWaveRan = false;
  long long getWaveCalls = 0;
  std::string getWaveParametersOut;  // after the last call
  WaveAnalysisResult wave;
  double seconds = 0.0;  // wall time of the run
};

using ProgressFn = std::function<void(double fraction)>;

// Loads the library and runs it; false with a reason when the library cannot
// be loaded or AMI_Init refuses (the result then holds its message).
bool runModel(const RunSetup& setup, RunResult* result, std::string* error,
              const ProgressFn& progress);

}  // namespace amisim
