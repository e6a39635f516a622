// CTLE coefficient calculation: a continuous-time transfer function
//   H(s) = K * prod_m (1 - s/z_m) / prod_i (1 - s/p_i)     (z, p in Hz, real, distinct poles)
// becomes the discrete direct-form filter
//   y[n] = sum_{m=0..np} b_m x[n-m] - sum_{m=1..np} a_m y[n-m]
// by expanding H into first-order terms r_i / (1 - s/p_i), discretising each term with the
// step-invariant rule whose output is taken half a sample late, and bringing the terms over
// their common denominator. The filter keeps the DC gain: N(1)/D(1) = sum r_i = K.
#pragma once

#include <cstdint>

#include "numeric/complex.h"
#include "numeric/dyn_array.h"

constexpr std::int32_t kCtleConfigCount = 8;  // configurations of the statistical CTLE
constexpr std::int32_t kCtleMaxPoles = 2;  // poles a configuration can have (pole matrix columns)

// Discrete filters of all statistical configurations, one column per configuration.
// Every member is created by dynInitStruct_ctleCoefficients and owned by the record.
struct ctleCoefficients_Rx_T {
  // 2-D, (max poles + 1) x 8: column k holds b0..b_np of configuration k, zero-padded
  dynArray_real_T* numerator;
  // 2-D, max poles x 8: column k holds a1..a_np of configuration k (a0 = 1), zero-padded
  dynArray_real_T* denominator;
  dynArray_real_T* inputHistory;   // 1-D, max poles + 1: start state of the input history, all 0
  dynArray_real_T* outputHistory;  // 1-D, max poles: start state of the output history, all 0
  dynArray_real_T* zeroCount;      // 1-D, 8: number of zeros of each configuration
  dynArray_real_T* poleCount;      // 1-D, 8: number of poles of each configuration
};

// Creates the six arrays empty (two 2-D, four 1-D, in field order). On failure every array
// created so far is released again, all members are null and false is returned.
bool dynInitStruct_ctleCoefficients(ctleCoefficients_Rx_T* coefficients);
// Releases the six arrays; members already null are skipped.
void dynFreeStruct_ctleCoefficients(ctleCoefficients_Rx_T* coefficients);

// Discretises the terms r_i / (1 - s/p_i), i = 0..np-1 (np = 1 or 2), at sample interval T [s]
// and combines them: numerator receives b0..b_np (np + 1 values), denominator a1..a_np.
// Products run in complex arithmetic, each term's product multiplied out in pole order, then
// scaled by its residue and added, term after term. A T so long that exp(-w T/2) overflows
// gives NaN in the coefficients that term reaches; they are returned as they are.
// Returns false, writing nothing, when np is outside 1..2.
bool Rx_CTLE_discretise(const creal_T residues[], const double poles[], std::int32_t np,
                        double sampleInterval, double numerator[], double denominator[]);

// True when the partial-fraction form cannot be used: examined in order 0..7, a configuration
// without poles or with a repeated pole sets it; if none does, a repeated zero sets it.
// poles is 8 x 2 column-major (pole 1 of configuration k at k, pole 2 at k + 8); zeros is 8 x 1.
bool Rx_CTLE_cascadeRequired(const double poleCount[kCtleConfigCount], const double poles[16],
                             const double zeroCount[kCtleConfigCount], const double zeros[8]);

// Sizes numerator to (max + 1) x 8 and denominator to max x 8, both all 0, the histories to
// max + 1 and max zeros, and copies the counts. maxPoleCount is clamped to 0..2 (NaN gives 0).
// Returns false when an array could not be sized (that array then has all sizes 0).
bool Rx_CTLE_resetCoefficients(ctleCoefficients_Rx_T* coefficients, double maxPoleCount,
                               const double zeroCount[kCtleConfigCount],
                               const double poleCount[kCtleConfigCount]);

// Fills coefficients for the eight configurations at sample interval T [s]: for configuration
// k the first poleCount[k] poles of row k and, if zeroCount[k] >= 1, its zero, expanded with
// the partial-fraction routine and discretised as above. Counts are clamped to 0..max poles; a
// configuration without poles keeps its all-zero column, and a zero is used only while fewer
// zeros than poles remain (the form has no direct term). Sets *designSampleInterval = T,
// *designScale = 1 and *ready = 1. Returns false, leaving *ready untouched, when an array
// could not be sized.
bool Rx_calculateCTLECoefficients(double sampleInterval, const double zeroCount[kCtleConfigCount],
                                  const double poleCount[kCtleConfigCount], double maxPoleCount,
                                  const double zeros[8], const double poles[16],
                                  const double dcGain[kCtleConfigCount],
                                  ctleCoefficients_Rx_T* coefficients, double* designSampleInterval,
                                  double* designScale, boolean_T* ready);

// Count held in a double as an index-safe integer in lo..hi: NaN and values below lo give lo,
// values above hi give hi, others are truncated toward zero.
std::int32_t Rx_CTLE_clampCount(double value, std::int32_t lo, std::int32_t hi);
