#include "tools/amisim/simulate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "tools/amisim/ami_library.h"
#include "tools/amisim/fft.h"
#include "tools/amisim/prbs.h"

namespace amisim {

namespace {

constexpr long long kMaxImpulseValues = 8388608;  // rows x columns handed to AMI_Init

AmiToken tokenOf(const std::string& text) {
  AmiToken t;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    t.text = text.substr(1, text.size() - 2);
    t.quoted = true;
  } else {
    t.text = text;
  }
  return t;
}

bool buildParameters(const Options& o, RunSetup* s, std::string* error) {
  std::map<std::string, AmiToken> overrides;
  const AmiParameter* modulation = findParameter(s->ami, "Modulation");
  if (modulation != nullptr && isSent(*modulation))
    overrides["Modulation"] = tokenOf(o.levels == 4 ? "PAM4" : "NRZ");
  for (const auto& [name, value] : o.sets) {
    const AmiParameter* p = findParameter(s->ami, name);
    if (p == nullptr) {
      std::string known;
      for (const AmiParameter& q : s->ami.parameters)
        if (isSent(q)) known += (known.empty() ? "" : ", ") + joinPath(q.path);
      *error =
          "--set " + name + ": " + s->ami.root + " has no such parameter (inputs: " + known + ")";
      return false;
    }
    if (!isSent(*p)) {
      *error = "--set " + name + ": the parameter has Usage " + usageName(p->usage) +
               "; only In and InOut parameters are sent";
      return false;
    }
    const AmiToken token = tokenOf(value);
    if (p->type == AmiType::String && token.text.find('"') != std::string::npos) {
      *error = "--set " + name + ": a string value cannot hold a double quote";
      return false;
    }
    if (!valueAllowed(*p, token))
      s->warnings.push_back("--set " + name + "=" + value + " is outside what " + s->amiPath +
                            " allows; sent as it is");
    overrides[name] = token;
  }
  if (o.rawParameters) {
    s->parameters = o.parameters;
    s->sentParameters = -1;
  } else {
    s->parameters = buildParameterString(s->ami, overrides, &s->sentParameters);
  }
  return true;
}

bool buildChannel(const Options& o, RunSetup* s, std::string* error) {
  if (o.channelCsv.empty()) {
    LineParameters line;
    line.bitRate = o.bitRate;
    line.samplesPerUi = o.samplesPerUi;
    line.lossDb = o.lossDb;
    return makeLineChannel(line, &s->channel, error);
  }
  Channel raw;
  if (!readImpulseCsv(o.channelCsv, &raw, error)) return false;
  const double rows =
      raw.sampleInterval * static_cast<double>(raw.columns[0].size() - 1) / s->sampleInterval;
  if (!(rows < static_cast<double>(kMaxImpulseValues))) {
    *error = o.channelCsv + ": the impulse response spans more than " +
             std::to_string(kMaxImpulseValues) + " rows of the run's sample interval";
    return false;
  }
  s->channel = resampleChannel(raw, s->sampleInterval);
  if (s->channel.columns[0].size() < static_cast<std::size_t>(s->samplesPerUi)) {
    *error = o.channelCsv + ": the impulse response is shorter than one UI";
    return false;
  }
  return true;
}

}  // namespace

double presetAmplitude(const std::string& modelRoot, int levels) {
  (void)levels;
  if (modelRoot == "rx_hcm_ctle_high") return 0.02;
  return 0.4;
}

bool prepareRun(const Options& o, RunSetup* s, std::string* error) {
  s->libraryPath = o.library;
  s->amiPath = o.amiPath;
  if (!readAmiFile(o.amiPath, &s->ami, error)) return false;
  s->ui = 1.0 / o.bitRate;
  s->samplesPerUi = o.samplesPerUi;
  s->sampleInterval = s->ui / o.samplesPerUi;
  s->levels = o.levels;
  s->bits = o.bits;
  s->skipBits = o.skipBits >= 0 ? o.skipBits : std::min<long long>(4000, o.bits / 4);
  s->prbs = o.prbs;
  s->blockSize = o.blockSize;
  s->runGetWave = !o.statisticalOnly;
  s->amplitudeFromPreset = !(o.amplitude > 0.0);
  s->amplitude = s->amplitudeFromPreset ? presetAmplitude(s->ami.root, o.levels) : o.amplitude;
  if (!buildParameters(o, s, error)) return false;
  if (!buildChannel(o, s, error)) return false;
  const long long values = static_cast<long long>(s->channel.columns.size()) *
                           static_cast<long long>(s->channel.columns[0].size());
  if (values > kMaxImpulseValues) {
    *error = "the impulse matrix has " + std::to_string(values) + " values; at most " +
             std::to_string(kMaxImpulseValues) + " are handed to a model";
    return false;
  }
  return true;
}

namespace {

// The channel's response to the stimulus, produced in the convolvers' chunks.
class ChannelOutput {
 public:
  ChannelOutput(const RunSetup& s, const std::vector<std::int8_t>& victim)
      : s_(s), victim_(victim) {
    for (std::size_t c = 0; c < s.channel.columns.size(); ++c) {
      std::vector<double> kernel = s.channel.columns[c];
      for (double& v : kernel) v *= s.sampleInterval;
      convolvers_.push_back(std::make_unique<OverlapAddConvolver>(kernel));
      if (c > 0) {
        Prbs p;
        makePrbs(static_cast<std::uint32_t>(s.prbs), 0x2545F491u * static_cast<std::uint32_t>(c),
                 &p);
        aggressors_.push_back(p);
      }
    }
    chunk_ = convolvers_[0]->callLength();  // equal for all: same kernel length
    stimulus_.resize(chunk_);
    part_.resize(chunk_);
    sum_.resize(chunk_);
    aggressorLevel_.assign(aggressors_.size(), 0);
  }

  // Appends the next chunk of the waveform at the receiver to fifo.
  void produce(std::vector<double>* fifo) {
    const std::size_t sps = static_cast<std::size_t>(s_.samplesPerUi);
    for (std::size_t c = 0; c < convolvers_.size(); ++c) {
      for (std::size_t i = 0; i < chunk_; ++i) {
        const std::uint64_t g = produced_ + i;
        const std::uint64_t symbol = g / sps;
        int level = -1;
        if (c == 0) {
          if (symbol < victim_.size()) level = victim_[symbol];
        } else {
          if (g % sps == 0) aggressorLevel_[c - 1] = nextLevel(aggressors_[c - 1]);
          level = aggressorLevel_[c - 1];
        }
        stimulus_[i] = level < 0 ? 0.0 : s_.amplitude * levelValue(level, s_.levels);
      }
      convolvers_[c]->process(stimulus_.data(), part_.data());
      for (std::size_t i = 0; i < chunk_; ++i) sum_[i] = c == 0 ? part_[i] : sum_[i] + part_[i];
    }
    fifo->insert(fifo->end(), sum_.begin(), sum_.end());
    produced_ += chunk_;
  }

 private:
  int nextLevel(Prbs& p) const {
    if (s_.levels == 4) {
      const int high = nextBit(p);
      return grayLevel(high, nextBit(p));
    }
    return nextBit(p);
  }

  const RunSetup& s_;
  const std::vector<std::int8_t>& victim_;
  std::vector<std::unique_ptr<OverlapAddConvolver>> convolvers_;
  std::vector<Prbs> aggressors_;
  std::vector<int> aggressorLevel_;
  std::size_t chunk_ = 0;
  std::uint64_t produced_ = 0;
  std::vector<double> stimulus_, part_, sum_;
};

std::string copyText(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

bool runGetWave(const AmiLibrary& lib, void* memory, const RunSetup& s, RunResult* r,
                const ProgressFn& progress) {
  Prbs prbs;
  makePrbs(static_cast<std::uint32_t>(s.prbs), 0xFFFFFFFFu, &prbs);
  const std::vector<std::int8_t> symbols =
      makeSymbols(prbs, static_cast<std::size_t>(s.bits), s.levels);
  WaveAnalysisConfig cfg;
  cfg.sampleInterval = s.sampleInterval;
  cfg.ui = s.ui;
  cfg.levels = s.levels;
  cfg.skipTime = static_cast<double>(s.skipBits) * s.ui;
  cfg.maxDelayUi =
      static_cast<int>(s.channel.columns[0].size() / static_cast<std::size_t>(s.samplesPerUi)) + 64;
  // About 100000 traces make a smooth density; more only cost time.
  cfg.eyeTraceStride = static_cast<int>(std::max<long long>(1, s.bits / 100000));
  WaveAnalyser analyser(cfg, symbols);
  ChannelOutput channel(s, symbols);

  const std::uint64_t total =
      static_cast<std::uint64_t>(s.bits) * static_cast<std::uint64_t>(s.samplesPerUi);
  const std::size_t block = static_cast<std::size_t>(s.blockSize);
  std::vector<double> fifo;
  std::size_t head = 0;
  std::vector<double> wave(block);
  std::vector<double> clocks(block + 1);  // room for one clock time per sample and the -1
  std::uint64_t done = 0;
  while (done < total) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block, total - done));
    while (fifo.size() - head < n) channel.produce(&fifo);
    std::copy(fifo.begin() + static_cast<std::ptrdiff_t>(head),
              fifo.begin() + static_cast<std::ptrdiff_t>(head + n), wave.begin());
    head += n;
    if (head >= fifo.size() / 2) {
      fifo.erase(fifo.begin(), fifo.begin() + static_cast<std::ptrdiff_t>(head));
      head = 0;
    }
    std::fill(clocks.begin(), clocks.begin() + static_cast<std::ptrdiff_t>(n + 1), -1.0);
    char* out = nullptr;
    lib.getWave(wave.data(), static_cast<long>(n), clocks.data(), &out, memory);
    ++r->getWaveCalls;
    r->getWaveParametersOut = copyText(out);
    std::size_t m = 0;
    while (m < n + 1 && clocks[m] != -1.0) ++m;
    analyser.addBlock(wave.data(), n, clocks.data(), std::min(m, n));
    done += n;
    if (progress) progress(static_cast<double>(done) / static_cast<double>(total));
  }
  r->wave = analyser.finish();
  r->getWaveRan = true;
  return true;
}

}  // namespace

bool runModel(const RunSetup& s, RunResult* r, std::string* error, const ProgressFn& progress) {
  const auto start = std::chrono::steady_clock::now();
  AmiLibrary lib;
  if (!loadAmiLibrary(s.libraryPath, &lib, error)) return false;

  const std::size_t rows = s.channel.columns[0].size();
  const std::size_t columns = s.channel.columns.size();
  std::vector<double> matrix;
  matrix.reserve(rows * columns);
  for (const std::vector<double>& c : s.channel.columns)
    matrix.insert(matrix.end(), c.begin(), c.end());
  std::vector<char> parameters(s.parameters.begin(), s.parameters.end());
  parameters.push_back('\0');
  char* out = nullptr;
  char* msg = nullptr;
  void* memory = nullptr;
  r->initStatus = lib.init(matrix.data(), static_cast<long>(rows), static_cast<long>(columns - 1),
                           s.sampleInterval, s.ui, parameters.data(), &out, &memory, &msg);
  r->initMessage = copyText(msg);
  r->initParametersOut = copyText(out);
  r->channelImpulse = s.channel.columns[0];
  r->channelPulse =
      analysePulse(r->channelImpulse, s.sampleInterval, s.samplesPerUi, s.levels, s.amplitude);
  r->channelLossAtNyquistDb = -channelGainDb(s.channel, 0.5 / s.ui);
  r->channelDcGain = channelDcGain(s.channel);
  if (r->initStatus != 1) {
    *error = "AMI_Init returned " + std::to_string(r->initStatus);
    if (memory != nullptr) lib.close(memory);
    return false;
  }
  r->equalisedImpulse.assign(matrix.begin(), matrix.begin() + static_cast<std::ptrdiff_t>(rows));
  r->equalisedPulse =
      analysePulse(r->equalisedImpulse, s.sampleInterval, s.samplesPerUi, s.levels, s.amplitude);
  if (s.runGetWave && lib.getWave != nullptr) runGetWave(lib, memory, s, r, progress);
  lib.close(memory);
  r->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

}  // namespace amisim
