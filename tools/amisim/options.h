// Command line of the host program.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace amisim {

struct Options {
  std::string library;  // model library (.so), or a folder holding it and its .ami
  std::string amiPath;  // the model's .ami file; empty: the one beside the library
  std::vector<std::pair<std::string, std::string>> sets;  // --set NAME=VALUE, in order
  bool rawParameters = false;                             // --params given
  std::string parameters;                                 // --params STRING
  std::string channelCsv;        // --channel FILE; empty: the embedded line
  double lossDb = 12.0;          // --loss, embedded line loss at Nyquist [dB]
  double bitRate = 5e9;          // --bit-rate, symbols per second [1/s]
  int samplesPerUi = 32;         // --samples-per-ui
  long long bits = 100000;       // --bits, UIs simulated
  long long skipBits = -1;       // --skip, UIs ignored while the equaliser locks; -1: automatic
  int prbs = 7;                  // --prbs 7, 15, 23 or 31
  int levels = 2;                // --modulation: 2 NRZ, 4 PAM4
  double amplitude = -1.0;       // --amplitude, peak transmitter level [V]; < 0: the model's preset
  long long blockSize = 16384;   // --block-size, samples per AMI_GetWave call
  bool json = false;             // --json: JSON on stdout in place of the summary
  std::string reportPath;        // --report FILE.html
  std::string eyeSvgPath;        // --eye-svg FILE.svg
  bool statisticalOnly = false;  // --no-getwave
  bool listParameters = false;   // --list-params
  bool quiet = false;            // --quiet: no progress bar
  bool help = false;
  bool version = false;
};

// Parses argv; false with a one-line reason in *error.
bool parseOptions(int argc, const char* const* argv, Options* out, std::string* error);

// The --help text.
std::string usageText();

// Resolves the library path (a folder means the one .so inside it) and the
// .ami path (the one .ami beside the library when none is given).
bool resolveModelFiles(Options* options, std::string* error);

}  // namespace amisim
