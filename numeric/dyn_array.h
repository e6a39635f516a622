// Column-major dynamic arrays for the five element types of the model.
//
// Sizes are written by the caller directly into `sizes`; the operations only
// manage storage. Storage grows geometrically from 16 elements, is zero-filled
// when first allocated and never shrinks, so a block that resizes a working
// array on every step settles after a few steps and then allocates nothing.
//
// Resize pattern: oldNumel = product of sizes; write the new sizes; call
// Rx_dynEnsureCapacity_T(array, oldNumel); test its result; write elements.
#pragma once

#include <cstdint>

using boolean_T = bool;  // one byte, 0 or 1
using char_T = char;

struct dynArray_real_T {
  double* elements;     // storage, absent (null) until first needed
  std::int32_t* sizes;  // dimCount dimension sizes
  std::int32_t capacity;  // elements the storage holds
  std::int32_t dimCount;  // fixed at creation
  bool ownsElements;      // storage is released with the array
};

struct dynArray_int32_T {
  std::int32_t* elements;
  std::int32_t* sizes;
  std::int32_t capacity;
  std::int32_t dimCount;
  bool ownsElements;
};

struct dynArray_uint32_T {
  std::uint32_t* elements;
  std::int32_t* sizes;
  std::int32_t capacity;
  std::int32_t dimCount;
  bool ownsElements;
};

struct dynArray_boolean_T {
  boolean_T* elements;
  std::int32_t* sizes;
  std::int32_t capacity;
  std::int32_t dimCount;
  bool ownsElements;
};

struct dynArray_char_T {
  char_T* elements;
  std::int32_t* sizes;
  std::int32_t capacity;
  std::int32_t dimCount;
  bool ownsElements;
};

// Creates an empty array (all sizes 0, no storage) and stores it in *pArray.
// Returns false, leaving *pArray null, when memory runs out or numDimensions
// is negative.
bool Rx_dynInit_real_T(dynArray_real_T** pArray, std::int32_t numDimensions);
bool Rx_dynInit_int32_T(dynArray_int32_T** pArray, std::int32_t numDimensions);
bool Rx_dynInit_uint32_T(dynArray_uint32_T** pArray, std::int32_t numDimensions);
bool Rx_dynInit_boolean_T(dynArray_boolean_T** pArray, std::int32_t numDimensions);
bool Rx_dynInit_char_T(dynArray_char_T** pArray, std::int32_t numDimensions);

// Makes the storage hold the element count of the current sizes, keeping the
// first oldNumel elements. Returns false when the count is negative or above
// 2147483647 or the allocation fails: then every size is set to 0 and the
// storage and capacity are kept as they were, so the array stays consistent.
// A negative oldNumel counts as 0; one above the old capacity copies only what
// the old storage holds.
bool Rx_dynEnsureCapacity_real_T(dynArray_real_T* array, std::int32_t oldNumel);
bool Rx_dynEnsureCapacity_int32_T(dynArray_int32_T* array, std::int32_t oldNumel);
bool Rx_dynEnsureCapacity_uint32_T(dynArray_uint32_T* array, std::int32_t oldNumel);
bool Rx_dynEnsureCapacity_boolean_T(dynArray_boolean_T* array, std::int32_t oldNumel);
bool Rx_dynEnsureCapacity_char_T(dynArray_char_T* array, std::int32_t oldNumel);

// Destroys the array and sets *pArray to null; a null *pArray is harmless.
void Rx_dynFree_real_T(dynArray_real_T** pArray);
void Rx_dynFree_int32_T(dynArray_int32_T** pArray);
void Rx_dynFree_uint32_T(dynArray_uint32_T** pArray);
void Rx_dynFree_boolean_T(dynArray_boolean_T** pArray);
void Rx_dynFree_char_T(dynArray_char_T** pArray);

// The revision B DFE/CDR calls these twins; they behave exactly as above.
bool Rx_dynInit_real_T1(dynArray_real_T** pArray, std::int32_t numDimensions);
bool Rx_dynEnsureCapacity_real_T1(dynArray_real_T* array, std::int32_t oldNumel);

// Element count of the current sizes in 64 bits (1 for zero dimensions):
// -1 when a size is negative, 0 when one is 0, saturated at INT64_MAX.
std::int64_t Rx_dynNumel(const std::int32_t* sizes, std::int32_t dimCount);
