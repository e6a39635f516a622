// Pieces every frame variant shares: allocation and release of the model
// object's groups, and the reshape of the impulse buffer into columns.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstddef>

#include "model/frame.h"
#include "model/rt_nonfinite.h"
#include "numeric/dyn_array.h"

// The text of errorStatus after a failed allocation.
extern const char* const RT_MEMORY_ALLOCATION_ERROR;

// Zero-filled storage for one group. The two groups that hold an impulse
// buffer (64 MiB each) are mapped directly: their pages cost nothing until
// written, and mapping them is cheap whatever allocator the process uses.
void* Rx_allocateGroup(std::size_t size);
void Rx_releaseGroup(void* group, std::size_t size);

template <typename Group>
void Rx_allocateGroup(Group*& group, const char*& errorStatus) {
  group = static_cast<Group*>(Rx_allocateGroup(sizeof(Group)));
  if (group == nullptr) errorStatus = RT_MEMORY_ALLOCATION_ERROR;
}

template <typename Group>
void Rx_releaseGroup(Group*& group) {
  Rx_releaseGroup(group, sizeof(Group));
  group = nullptr;
}

// Allocates the model object and its six groups in the documented order; a
// group that cannot be allocated stays null and sets errorStatus.
template <typename Model>
Model* Rx_allocateModel() {
  Model* m = static_cast<Model*>(std::calloc(1, sizeof(Model)));
  if (m == nullptr) return nullptr;
  Rx_allocateGroup(m->blockIO, m->errorStatus);
  Rx_allocateGroup(m->inputs, m->errorStatus);
  Rx_allocateGroup(m->state, m->errorStatus);
  Rx_allocateGroup(m->WaveIn, m->errorStatus);
  Rx_allocateGroup(m->outputs, m->errorStatus);
  Rx_allocateGroup(m->prevZCSigState, m->errorStatus);
  rt_InitInfAndNaN(sizeof(double));
  return m;
}

// Releases the groups (each only when present) and the model object.
template <typename Model>
void Rx_releaseModel(Model* m) {
  if (m == nullptr) return;
  Rx_releaseGroup(m->blockIO);
  Rx_releaseGroup(m->WaveIn);
  Rx_releaseGroup(m->outputs);
  Rx_releaseGroup(m->state);
  Rx_releaseGroup(m->prevZCSigState);
  Rx_releaseGroup(m->inputs);
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
