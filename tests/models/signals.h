// Test signals for the model libraries: impulse responses in V/s (sum x dt
// is the DC gain), symbol streams and the received waveforms they make.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

// A power of two, so that times built from it are exact.
constexpr double kTestDt = 0x1p-40;  // about 0.91 ps

// 1/dt at row `at`, zero elsewhere: a channel that passes one sample unchanged.
inline std::vector<double> deltaImpulse(long rows, long at, double dt) {
  std::vector<double> h(static_cast<std::size_t>(rows), 0.0);
  h[static_cast<std::size_t>(at)] = 1.0 / dt;
  return h;
}

// A lossy channel: a critically damped second-order low-pass,
// h(t) = t/tau^2 exp(-t/tau), after a delay, scaled to DC gain `gain`.
inline std::vector<double> lossyChannel(long rows, double dt, double delay, double tau,
                                        double gain) {
  std::vector<double> h(static_cast<std::size_t>(rows), 0.0);
  double area = 0.0;
  for (long i = 0; i < rows; ++i) {
    const double t = static_cast<double>(i) * dt - delay;
    if (t > 0.0) h[static_cast<std::size_t>(i)] = t / (tau * tau) * std::exp(-t / tau);
    area += h[static_cast<std::size_t>(i)] * dt;
  }
  for (double& v : h) v = v * (gain / area);
  return h;
}

// Pseudo-random bits from a 15-bit linear feedback shift register.
inline std::vector<int> prbsBits(std::size_t count, std::uint32_t seed = 0x5A5Au) {
  std::uint32_t state = (seed & 0x7FFFu) != 0 ? (seed & 0x7FFFu) : 1u;
  std::vector<int> bits(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t bit = ((state >> 14) ^ (state >> 13)) & 1u;
    state = ((state << 1) | bit) & 0x7FFFu;
    bits[i] = static_cast<int>(bit);
  }
  return bits;
}

// Symbol values: NRZ -a, +a from one bit; PAM4 -a, -a/3, a/3, a from two bits
// (Gray order).
inline std::vector<double> symbolStream(std::size_t symbols, int levels, double amplitude,
                                        std::uint32_t seed = 0x5A5Au) {
  const std::vector<int> bits = prbsBits(symbols * (levels == 4 ? 2 : 1), seed);
  std::vector<double> s(symbols);
  for (std::size_t i = 0; i < symbols; ++i) {
    if (levels == 4) {
      static const double kGray[4] = {-1.0, -1.0 / 3.0, 1.0, 1.0 / 3.0};
      s[i] = amplitude * kGray[bits[2 * i] * 2 + bits[2 * i + 1]];
    } else {
      s[i] = bits[i] != 0 ? amplitude : -amplitude;
    }
  }
  return s;
}

// The received waveform: the symbols held for sps samples each, convolved
// with the impulse response (y[n] = dt x sum h[m] x[n - m]). Terms beyond
// eight symbols of the response are left out: the test channels have decayed
// by then.
inline std::vector<double> receivedWave(const std::vector<double>& symbols, long sps,
                                        const std::vector<double>& impulse, double dt) {
  const std::size_t n = symbols.size() * static_cast<std::size_t>(sps);
  std::vector<double> tx(n);
  for (std::size_t i = 0; i < n; ++i) tx[i] = symbols[i / static_cast<std::size_t>(sps)];
  std::vector<double> rx(n, 0.0);
  const std::size_t taps = std::min(impulse.size(), static_cast<std::size_t>(8 * sps));
  for (std::size_t i = 0; i < n; ++i) {
    double acc = 0.0;
    for (std::size_t m = 0; m < taps && m <= i; ++m) acc += impulse[m] * tx[i - m];
    rx[i] = acc * dt;
  }
  return rx;
}

// A short, busy test waveform: a sine with a slow envelope, in volts.
inline std::vector<double> testWave(std::size_t n, double amplitude, double period) {
  std::vector<double> w(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = static_cast<double>(i);
    w[i] = amplitude * std::sin(6.283185307179586 * x / period) *
           (0.75 + 0.25 * std::cos(x / 97.0));
  }
  return w;
}

// Signal amplitude [V] that suits a model's input: rx_hcm_ctle_high amplifies
// about 19 times before its +-0.424 V limiter; the DFE-only models expect
// hundreds of millivolts.
inline double inputAmplitude(const std::string& model) {
  return model == "rx_hcm_ctle_high" ? 0.02 : 0.5;
}

// Sample interval of the channel stimuli, about 29 ps: 8 to 32 samples per
// symbol give 1 to 4.3 Gb/s, the rates the fixed CTLE of rx_hcm_ctle_high
// is made for (its zero lies at 0.4 GHz, its poles near 1.5 GHz).
constexpr double kChannelDt = 0x1p-35;

// A lossy channel, its impulse response and a PRBS waveform through it.
struct Stimulus {
  long sps;
  double dt;       // [s] sample interval
  double bitTime;  // [s]
  long rows;
  std::vector<double> impulse;  // [V/s], one column
  std::vector<double> symbols;  // transmitted symbol values [V]
  std::vector<double> wave;     // received waveform [V]
};

inline Stimulus channelStimulus(const std::string& model, std::size_t symbols, long sps,
                                int levels, std::uint32_t seed = 0x5A5Au) {
  Stimulus s;
  s.sps = sps;
  s.dt = kChannelDt;
  s.bitTime = static_cast<double>(sps) * s.dt;
  s.rows = 16 * sps;
  s.impulse = lossyChannel(s.rows, s.dt, 1.5 * s.bitTime, 0.3 * s.bitTime, 1.0);
  s.symbols = symbolStream(symbols, levels, inputAmplitude(model), seed);
  s.wave = receivedWave(s.symbols, sps, s.impulse, s.dt);
  return s;
}
