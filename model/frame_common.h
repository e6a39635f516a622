// Pieces every frame variant shares: allocation and release of the model
// object's groups, and the reshape of the impulse buffer into columns.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "model/frame.h"
#include "model/rt_nonfinite.h"
#include "numeric/dyn_array.h"

// The text of errorStatus after a failed allocation.
extern const char* const RT_MEMORY_ALLOCATION_ERROR;

// Allocates the model object and its six groups in the documented order.
// Groups come zero-filled from calloc: the two impulse buffers (64 MiB each)
// are mapped lazily, so pages that are never written cost nothing.
template <typename Model>
Model* Rx_allocateModel() {
  Model* m = static_cast<Model*>(std::calloc(1, sizeof(Model)));
  if (m == nullptr) return nullptr;
  auto allocate = [m](auto*& group) {
    group = static_cast<std::remove_reference_t<decltype(*group)>*>(
        std::calloc(1, sizeof(*group)));
    if (group == nullptr) m->errorStatus = RT_MEMORY_ALLOCATION_ERROR;
  };
  allocate(m->blockIO);
  allocate(m->inputs);
  allocate(m->state);
  allocate(m->WaveIn);
  allocate(m->outputs);
  allocate(m->prevZCSigState);
  rt_InitInfAndNaN(sizeof(double));
  return m;
}

// Releases the groups (each only when present) and the model object.
template <typename Model>
void Rx_releaseModel(Model* m) {
  if (m == nullptr) return;
  std::free(m->blockIO);
  std::free(m->WaveIn);
  std::free(m->outputs);
  std::free(m->state);
  std::free(m->prevZCSigState);
  std::free(m->inputs);
  std::free(m);
}

// Number of meaningful impulse values, RowSize x (Aggressors + 1) truncated;
// 0 when that is below 1, not a number, or beyond the buffers.
std::int32_t Rx_impulseValueCount(double rowSize, double aggressors);

// Creates M (RowSize rows, Aggressors + 1 columns) and fills it column by
// column from impulse. Returns false, with *M null or empty, when the sizes
// are unusable or memory runs out.
bool Rx_reshapeImpulse(const double* impulse, double rowSize, double aggressors,
                       dynArray_real_T** M);

// Copies the first min(count, numel(M)) values of M into impulseOut.
void Rx_copyColumns(const dynArray_real_T* M, std::int32_t count, double* impulseOut);
