// Time-domain view of an equalised waveform and its clock times: the eye at
// the recovered clock, errors against the transmitted symbols, the recovered
// UI and its jitter. Fed block by block, as AMI_GetWave returns them.
#pragma once

#include <cstdint>
#include <vector>

namespace amisim {

struct WaveAnalysisConfig {
  double sampleInterval = 0.0;  // [s] per wave sample; sample i lies at i x sampleInterval
  double ui = 0.0;              // [s] per symbol
  int levels = 2;               // 2 (NRZ) or 4 (PAM4, Gray coded)
  double skipTime = 0.0;        // [s] clock times sampling before this are ignored
  int maxDelayUi = 1024;        // largest channel plus model delay searched [UI]
  int eyeColumns = 128;         // eye density bins across 2 UI
  int eyeRows = 96;             // eye density bins across the voltage range
  int eyeTraceStride = 1;       // draw every n-th sampling instant into the density
};

// Eye density: counts of the waveform over [-1, 1) UI around each sampling
// instant, columns left to right, rows from vMin (row 0) to vMax.
struct EyeDensity {
  int columns = 0;
  int rows = 0;
  double vMin = 0.0, vMax = 0.0;      // [V] voltage range of the rows
  std::vector<std::uint32_t> counts;  // columns x rows, column after column
  std::uint64_t traces = 0;           // sampling instants drawn
};

struct WaveAnalysisResult {
  std::uint64_t clockTimes = 0;  // all clock times received
  std::uint64_t clocksUsed = 0;  // those after the skipped lock-in time
  bool aligned = false;          // transmitted sequence found in the decisions
  int delayUi = 0;               // symbols between transmission and decision
  std::uint64_t symbols = 0;     // compared symbols
  std::uint64_t symbolErrors = 0;
  std::uint64_t bits = 0;  // compared bits (2 per PAM4 symbol)
  std::uint64_t bitErrors = 0;
  double ber = 0.0;                 // bitErrors / bits, 0 when nothing was compared
  std::vector<double> levelMeans;   // [V] at the sampling instant, per level (lowest first)
  std::vector<double> thresholds;   // [V] decision thresholds between adjacent levels: for
                                    // each pair the one with the fewest errors (the middle of
                                    // the gap when the eye is open)
  std::vector<double> eyeHeights;   // [V] per eye (lowest first) at the sampling instant
  std::vector<double> eyeWidths;    // [UI] per eye: open span of sampling phases around it
  double eyeHeight = 0.0;           // [V] smallest of eyeHeights (negative: closed)
  double eyeWidth = 0.0;            // [UI] smallest of eyeWidths
  double recoveredUi = 0.0;         // [s] slope of the clock times over their symbol index
  double frequencyOffsetPpm = 0.0;  // (recoveredUi / ui - 1) x 1e6
  double jitterRms = 0.0;           // [s] clock times around the fitted line
  double jitterPeakToPeak = 0.0;    // [s]
  std::uint64_t clockSlips = 0;     // steps of the clock other than one UI
  EyeDensity eye;
};

class WaveAnalyser {
 public:
  // symbols: the transmitted level indices, one per UI from time 0.
  WaveAnalyser(const WaveAnalysisConfig& config, const std::vector<std::int8_t>& symbols);

  // One AMI_GetWave block: the next n equalised samples, continuing the ones
  // before, and the m clock times returned with them (terminator left out).
  // Data is sampled half a UI after each clock time.
  void addBlock(const double* wave, std::size_t n, const double* clockTimes, std::size_t m);
  // Processes what is left and computes the results.
  WaveAnalysisResult finish();

 private:
  static constexpr int kPhases = 65;  // sampling phases -0.5 .. 0.5 UI
  static constexpr int kBins = 4096;  // value histogram bins per level over the eye's range
  struct Pending {                    // a sampling instant kept until aligned
    double time;                      // [s] sampling instant
    double values[kPhases];           // [V] waveform at the phases around it
  };

  void valuesAround(double time, double* values) const;
  void processReady(bool final);
  void processInstant(double time);
  void align();
  void score(const Pending& p);
  void drawTrace(double time);
  void trimHistory();
  int slice(double v) const;
  std::size_t binOf(double v) const;
  void countErrors(WaveAnalysisResult* r) const;

  WaveAnalysisConfig cfg_;
  const std::vector<std::int8_t>& symbols_;
  std::vector<double> history_;     // equalised samples from historyStart_ on
  std::uint64_t historyStart_ = 0;  // global index of history_[0]
  std::uint64_t sampleCount_ = 0;   // samples received
  std::vector<double> queue_;       // sampling instants waiting for their samples
  std::size_t queueHead_ = 0;
  std::vector<double> usedClocks_;                  // clock times after the lock-in time [s]
  std::vector<Pending> pending_;                    // instants before alignment
  std::vector<std::vector<double>> pendingTraces_;  // their windows, for the eye density
  double phaseOffset_ = 0.0;                        // [UI] mean sampling phase within the UI
  bool aligned_ = false;
  int delay_ = 0;
  std::vector<double> thresholds_;           // blind slicer used only to find the delay
  std::vector<double> levelMin_, levelMax_;  // levels x kPhases, per level and phase
  std::vector<std::uint64_t> histogram_;     // levels x (kBins + 2): the sampled value of each
                                             // transmitted level; bin 0 below the range (and
                                             // NaN), bin kBins + 1 above it
  std::vector<double> levelSum_;
  std::vector<std::uint64_t> levelCount_;
  WaveAnalysisResult r_;
};

}  // namespace amisim
