// Pieces shared by the time-domain and statistical parts of DFE/CDR
// revision A: array rows, symbol tables, colon rows, the tap limits, the
// level report and the diagnostic record. Not for use outside the block.
#pragma once

#include <cmath>
#include <cstdint>

#include "blocks/dfecdr/dfecdr_common.h"
#include "numeric/dyn_array.h"

namespace dfecdr_a {
namespace detail {

// Construction values of the tap limits in model rx_hcm_ctle_high.
inline constexpr double kTapMin[4] = {-0.2, -0.1, -0.1, -0.1};
inline constexpr double kTapMax[4] = {0.2, 0.1, 0.1, 0.1};

// Element count of a row held by a possibly absent array.
std::int32_t rowLength(const dynArray_real_T* a);

// Resizes a (a 2-D array) to 1 x n. False when it could not be sized (it is
// then empty) or is absent.
bool resizeRow(dynArray_real_T* a, std::int32_t n);

// Number of symbol levels for a Modulation value: floor(M) when M >= 1 and
// floor(M) <= kMaxLevels; otherwise 0 (NaN, negative, too many).
std::int32_t levelCount(double modulation);

// Symbol values for n levels, ascending, from -0.5 to 0.5 (n >= 1 entries).
void fillSymbolTable(double v[], std::int32_t n);

// Row a, a + step, ... up to b (step 1 or 2), built symmetrically from both
// ends so that it ends exactly at b when b is within rounding of a step.
// Value-by-value form: no storage needed.
struct ColonRow {
  double first;
  double last;
  double step;
  std::int32_t count;  // 0 for an empty row
};
ColonRow colonRow(double a, double b, double step);
double colonValue(const ColonRow& row, std::int32_t i);  // 0-based, i < count

// The level report of a step on either record: with PAM4 and four entries in
// table (the tracked levels, or the symbols where no levels are tracked) the
// inner and outer level means come from the table and the upper threshold is
// the highest threshold; otherwise the means keep their fixed 0.3 and 0.4 and
// there is no upper threshold (0). Returns the upper threshold.
template <class Rec>
double reportLevels(Rec* obj, const dynArray_real_T* table) {
  if (!(obj->Modulation == 4.0 && rowLength(table) >= 4)) {
    obj->innerLevel = 0.3;
    obj->outerLevel = 0.4;
    return 0.0;
  }
  const double* lv = table->elements;
  const std::int32_t nThr = rowLength(obj->thresholds);
  const double upper = nThr > 0 ? obj->thresholds->elements[nThr - 1] : 0.0;
  obj->innerLevel = (std::fabs(lv[1]) + std::fabs(lv[2])) / 2.0;
  obj->outerLevel = (std::fabs(lv[0]) + std::fabs(lv[3])) / 2.0;
  return upper;
}

// The whole 41-place diagnostic record: the common head, then the
// thresholds in their held order, places beyond them zero.
template <class Rec, class Diag>
void writeDiagnostics(const Rec* obj, double phase, double upper, Diag* d) {
  dfecdr_common::writeDiagnosticHead(obj, phase, upper, d);
  for (double& v : d->thresholdList) v = 0.0;
  std::int32_t n = rowLength(obj->thresholds);
  if (n > 31) n = 31;
  for (std::int32_t i = 0; i < n; ++i) d->thresholdList[i] = obj->thresholds->elements[i];
}

}  // namespace detail
}  // namespace dfecdr_a
