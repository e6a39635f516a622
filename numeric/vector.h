// Vector helpers on dynamic arrays and small fixed tables.
//
// Positions returned are 1-based. Routines that resize an output return false
// when the resize failed (the output then has all sizes 0); they never write
// past the storage. Where two routines behave alike they give identical
// results: each block calls the one named for it.
#pragma once

#include <cstdint>

#include "numeric/complex.h"
#include "numeric/dyn_array.h"

// Ascending, stable, NaNs last in input order. Rx_sort: a row of at most 2
// elements (longer rows are passed to the merge sort), size written back as
// 1-by-n. Rx_sort_l: merge sort of each vector along dim (1: columns, 2: rows,
// anything else: vectors of one element, left alone); returns false, with x
// unchanged, only when its working storage cannot be allocated.
void Rx_sort(double x[], std::int32_t xSize[2]);
bool Rx_sort_l(double x[], const std::int32_t xSize[2], std::int32_t dim);
// Merges the sorted runs x[offset .. offset+np-1] and x[offset+np .. +nq-1]
// with their positions idx, through the working copies iwork and xwork; ties
// take the first run. The work arrays are indexed like x (the same positions
// offset .. offset+np+nq-1 are used), so they need as many entries as x.
void Rx_merge(std::int32_t idx[], double x[], std::int32_t offset, std::int32_t np,
              std::int32_t nq, std::int32_t iwork[], double xwork[]);

// Linear interpolation in a 12-point table, no extrapolation (NaN outside).
double Rx_interp1(const double xTable[12], const double yTable[12], double q);
// Value at x = 0 of the line through two points; NaN when 0 is outside them.
double Rx_interp1_j(const double x[2], const double y[2]);

// Rotate a one-dimensional array by one toward higher indices.
void Rx_circshift_i(dynArray_real_T* a);
void Rx_circshift_o(dynArray_real_T* a);

// Sum in blocks of 1024: the first block is added left to right starting from
// its first element (so a lone -0 sums to -0); each later block is summed on
// its own the same way and then added to the total. Empty: +0.
double Rx_sum(const dynArray_real_T* x);
double Rx_sum_g(const dynArray_real_T* x);

// y = successive differences of the row x (1-by-(n-1); 1-by-0 for n < 2).
bool Rx_diff(const dynArray_real_T* x, dynArray_real_T* y);
bool Rx_diff_m(const dynArray_real_T* x, dynArray_real_T* y);

// x = x + y with scalar expansion; result length is y's unless y has one element.
// Lengths that disagree (neither being 1) return false and leave x unchanged.
bool Rx_plus(dynArray_real_T* x, const dynArray_real_T* y);
// z = x | y with the same scalar expansion and the same refusal; z may be x or y.
bool Rx_or(dynArray_boolean_T* z, const dynArray_boolean_T* x, const dynArray_boolean_T* y);
// True when any of the row's elements is true.
bool Rx_any(const boolean_T x[], const std::int32_t xSize[2]);

// Maximum skipping NaNs, first position on ties; n >= 1 required (an empty
// array gives NaN with index 0, no position).
void Rx_maximum_bx(const dynArray_real_T* x, double* value, std::int32_t* index);
double Rx_maximum_b(const dynArray_real_T* x);
double Rx_maximum(const dynArray_real_T* x);
// Pairs: the NaN-skipping larger (smaller) of x[0] and x[1].
double Rx_maximum(const double x[2]);
double Rx_minimum(const double x[2]);

// Rows a:b (step 1) and a:2:b, built symmetrically from both ends.
// A NaN or negative count gives an empty row (1-by-0) and true; a count above
// 2147483647 (infinite bounds included) gives an empty row and false; a failed
// allocation gives false with all sizes 0. A one-element row holds a.
bool Rx_float_colon(double a, double b, dynArray_real_T* y);
bool Rx_float_colon_i(double a, double b, dynArray_real_T* y);

// Expression kernels of the CTLE coefficient calculation (scalar expansion):
// x = (x - 1) .* y, x sized 1-by-length; x must have room for the result.
// Lengths that disagree (neither being 1) give the common part.
void Rx_binary_expand_op_iakme5(double x[], std::int32_t xSize[2], const double y[],
                                const std::int32_t ySize[2]);
// acc = acc + w[k] .* v[lo .. hi] (0-based); acc must have room for the result.
// hi < lo gives an empty accumulator; disagreeing lengths give the common part.
void Rx_binary_expand_op_iakme(creal_T acc[], std::int32_t accSize[1], const creal_T w[],
                               std::int32_t k, const creal_T v[], std::int32_t lo,
                               std::int32_t hi);
