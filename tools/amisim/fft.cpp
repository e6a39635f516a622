#include "tools/amisim/fft.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace amisim {

bool isPowerOfTwo(std::size_t n) { return n != 0 && (n & (n - 1)) == 0; }

std::size_t nextPowerOfTwo(std::size_t n) {
  std::size_t p = 1;
  while (p < n) {
    if (p > std::numeric_limits<std::size_t>::max() / 2) return 0;
    p *= 2;
  }
  return p;
}

FftPlan makeFftPlan(std::size_t size) {
  FftPlan plan;
  plan.size = size;
  std::size_t bits = 0;
  while ((std::size_t{1} << bits) < size) ++bits;
  plan.bitReversed.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    std::size_t r = 0;
    for (std::size_t b = 0; b < bits; ++b) r |= ((i >> b) & 1u) << (bits - 1 - b);
    plan.bitReversed[i] = r;
  }
  plan.twiddle.resize(size / 2);
  const double pi = 3.14159265358979323846;
  for (std::size_t k = 0; k < size / 2; ++k) {
    // Each factor from its own angle: no error accumulates along the table.
    const double angle = -2.0 * pi * static_cast<double>(k) / static_cast<double>(size);
    plan.twiddle[k] = std::complex<double>(std::cos(angle), std::sin(angle));
  }
  plan.stageRe.resize(size > 0 ? size - 1 : 0);
  plan.stageIm.resize(plan.stageRe.size());
  for (std::size_t half = 1; half < size; half *= 2)
    for (std::size_t k = 0; k < half; ++k) {
      const std::complex<double> w = plan.twiddle[k * (size / (2 * half))];
      plan.stageRe[half - 1 + k] = w.real();
      plan.stageIm[half - 1 + k] = w.imag();
    }
  return plan;
}

namespace {

// Iterative decimation in time; the inverse uses the conjugate factors.
void transform(const FftPlan& plan, std::complex<double>* data, bool inverse) {
  const std::size_t n = plan.size;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = plan.bitReversed[i];
    if (i < j) std::swap(data[i], data[j]);
  }
  // Plain doubles: std::complex's operator* may take a slow NaN-checking path.
  double* d = reinterpret_cast<double*>(data);
  const double sign = inverse ? -1.0 : 1.0;
  for (std::size_t half = 1; half < n; half *= 2) {
    const double* wr = plan.stageRe.data() + (half - 1);
    const double* wi = plan.stageIm.data() + (half - 1);
    for (std::size_t start = 0; start < n; start += 2 * half) {
      double* a = d + 2 * start;
      double* b = d + 2 * (start + half);
      for (std::size_t k = 0; k < half; ++k) {
        const double cr = wr[k], ci = sign * wi[k];
        const double br = b[2 * k] * cr - b[2 * k + 1] * ci;
        const double bi = b[2 * k] * ci + b[2 * k + 1] * cr;
        const double ar = a[2 * k], ai = a[2 * k + 1];
        a[2 * k] = ar + br;
        a[2 * k + 1] = ai + bi;
        b[2 * k] = ar - br;
        b[2 * k + 1] = ai - bi;
      }
    }
  }
}

}  // namespace

void fftForward(const FftPlan& plan, std::complex<double>* data) { transform(plan, data, false); }

void fftInverse(const FftPlan& plan, std::complex<double>* data) {
  transform(plan, data, true);
  const double scale = 1.0 / static_cast<double>(plan.size);
  for (std::size_t i = 0; i < plan.size; ++i) data[i] *= scale;
}

OverlapAddConvolver::OverlapAddConvolver(const std::vector<double>& kernel)
    : kernelLength_(std::max<std::size_t>(kernel.size(), 1)) {
  const std::size_t size = std::max<std::size_t>(nextPowerOfTwo(4 * kernelLength_), 1024);
  plan_ = makeFftPlan(size);
  block_ = size - kernelLength_ + 1;
  kernelSpectrum_.assign(size, {0.0, 0.0});
  for (std::size_t i = 0; i < kernel.size(); ++i) kernelSpectrum_[i] = {kernel[i], 0.0};
  fftForward(plan_, kernelSpectrum_.data());
  work_.assign(size, {0.0, 0.0});
  tail_.assign(kernelLength_ - 1, 0.0);
}

void OverlapAddConvolver::process(const double* in, double* out) {
  const std::size_t size = plan_.size;
  for (std::size_t i = 0; i < block_; ++i) work_[i] = {in[i], in[block_ + i]};
  for (std::size_t i = block_; i < size; ++i) work_[i] = {0.0, 0.0};
  fftForward(plan_, work_.data());
  for (std::size_t i = 0; i < size; ++i) {
    const std::complex<double> a = work_[i];
    const std::complex<double> k = kernelSpectrum_[i];
    work_[i] = {a.real() * k.real() - a.imag() * k.imag(),
                a.real() * k.imag() + a.imag() * k.real()};
  }
  fftInverse(plan_, work_.data());
  // The real part is the first block's full convolution, the imaginary part
  // the second's; the second starts block_ samples after the first.
  const std::size_t tailLength = kernelLength_ - 1;
  for (std::size_t i = 0; i < block_; ++i) {
    double v = work_[i].real();
    if (i < tailLength) v += tail_[i];
    out[i] = v;
  }
  for (std::size_t i = 0; i < block_; ++i) {
    double v = work_[i].imag();
    if (i < tailLength) v += work_[block_ + i].real();
    out[block_ + i] = v;
  }
  // Carry: the end of the second block's convolution.
  for (std::size_t i = 0; i < tailLength; ++i) tail_[i] = work_[block_ + i].imag();
}

std::vector<double> convolveDirect(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.empty() || b.empty()) return {};
  std::vector<double> y(a.size() + b.size() - 1, 0.0);
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) y[i + j] += a[i] * b[j];
  return y;
}

}  // namespace amisim
