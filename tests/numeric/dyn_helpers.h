// Small owners and converters for dynamic arrays in the numeric tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/dyn_array.h"

// Owns a dynArray_real_T for the length of a test.
struct RealArray {
  dynArray_real_T* a = nullptr;
  explicit RealArray(std::int32_t dims) { EXPECT_TRUE(Rx_dynInit_real_T(&a, dims)); }
  ~RealArray() { Rx_dynFree_real_T(&a); }
  RealArray(const RealArray&) = delete;
  RealArray& operator=(const RealArray&) = delete;
  dynArray_real_T* operator->() const { return a; }
  dynArray_real_T* get() const { return a; }
};

struct BoolArray {
  dynArray_boolean_T* a = nullptr;
  explicit BoolArray(std::int32_t dims) { EXPECT_TRUE(Rx_dynInit_boolean_T(&a, dims)); }
  ~BoolArray() { Rx_dynFree_boolean_T(&a); }
  BoolArray(const BoolArray&) = delete;
  BoolArray& operator=(const BoolArray&) = delete;
  dynArray_boolean_T* operator->() const { return a; }
  dynArray_boolean_T* get() const { return a; }
};

// Resizes a to the given sizes (the caller's resize pattern) and fills it.
template <typename Array, typename Ensure, typename T>
void fill(Array* a, std::initializer_list<std::int32_t> sizes, const std::vector<T>& values,
          Ensure ensure) {
  const std::int32_t oldNumel = static_cast<std::int32_t>(Rx_dynNumel(a->sizes, a->dimCount));
  std::int32_t i = 0;
  for (std::int32_t s : sizes) a->sizes[i++] = s;
  ASSERT_TRUE(ensure(a, oldNumel));
  for (std::size_t k = 0; k < values.size(); ++k) a->elements[k] = values[k];
}

// A one-dimensional array of doubles holding values.
inline void setVector(RealArray& a, const std::vector<double>& values) {
  fill(a.get(), {static_cast<std::int32_t>(values.size())}, values, Rx_dynEnsureCapacity_real_T);
}

// A 1-by-n row holding values.
inline void setRow(RealArray& a, const std::vector<double>& values) {
  fill(a.get(), {1, static_cast<std::int32_t>(values.size())}, values, Rx_dynEnsureCapacity_real_T);
}

inline void setVector(BoolArray& a, const std::vector<bool>& values) {
  std::vector<boolean_T> v(values.begin(), values.end());
  fill(a.get(), {static_cast<std::int32_t>(values.size())}, v, Rx_dynEnsureCapacity_boolean_T);
}

template <typename Array>
auto contents(const Array* a) {
  using Elem = typename std::remove_pointer<decltype(a->elements)>::type;
  const std::int64_t n = Rx_dynNumel(a->sizes, a->dimCount);
  return std::vector<Elem>(a->elements, a->elements + n);
}

template <typename Array>
std::vector<std::int32_t> sizesOf(const Array* a) {
  return std::vector<std::int32_t>(a->sizes, a->sizes + a->dimCount);
}
