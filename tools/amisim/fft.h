// Radix-2 complex FFT and a streaming convolver by overlap-add.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace amisim {

// Precomputed tables of one transform size (a power of two, at least 2).
struct FftPlan {
  std::size_t size = 0;                       // points per transform
  std::vector<std::size_t> bitReversed;       // size entries: index with its bits reversed
  std::vector<std::complex<double>> twiddle;  // size/2 entries: exp(-2 pi i k / size)
  std::vector<double> stageRe, stageIm;       // size-1 entries: for the stage that joins
                                              // halves of h points, exp(-pi i k / h), k < h,
                                              // stored from h - 1 on (contiguous per stage)
};

// True when n is a power of two (1 included).
bool isPowerOfTwo(std::size_t n);
// The smallest power of two not below n (1 for n = 0); 0 when it would overflow.
std::size_t nextPowerOfTwo(std::size_t n);

// Tables for transforms of `size` points; size must be a power of two >= 2.
FftPlan makeFftPlan(std::size_t size);

// In place, data holds plan.size points. Forward: X[k] = sum x[n] e^{-2 pi i kn/N};
// inverse includes the 1/N factor, so inverse(forward(x)) == x up to rounding.
void fftForward(const FftPlan& plan, std::complex<double>* data);
void fftInverse(const FftPlan& plan, std::complex<double>* data);

// Convolution of a real signal, fed block by block, with a fixed real kernel.
// Output sample n depends on the input samples up to n only (no latency): each
// call takes exactly blockLength() samples and returns as many. Two input
// blocks share one complex transform (one in the real part, one in the
// imaginary part), so a call takes 2 x blockLength() samples.
class OverlapAddConvolver {
 public:
  // kernel: at least one value. The transform holds at least 4 kernel lengths.
  explicit OverlapAddConvolver(const std::vector<double>& kernel);

  std::size_t blockLength() const { return block_; }  // samples per half of a call
  std::size_t callLength() const { return 2 * block_; }

  // in and out: callLength() samples each (may be the same array).
  void process(const double* in, double* out);

 private:
  FftPlan plan_;
  std::size_t kernelLength_;
  std::size_t block_;
  std::vector<std::complex<double>> kernelSpectrum_;  // plan_.size points
  std::vector<std::complex<double>> work_;            // plan_.size points
  std::vector<double> tail_;                          // kernelLength_ - 1 carried samples
};

// Direct full convolution (length a + b - 1), for short signals and checks.
std::vector<double> convolveDirect(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace amisim
